// The desktop program's Qt side: the simulated machine's desktop and every
// form of its programs as real windows, with virtual time following the
// wall clock.
#pragma once

#include <functional>

namespace vt {
class Clock;
}
namespace win32 {
class Machine;
}
namespace vcl {
class Desktop;
}

namespace kvqt {

struct DesktopRun {
    vt::Clock& clock;        // made with vt::Pace::Paced
    win32::Machine& machine; // its programs registered
    vcl::Desktop& desktop;   // installed for the machine
    // Starts the programs (e.g. machine.startProgram("KV7946AP.exe")); runs
    // on the GUI thread once the windows are ready.
    std::function<void()> start;
    // End when the last application has ended.
    bool quitWhenProgramsEnd = true;
};

// Runs the Qt event loop on the calling (main, unregistered) thread until
// the desktop window is closed or, if asked, the programs have ended.
// Makes the QApplication when there is none. Returns the loop's exit code.
int runDesktop(int& argc, char** argv, const DesktopRun& run);

} // namespace kvqt
