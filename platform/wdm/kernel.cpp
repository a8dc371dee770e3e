#include "platform/wdm/kernel.h"

#include "platform/wdm/io_manager.h"
#include "platform/wdm/kernel_impl.h"
#include "platform/wdm/pnp_manager.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace wdm {

namespace {
thread_local ThreadContext* tlsContext = nullptr;

struct SystemThreadExit {};
} // namespace

ThreadContext* currentContext() {
    if (vt::Thread* t = vt::Clock::currentThread())
        return static_cast<ThreadContext*>(t->slot(vt::SlotWdm));
    return tlsContext;
}

void setCurrentContext(ThreadContext* ctx) {
    if (vt::Thread* t = vt::Clock::currentThread())
        t->setSlot(vt::SlotWdm, ctx);
    else
        tlsContext = ctx;
}

Kernel& currentKernel() {
    ThreadContext* ctx = currentContext();
    if (!ctx || !ctx->kernel) {
        std::fprintf(stderr, "kernel call outside a kernel thread\n");
        std::abort();
    }
    return *ctx->kernel;
}

std::u16string upper(const std::u16string& s) {
    std::u16string r = s;
    for (auto& c : r)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return r;
}

std::u16string fromUnicodeString(const UNICODE_STRING* s) {
    if (!s || !s->Buffer) return {};
    return std::u16string(s->Buffer, s->Length / sizeof(WCHAR));
}

std::string narrow(const std::u16string& s) {
    std::string r;
    for (char16_t c : s)
        r += c < 0x80 ? static_cast<char>(c) : '?';
    return r;
}

Kernel::Kernel(vt::Clock& clock, UCHAR wdmMajor, UCHAR wdmMinor)
    : clock_(clock), impl_(std::make_unique<Impl>(clock)) {
    impl_->wdmMajor = wdmMajor;
    impl_->wdmMinor = wdmMinor;
    io_ = std::make_unique<IoManager>(*this);
    pnp_ = std::make_unique<PnpManager>(*this);
}

Kernel::~Kernel() {
    pnp_.reset();
    io_.reset();
    std::vector<std::shared_ptr<vt::Thread>> running;
    {
        std::lock_guard lock(impl_->m);
        for (auto& t : impl_->threads)
            if (t->thread && !t->thread->finished()) running.push_back(t->thread);
    }
    for (auto& t : running) {
        t->terminate();
        t->join();
    }
    for (IRP* irp : impl_->irps) {
        delete irp->State;
        std::free(irp);
    }
    for (auto& [p, b] : impl_->pool)
        std::free(p);
    for (PDEVICE_OBJECT d : impl_->allDevices) {
        delete d->State;
        std::free(d);
    }
}

Kernel::Scope::Scope(Kernel& kernel) : saved_(currentContext()) {
    ctx_.kernel = &kernel;
    ctx_.irql = PASSIVE_LEVEL;
    ctx_.thread = &thread_;
    thread_.Header.Type = DispatcherThread;
    thread_.Priority = 8;
    setCurrentContext(&ctx_);
}

Kernel::Scope::~Scope() {
    setCurrentContext(saved_);
}

std::vector<std::string> Kernel::report() const {
    std::vector<std::string> r = verifier_.violations();
    std::lock_guard lock(impl_->m);
    for (auto& [p, b] : impl_->pool) {
        char tag[5] = {static_cast<char>(b.tag & 0xFF), static_cast<char>((b.tag >> 8) & 0xFF),
                       static_cast<char>((b.tag >> 16) & 0xFF),
                       static_cast<char>((b.tag >> 24) & 0xFF), 0};
        std::ostringstream os;
        os << "pool allocation not freed: " << b.size << " bytes, tag \"" << tag << "\"";
        r.push_back(os.str());
    }
    for (IRP* irp : impl_->irps) {
        if (irp->State && irp->State->kind == IrpState::Kind::DriverMemory) continue;
        std::ostringstream os;
        os << "IRP not freed: " << static_cast<int>(irp->StackCount) << " stack locations";
        if (irp->CurrentLocation <= irp->StackCount && irp->CurrentLocation > 0) {
            auto* s = irp->Tail.Overlay.CurrentStackLocation;
            os << ", at major " << static_cast<int>(s->MajorFunction) << " minor "
               << static_cast<int>(s->MinorFunction);
        }
        r.push_back(os.str());
    }
    for (auto& t : impl_->threads)
        if (t->driver && t->thread && !t->thread->finished())
            r.push_back("system thread still running: " + t->name);
    return r;
}

