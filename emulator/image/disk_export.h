// Writes one disk's sectors as a raw image file.
#pragma once

#include "emulator/controller.h"

#include <string>

namespace emu {

bool exportDisk(const Controller& controller, Disk disk, const std::string& path,
                std::string* error);

} // namespace emu
