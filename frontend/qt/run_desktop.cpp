#include "frontend/qt/run_desktop.h"

#include "frontend/qt/desktop_window.h"
#include "frontend/qt/frontend.h"
#include "platform/clock/clock.h"
#include "platform/vcl/desktop.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>

#include <memory>

namespace kvqt {

int runDesktop(int& argc, char** argv, const DesktopRun& run) {
    std::unique_ptr<QApplication> own;
    if (!QApplication::instance()) own = std::make_unique<QApplication>(argc, argv);
    run.clock.setExternalInput(true);
    if (QScreen* s = QApplication::primaryScreen()) {
        run.desktop.screenWidth = s->geometry().width();
        run.desktop.screenHeight = s->geometry().height();
    }
    Frontend frontend(run.desktop, &run.machine);
    DesktopWindow desk(run.machine, run.clock);
    desk.show();
    if (run.quitWhenProgramsEnd) frontend.onAllEnded = [] { QApplication::quit(); };
    QObject::connect(qApp, &QApplication::lastWindowClosed, qApp, [] { QApplication::quit(); });
    if (run.start) QTimer::singleShot(0, qApp, run.start);
    return QApplication::exec();
}

} // namespace kvqt
