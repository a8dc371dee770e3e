// A simulated machine on a fresh root folder, with the test's own thread
// attached to the clock.
#pragma once

#include "platform/win32/simulation.h"
#include "platform/win32/win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>

namespace win32test {

class TempRoot {
  public:
    TempRoot() {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("kv-win32-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempRoot() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

class SimMachine {
  public:
    explicit SimMachine(win32::MachineKind kind = win32::MachineKind::WinXP)
        : machine(clock, kind, root.path()) {}

    // Runs body as the main thread of a process and returns its exit code.
    win32::DWORD run(const std::function<void()>& body, const std::string& name = "test.exe") {
        return machine.run(name, [&] {
            body();
            return 0;
        });
    }

    vt::Clock clock;
    vt::Clock::Attachment self = clock.attach("test");
    TempRoot root;
    win32::Machine machine;
};

} // namespace win32test
