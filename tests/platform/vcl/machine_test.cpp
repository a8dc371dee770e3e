// The toolkit on the simulated machine: real windows, the thread's queue,
// notification-icon messages, input from outside the machine, the registry.
#include "app_fixture.h"

#include "platform/vcl/transcript.h"
#include "platform/win32/desktop.h"
#include "platform/win32/registry_store.h"
#include "platform/win32/win32.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace vcl;
using vcltest::TTestForm;

TTestForm* MainForm = nullptr;

const char* const kKey = "HKEY_LOCAL_MACHINE\\Software\\KV7946\\V1.0";

class MachineTest : public ::testing::Test {
  protected:
    MachineTest()
        : root_(std::filesystem::temp_directory_path() /
                ("vcl-machine-" +
                 std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name())),
          machine_(clock_, win32::MachineKind::WinXP, root_) {
        desktop_.install(&machine_);
        desktop_.addObserver(&transcript_);
    }
    ~MachineTest() override {
        if (process_ && process_->running()) process_->terminate(0);
        if (process_) process_->wait();
        std::filesystem::remove_all(root_);
    }
    // Starts the program: title KV7946AP, one form, then body on its thread.
    void start(std::function<void()> body = {}) {
        process_ = machine_.startProcess("KV7946AP.exe", [this, body] {
            TApplication app;
            app.SetTitle("KV7946AP");
            app.CreateForm(MainForm);
            app_ = &app;
            if (body) body();
            app.Run();
            app_ = nullptr;
            return 0;
        });
        while (!app_ && process_->running())
            clock_.sleep(std::chrono::milliseconds(1));
        ASSERT_NE(app_, nullptr);
    }
    void onUi(std::function<void()> f) { ASSERT_TRUE(app_->Invoke(std::move(f))); }

    vt::Clock clock_;
    vt::Clock::Attachment self_ = clock_.attach("test");
    std::filesystem::path root_;
    win32::Machine machine_;
    vcl::Desktop desktop_;
    std::vector<String> lines_;
    TranscriptObserver transcript_{[this](const String& s) { lines_.push_back(s); }};
    std::shared_ptr<win32::Process> process_;
    TApplication* app_ = nullptr;
};

TEST_F(MachineTest, TheApplicationWindowIsFoundByItsTitleWhileRunning) {
    start();
    HWND found = nullptr;
    machine_
        .startProcess("finder",
                      [&] {
                          found = win32::FindWindowA(nullptr, "KV7946AP");
                          return 0;
                      })
        ->wait();
    EXPECT_EQ(found, app_->Handle());
    EXPECT_NE(found, nullptr);
    onUi([] { MainForm->Close(); });
    process_->wait();
    machine_
        .startProcess("finder",
                      [&] {
                          found = win32::FindWindowA(nullptr, "KV7946AP");
                          return 0;
                      })
        ->wait();
    EXPECT_EQ(found, nullptr);
}

TEST_F(MachineTest, NotificationIconMessagesReachTheOwnerFormsHandler) {
    start([] {
        win32::NOTIFYICONDATAA nid{};
        nid.cbSize = sizeof nid;
        nid.hWnd = MainForm->Handle();
        nid.uID = 1006;
        nid.uFlags = win32::NIF_MESSAGE | win32::NIF_TIP;
        nid.uCallbackMessage = 0x8064;
        ASSERT_TRUE(win32::Shell_NotifyIconA(win32::NIM_ADD, &nid));
    });
    ASSERT_TRUE(machine_.desktop().clickTrayIcon(MainForm->Handle(), 1006, WM_LBUTTONDBLCLK));
    ASSERT_TRUE(machine_.desktop().clickTrayIcon(MainForm->Handle(), 1006, WM_RBUTTONUP));
    onUi([] {});
    EXPECT_EQ(MainForm->seen, (std::vector<LPARAM>{WM_LBUTTONDBLCLK, WM_RBUTTONUP}));
}

