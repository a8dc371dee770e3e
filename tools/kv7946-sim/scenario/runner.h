// Runs a parsed scenario against a World and writes the transcript.
#pragma once

#include "tools/kv7946-sim/scenario/script.h"
#include "tools/kv7946-sim/scenario/transcript.h"
#include "tools/kv7946-sim/scenario/world.h"

#include <deque>
#include <mutex>

namespace scenario {

enum class RunResult {
    Passed, // every expectation held and the script ran to its end
    Failed, // at least one expectation did not hold
    Error,  // a step could not be carried out; the script stopped there
};

class Runner : public Answerer {
  public:
    explicit Runner(Transcript& transcript) : transcript_(transcript) {}

    RunResult run(const Script& script, World& world);

    std::string answerMessage(const MessageBoxInfo& info) override;
    std::optional<std::string> answerSave(const std::string& title) override;

  private:
    struct Shown {
        MessageBoxInfo info;
        std::string answer;
    };
    struct Queued {
        int line;
        std::string value;
    };

    bool step(const Step& s, World& world);
    void expect(const Step& s, World& world);
    void failed(int line, const std::string& what);
    void error(int line, const std::string& what);

    Transcript& transcript_;
    std::mutex mutex_;
    std::vector<Shown> messages_;
    size_t matched_ = 0;
    std::deque<Queued> answers_;
    struct QueuedSave {
        int line;
        std::optional<std::string> path; // none: save-cancel
    };
    std::deque<QueuedSave> saves_;
    int failures_ = 0;
    bool stopped_ = false;
};

// Parses and runs text; returns the process exit status (0 passed, 1 an
// expectation failed, 2 a parse or run error).
int runScenarioText(const std::string& text, World& world, Transcript& transcript);

} // namespace scenario
