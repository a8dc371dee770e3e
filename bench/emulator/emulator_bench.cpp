// Vendor commands per second straight into the controller, and what a large
// device holds in memory once erased and partly written.
#include "emulator/controller.h"
#include "emulator/system/vendor_commands.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

using emu::Controller;
namespace cmd = emu::cmd;

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

void BM_GetStatus(benchmark::State& state) {
    Controller c({1, 1}, "Bench");
    c.plugged();
    std::vector<uint8_t> buf(1);
    for (auto _ : state) {
        auto r = c.control({0xC0, cmd::kGetStatus, 0, 0, 1}, buf);
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetStatus);

void BM_ReadPage(benchmark::State& state) {
    Controller c({1, 1}, "Bench");
    c.plugged();
    std::vector<uint8_t> buf(528);
    uint16_t page = 0;
    for (auto _ : state) {
        auto r = c.control({0xC0, cmd::kReadPage, page, 0x8000, 528}, buf);
        benchmark::DoNotOptimize(r);
        page = static_cast<uint16_t>((page + 1) % 1024);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadPage);

// Erase a block, then write its 32 pages: 33 commands per round.
void BM_EraseAndWriteBlock(benchmark::State& state) {
    Controller c({1, 4}, "Bench");
    c.plugged();
    std::vector<uint8_t> data(512, 0x5A), none;
    uint32_t block = 1;
    for (auto _ : state) {
        c.control({0x40, cmd::kEraseBlock, static_cast<uint16_t>(block), 0, 0}, none);
        for (uint32_t p = 0; p < 32; ++p) {
            uint32_t page = block * 32 + p;
            c.control({0x40, cmd::kWritePage, static_cast<uint16_t>(page & 0xFFFF),
                       static_cast<uint16_t>(page >> 16), 512},
                      data);
        }
        block = block % 4000 + 1;
    }
    state.SetItemsProcessed(state.iterations() * 33);
}
BENCHMARK(BM_EraseAndWriteBlock);

// A 64-zone device: every block erased by command, then 1/64 of its pages
// (one zone's worth) written. Reports the flash bytes held and the growth of
// the process's resident memory.
void BM_Memory64ZonesErasedThenPartlyWritten(benchmark::State& state) {
    for (auto _ : state) {
        long before = residentKiB();
        Controller c({8, 64}, "Big");
        c.plugged();
        std::vector<uint8_t> none, data(512, 0x00);
        const uint32_t blocks = c.geometry().totalPhysicalBlocks();
        for (uint32_t b = 0; b < blocks; ++b)
            c.control({0x40, cmd::kEraseBlock, static_cast<uint16_t>(b & 0xFFFF),
                       static_cast<uint16_t>(b >> 16), 0},
                      none);
        state.counters["erased_bytes_held"] = static_cast<double>(c.flash().bytesHeld());
        const uint32_t written = c.geometry().totalPages() / 64;
        for (uint32_t i = 0; i < written; ++i) {
            uint32_t page = 32 + i * 64; // spread over the whole flash
            c.control({0x40, cmd::kWritePage, static_cast<uint16_t>(page & 0xFFFF),
                       static_cast<uint16_t>(page >> 16), 512},
                      data);
        }
        state.counters["written_pages"] = written;
        state.counters["bytes_held"] = static_cast<double>(c.flash().bytesHeld());
        state.counters["rss_growth_KiB"] = static_cast<double>(residentKiB() - before);
    }
}
BENCHMARK(BM_Memory64ZonesErasedThenPartlyWritten)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
