// The runner's own rules (matching messages, queued answers, exit status),
// against a small world whose one form shows a box per click.
#include "tools/kv7946-sim/scenario/runner.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace scenario;

namespace {

class BoxWorld : public World {
  public:
    void setAnswerer(Answerer* a) override { answerer_ = a; }
    bool setMachine(const std::string&, std::string&) override { return true; }
    bool addDevice(int, const DeviceSpec&, std::string&) override { return true; }
    bool plug(int, std::string&) override { return true; }
    bool unplug(int, std::string&) override { return true; }
    bool injectFault(int, const FaultSpec&, std::string&) override { return true; }
    bool trace(int, const std::string&, std::string&) override { return true; }
    bool exportDisk(int, const std::string&, const std::string&, std::string&) override {
        return true;
    }
    bool start(const std::string&, std::string&) override {
        running_ = true;
        return true;
    }
    void wait(std::chrono::nanoseconds) override {}
    ProgramState program(const std::string& name, bool) override {
        if (name != "App.exe" || !running_) return ProgramState::NeverStarted;
        return ProgramState::Running;
    }
    std::optional<uint32_t> registryDword(const std::string&, const std::string&) override {
        return 1;
    }
    bool setRegistry(const std::string&, const std::optional<std::string>&, std::optional<uint32_t>,
                     std::string&) override {
        return true;
    }
    // TForm.btnInfo shows an OK box; TForm.btnAsk an OK/Cancel question
    // whose answer becomes the edit's text.
    bool act(const Step& s, std::string& error) override {
        if (s.target.form != "TForm") {
            error = "unknown form '" + s.target.form + "'";
            return false;
        }
        if (s.target.component == "btnInfo") {
            answerer_->answerMessage({"OK", "Done!!", "", {"OK"}});
        } else if (s.target.component == "btnAsk") {
            text_ = answerer_->answerMessage({"WARNING", "Sure?", "warning", {"OK", "Cancel"}});
        } else {
            error = "unknown component '" + s.target.str() + "'";
            return false;
        }
        return true;
    }
    bool query(const Target& t, UiState& state, std::string& error) override {
        if (t.str() != "TForm.edtText") {
            error = "unknown component '" + t.str() + "'";
            return false;
        }
        state.text = text_;
        state.visible = true;
        return true;
    }

  private:
    Answerer* answerer_ = nullptr;
    bool running_ = false;
    std::string text_;
};

struct Outcome {
    int status;
    std::vector<std::string> lines;
};

Outcome run(const std::string& text) {
    BoxWorld world;
    Transcript transcript;
    int status = runScenarioText(text, world, transcript);
    return {status, transcript.lines()};
}

bool has(const Outcome& r, const std::string& fragment) {
    for (const std::string& line : r.lines)
        if (line.find(fragment) != std::string::npos) return true;
    return false;
}

} // namespace

TEST(Runner, PassesWhenEveryExpectationHolds) {
    Outcome r = run("start App.exe\n"
                    "click TForm.btnInfo\n"
                    "answer Cancel\n"
                    "click TForm.btnAsk\n"
                    "expect message OK \"Done!!\"\n"
                    "expect message WARNING \"Sure?\"\n"
                    "expect no-message\n"
                    "expect text TForm.edtText \"Cancel\"\n"
                    "expect running App.exe\n"
                    "expect registry \"HKEY_LOCAL_MACHINE\\Software\\KV7946\\V1.0\" \"Pop\" 1\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.lines.back(), "passed");
}

TEST(Runner, AQuestionWithoutQueuedAnswerTakesItsFirstButton) {
    Outcome r = run("click TForm.btnAsk\nexpect text TForm.edtText \"OK\"\n");
    EXPECT_EQ(r.status, 0);
}

TEST(Runner, FailedExpectationsAreReportedWithTheirLinesAndTheRunGoesOn) {
    Outcome r = run("click TForm.btnInfo\n"
                    "expect message WARNING \"Done!!\"\n" // wrong caption
                    "expect message OK \"Done!!\"\n"      // the box was taken by line 2
                    "expect visible TForm.edtText\n"      // holds
                    "expect ended App.exe\n");            // never started
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r, "line 2: FAILED expected message WARNING \"Done!!\", got message OK"));
    EXPECT_TRUE(has(r, "line 3: FAILED expected message OK \"Done!!\", no message was shown"));
    EXPECT_FALSE(has(r, "line 4:"));
    EXPECT_TRUE(has(r, "line 5: FAILED expected App.exe to have ended, it was never started"));
    EXPECT_EQ(r.lines.back(), "FAILED");
}

TEST(Runner, NoMessageFailsOnceForBoxesNobodyExpected) {
    Outcome r =
        run("click TForm.btnInfo\nclick TForm.btnInfo\nexpect no-message\nexpect no-message\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r, "line 3: FAILED expected no message, got message OK \"Done!!\""));
    EXPECT_FALSE(has(r, "line 4:"));
}

TEST(Runner, AnAnswerNoBoxAskedForFailsTheRun) {
    Outcome r = run("answer OK\nclick TForm.btnInfo\n"); // an OK box is no question
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r, "line 1: FAILED answer OK was never asked for"));
}

TEST(Runner, AStepThatCannotBeCarriedOutStopsTheScript) {
    Outcome r = run("click TForm.btnInfo\nclick TOther.btnOk\nclick TForm.btnInfo\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(has(r, "line 2: error: unknown form 'TOther'"));
    EXPECT_EQ(std::count(r.lines.begin(), r.lines.end(), "> click TForm.btnInfo"), 1);
    EXPECT_EQ(r.lines.back(), "FAILED (stopped)");
}

TEST(Runner, AParseErrorRunsNothing) {
    Outcome r = run("click TForm.btnInfo\nfly away\n");
    EXPECT_EQ(r.status, 2);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0], "line 2: error: unknown verb 'fly'");
}
