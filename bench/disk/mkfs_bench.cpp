// kv7946-emu mkfs of a 64-zone device: real time, the tool's peak memory,
// and the vendor commands it sends against the fewest the sequence needs.
#include "app/disk/fat_params.h"
#include "app/disk/geometry.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Runs the tool; its exit status, standard output and peak resident size.
int RunTool(const std::vector<std::string>& args, std::string& out, long& maxRssKb) {
    int pipefd[2];
    if (pipe(pipefd) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipefd[0]);
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipefd[1]);
    if (spawned != 0) {
        close(pipefd[0]);
        return -1;
    }
    char buffer[512];
    ssize_t got;
    while ((got = read(pipefd[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, got);
    close(pipefd[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    maxRssKb = usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The commands the partition sequence cannot do without.
uint64_t MinimumCommands(const disk::FlashGeometry& g, disk::LayoutType type, uint32_t e) {
    uint64_t n = 1 + 1 + 1;           // geometry, read and write the configuration page
    n += 32 + g.totalPhysical() + 32; // save, erase every block, restore
    auto region = [&](uint32_t blocks) {
        const auto plan = *disk::PlanRegion(type, blocks * 32);
        uint64_t writes = 1 + 2 * plan.fatSectors + plan.rootSectors; // boot, FATs, root
        if (type != disk::LayoutType::Floppy) writes += 1;            // MBR
        if (type == disk::LayoutType::Hdd) writes += 1;               // the 0xFF sector
        return 1 + writes;                                            // + geometry
    };
    const uint32_t T = g.totalLogical();
    n += (e == 0 || e == T) ? region(T) : region(e) + region(T - e);
    return n;
}

void BM_Mkfs64Zones(benchmark::State& state) {
    const auto type = static_cast<disk::LayoutType>(state.range(0));
    const uint32_t split = static_cast<uint32_t>(state.range(1));
    const char* names[] = {"floppy", "zip", "hdd"};
    const auto dir =
        std::filesystem::temp_directory_path() / ("kv-mkfs-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string img = (dir / "device.img").string();
    const auto g = *disk::FlashGeometry::From(8, 64);
    long peakKb = 0;
    uint64_t commands = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::string out;
        long rss = 0;
        if (RunTool({KV_EMU_TOOL, "create", img, "--zones", "64", "--units", "8", "--name", "Bench",
                     "--force"},
                    out, rss) != 0) {
            state.SkipWithError("create failed");
            break;
        }
        state.ResumeTiming();
        out.clear();
        std::vector<std::string> args = {KV_EMU_TOOL,           "mkfs",   img, "--layout",
                                         names[state.range(0)], "--stats"};
        if (split) args.insert(args.end(), {"--split", std::to_string(split)});
        if (RunTool(args, out, rss) != 0) {
            state.SkipWithError("mkfs failed");
            break;
        }
        peakKb = std::max(peakKb, rss);
        unsigned long long sent = 0;
        std::sscanf(out.c_str(), "vendor commands: %llu", &sent);
        commands = sent;
    }
    state.counters["peak_rss_MB"] = static_cast<double>(peakKb) / 1024.0;
    state.counters["vendor_commands"] = static_cast<double>(commands);
    state.counters["minimum_commands"] =
        static_cast<double>(MinimumCommands(g, type, split ? split : g.totalLogical()));
    std::filesystem::remove_all(dir);
}

BENCHMARK(BM_Mkfs64Zones)
    ->ArgNames({"layout", "split"})
    ->Args({0, 0})
    ->Args({2, 0})
    ->Args({2, 32000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
