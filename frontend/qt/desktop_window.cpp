#include "frontend/qt/desktop_window.h"

#include "platform/clock/clock.h"
#include "platform/win32/desktop.h"
#include "platform/win32/machine.h"
#include "platform/win32/user.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace kvqt {

namespace {

const char* kindName(win32::MachineKind k) {
    switch (k) {
    case win32::MachineKind::Win98SE:
        return "Windows 98 SE";
    case win32::MachineKind::WinME:
        return "Windows ME";
    case win32::MachineKind::Win2000:
        return "Windows 2000";
    case win32::MachineKind::WinXP:
        return "Windows XP";
    }
    return "Windows";
}

QIcon trayIcon() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.drawArc(QRectF(4.5, 1.5, 7, 8), 0, 180 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 150, 20));
    p.drawRoundedRect(QRectF(3, 6, 10, 9), 1.5, 1.5);
    return QIcon(pm);
}

// One icon of the notification area: double-click and right-click go to
// the program that owns it, as the shell sends them.
class TrayButton : public QToolButton {
  public:
    TrayButton(win32::Machine& m, win32::TrayIcon icon, QWidget* parent)
        : QToolButton(parent), machine_(m), icon_(icon) {
        setIcon(trayIcon());
        setAutoRaise(true);
        setToolTip(QString::fromLatin1(icon.tip.c_str()));
        setObjectName(QString("tray%1").arg(icon.id));
    }

  protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton)
            machine_.desktop().clickTrayIcon(icon_.owner, icon_.id, win32::WM_LBUTTONDBLCLK);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::RightButton) {
            const QPoint g = e->globalPosition().toPoint();
            machine_.desktop().setCursorPos({g.x(), g.y()});
            machine_.desktop().clickTrayIcon(icon_.owner, icon_.id, win32::WM_RBUTTONUP);
        }
        QToolButton::mouseReleaseEvent(e);
    }

  private:
    win32::Machine& machine_;
    win32::TrayIcon icon_;
};

} // namespace

DesktopWindow::DesktopWindow(win32::Machine& machine, vt::Clock& clock)
    : machine_(machine), clock_(clock) {
    setWindowTitle(QString("Simulated PC - %1").arg(kindName(machine.kind())));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    auto* hint = new QLabel("Programs of the simulated PC show their windows here.\n"
                            "Double-click or right-click an icon in the notification area.");
    hint->setAlignment(Qt::AlignCenter);
    hint->setStyleSheet("color: white; background: #3a6ea5; padding: 24px;");
    v->addWidget(hint, 1);
    auto* bar = new QWidget;
    bar->setStyleSheet("background: #245edb; color: white;");
    auto* h = new QHBoxLayout(bar);
    h->setContentsMargins(6, 2, 6, 2);
    auto* start = new QLabel("<b>start</b>");
    h->addWidget(start);
    h->addStretch(1);
    auto* area = new QWidget;
    area->setStyleSheet("background: #0f8ee9;");
    tray_ = new QHBoxLayout(area);
    tray_->setContentsMargins(4, 0, 4, 0);
    time_ = new QLabel;
    tray_->addWidget(time_);
    h->addWidget(area);
    v->addWidget(bar);
    resize(520, 200);
    auto* timer = new QTimer(this);
    QObject::connect(timer, &QTimer::timeout, this, [this] { refresh(); });
    timer->start(250);
    refresh();
}

void DesktopWindow::refresh() {
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(clock_.now()).count();
    time_->setText(QString("%1:%2").arg(secs / 60).arg(secs % 60, 2, 10, QChar('0')));
    const std::vector<win32::TrayIcon> icons = machine_.desktop().trayIcons();
    QString key;
    for (const auto& i : icons)
        key += QString("%1/%2/%3;")
                   .arg(reinterpret_cast<quintptr>(i.owner))
                   .arg(i.id)
                   .arg(QString::fromLatin1(i.tip.c_str()));
    if (key == shown_) return;
    shown_ = key;
    while (tray_->count() > 1) {
        QLayoutItem* item = tray_->takeAt(0);
        delete item->widget();
        delete item;
    }
    int at = 0;
    for (const auto& i : icons)
        tray_->insertWidget(at++, new TrayButton(machine_, i, this));
}

QWidget* DesktopWindow::trayButton(unsigned id) const {
    return findChild<QWidget*>(QString("tray%1").arg(id));
}

} // namespace kvqt
