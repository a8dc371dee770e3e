// Internal state of the simulated kernel, shared by its source files.
#pragma once

#include "platform/wdm/kernel.h"

#include <atomic>

namespace wdm {

struct Kernel::Impl {
    explicit Impl(vt::Clock& clock) : dispatcher(clock, true, false) {}

    mutable std::recursive_mutex m;
    UCHAR wdmMajor = 1;
    UCHAR wdmMinor = 0;

    struct PoolBlock {
        size_t size;
        ULONG tag;
    };
    std::map<void*, PoolBlock> pool;
    int poolFailSkip = 0, poolFailCount = 0;
    int irpFailSkip = 0, irpFailCount = 0;
    int linkFailCount = 0;

    std::set<IRP*> irps;
    std::map<std::u16string, PDEVICE_OBJECT> devices; // upper-cased names
    std::map<std::u16string, std::u16string> links;   // upper-cased link -> device name
    std::set<PDEVICE_OBJECT> allDevices;              // created and not yet freed

    struct Driver {
        DRIVER_OBJECT object{};
        DRIVER_EXTENSION extension{};
        std::u16string name;
        std::u16string service;
    };
    std::map<std::string, std::unique_ptr<Driver>> drivers;

    struct SystemThread {
        std::string name;
        bool driver = false; // from PsCreateSystemThread
        std::shared_ptr<vt::Thread> thread;
        KTHREAD kthread{};
        ThreadContext ctx;
    };
    std::vector<std::unique_ptr<SystemThread>> threads;
    std::map<HANDLE, SystemThread*> handles;
    uintptr_t nextHandle = 0x100;

    bool cancelLockHeld = false;
    int powerRequests = 0;

    // Woken (pulsed) whenever a dispatcher object becomes signalled.
    vt::Event dispatcher;
};

std::u16string upper(const std::u16string& s);
std::u16string fromUnicodeString(const UNICODE_STRING* s);
std::string narrow(const std::u16string& s);
// Frees a device object that is deleted and no longer referenced.
void releaseDeviceIfUnused(PDEVICE_OBJECT device);
void freeIrpMemory(Kernel& kernel, PIRP irp);

} // namespace wdm
