// One simulated PC: its Windows version, processes and threads on the
// virtual clock, kernel objects, registry, files and windows. Several
// machines may exist at once; each Win32 call acts on the machine of the
// simulated thread that makes it.
#pragma once

#include "platform/clock/clock.h"
#include "platform/win32/device_io.h"
#include "platform/win32/types.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace win32 {

enum class MachineKind { Win98SE, WinME, Win2000, WinXP };

class Machine;
class Registry;
class FileSystem;
class Desktop;

// An icon resource of a program: named ("MAINICON") or numbered, holding
// square images of the given sizes in pixels.
struct IconResource {
    std::string name; // empty: numbered by id
    WORD id = 0;
    std::vector<int> sizes{16, 32};
};

// A running or ended program.
class Process {
  public:
    virtual ~Process() = default;
    virtual const std::string& name() const = 0; // file name, e.g. "KV7946AP.exe"
    virtual DWORD id() const = 0;
    virtual bool running() const = 0;
    virtual std::optional<DWORD> exitCode() const = 0;
    // Waits (on the clock) until the process has ended; false on time-out.
    virtual bool wait(std::optional<vt::Duration> timeout = std::nullopt) = 0;
    // Ends every thread of the process with the given exit code.
    virtual void terminate(DWORD exitCode) = 0;
    virtual Machine& machine() const = 0;
};

class Machine {
  public:
    Machine(vt::Clock& clock, MachineKind kind, std::filesystem::path root);
    ~Machine(); // terminates every process still running
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    vt::Clock& clock() const;
    MachineKind kind() const;
    bool isWin9x() const { return kind() == MachineKind::Win98SE || kind() == MachineKind::WinME; }
    // Host folder that holds the drive letters ("C" -> root/C).
    const std::filesystem::path& root() const;
    // The host path of a Windows path such as "C:\WINDOWS\SYSTEM\x.dll".
    std::optional<std::filesystem::path> hostPath(const std::string& windowsPath) const;

    // Programs. An entry runs on the main thread of a new process and
    // returns the exit code. Registering also creates the program's file at
    // windowsPath, so it can be found, copied and deleted like a real one.
    using ProgramEntry = std::function<int()>;
    void registerProgram(const std::string& windowsPath, ProgramEntry entry);
    // Gives the program at windowsPath an icon resource (replacing one of
    // the same name or id), for LoadImageA and LoadIconA in its processes.
    void addIconResource(const std::string& windowsPath, IconResource resource);
    // Starts a program by full path, or by file name searched in the Windows
    // folder and then the system folder. Null when nothing is found.
    std::shared_ptr<Process> startProgram(const std::string& pathOrName);
    // Starts fn as the main thread of a new process called name.
    std::shared_ptr<Process> startProcess(const std::string& name, std::function<int()> fn);
    // Convenience for tests: startProcess, wait for the end, return its exit code.
    DWORD run(const std::string& name, std::function<int()> fn);
    std::vector<std::shared_ptr<Process>> processes() const;
    // Called when a process starts (true) or ends (false).
    void onProcessEvent(std::function<void(Process&, bool started)> callback);

    // The kernel that serves "\\.\NAME" (null: every device name is absent).
    void setKernelDevices(KernelDevices* kernel);
    KernelDevices* kernelDevices() const;

    // Verifier: one line per handle a process left open when it ended.
    std::vector<std::string> handleLeaks() const;

    // Direct access for installation steps, tests and the frontend.
    Registry& registry() const;
    FileSystem& files() const;
    Desktop& desktop() const;
    // "C:\WINDOWS" (or "C:\WINNT" on 2000) and its system folder.
    std::string windowsDirectory() const;
    std::string systemDirectory() const;
    // Installs Windows in another folder (e.g. "D:\WIN98"); the system
    // folder moves with it. For setting up a machine before programs run.
    void setWindowsDirectory(const std::string& windowsPath);
    // Whether a program is registered at this path (its file may be gone).
    bool isProgram(const std::string& windowsPath) const;

    // The machine of the calling simulated thread, or null.
    static Machine* current();

    struct Impl;
    Impl& impl() const { return *impl_; }

  private:
    std::unique_ptr<Impl> impl_;
};

} // namespace win32
