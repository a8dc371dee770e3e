// Built when the simulated machine is not part of the build.
#include "platform/vcl/detail/port.h"

namespace vcl::detail {

const win32::Machine* currentMachine() {
    return nullptr;
}
std::vector<char> machineDrives() {
    return {'c'};
}
win32::HICON loadProgramIcon(const String&, int) {
    return nullptr;
}
void destroyIcon(win32::HICON) {}
std::unique_ptr<Port> makeMachinePort(TApplication&, vt::Clock&) {
    return nullptr;
}

} // namespace vcl::detail
