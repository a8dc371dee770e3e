// The simulated machine's desktop as a window: a taskbar with the clock of
// the machine and its notification area, where the icons that programs put
// there can be double-clicked and right-clicked.
#pragma once

#include <QWidget>

namespace vt {
class Clock;
}
namespace win32 {
class Machine;
}

class QHBoxLayout;
class QLabel;

namespace kvqt {

class DesktopWindow : public QWidget {
  public:
    DesktopWindow(win32::Machine& machine, vt::Clock& clock);
    // Reads the notification area again (also done every quarter second).
    void refresh();
    // The icon's button in the notification area, or null.
    QWidget* trayButton(unsigned id) const;

  private:
    win32::Machine& machine_;
    vt::Clock& clock_;
    QHBoxLayout* tray_;
    QLabel* time_;
    QString shown_;
};

} // namespace kvqt
