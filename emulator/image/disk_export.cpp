#include "emulator/image/disk_export.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace emu {

bool exportDisk(const Controller& controller, Disk disk, const std::string& path,
                std::string* error) {
    uint32_t sectors = controller.placement().sectors(disk);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (error) *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = true;
    constexpr uint32_t kChunk = 2048;
    for (uint32_t s = 0; s < sectors && ok; s += kChunk) {
        uint32_t n = std::min(kChunk, sectors - s);
        std::vector<uint8_t> bytes = controller.readDisk(disk, s, n);
        ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    ok = (std::fclose(f) == 0) && ok;
    if (!ok && error) *error = "cannot write " + path;
    return ok;
}

} // namespace emu
