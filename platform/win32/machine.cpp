#include "platform/win32/machine_impl.h"

#include <algorithm>

namespace win32 {

namespace {

const char* const kProgramMarker = "MZ simulated program: ";

std::string fileNameOf(const std::string& windowsPath) {
    auto slash = windowsPath.find_last_of("\\:");
    return slash == std::string::npos ? windowsPath : windowsPath.substr(slash + 1);
}

std::string folderOf(const std::string& windowsPath) {
    auto slash = windowsPath.find_last_of('\\');
    if (slash == std::string::npos) return {};
    if (slash == 2 && windowsPath.size() > 1 && windowsPath[1] == ':')
        return windowsPath.substr(0, 3);
    return windowsPath.substr(0, slash);
}

bool hasExtension(const std::string& name) {
    auto dot = name.find_last_of('.');
    auto slash = name.find_last_of('\\');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

} // namespace

std::string lowerCase(const std::string& s) {
    std::string r = s;
    for (char& c : r) {
        auto u = static_cast<unsigned char>(c);
        if (u >= 'A' && u <= 'Z')
            u = static_cast<unsigned char>(u + 32);
        else if (u >= 0xC0 && u <= 0xDE && u != 0xD7)
            u = static_cast<unsigned char>(u + 32);
        else if (u == 0x8A || u == 0x8C || u == 0x8E)
            u = static_cast<unsigned char>(u + 16);
        else if (u == 0x9F)
            u = 0xFF;
        c = static_cast<char>(u);
    }
    return r;
}

ThreadCtx* currentThread() {
    vt::Thread* t = vt::Clock::currentThread();
    return t ? static_cast<ThreadCtx*>(t->slot(vt::SlotWin32)) : nullptr;
}

void setLastError(DWORD error) {
    if (ThreadCtx* t = currentThread()) t->lastError = error;
}

std::shared_ptr<Object> lookupHandle(HANDLE h) {
    ThreadCtx* t = currentThread();
    if (!t || !h) return nullptr;
    auto& m = *t->machine;
    std::lock_guard g(m.lock);
    if (h == INVALID_HANDLE_VALUE) { // GetCurrentProcess()
        return std::make_shared<ProcessObject>(t->process->shared_from_this());
    }
    auto it = t->process->handles.find(handleValue(h));
    return it == t->process->handles.end() ? nullptr : it->second;
}

std::string ProcessObject::label() const {
    return process->name();
}
vt::Waitable* ProcessObject::waitable() {
    return &process->ended;
}

// ---------------------------------------------------------------- ProcessRec

ProcessRec::ProcessRec(Machine::Impl& machine, std::string name, std::string image, DWORD id)
    : m(machine), name_(std::move(name)), imagePath(std::move(image)), id_(id),
      ended(machine.clock, true, false) {}

bool ProcessRec::running() const {
    std::lock_guard g(stateLock);
    return !finished;
}

std::optional<DWORD> ProcessRec::exitCode() const {
    std::lock_guard g(stateLock);
    return exitCode_;
}

bool ProcessRec::wait(std::optional<vt::Duration> timeout) {
    if (vt::Clock::current() == &ended.clock())
        return ended.wait(timeout) != vt::WaitResult::Timeout;
    std::shared_ptr<vt::Thread> t;
    {
        std::lock_guard g(stateLock);
        t = thread;
    }
    if (t) t->join();
    return !running();
}

void ProcessRec::terminate(DWORD code) {
    std::shared_ptr<vt::Thread> t;
    bool notStarted;
    if (!running()) return;
    {
        std::lock_guard g(m.lock);
        if (pendingExit) return;
        pendingExit = code;
        notStarted = !started;
    }
    {
        std::lock_guard g(stateLock);
        t = thread;
    }
    ThreadCtx* self = currentThread();
    if (self && self->process == this) throw vt::ThreadTerminated{};
    if (t) t->terminate();
    if (notStarted) m.finish(*this, code);
}

Machine& ProcessRec::machine() const {
    return m.self;
}

// ---------------------------------------------------------------- Impl

Machine::Impl::Impl(Machine& s, vt::Clock& c, MachineKind k, std::filesystem::path r)
    : self(s), clock(c), kind(k), root(std::move(r)), registry(lock), files(lock, root),
      desktop(s) {
    files.addDrive('C', 3);
    files.makeDirectories(windowsDirectory() + "\\INF");
    files.makeDirectories(systemDirectory());
    bool win9x = kind == MachineKind::Win98SE || kind == MachineKind::WinME;
    if (win9x) {
        files.makeDirectories(windowsDirectory() + "\\INF\\OTHER");
        files.makeDirectories(systemDirectory() + "\\IOSUBSYS");
        files.makeDirectories(windowsDirectory() + "\\COMMAND");
        registry.createKey("HKLM\\Enum\\USB");
        registry.createKey("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
        registry.createKey("HKLM\\System\\CurrentControlSet\\Services\\Class");
    } else {
        files.makeDirectories(systemDirectory() + "\\drivers");
        registry.createKey("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
        registry.createKey("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class");
        registry.createKey("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB");
        registry.createKey("HKLM\\SYSTEM\\CurrentControlSet\\Services");
    }
    registry.createKey("HKCU\\Software");
}

std::string Machine::Impl::windowsDirectory() const {
    std::lock_guard g(lock);
    if (!windowsOverride.empty()) return windowsOverride;
    return kind == MachineKind::Win2000 ? "C:\\WINNT" : "C:\\WINDOWS";
}

std::string Machine::Impl::systemDirectory() const {
    std::lock_guard g(lock);
    if (!windowsOverride.empty())
        return windowsOverride + (kind == MachineKind::Win98SE || kind == MachineKind::WinME
                                      ? "\\SYSTEM"
                                      : "\\system32");
    switch (kind) {
    case MachineKind::Win98SE:
    case MachineKind::WinME:
        return "C:\\WINDOWS\\SYSTEM";
    case MachineKind::Win2000:
        return "C:\\WINNT\\system32";
    case MachineKind::WinXP:
        break;
    }
    return "C:\\WINDOWS\\system32";
}

HANDLE Machine::Impl::addHandle(ProcessRec& p, std::shared_ptr<Object> object) {
    std::lock_guard g(lock);
    uintptr_t value = p.nextHandle;
    p.nextHandle += 4;
    ++object->handles;
    p.handles[value] = std::move(object);
    return makeHandle(value);
}

std::shared_ptr<Object> Machine::Impl::detachHandle(ProcessRec& p, uintptr_t value) {
    std::lock_guard g(lock);
    auto it = p.handles.find(value);
    if (it == p.handles.end()) return nullptr;
    auto object = it->second;
    p.handles.erase(it);
    if (--object->handles > 0) return nullptr;
    if (!object->name.empty()) {
        auto n = names.find(object->name);
        if (n != names.end() && n->second.lock() == object) names.erase(n);
    }
    return object;
}

void Machine::Impl::finalClose(const std::shared_ptr<Object>& object) {
    if (object) object->lastClose(*this);
}

std::shared_ptr<ProcessRec> Machine::Impl::start(const std::string& name,
                                                 const std::string& imagePath,
                                                 std::function<int()> fn) {
    std::shared_ptr<ProcessRec> p;
    std::shared_ptr<ThreadCtx> ctx;
    std::vector<std::function<void(Process&, bool)>> callbacks;
    {
        std::lock_guard g(lock);
        p = std::make_shared<ProcessRec>(*this, name, imagePath, nextProcessId);
        nextProcessId += 4;
        ctx = std::make_shared<ThreadCtx>(clock);
        ctx->machine = this;
        ctx->process = p.get();
        ctx->id = nextThreadId;
        nextThreadId += 4;
        p->mainThread = ctx;
        p->currentDirectory = imagePath.empty() ? std::string("C:\\") : folderOf(imagePath);
        threads[ctx->id] = ctx;
        processes.push_back(p);
        callbacks = processCallbacks;
    }
    for (auto& cb : callbacks)
        cb(*p, true);
    auto thread = clock.spawn(name, [this, p, ctx, fn = std::move(fn)] {
        vt::Clock::currentThread()->setSlot(vt::SlotWin32, ctx.get());
        {
            std::lock_guard g(lock);
            p->started = true;
        }
        DWORD code = 0;
        try {
            code = static_cast<DWORD>(fn());
        } catch (const vt::ThreadTerminated&) {
            std::lock_guard g(lock);
            code = p->pendingExit.value_or(1);
        } catch (...) {
            finish(*p, 1);
            vt::Clock::currentThread()->setSlot(vt::SlotWin32, nullptr);
            throw;
        }
        finish(*p, code);
        vt::Clock::currentThread()->setSlot(vt::SlotWin32, nullptr);
    });
    {
        std::lock_guard g(p->stateLock);
        p->thread = thread;
    }
    return p;
}

void Machine::Impl::finish(ProcessRec& p, DWORD code) {
    std::vector<std::shared_ptr<Object>> finals;
    std::vector<std::function<void(Process&, bool)>> callbacks;
    {
        std::lock_guard g(lock);
        {
            std::lock_guard s(p.stateLock);
            if (p.finished) return;
        }
        dropWindowsOf(*this, *p.mainThread);
        std::vector<uintptr_t> open;
        for (auto& [value, object] : p.handles) {
            open.push_back(value);
            if (auto icon = std::dynamic_pointer_cast<IconObject>(object); icon && icon->shared)
                continue;
            std::string line = p.name_ + ": " + object->kindName();
            std::string label = object->label();
            if (!label.empty()) line += " \"" + label + "\"";
            leaks.push_back(line);
        }
        for (uintptr_t value : open)
            if (auto object = detachHandle(p, value)) finals.push_back(object);
        {
            std::lock_guard s(p.stateLock);
            p.finished = true;
            p.exitCode_ = code;
        }
        threads.erase(p.mainThread->id);
        callbacks = processCallbacks;
    }
    for (auto& object : finals) {
        try {
            finalClose(object);
        } catch (const vt::ThreadTerminated&) {
            // The machine is shutting down; the rest is closed without waits.
        }
    }
    p.ended.set();
    for (auto& cb : callbacks)
        cb(p, false);
}

std::string Machine::Impl::findProgram(const std::string& pathOrName) const {
    std::vector<std::string> candidates;
    std::string name = hasExtension(pathOrName) ? pathOrName : pathOrName + ".exe";
    if (name.find_first_of("\\:") != std::string::npos) {
        candidates.push_back(name);
    } else {
        candidates.push_back(windowsDirectory() + "\\" + name);
        candidates.push_back(systemDirectory() + "\\" + name);
    }
    for (auto& c : candidates)
        if (files.exists(c) && !(files.attributes(c) & 0x10)) return c;
    return {};
}

// ---------------------------------------------------------------- Machine

Machine::Machine(vt::Clock& clock, MachineKind kind, std::filesystem::path root)
    : impl_(std::make_unique<Impl>(*this, clock, kind, std::move(root))) {}

Machine::~Machine() {
    std::vector<std::shared_ptr<ProcessRec>> all;
    {
        std::lock_guard g(impl_->lock);
        all = impl_->processes;
    }
    for (auto& p : all)
        p->terminate(1);
    for (auto& p : all)
        p->wait(std::nullopt);
    std::lock_guard g(impl_->lock);
    for (auto& [key, timer] : impl_->timers)
        impl_->clock.cancelTimer(timer.clockTimer);
    impl_->timers.clear();
}

vt::Clock& Machine::clock() const {
    return impl_->clock;
}
MachineKind Machine::kind() const {
    return impl_->kind;
}
const std::filesystem::path& Machine::root() const {
    return impl_->root;
}

std::optional<std::filesystem::path> Machine::hostPath(const std::string& windowsPath) const {
    return impl_->files.hostPath(windowsPath);
}

void Machine::registerProgram(const std::string& windowsPath, ProgramEntry entry) {
    {
        std::lock_guard g(impl_->lock);
        impl_->programs[lowerCase(windowsPath)] = std::move(entry);
        impl_->programNames[lowerCase(windowsPath)] = windowsPath;
    }
    impl_->files.writeFile(windowsPath, kProgramMarker + windowsPath + "\r\n");
}

void Machine::addIconResource(const std::string& windowsPath, IconResource resource) {
    std::lock_guard g(impl_->lock);
    auto& list = impl_->iconResources[lowerCase(windowsPath)];
    std::erase_if(list, [&](const IconResource& r) {
        return resource.name.empty() ? r.name.empty() && r.id == resource.id
                                     : lowerCase(r.name) == lowerCase(resource.name);
    });
    list.push_back(std::move(resource));
}

bool Machine::isProgram(const std::string& windowsPath) const {
    std::lock_guard g(impl_->lock);
    return impl_->programs.count(lowerCase(windowsPath)) != 0;
}

std::shared_ptr<Process> Machine::startProgram(const std::string& pathOrName) {
    std::string path = impl_->findProgram(pathOrName);
    if (path.empty()) return nullptr;
    auto content = impl_->files.readFile(path);
    std::string marker = kProgramMarker;
    if (!content || content->compare(0, marker.size(), marker) != 0) return nullptr;
    std::string registered = content->substr(marker.size());
    registered = registered.substr(0, registered.find_first_of("\r\n"));
    ProgramEntry entry;
    {
        std::lock_guard g(impl_->lock);
        auto it = impl_->programs.find(lowerCase(registered));
        if (it == impl_->programs.end()) return nullptr;
        entry = it->second;
    }
    auto host = impl_->files.hostPath(path);
    std::string name = host ? host->filename().string() : fileNameOf(path);
    std::string folder = folderOf(path);
    return impl_->start(name, folder + (folder.ends_with("\\") ? "" : "\\") + name,
                        std::move(entry));
}

std::shared_ptr<Process> Machine::startProcess(const std::string& name, std::function<int()> fn) {
    return impl_->start(name, {}, std::move(fn));
}

DWORD Machine::run(const std::string& name, std::function<int()> fn) {
    auto p = startProcess(name, std::move(fn));
    p->wait();
    return p->exitCode().value_or(STILL_ACTIVE);
}

std::vector<std::shared_ptr<Process>> Machine::processes() const {
    std::lock_guard g(impl_->lock);
    return {impl_->processes.begin(), impl_->processes.end()};
}

void Machine::onProcessEvent(std::function<void(Process&, bool started)> callback) {
    std::lock_guard g(impl_->lock);
    impl_->processCallbacks.push_back(std::move(callback));
}

void Machine::setKernelDevices(KernelDevices* kernel) {
    std::lock_guard g(impl_->lock);
    impl_->kernel = kernel;
}

KernelDevices* Machine::kernelDevices() const {
    std::lock_guard g(impl_->lock);
    return impl_->kernel;
}

std::vector<std::string> Machine::handleLeaks() const {
    std::lock_guard g(impl_->lock);
    return impl_->leaks;
}

Machine* Machine::current() {
    ThreadCtx* t = currentThread();
    return t ? &t->machine->self : nullptr;
}

Registry& Machine::registry() const {
    return impl_->registry;
}
FileSystem& Machine::files() const {
    return impl_->files;
}
Desktop& Machine::desktop() const {
    return impl_->desktop;
}
std::string Machine::windowsDirectory() const {
    return impl_->windowsDirectory();
}
std::string Machine::systemDirectory() const {
    return impl_->systemDirectory();
}

void Machine::setWindowsDirectory(const std::string& windowsPath) {
    std::string path = windowsPath;
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    if (path.size() >= 2 && path[1] == ':' && !impl_->files.hasDrive(path[0]))
        impl_->files.addDrive(path[0], 3);
    // The default folders made at start go when they hold no files.
    if (auto old = impl_->files.hostPath(impl_->windowsDirectory())) {
        std::error_code ec;
        bool empty = true;
        for (auto it = std::filesystem::recursive_directory_iterator(*old, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            if (!it->is_directory(ec)) empty = false;
        if (empty) std::filesystem::remove_all(*old, ec);
    }
    {
        std::lock_guard g(impl_->lock);
        impl_->windowsOverride = path;
    }
    impl_->files.makeDirectories(impl_->windowsDirectory() + "\\INF");
    impl_->files.makeDirectories(impl_->systemDirectory());
}

} // namespace win32
