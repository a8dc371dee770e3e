// Test helpers: a region of a FakeFlash exported as a raw disk image, and
// running the Debian tools on it.
#pragma once

#include "app/disk/geometry.h"
#include "tests/disk/fake_flash.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace disk::test {

// Page of region sector r for a region starting at block s: the region runs
// over the data blocks (offsets 1 to L) of consecutive units.
inline uint32_t RegionPage(const FlashGeometry& g, uint32_t s, uint32_t r) {
    const uint32_t L = g.logicalPerUnit(), P = g.physicalPerUnit();
    const uint32_t d = (s / P) * L + (s % P - 1) + r / kPagesPerBlock;
    return ((d / L) * P + d % L + 1) * kPagesPerBlock + r % kPagesPerBlock;
}

// Writes region sectors [from, n) as a sparse file; unwritten sectors read 0.
inline void ExportRegion(const FakeFlash& flash, const FlashGeometry& g, uint32_t s, uint32_t n,
                         uint32_t from, const std::filesystem::path& file) {
    { std::ofstream out(file, std::ios::binary | std::ios::trunc); }
    std::filesystem::resize_file(file, uint64_t{n - from} * 512);
    std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
    const uint32_t blocks = (n + kPagesPerBlock - 1) / kPagesPerBlock;
    for (uint32_t i = 0; i < blocks; ++i) {
        const uint32_t first = RegionPage(g, s, i * kPagesPerBlock);
        auto it = flash.pages().lower_bound(first);
        for (; it != flash.pages().end() && it->first < first + kPagesPerBlock; ++it) {
            const uint32_t r = i * kPagesPerBlock + (it->first - first);
            if (r < from || r >= n) continue;
            out.seekp(uint64_t{r - from} * 512);
            out.write(reinterpret_cast<const char*>(it->second.data()), 512);
        }
    }
}

struct ToolRun {
    int status;
    std::string output;
};

inline ToolRun RunTool(const std::string& command) {
    ToolRun run{-1, {}};
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, got);
    run.status = pclose(pipe);
    return run;
}

inline bool HaveTool(const std::string& name) {
    return RunTool("command -v " + name + " >/dev/null").status == 0;
}

// The Debian packages the image checks need; installed when missing.
inline bool EnsureDebianTools() {
    if (HaveTool("fsck.fat") || HaveTool("/usr/sbin/fsck.fat")) {
        if (HaveTool("mdir") && HaveTool("minfo")) return true;
    }
    RunTool("apt-get install -y -q dosfstools mtools >/dev/null");
    return (HaveTool("fsck.fat") || HaveTool("/usr/sbin/fsck.fat")) && HaveTool("mdir");
}

inline std::filesystem::path TempDir(const std::string& name) {
    auto dir = std::filesystem::temp_directory_path() /
               ("kv-disk-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

} // namespace disk::test
