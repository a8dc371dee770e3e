// A kernel on a virtual clock, entered by the test thread, and a small
// driver whose device objects complete, pend or forward what they get.
#pragma once

#include "platform/wdm/kernel.h"
#include "platform/wdm/wdm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace wdmtest {

using namespace wdm;

// Each device object of the test driver runs its extension's handler.
struct TestDevice {
    std::function<NTSTATUS(PDEVICE_OBJECT, PIRP)> handler;
    PDEVICE_OBJECT lower = nullptr;
};

inline NTSTATUS testDispatch(PDEVICE_OBJECT d, PIRP irp) {
    return static_cast<TestDevice*>(d->DeviceExtension)->handler(d, irp);
}

inline NTSTATUS testDriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
    for (auto& f : driver->MajorFunction)
        f = testDispatch;
    return STATUS_SUCCESS;
}

inline NTSTATUS completeWith(PIRP irp, NTSTATUS status, ULONG_PTR information = 0) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

class KernelTest : public ::testing::Test {
  public:
    ~KernelTest() override {
        for (PDEVICE_OBJECT d : devices_) {
            static_cast<TestDevice*>(d->DeviceExtension)->~TestDevice();
            if (d->AttachedDevice) IoDetachDevice(d);
        }
        for (auto it = devices_.rbegin(); it != devices_.rend(); ++it)
            IoDeleteDevice(*it);
        EXPECT_THAT(kernel.report(), ::testing::IsEmpty());
    }

    // A device object of the test driver, attached on top of lower if given.
    PDEVICE_OBJECT device(std::function<NTSTATUS(PDEVICE_OBJECT, PIRP)> handler,
                          PDEVICE_OBJECT lower = nullptr, const char16_t* name = nullptr) {
        PDEVICE_OBJECT d = nullptr;
        UNICODE_STRING us;
        if (name) RtlInitUnicodeString(&us, name);
        EXPECT_EQ(IoCreateDevice(driver, sizeof(TestDevice), name ? &us : nullptr,
                                 FILE_DEVICE_UNKNOWN, 0, FALSE, &d),
                  STATUS_SUCCESS);
        auto* t = new (d->DeviceExtension) TestDevice{std::move(handler), nullptr};
        d->Flags &= ~DO_DEVICE_INITIALIZING;
        if (lower) t->lower = IoAttachDeviceToDeviceStack(d, lower);
        devices_.push_back(d);
        return d;
    }

    static PDEVICE_OBJECT lowerOf(PDEVICE_OBJECT d) {
        return static_cast<TestDevice*>(d->DeviceExtension)->lower;
    }

    // Checks that fired since the last call, then forgets them.
    std::vector<std::string> takeViolations() {
        auto v = kernel.verifier().violations();
        kernel.verifier().clear();
        return v;
    }

    vt::Clock clock;
    vt::Clock::Attachment self = clock.attach("test");
    Kernel kernel{clock, 1, 0x20};
    Kernel::Scope scope{kernel};
    PDRIVER_OBJECT driver = kernel.loadDriver("test", testDriverEntry, nullptr);
    std::vector<PDEVICE_OBJECT> devices_;
};

} // namespace wdmtest
