// One vendor IN command (CMD_GET_STATUS) through the whole stack - Win32
// DeviceIoControl, I/O manager, filter driver, bus, emulated controller -
// against the same request handed straight to the controller. Prints the
// ratio of the two at the end of the run.
#include "drivers/filter/control_codes.h"
#include "emulator/controller.h"
#include "platform/win32/win32.h"
#include "tools/simpc/pc.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <unistd.h>

namespace {

std::map<std::string, double> g_nsPerCommand;

void BM_Direct(benchmark::State& state) {
    emu::Controller disk(emu::Geometry{1, 1});
    disk.plugged();
    usb::SetupPacket setup{0xC0, 0xFE, 0, 0, 1};
    uint8_t status = 0;
    for (auto _ : state) {
        usb::TransferResult r = disk.control(setup, std::span<uint8_t>(&status, 1));
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(status);
        disk.clearCommandLog();
    }
}

void BM_WholeStack(benchmark::State& state) {
    auto root =
        std::filesystem::temp_directory_path() / ("kv-filter-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
    {
        vt::Clock clock;
        auto self = clock.attach("bench");
        emu::Controller disk(emu::Geometry{1, 1});
        sim::Pc pc(clock, win32::MachineKind::WinXP, root);
        pc.installFilterDriver();
        pc.plug(disk);
        pc.machine().run("bench.exe", [&] {
            win32::HANDLE h =
                win32::CreateFileA("\\\\.\\KV7946-0", win32::GENERIC_READ | win32::GENERIC_WRITE, 0,
                                   nullptr, win32::OPEN_EXISTING, 0, nullptr);
            std::array<uint8_t, 536> block{};
            for (auto _ : state) {
                block[0] = 0xFE;
                block[6] = 1;
                win32::DWORD returned = 0;
                win32::BOOL ok =
                    win32::DeviceIoControl(h, kv7946::IOCTL_VENDOR_IN, block.data(), block.size(),
                                           block.data(), block.size(), &returned, nullptr);
                benchmark::DoNotOptimize(ok);
                disk.clearCommandLog();
            }
            win32::CloseHandle(h);
            return 0;
        });
    }
    std::filesystem::remove_all(root);
}

BENCHMARK(BM_Direct)->UseRealTime();
BENCHMARK(BM_WholeStack)->UseRealTime();

// Collects the time per command of each benchmark as the runs are reported.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                g_nsPerCommand[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto direct = g_nsPerCommand.find("BM_Direct/real_time");
    auto stack = g_nsPerCommand.find("BM_WholeStack/real_time");
    if (direct != g_nsPerCommand.end() && stack != g_nsPerCommand.end() && direct->second > 0)
        std::printf("vendor IN through the whole stack / direct call into the controller: %.1f\n",
                    stack->second / direct->second);
    benchmark::Shutdown();
    return 0;
}
