// KV7946AP in real Qt widgets: typing the password and pressing Enter gives
// the transcript that the scenario unlock_enter.scn gives through kv7946-sim.
#include "app/ui/program.h"
#include "frontend/qt/frontend.h"
#include "platform/vcl/transcript.h"
#include "platform/win32/machine.h"
#include "tools/kv7946-sim/scenario/device_bay.h"
#include "tools/kv7946-sim/scenario/runner.h"
#include "tools/kv7946-sim/scenario/sim_world.h"

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The lines the machine and its forms produce, without the runner's own.
std::vector<std::string> worldLines(const std::vector<std::string>& events) {
    std::vector<std::string> out;
    for (const std::string& line : events)
        if (line.rfind("machine ", 0) != 0 && line != "passed") out.push_back(line);
    return out;
}

std::filesystem::path freshDir(const std::string& name) {
    auto dir = std::filesystem::path(KV_BUILD_DIR) / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

class QtUnlock : public ::testing::Test {
  protected:
    void addLine(const std::string& line) {
        std::lock_guard<std::mutex> g(lock_);
        lines_.push_back(line);
    }
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> g(lock_);
        return lines_;
    }

    std::mutex lock_;
    std::vector<std::string> lines_;
};

TEST_F(QtUnlock, EnterInTheRealWidgetsGivesTheScenariosTranscript) {
    const std::string scenarioFile =
        std::string(KV_SOURCE_DIR) + "/tests/scenarios/unlock_enter.scn";
    std::vector<std::string> expected;
    {
        scenario::Transcript transcript;
        scenario::SimWorld world(transcript, freshDir("qt_unlock_sim"),
                                 freshDir("qt_unlock_sim") / "machine");
        ASSERT_EQ(scenario::runScenarioText(readFile(scenarioFile), world, transcript), 0);
        expected = worldLines(transcript.events());
    }
    ASSERT_FALSE(expected.empty());

    vt::Clock clock;
    clock.setExternalInput(true);
    vcl::Desktop desktop;
    vcl::TranscriptObserver observer([this](const vcl::String& line) { addLine(line); });
    std::unique_ptr<scenario::DeviceBay> bay;
    {
        auto self = clock.attach("set-up");
        bay = std::make_unique<scenario::DeviceBay>(clock, win32::MachineKind::WinXP,
                                                    freshDir("qt_unlock_machine"));
        desktop.install(&bay->machine());
        desktop.addObserver(&observer);
        bay->machine().onProcessEvent([this](win32::Process& p, bool started) {
            addLine(scenario::programLine(p, started));
        });
        kv::ui::installApplication(bay->machine());
        scenario::DeviceSpec disk;
        disk.password = "secret";
        std::string error;
        ASSERT_TRUE(bay->add(1, disk, error)) << error;
    }
    win32::Machine& machine = bay->machine();
    {
        kvqt::Frontend frontend(desktop, &machine);
        auto process = machine.startProgram(kv::ui::kProgramFile);
        ASSERT_TRUE(process);

        auto showing = [&](const char* path) {
            QWidget* w = frontend.widget(path);
            return w && w->isVisible();
        };
        ASSERT_TRUE(QTest::qWaitFor([&] { return showing("TMainForm.edtPwd"); }, 10000));
        auto* edit = qobject_cast<QLineEdit*>(frontend.widget("TMainForm.edtPwd"));
        ASSERT_NE(edit, nullptr);
        QTest::keyClicks(edit, "secret");
        ASSERT_TRUE(QTest::qWaitFor([&] { return edit->text() == "******"; }, 5000));
        QTest::keyClick(edit, Qt::Key_Return);

        ASSERT_TRUE(QTest::qWaitFor([&] { return frontend.openDialog() != nullptr; }, 10000));
        QWidget* box = frontend.openDialog();
        box->grab().toImage().save(QString(KV_BUILD_DIR) + "/kv7946ap_password_correct.png");
        QPushButton* ok = nullptr;
        for (QPushButton* b : box->findChildren<QPushButton*>())
            if (b->text().remove('&') == "OK") ok = b;
        ASSERT_NE(ok, nullptr);
        QTest::mouseClick(ok, Qt::LeftButton);

        ASSERT_TRUE(QTest::qWaitFor([&] { return showing("TMainForm.btnMore"); }, 10000));
        QWidget* window = frontend.widget("TMainForm");
        if (window) window->grab().toImage().save(QString(KV_BUILD_DIR) + "/kv7946ap_main.png");
        QTest::mouseClick(frontend.widget("TMainForm.btnCancel"), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !process->running(); }, 10000));
    }
    {
        auto self = clock.attach("shut-down");
        bay.reset();
    }
    desktop.removeObserver(&observer);
    clock.shutdown();

    EXPECT_EQ(lines(), expected);
}

} // namespace

// The QApplication lives on main's stack, so it goes before Qt's statics.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
