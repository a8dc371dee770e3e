#include "tools/kv7946-sim/scenario/runner.h"

#include <algorithm>

namespace scenario {

namespace {

std::string describe(const MessageBoxInfo& m) {
    return "message " + m.caption + " " + Transcript::quote(m.text);
}

std::string list(const std::vector<std::string>& items) {
    if (items.empty()) return "(empty)";
    std::string out;
    for (const std::string& item : items)
        out += (out.empty() ? "" : " ") + Transcript::quote(item);
    return out;
}

std::string echo(const Step& s) {
    switch (s.verb) {
    case Verb::Device:
        return "device " + std::to_string(s.device) + " " + Transcript::quote(s.spec.name);
    case Verb::Unplug:
        return "unplug " + std::to_string(s.device);
    case Verb::Plug:
        return "plug " + std::to_string(s.device);
    case Verb::Fault:
        return "fault " + std::to_string(s.device) + " " + s.fault.kind;
    case Verb::Type:
        return "type " + s.target.str() + " " + Transcript::quote(s.strings.at(0));
    case Verb::Key:
        return "key " + s.target.str() + " " + s.word;
    case Verb::Click:
        return "click " + s.target.str();
    case Verb::Select:
        return "select " + s.target.str() + " " + Transcript::quote(s.strings.at(0));
    case Verb::Check:
        return "check " + s.target.str() + " " + s.word;
    case Verb::Close:
        return "close " + s.target.str();
    case Verb::Tray:
        return "tray " + s.word;
    case Verb::Menu:
        return "menu " +
               (s.word.find(' ') == std::string::npos ? s.word : Transcript::quote(s.word));
    case Verb::Wait:
        return "wait " +
               std::to_string(
                   std::chrono::duration_cast<std::chrono::milliseconds>(s.duration).count()) +
               "ms";
    default:
        return {};
    }
}

} // namespace

std::string Runner::answerMessage(const MessageBoxInfo& info) {
    std::string answer;
    {
        std::lock_guard lock(mutex_);
        bool question = info.buttons.size() > 1;
        if (question && !answers_.empty()) {
            answer = answers_.front().value;
            answers_.pop_front();
            if (std::find(info.buttons.begin(), info.buttons.end(), answer) == info.buttons.end())
                answer = info.buttons.front(); // the box has no such button
        } else if (!info.buttons.empty()) {
            answer = info.buttons.front();
        } else {
            answer = "OK";
        }
        messages_.push_back({info, answer});
    }
    return answer;
}

std::optional<std::string> Runner::answerSave(const std::string&) {
    std::optional<std::string> path;
    {
        std::lock_guard lock(mutex_);
        if (!saves_.empty()) {
            path = saves_.front().path;
            saves_.pop_front();
        }
    }
    return path;
}

void Runner::failed(int line, const std::string& what) {
    ++failures_;
    transcript_.add("line " + std::to_string(line) + ": FAILED " + what);
}

void Runner::error(int line, const std::string& what) {
    stopped_ = true;
    transcript_.add("line " + std::to_string(line) + ": error: " + what);
}

RunResult Runner::run(const Script& script, World& world) {
    std::string message;
    world.setAnswerer(this);
    if (!world.setMachine(script.machine, message)) {
        error(1, message);
        return RunResult::Error;
    }
    transcript_.add("machine " + script.machine);
    for (const Step& s : script.steps) {
        if (!step(s, world)) break;
    }
    world.finish();
    world.setAnswerer(nullptr);
    if (!stopped_) {
        std::lock_guard lock(mutex_);
        for (const Queued& a : answers_)
            ++failures_, transcript_.add("line " + std::to_string(a.line) + ": FAILED answer " +
                                         a.value + " was never asked for");
        for (const QueuedSave& a : saves_)
            ++failures_, transcript_.add("line " + std::to_string(a.line) +
                                         ": FAILED no save dialog took this answer");
    }
    if (stopped_) return RunResult::Error;
    return failures_ == 0 ? RunResult::Passed : RunResult::Failed;
}

bool Runner::step(const Step& s, World& world) {
    std::string text = echo(s);
    if (!text.empty()) transcript_.add("> " + text);
    std::string message;
    bool ok = true;
    switch (s.verb) {
    case Verb::Machine:
        return true; // taken before the run
    case Verb::Device:
        ok = world.addDevice(s.device, s.spec, message);
        break;
    case Verb::Unplug:
        ok = world.unplug(s.device, message);
        break;
    case Verb::Plug:
        ok = world.plug(s.device, message);
        break;
    case Verb::Fault:
        ok = world.injectFault(s.device, s.fault, message);
        break;
    case Verb::Trace:
        ok = world.trace(s.device, s.path, message);
        break;
    case Verb::Export:
        ok = world.exportDisk(s.device, s.word, s.path, message);
        break;
    case Verb::Start:
        ok = world.start(s.word, message);
        break;
    case Verb::Wait:
        world.wait(s.duration);
        break;
    case Verb::Answer: {
        std::lock_guard lock(mutex_);
        answers_.push_back({s.line, s.word});
        break;
    }
    case Verb::SaveAs: {
        std::lock_guard lock(mutex_);
        saves_.push_back({s.line, s.path});
        break;
    }
    case Verb::SaveCancel: {
        std::lock_guard lock(mutex_);
        saves_.push_back({s.line, std::nullopt});
        break;
    }
    case Verb::Type:
    case Verb::Key:
    case Verb::Click:
    case Verb::Select:
    case Verb::Check:
    case Verb::Close:
    case Verb::Tray:
    case Verb::Menu:
        ok = world.act(s, message);
        break;
    case Verb::Registry: {
        std::optional<std::string> value;
        if (!s.strings.empty()) value = s.strings[0];
        std::optional<uint32_t> number;
        if (s.number) number = static_cast<uint32_t>(*s.number);
        ok = world.setRegistry(s.path, value, number, message);
        break;
    }
    case Verb::Expect:
        expect(s, world);
        return !stopped_;
    }
    if (!ok) error(s.line, message);
    return ok;
}

void Runner::expect(const Step& s, World& world) {
    switch (s.expect) {
    case ExpectKind::Message: {
        std::lock_guard lock(mutex_);
        MessageBoxInfo wanted{s.word, s.strings.at(0), {}, {}};
        if (matched_ >= messages_.size()) {
            failed(s.line, "expected " + describe(wanted) + ", no message was shown");
            return;
        }
        const MessageBoxInfo& got = messages_[matched_++].info;
        if (got.caption != wanted.caption || got.text != wanted.text)
            failed(s.line, "expected " + describe(wanted) + ", got " + describe(got));
        return;
    }
    case ExpectKind::NoMessage: {
        std::lock_guard lock(mutex_);
        if (matched_ < messages_.size()) {
            failed(s.line, "expected no message, got " + describe(messages_[matched_].info));
            matched_ = messages_.size();
        }
        return;
    }
    case ExpectKind::Running:
    case ExpectKind::Ended: {
        bool wantEnded = s.expect == ExpectKind::Ended;
        ProgramState state = world.program(s.word, wantEnded);
        if (wantEnded && state != ProgramState::Ended)
            failed(s.line,
                   "expected " + s.word + " to have ended, it " +
                       (state == ProgramState::Running ? "is running" : "was never started"));
        if (!wantEnded && state != ProgramState::Running)
            failed(s.line, "expected " + s.word + " to be running, it " +
                               (state == ProgramState::Ended ? "has ended" : "was never started"));
        return;
    }
    case ExpectKind::Registry: {
        auto got = world.registryDword(s.path, s.strings.at(0));
        auto show = [](const std::optional<uint32_t>& v) {
            return v ? std::to_string(*v) : std::string("absent");
        };
        std::optional<uint32_t> wanted;
        if (s.number) wanted = static_cast<uint32_t>(*s.number);
        if (got != wanted)
            failed(s.line, "expected " + Transcript::quote(s.strings.at(0)) + " = " + show(wanted) +
                               ", got " + show(got));
        return;
    }
    default:
        break;
    }

    UiState state;
    std::string message;
    if (!world.query(s.target, state, message)) {
        error(s.line, message);
        return;
    }
    const std::string name = s.target.str();
    auto flag = [&](bool got, bool wanted, const char* yes, const char* no) {
        if (got != wanted)
            failed(s.line,
                   "expected " + name + " " + (wanted ? yes : no) + ", it is " + (got ? yes : no));
    };
    switch (s.expect) {
    case ExpectKind::Visible:
    case ExpectKind::Hidden:
        flag(state.visible, s.expect == ExpectKind::Visible, "visible", "hidden");
        break;
    case ExpectKind::Enabled:
    case ExpectKind::Disabled:
        flag(state.enabled, s.expect == ExpectKind::Enabled, "enabled", "disabled");
        break;
    case ExpectKind::Checked:
    case ExpectKind::Unchecked:
        flag(state.checked, s.expect == ExpectKind::Checked, "checked", "unchecked");
        break;
    case ExpectKind::StayOnTop:
    case ExpectKind::NormalStyle:
        flag(state.stayOnTop, s.expect == ExpectKind::StayOnTop, "stay-on-top", "normal-style");
        break;
    case ExpectKind::Text:
        if (state.text != s.strings.at(0))
            failed(s.line, "expected text of " + name + " " + Transcript::quote(s.strings.at(0)) +
                               ", got " + Transcript::quote(state.text));
        break;
    case ExpectKind::Items:
        if (state.items != s.strings)
            failed(s.line, "expected items of " + name + " " + list(s.strings) + ", got " +
                               list(state.items));
        break;
    default:
        break;
    }
}

int runScenarioText(const std::string& text, World& world, Transcript& transcript) {
    Script script;
    ParseError parseError;
    if (!parseScript(text, script, parseError)) {
        transcript.add("line " + std::to_string(parseError.line) +
                       ": error: " + parseError.message);
        return 2;
    }
    Runner runner(transcript);
    switch (runner.run(script, world)) {
    case RunResult::Passed:
        transcript.add("passed");
        return 0;
    case RunResult::Failed:
        transcript.add("FAILED");
        return 1;
    case RunResult::Error:
        transcript.add("FAILED (stopped)");
        return 2;
    }
    return 2;
}

} // namespace scenario
