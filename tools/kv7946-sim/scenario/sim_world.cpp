#include "tools/kv7946-sim/scenario/sim_world.h"

#include "app/ui/program.h"
#include "platform/vcl/user.h"
#include "platform/vcl/vcl.h"
#include "platform/win32/desktop.h"
#include "platform/win32/machine.h"
#include "platform/win32/registry_store.h"
#include "platform/win32/user.h"
#include "tools/kv7946-sim/scenario/device_bay.h"

#include <algorithm>

namespace scenario {

namespace {

// How long a program gets to put up its first window, and to end.
constexpr auto kStartLimit = std::chrono::seconds(30);
constexpr auto kEndLimit = std::chrono::seconds(10);
constexpr auto kPollStep = std::chrono::milliseconds(10);

std::optional<win32::MachineKind> machineKind(const std::string& kind) {
    if (kind == "xp") return win32::MachineKind::WinXP;
    if (kind == "2000") return win32::MachineKind::Win2000;
    if (kind == "98se") return win32::MachineKind::Win98SE;
    if (kind == "me") return win32::MachineKind::WinME;
    return std::nullopt;
}

std::string iconWord(vcl::MbIcon icon) {
    return icon == vcl::MbIcon::None ? std::string() : std::string(vcl::iconName(icon));
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

} // namespace

std::string programLine(const win32::Process& p, bool started) {
    if (started) return "started " + p.name();
    auto code = p.exitCode();
    return "ended " + p.name() + (code ? " (exit " + std::to_string(*code) + ")" : std::string());
}

struct SimWorld::Rig {
    vt::Clock clock{vt::Pace::Jump};
    std::optional<vt::Clock::Attachment> self;
    std::unique_ptr<DeviceBay> bay; // owns the machine
    vcl::Desktop desktop;
    // The last process started under each file name (lower case).
    std::map<std::string, std::shared_ptr<win32::Process>> programs;
};

SimWorld::SimWorld(Transcript& transcript, std::filesystem::path base,
                   std::filesystem::path machineRoot)
    : transcript_(transcript), base_(std::move(base)), machineRoot_(std::move(machineRoot)),
      observer_([this](const vcl::String& line) { transcript_.add(line); }) {}

SimWorld::~SimWorld() {
    if (!rig_) return;
    rig_->desktop.removeObserver(&observer_);
    rig_->bay.reset(); // ends the programs, saves the images
    rig_->self.reset();
    rig_->clock.shutdown();
}

win32::Machine* SimWorld::machine() const {
    return rig_ ? &rig_->bay->machine() : nullptr;
}

vcl::Desktop* SimWorld::desktop() const {
    return rig_ ? &rig_->desktop : nullptr;
}

std::filesystem::path SimWorld::hostPath(const std::string& path) const {
    std::filesystem::path p(path);
    return p.is_absolute() ? p : base_ / p;
}

bool SimWorld::setMachine(const std::string& kind, std::string& error) {
    auto k = machineKind(kind);
    if (!k) {
        error = "unknown machine '" + kind + "'";
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(machineRoot_, ec);
    if (ec) {
        error = "cannot make " + machineRoot_.string() + ": " + ec.message();
        return false;
    }
    rig_ = std::make_unique<Rig>();
    rig_->self.emplace(rig_->clock.attach("scenario"));
    rig_->bay = std::make_unique<DeviceBay>(rig_->clock, *k, machineRoot_);
    win32::Machine& m = rig_->bay->machine();

    rig_->desktop.setMessageBoxService(this);
    rig_->desktop.setSaveDialogService(this);
    rig_->desktop.addObserver(&observer_);
    rig_->desktop.install(&m);
    m.onProcessEvent(
        [this](win32::Process& p, bool started) { transcript_.add(programLine(p, started)); });
    kv::ui::installApplication(m);
    return true;
}

bool SimWorld::addDevice(int n, const DeviceSpec& spec, std::string& error) {
    DeviceSpec s = spec;
    if (s.image) s.image = hostPath(*s.image).string();
    return rig_->bay->add(n, s, error);
}

bool SimWorld::plug(int n, std::string& error) {
    return rig_->bay->plug(n, error);
}

bool SimWorld::unplug(int n, std::string& error) {
    return rig_->bay->unplug(n, error);
}

bool SimWorld::injectFault(int n, const FaultSpec& fault, std::string& error) {
    return rig_->bay->fault(n, fault, error);
}

bool SimWorld::trace(int n, const std::string& path, std::string& error) {
    return rig_->bay->trace(n, hostPath(path), error);
}

bool SimWorld::exportDisk(int n, const std::string& disk, const std::string& path,
                          std::string& error) {
    return rig_->bay->exportDisk(n, disk, hostPath(path), error);
}

bool SimWorld::start(const std::string& program, std::string& error) {
    win32::Machine& m = rig_->bay->machine();
    std::vector<vcl::TApplication*> before = rig_->desktop.applications();
    std::shared_ptr<win32::Process> process = m.startProgram(program);
    if (!process) {
        error = "no program " + program + " on this machine";
        return false;
    }
    rig_->programs[lower(program)] = process;
    // Wait for its application to come up and settle; a program without
    // forms just runs on.
    for (auto waited = vt::Duration::zero(); waited < kStartLimit; waited += kPollStep) {
        for (vcl::TApplication* app : rig_->desktop.applications()) {
            if (std::find(before.begin(), before.end(), app) != before.end()) continue;
            app->WaitIdle();
            return true;
        }
        if (!process->running()) return true;
        rig_->clock.sleep(kPollStep);
    }
    return true;
}

void SimWorld::wait(std::chrono::nanoseconds d) {
    rig_->clock.sleep(d);
}

ProgramState SimWorld::program(const std::string& program, bool waitForEnd) {
    auto it = rig_->programs.find(lower(program));
    if (it == rig_->programs.end()) return ProgramState::NeverStarted;
    if (waitForEnd && it->second->running()) it->second->wait(kEndLimit);
    return it->second->running() ? ProgramState::Running : ProgramState::Ended;
}

std::optional<uint32_t> SimWorld::registryDword(const std::string& key, const std::string& value) {
    return rig_->bay->machine().registry().getDword(key, value);
}

bool SimWorld::setRegistry(const std::string& key, const std::optional<std::string>& value,
                           std::optional<uint32_t> number, std::string& error) {
    win32::Registry& registry = rig_->bay->machine().registry();
    if (number) {
        registry.setDword(key, *value, *number);
        return true;
    }
    bool done = value ? registry.deleteValue(key, *value) : registry.deleteTree(key);
    if (!done) error = "there is no " + (value ? "value \"" + *value + "\" in " : "key ") + key;
    return done;
}

vcl::TApplication* SimWorld::applicationWith(const std::string& form, std::string& error) const {
    std::vector<vcl::TApplication*> apps = rig_->desktop.applications();
    if (apps.empty()) {
        error = "no application is running";
        return nullptr;
    }
    for (vcl::TApplication* app : apps)
        if (!app->Ended() && app->FindForm(form)) return app;
    error = "unknown form '" + form + "'";
    return nullptr;
}

vcl::TApplication* SimWorld::anyApplication(std::string& error) const {
    for (vcl::TApplication* app : rig_->desktop.applications())
        if (!app->Ended()) return app;
    error = "no application is running";
    return nullptr;
}

bool SimWorld::tray(const std::string& action, std::string& error) {
    win32::Desktop& desktop = rig_->bay->machine().desktop();
    std::vector<win32::TrayIcon> icons = desktop.trayIcons();
    if (icons.empty()) {
        error = "there is no icon in the notification area";
        return false;
    }
    const win32::TrayIcon& icon = icons.front();
    win32::UINT mouse = action == "dblclick" ? win32::WM_LBUTTONDBLCLK : win32::WM_RBUTTONUP;
    if (!desktop.clickTrayIcon(icon.owner, icon.id, mouse)) {
        error = "the icon in the notification area does not answer";
        return false;
    }
    // Work handed over now runs after the posted callback message.
    for (vcl::TApplication* app : rig_->desktop.applications())
        if (!app->Ended()) app->Invoke([] {});
    return true;
}

bool SimWorld::act(const Step& s, std::string& error) {
    if (s.verb == Verb::Tray) return tray(s.word, error);

    vcl::TApplication* app =
        s.verb == Verb::Menu ? anyApplication(error) : applicationWith(s.target.form, error);
    if (!app) return false;
    vcl::user::Result result;
    bool found = true;
    bool ran = app->Invoke([&] {
        if (s.verb == Verb::Menu) {
            result = vcl::user::chooseMenu(*app, s.word);
            return;
        }
        vcl::TComponent* c = vcl::user::find(*app, s.target.str());
        if (!c) {
            found = false;
            return;
        }
        switch (s.verb) {
        case Verb::Type:
            result = vcl::user::type(*c, s.strings.at(0));
            break;
        case Verb::Key:
            result = vcl::user::key(*c, vcl::user::keyFromName(s.word));
            break;
        case Verb::Click:
            result = vcl::user::click(*c);
            break;
        case Verb::Select:
            result = vcl::user::select(*c, s.strings.at(0));
            break;
        case Verb::Check:
            result = vcl::user::check(*c, s.word == "on");
            break;
        case Verb::Close:
            result = vcl::user::close(*c);
            break;
        default:
            break;
        }
    });
    if (!ran) {
        error = "the application ended before " + s.target.str() + " could be used";
        return false;
    }
    if (!found) {
        error = "unknown component '" + s.target.str() + "'";
        return false;
    }
    if (!result) {
        error = (s.verb == Verb::Menu ? "menu " + s.word : s.target.str()) + ": " + result.why;
        return false;
    }
    return true;
}

bool SimWorld::query(const Target& target, UiState& state, std::string& error) {
    vcl::TApplication* app = applicationWith(target.form, error);
    if (!app) return false;
    bool found = true;
    // Read while the application's thread waits for input.
    app->WaitIdle();
    vcl::TComponent* c = vcl::user::find(*app, target.str());
    if (!c) {
        error = "unknown component '" + target.str() + "'";
        return false;
    }
    auto* control = dynamic_cast<vcl::TControl*>(c);
    if (!control) {
        error = target.str() + " is not a control";
        return false;
    }
    state.visible = control->Visible;
    state.enabled = control->Enabled;
    state.text = control->DisplayText();
    if (auto* combo = dynamic_cast<vcl::TComboBox*>(c)) state.items = combo->Items.items();
    if (auto* box = dynamic_cast<vcl::TCheckBox*>(c)) state.checked = box->Checked;
    if (auto* radio = dynamic_cast<vcl::TRadioButton*>(c)) state.checked = radio->Checked;
    if (auto* form = dynamic_cast<vcl::TForm*>(c))
        state.stayOnTop = form->FormStyle == vcl::fsStayOnTop;
    return found;
}

void SimWorld::finish() {
    if (!rig_) return;
    // Programs still running end with the machine, before the verdict.
    bool first = true;
    for (const auto& process : rig_->bay->machine().processes()) {
        if (!process->running()) continue;
        if (first) transcript_.add("shutting down");
        first = false;
        process->terminate(0);
        process->wait();
    }
}

int SimWorld::Ask(vcl::TApplication&, const vcl::MessageBoxRequest& request) {
    MessageBoxInfo info{request.caption, request.text, iconWord(request.icon()), {}};
    std::vector<int> answers = request.answers();
    for (int a : answers)
        info.buttons.push_back(vcl::answerName(a));
    if (!answerer_) return answers.front();
    auto chosen = vcl::answerFromName(answerer_->answerMessage(info));
    if (!chosen || std::find(answers.begin(), answers.end(), *chosen) == answers.end())
        return answers.front();
    return *chosen;
}

std::optional<vcl::String> SimWorld::Ask(vcl::TApplication&,
                                         const vcl::SaveDialogRequest& request) {
    if (!answerer_) return std::nullopt;
    return answerer_->answerSave(request.title);
}

} // namespace scenario
