// The simulated kernel of one machine: object namespace, pool, IRPs,
// dispatcher, system threads, and the verifier that watches them. Kernel
// calls (ExAllocatePoolWithTag, IofCallDriver...) act on the kernel of the
// calling thread: a system thread of the kernel, a thread inside a request
// of its I/O manager, or any thread inside a Kernel::Scope.
#pragma once

#include "platform/clock/clock.h"
#include "platform/wdm/verifier.h"
#include "platform/wdm/wdm.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace wdm {

class IoManager;
class PnpManager;

// Per-thread kernel state, kept in the thread's vt::SlotWdm.
struct ThreadContext {
    Kernel* kernel = nullptr;
    KIRQL irql = PASSIVE_LEVEL;
    KTHREAD* thread = nullptr;
};
ThreadContext* currentContext();
void setCurrentContext(ThreadContext* ctx);

// Kernel bookkeeping of a device object.
struct DeviceState {
    Kernel* kernel = nullptr;
    std::u16string name;
    int references = 0; // open file objects
    bool deleted = false;
    struct Open {
        FILE_OBJECT* file;
        ACCESS_MASK access;
        ULONG share;
    };
    std::vector<Open> opens;
};

// Kernel bookkeeping of an IRP.
struct IrpState {
    enum class Kind { Allocated, Built, Manager, DriverMemory };
    Kind kind = Kind::Allocated;
    bool completedToTop = false;
    int startNextPowerCalls = 0;
    // Built requests with METHOD_BUFFERED: where the output goes.
    void* outputBuffer = nullptr;
    ULONG outputLength = 0;
    bool ownSystemBuffer = false;
    // Manager requests: run at the final completion.
    std::function<void(PIRP)> onFinal;
    bool freeOnFinal = false;
    KEVENT done{};
};

class Kernel {
  public:
    // wdmMajor/Minor answer IoIsWdmVersionAvailable.
    Kernel(vt::Clock& clock, UCHAR wdmMajor, UCHAR wdmMinor);
    ~Kernel();
    Kernel(const Kernel&) = delete;
    Kernel& operator=(const Kernel&) = delete;

    vt::Clock& clock() const { return clock_; }
    Verifier& verifier() { return verifier_; }
    IoManager& io() { return *io_; }
    PnpManager& pnp() { return *pnp_; }

    // Makes the calling thread run as a kernel thread of this kernel, at
    // PASSIVE_LEVEL, for the guard's lifetime (tests, user requests).
    class Scope {
      public:
        explicit Scope(Kernel& kernel);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        ThreadContext ctx_;
        ThreadContext* saved_;
        KTHREAD thread_{};
    };

    // Verifier report: the checks that fired, then every pool allocation,
    // IRP and system thread still alive. Meant for the end of a test.
    std::vector<std::string> report() const;
    size_t livePoolAllocations() const;
    size_t liveIrps() const;
    // PoRequestPowerIrp calls so far.
    int powerRequests() const;

    // Fault injection: the next count pool allocations (or IRP allocations,
    // or symbolic links) fail, after skip successful ones.
    void failPoolAllocations(int count, int skip = 0);
    void failIrpAllocations(int count, int skip = 0);
    void failSymbolicLinks(int count);

    // Namespace lookups.
    PDEVICE_OBJECT findDevice(const std::u16string& name) const;
    // Resolves a symbolic link ("\DosDevices\X") to its device object.
    PDEVICE_OBJECT resolveLink(const std::u16string& link) const;
    bool linkExists(const std::u16string& link) const;
    std::vector<std::u16string> links() const;

    // Drivers: creates a driver object and runs its entry once.
    PDRIVER_OBJECT loadDriver(const std::string& serviceName, PDRIVER_INITIALIZE entry,
                              NTSTATUS* status);
    PDRIVER_OBJECT findDriver(const std::string& serviceName) const;

    // Starts a simulated thread that runs as a system thread of this kernel.
    std::shared_ptr<vt::Thread> spawnSystemThread(std::string name, std::function<void()> body);

    // Internal use by the kernel calls.
    struct Impl;
    Impl& impl() const { return *impl_; }
    void wakeWaiters();
    // True when an armed IRP allocation failure is due now.
    bool injectIrpFailure();
    bool wdmVersionAvailable(UCHAR major, UCHAR minor) const;

  private:
    vt::Clock& clock_;
    Verifier verifier_;
    std::unique_ptr<Impl> impl_;
    std::unique_ptr<IoManager> io_;
    std::unique_ptr<PnpManager> pnp_;
};

// The kernel of the calling thread (aborts when there is none).
Kernel& currentKernel();

// An IRP that the kernel itself owns (PnP and power requests, user
// requests): its final completion runs State->onFinal, sets State->done and,
// with freeOnFinal, frees it. The caller fills IoGetNextIrpStackLocation and
// sends it with IofCallDriver.
PIRP allocateManagerIrp(Kernel& kernel, CCHAR stackSize);
// Frees it, unless its sender gave it up (it then goes at its completion).
void freeManagerIrp(PIRP irp);
// Waits until a manager IRP has completed to the top.
void waitManagerIrp(PIRP irp);

} // namespace wdm