TEST_F(MachineTest, StayOnTopIsTheWindowsStyleAndANewStyleANewWindow) {
    start([] { MainForm->FormStyle = fsStayOnTop; });
    HWND first = MainForm->Handle();
    onUi([] { MainForm->FormStyle = fsNormal; });
    EXPECT_NE(MainForm->Handle(), first);
    bool oldGone = false;
    machine_
        .startProcess("check",
                      [&] {
                          oldGone = !win32::IsWindow(first) && win32::IsWindow(MainForm->Handle());
                          return 0;
                      })
        ->wait();
    EXPECT_TRUE(oldGone);
}

TEST_F(MachineTest, InputFromOutsideTheMachineReachesTheLoop) {
    start();
    // The test thread is on no machine; its work goes in by the input relay.
    int ran = 0;
    for (int i = 0; i < 3; ++i)
        onUi([&] { ++ran; });
    EXPECT_EQ(ran, 3);
    clock_.sleep(std::chrono::seconds(10)); // an idle loop lets time pass
    onUi([&] { ++ran; });
    EXPECT_EQ(ran, 4);
}

TEST_F(MachineTest, RegistryOpensWithoutCreatingAndReadsAndWritesIntegers) {
    machine_.registry().setDword(kKey, "Pop", 1);
    std::optional<int> pop;
    bool opensMissing = true;
    start([&] {
        TRegistry reg;
        reg.RootKey = win32::HKEY_LOCAL_MACHINE;
        opensMissing = reg.OpenKey("Software\\KV7946\\Missing", false);
        ASSERT_TRUE(reg.OpenKey("Software\\KV7946\\V1.0", false));
        pop = reg.ReadInteger("Pop");
        EXPECT_TRUE(reg.WriteInteger("Pop", 0));
    });
    EXPECT_FALSE(opensMissing);
    EXPECT_FALSE(machine_.registry().keyExists("HKEY_LOCAL_MACHINE\\Software\\KV7946\\Missing"));
    EXPECT_EQ(pop, 1);
    EXPECT_EQ(machine_.registry().getDword(kKey, "Pop"), 0u);
    EXPECT_TRUE(lines_.empty() || lines_.back().rfind("message", 0) != 0);
}

TEST_F(MachineTest, AnUnreadableValueIsTheFrameworksRegistryError) {
    struct Case {
        const char* name;
        std::function<void(win32::Registry&)> setup;
    } cases[] = {
        {"value missing", [](win32::Registry& r) { r.createKey(kKey); }},
        {"not a number", [](win32::Registry& r) { r.setString(kKey, "Pop", "1"); }},
    };
    for (const Case& c : cases) {
        machine_.registry().deleteTree("HKEY_LOCAL_MACHINE\\Software\\KV7946");
        c.setup(machine_.registry());
        lines_.clear();
        std::optional<int> pop = 7;
        start([&] {
            TRegistry reg;
            reg.RootKey = win32::HKEY_LOCAL_MACHINE;
            ASSERT_TRUE(reg.OpenKey("Software\\KV7946\\V1.0", false));
            pop = reg.ReadInteger("Pop");
        });
        EXPECT_EQ(pop, std::nullopt) << c.name;
        // Shown while the entry runs, before the main form.
        EXPECT_EQ(lines_, (std::vector<String>{"message KV7946AP [error] \"Cannot read the "
                                               "registry value 'Pop'\" -> OK",
                                               "shown TTestForm"}))
            << c.name;
        onUi([] { MainForm->Close(); });
        process_->wait();
    }
}

TEST_F(MachineTest, AWriteThatIsRefusedIsReportedAndWritesNothing) {
    machine_.registry().setDword(kKey, "Pop", 0);
    bool wrote = true;
    start([&] {
        TRegistry reg(win32::KEY_READ);
        reg.RootKey = win32::HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(reg.OpenKey("Software\\KV7946\\V1.0", false));
        wrote = reg.WriteInteger("Pop", 1);
    });
    EXPECT_FALSE(wrote);
    EXPECT_EQ(machine_.registry().getDword(kKey, "Pop"), 0u);
    EXPECT_EQ(lines_.front(),
              "message KV7946AP [error] \"Cannot write the registry value 'Pop'\" -> OK");
}

} // namespace