size_t Kernel::livePoolAllocations() const {
    std::lock_guard lock(impl_->m);
    return impl_->pool.size();
}

size_t Kernel::liveIrps() const {
    std::lock_guard lock(impl_->m);
    size_t n = 0;
    for (IRP* irp : impl_->irps)
        if (!irp->State || irp->State->kind != IrpState::Kind::DriverMemory) ++n;
    return n;
}

int Kernel::powerRequests() const {
    std::lock_guard lock(impl_->m);
    return impl_->powerRequests;
}

void Kernel::failPoolAllocations(int count, int skip) {
    std::lock_guard lock(impl_->m);
    impl_->poolFailCount = count;
    impl_->poolFailSkip = skip;
}

void Kernel::failIrpAllocations(int count, int skip) {
    std::lock_guard lock(impl_->m);
    impl_->irpFailCount = count;
    impl_->irpFailSkip = skip;
}

bool Kernel::injectIrpFailure() {
    std::lock_guard lock(impl_->m);
    if (impl_->irpFailCount <= 0) return false;
    if (impl_->irpFailSkip > 0) {
        --impl_->irpFailSkip;
        return false;
    }
    --impl_->irpFailCount;
    return true;
}

void Kernel::failSymbolicLinks(int count) {
    std::lock_guard lock(impl_->m);
    impl_->linkFailCount = count;
}

PDEVICE_OBJECT Kernel::findDevice(const std::u16string& name) const {
    std::lock_guard lock(impl_->m);
    auto it = impl_->devices.find(upper(name));
    return it == impl_->devices.end() ? nullptr : it->second;
}

PDEVICE_OBJECT Kernel::resolveLink(const std::u16string& link) const {
    std::lock_guard lock(impl_->m);
    auto it = impl_->links.find(upper(link));
    if (it == impl_->links.end()) return nullptr;
    auto d = impl_->devices.find(upper(it->second));
    return d == impl_->devices.end() ? nullptr : d->second;
}

bool Kernel::linkExists(const std::u16string& link) const {
    std::lock_guard lock(impl_->m);
    return impl_->links.count(upper(link)) != 0;
}

std::vector<std::u16string> Kernel::links() const {
    std::lock_guard lock(impl_->m);
    std::vector<std::u16string> r;
    for (auto& [k, v] : impl_->links)
        r.push_back(k);
    return r;
}

namespace {
NTSTATUS invalidDeviceRequest(PDEVICE_OBJECT, PIRP irp) {
    irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
    irp->IoStatus.Information = 0;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_INVALID_DEVICE_REQUEST;
}
} // namespace

PDRIVER_OBJECT Kernel::loadDriver(const std::string& serviceName, PDRIVER_INITIALIZE entry,
                                  NTSTATUS* status) {
    if (PDRIVER_OBJECT d = findDriver(serviceName)) {
        if (status) *status = STATUS_SUCCESS;
        return d;
    }
    auto drv = std::make_unique<Impl::Driver>();
    for (char c : std::string("\\Driver\\") + serviceName)
        drv->name += static_cast<char16_t>(c);
    for (char c : "\\Registry\\Machine\\System\\CurrentControlSet\\Services\\" + serviceName)
        drv->service += static_cast<char16_t>(c);
    DRIVER_OBJECT& o = drv->object;
    o.Type = 4;
    o.Size = sizeof(DRIVER_OBJECT);
    o.DriverExtension = &drv->extension;
    drv->extension.DriverObject = &o;
    o.DriverName.Buffer = drv->name.data();
    o.DriverName.Length = static_cast<USHORT>(drv->name.size() * 2);
    o.DriverName.MaximumLength = o.DriverName.Length;
    o.OwningKernel = this;
    for (auto& f : o.MajorFunction)
        f = invalidDeviceRequest;
    UNICODE_STRING reg{static_cast<USHORT>(drv->service.size() * 2),
                       static_cast<USHORT>(drv->service.size() * 2), drv->service.data()};
    PDRIVER_OBJECT result = &o;
    {
        std::lock_guard lock(impl_->m);
        impl_->drivers[serviceName] = std::move(drv);
    }
    NTSTATUS s = entry(result, &reg);
    if (status) *status = s;
    if (!NT_SUCCESS(s)) {
        std::lock_guard lock(impl_->m);
        impl_->drivers.erase(serviceName);
        return nullptr;
    }
    return result;
}

