// Inside the machine: kernel objects, processes, threads and their
// handles. Used by the API's source files only.
#pragma once

#include "platform/clock/clock.h"
#include "platform/win32/desktop.h"
#include "platform/win32/file_store.h"
#include "platform/win32/machine.h"
#include "platform/win32/registry_store.h"
#include "platform/win32/user.h"

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace win32 {

struct ProcessRec;
struct ThreadCtx;

// A kernel object that handles refer to.
struct Object {
    virtual ~Object() = default;
    virtual const char* kindName() const = 0;
    // What a leak report shows in quotes; empty for none.
    virtual std::string label() const { return name; }
    virtual vt::Waitable* waitable() { return nullptr; }
    // The last handle was closed (called without the machine's lock).
    virtual void lastClose(Machine::Impl&) {}
    std::string name; // of a named object
    int handles = 0;
};

struct MutexObject : Object {
    MutexObject(vt::Clock& clock, bool owned) : mutex(clock, owned) {}
    const char* kindName() const override { return "mutex"; }
    vt::Waitable* waitable() override { return &mutex; }
    vt::Mutex mutex;
};

struct EventObject : Object {
    EventObject(vt::Clock& clock, bool manual, bool set) : event(clock, manual, set) {}
    const char* kindName() const override { return "event"; }
    vt::Waitable* waitable() override { return &event; }
    vt::Event event;
};

struct ProcessObject : Object {
    explicit ProcessObject(std::shared_ptr<ProcessRec> p) : process(std::move(p)) {}
    const char* kindName() const override { return "process"; }
    std::string label() const override;
    vt::Waitable* waitable() override;
    std::shared_ptr<ProcessRec> process;
};

// An icon loaded from a program's resources. Shared icons (LoadIconA,
// LR_SHARED) belong to the process until it ends and are not leaks.
struct IconObject : Object {
    const char* kindName() const override { return "icon"; }
    std::string label() const override { return image.resource; }
    IconImage image;
    bool shared = false;
};

struct MessageQueue;

// A message sent to a window of another thread, waiting for its result.
struct SentMessage {
    SentMessage(vt::Clock& clock) : done(clock, true, false) {}
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    vt::Event done;
};

struct ThreadCtx {
    ThreadCtx(vt::Clock& clock) : wake(clock, false, false) {}
    Machine::Impl* machine = nullptr;
    ProcessRec* process = nullptr;
    DWORD id = 0;
    DWORD lastError = 0;
    // Message queue.
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    bool quit = false;
    int quitCode = 0;
    vt::Event wake; // auto-reset: new input arrived
};

struct WindowClass {
    std::string name;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
};

struct ProcessRec : public Process, public std::enable_shared_from_this<ProcessRec> {
    // Process
    ProcessRec(Machine::Impl& m, std::string name, std::string imagePath, DWORD id);
    const std::string& name() const override { return name_; }
    DWORD id() const override { return id_; }
    bool running() const override;
    std::optional<DWORD> exitCode() const override;
    bool wait(std::optional<vt::Duration> timeout) override;
    void terminate(DWORD exitCode) override;
    Machine& machine() const override;

    Machine::Impl& m;
    std::string name_;
    std::string imagePath; // Windows path of the program file, or empty
    DWORD id_;
    std::string currentDirectory;
    std::shared_ptr<vt::Thread> thread;
    std::shared_ptr<ThreadCtx> mainThread;
    bool started = false; // the body began to run
    // Set once at the end; guarded by stateLock so that a process can be
    // asked about after its machine is gone.
    mutable std::mutex stateLock;
    bool finished = false; // handles are closed and the exit code is set
    std::optional<DWORD> exitCode_;
    std::optional<DWORD> pendingExit; // from ExitProcess or terminate
    vt::Event ended;
    std::map<uintptr_t, std::shared_ptr<Object>> handles;
    uintptr_t nextHandle = 0x44;
    std::map<std::string, WindowClass> classes; // by lower-case name
};

struct Window {
    HWND hwnd = nullptr;
    std::string className;
    std::string title;
    WNDPROC proc = nullptr;
    LONG_PTR userData = 0;
    HWND parent = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    int showState = 0;
    bool visible = false;
    bool destroying = false;
    std::shared_ptr<ThreadCtx> thread;
    std::vector<DrawnIcon> drawn;
};

struct Machine::Impl {
    Impl(Machine& self, vt::Clock& clock, MachineKind kind, std::filesystem::path root);

    Machine& self;
    vt::Clock& clock;
    MachineKind kind;
    std::filesystem::path root;
    mutable std::recursive_mutex lock;
    KernelDevices* kernel = nullptr;

    Registry registry;
    FileSystem files;
    Desktop desktop;

    DWORD nextProcessId = 0x100;
    DWORD nextThreadId = 0x104;
    std::vector<std::shared_ptr<ProcessRec>> processes;
    std::map<DWORD, std::weak_ptr<ThreadCtx>> threads;
    std::map<std::string, std::weak_ptr<Object>> names; // named kernel objects
    std::map<std::string, ProgramEntry> programs;       // by lower-case Windows path
    std::map<std::string, std::string> programNames;    // lower-case path -> as registered
    std::map<std::string, std::vector<IconResource>> iconResources; // by lower-case path
    std::vector<std::string> leaks;

    // Open files by lower-case host path, for share-mode checks.
    struct OpenFile {
        DWORD access;
        DWORD share;
        const void* owner;
    };
    std::multimap<std::string, OpenFile> openFiles;
    std::vector<std::function<void(Process&, bool)>> processCallbacks;

    // Windows.
    std::map<uintptr_t, Window> windows;
    std::vector<uintptr_t> windowOrder; // creation order (z-order is not modelled)
    uintptr_t nextWindow = 0x10010;
    ATOM nextAtom = 0xC000;
    uintptr_t foreground = 0;
    std::vector<TrayIcon> trayIcons;
    std::map<uintptr_t, HWND> deviceContexts; // from GetDC, until ReleaseDC
    uintptr_t nextDeviceContext = 0x1010;
    struct WindowTimer {
        std::weak_ptr<ThreadCtx> thread;
        UINT elapse = 0;
        TIMERPROC proc = nullptr;
        uint64_t clockTimer = 0;
        bool pending = false; // a WM_TIMER is queued and not yet taken
    };
    std::map<std::pair<uintptr_t, UINT_PTR>, WindowTimer> timers; // by window and id
    UINT_PTR nextThreadTimer = 1;
    POINT cursor{0, 0};
    bool cursorFails = false;

    std::string windowsOverride; // empty: the kind's default folder
    std::string windowsDirectory() const;
    std::string systemDirectory() const;

    std::shared_ptr<ProcessRec> start(const std::string& name, const std::string& imagePath,
                                      std::function<int()> fn);
    // Ends the process: closes its handles (reporting them), destroys its
    // windows, sets the exit code. Called on its main thread or, for a
    // process that never ran, by whoever terminated it.
    void finish(ProcessRec& p, DWORD code);
    // Removes a handle from the process; returns the object when that was
    // its last handle, to be finalised with finalClose outside the lock.
    std::shared_ptr<Object> detachHandle(ProcessRec& p, uintptr_t value);
    void finalClose(const std::shared_ptr<Object>& object);
    HANDLE addHandle(ProcessRec& p, std::shared_ptr<Object> object);
    std::string findProgram(const std::string& pathOrName) const;
};

// The calling thread's context, or null outside a process of a machine.
ThreadCtx* currentThread();
// Sets the calling thread's last error (nothing outside a process).
void setLastError(DWORD error);
// The object behind a handle of the calling process, or null.
std::shared_ptr<Object> lookupHandle(HANDLE h);
template <typename T> std::shared_ptr<T> lookupAs(HANDLE h) {
    return std::dynamic_pointer_cast<T>(lookupHandle(h));
}
// Lower-case copy (ASCII and the letters of code page 1252).
std::string lowerCase(const std::string& s);
Window* findWindow(Machine::Impl& m, HWND hwnd);
// Sends a message from the calling thread (direct call or cross-thread).
LRESULT sendMessage(Machine::Impl& m, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Posts to the queue of the window's thread; false for an invalid window.
bool postMessage(Machine::Impl& m, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// A WM_TIMER was taken from a queue: the timer may post again.
void timerTaken(Machine::Impl& m, const MSG& msg);
// Stops the timers of a window (or, for null, of a thread).
void killTimersOf(Machine::Impl& m, HWND hwnd, ThreadCtx* thread);
// Destroys every window of the thread without notifying it (thread ended).
void dropWindowsOf(Machine::Impl& m, ThreadCtx& thread);

inline uintptr_t handleValue(const void* h) {
    return reinterpret_cast<uintptr_t>(h);
}
inline HANDLE makeHandle(uintptr_t v) {
    return reinterpret_cast<HANDLE>(v);
}

} // namespace win32
