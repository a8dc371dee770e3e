// The simulated desktop window: the notification area's icons reach their
// program, and the program's pop-up menu is a real menu.
#include "frontend/qt/desktop_window.h"
#include "frontend/qt/frontend.h"
#include "platform/vcl/vcl.h"
#include "platform/win32/desktop.h"
#include "platform/win32/win32.h"

#include <QApplication>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

namespace {

using namespace vcl;

// Puts its icon in the notification area and opens its menu on a right
// click at the cursor, as the main window does.
class TTrayForm : public TForm {
  public:
    explicit TTrayForm(TComponent* owner) : TForm(owner, "TTrayForm") {
        Caption = "Tray";
        menu = create<TPopupMenu>(this, "PopupMenu");
        menu->AddItem("ShowSECURITY1", "Show SECURITY", [this](TObject*) { ++shows; });
        OnCreate = [this](TObject*) { addIcon(); };
    }
    void addIcon() {
        win32::NOTIFYICONDATAA nid{};
        nid.cbSize = sizeof nid;
        nid.hWnd = Handle();
        nid.uID = 1006;
        nid.uFlags = win32::NIF_MESSAGE | win32::NIF_TIP;
        nid.uCallbackMessage = 0x8064;
        std::snprintf(nid.szTip, sizeof nid.szTip, "SECURITY");
        win32::Shell_NotifyIconA(win32::NIM_ADD, &nid);
    }
    void WndProc(TMessage& m) override {
        if (m.Msg == 0x8064 && m.LParam == WM_LBUTTONDBLCLK) ++doubleClicks;
        if (m.Msg == 0x8064 && m.LParam == WM_RBUTTONUP) {
            win32::POINT p{};
            if (win32::GetCursorPos(&p)) menu->Popup(p.x, p.y);
        }
        TForm::WndProc(m);
    }
    TPopupMenu* menu;
    std::atomic<int> doubleClicks{0};
    std::atomic<int> shows{0};
};

TTrayForm* TrayForm = nullptr;

TEST(DesktopWindow, TrayIconClicksReachTheProgramAndItsMenuIsReal) {
    const auto root = std::filesystem::temp_directory_path() / "kvqt-desktop-test";
    vt::Clock clock(vt::Pace::Jump);
    clock.setExternalInput(true);
    win32::Machine machine(clock, win32::MachineKind::WinXP, root);
    vcl::Desktop desktop;
    desktop.install(&machine);
    kvqt::Frontend frontend(desktop, &machine);
    std::atomic<bool> ready{false};
    auto process = machine.startProcess("KV7946AP.exe", [&] {
        TApplication app;
        app.SetTitle("KV7946AP");
        app.CreateForm(TrayForm);
        ready = true;
        app.Run();
        return 0;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ready.load(); }, 5000));
    kvqt::DesktopWindow desk(machine, clock);
    desk.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return desk.trayButton(1006) != nullptr; }, 5000));
    QWidget* icon = desk.trayButton(1006);
    EXPECT_EQ(icon->toolTip(), "SECURITY");

    QTest::mouseDClick(icon, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return TrayForm->doubleClicks == 1; }, 5000));

    QTest::mouseClick(icon, Qt::RightButton);
    QMenu* menu = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible()) menu = m;
            return menu != nullptr;
        },
        5000));
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), "Show SECURITY");
    menu->actions()[0]->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return TrayForm->shows == 1; }, 5000));

    process->terminate(0);
    process->wait();
    std::filesystem::remove_all(root);
}

} // namespace
