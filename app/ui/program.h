// KV7946AP.exe: the program entry and its installation on a machine.
#pragma once

#include "platform/win32/machine.h"

#include <string>

namespace kv::ui {

// The file name of the program and the title of its application window.
inline constexpr const char* kProgramFile = "KV7946AP.exe";
inline constexpr const char* kApplicationTitle = "KV7946AP";

// The program's entry: creates the forms once, in their fixed order, and
// runs the message loop until the application ends. Returns the exit code.
int KV7946AP_Main();

// The instance handle the running program was started with.
win32::HINSTANCE ProgramInstance();

// A minimal installation: the program in the Windows folder with its icon
// resources, and the settings key with "Pop" = 0.
void installApplication(win32::Machine& machine);
// The Windows path the program is installed at.
std::string installedProgramPath(const win32::Machine& machine);

} // namespace kv::ui