PDRIVER_OBJECT Kernel::findDriver(const std::string& serviceName) const {
    std::lock_guard lock(impl_->m);
    auto it = impl_->drivers.find(serviceName);
    return it == impl_->drivers.end() ? nullptr : &it->second->object;
}

std::shared_ptr<vt::Thread> Kernel::spawnSystemThread(std::string name,
                                                      std::function<void()> body) {
    auto rec = std::make_unique<Impl::SystemThread>();
    Impl::SystemThread* t = rec.get();
    t->name = name;
    t->kthread.Header.Type = DispatcherThread;
    t->kthread.Priority = 8;
    t->ctx.kernel = this;
    t->ctx.irql = PASSIVE_LEVEL;
    t->ctx.thread = &t->kthread;
    {
        std::lock_guard lock(impl_->m);
        impl_->threads.push_back(std::move(rec));
    }
    t->thread = clock_.spawn(name, [this, t, body = std::move(body)] {
        setCurrentContext(&t->ctx);
        struct Ended {
            Kernel* k;
            Impl::SystemThread* t;
            ~Ended() {
                t->kthread.Header.SignalState = 1;
                k->wakeWaiters();
            }
        } ended{this, t};
        try {
            body();
        } catch (const SystemThreadExit&) {
        }
    });
    return t->thread;
}

void Kernel::wakeWaiters() {
    impl_->dispatcher.pulse();
}

bool Kernel::wdmVersionAvailable(UCHAR major, UCHAR minor) const {
    if (major != impl_->wdmMajor) return major < impl_->wdmMajor;
    return minor <= impl_->wdmMinor;
}

// System threads ------------------------------------------------------------

NTSTATUS PsCreateSystemThread(PHANDLE ThreadHandle, ULONG, POBJECT_ATTRIBUTES, HANDLE, PCLIENT_ID,
                              PKSTART_ROUTINE StartRoutine, PVOID StartContext) {
    Kernel& k = currentKernel();
    if (currentContext()->irql != PASSIVE_LEVEL)
        k.verifier().report("PsCreateSystemThread above PASSIVE_LEVEL");
    auto& impl = k.impl();
    std::lock_guard lock(impl.m);
    std::string name = "system thread " + std::to_string(impl.threads.size() + 1);
    k.spawnSystemThread(name, [StartRoutine, StartContext] { StartRoutine(StartContext); });
    HANDLE h = reinterpret_cast<HANDLE>(impl.nextHandle);
    impl.nextHandle += 4;
    impl.threads.back()->driver = true;
    impl.handles[h] = impl.threads.back().get();
    if (ThreadHandle) *ThreadHandle = h;
    return STATUS_SUCCESS;
}

NTSTATUS PsTerminateSystemThread(NTSTATUS) {
    throw SystemThreadExit{};
}

NTSTATUS ObReferenceObjectByHandle(HANDLE Handle, ACCESS_MASK, PVOID, KPROCESSOR_MODE,
                                   PVOID* Object, PVOID) {
    Kernel& k = currentKernel();
    std::lock_guard lock(k.impl().m);
    auto it = k.impl().handles.find(Handle);
    if (it == k.impl().handles.end()) return STATUS_INVALID_HANDLE;
    *Object = &it->second->kthread;
    return STATUS_SUCCESS;
}

NTSTATUS ZwClose(HANDLE Handle) {
    Kernel& k = currentKernel();
    std::lock_guard lock(k.impl().m);
    return k.impl().handles.erase(Handle) ? STATUS_SUCCESS : STATUS_INVALID_HANDLE;
}

BOOLEAN IoIsWdmVersionAvailable(UCHAR MajorVersion, UCHAR MinorVersion) {
    return currentKernel().wdmVersionAvailable(MajorVersion, MinorVersion) ? TRUE : FALSE;
}

} // namespace wdm
