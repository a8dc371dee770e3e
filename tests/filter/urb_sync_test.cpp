// SubmitUrbSync against a lower device of the test's own making.
#include "drivers/filter/filter.h"
#include "platform/usb/usbd.h"
#include "platform/wdm/kernel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace wdm;
using namespace std::chrono_literals;

// Keeps every URB request pending; a cancel completes it only after a delay.
struct Lower {
    static inline vt::Duration cancelDelay{};
    static inline PIRP held = nullptr;
    static inline NTSTATUS immediate = STATUS_PENDING;
    static inline Kernel* kernel = nullptr;

    static NTSTATUS dispatch(PDEVICE_OBJECT, PIRP irp) {
        auto* urb =
            static_cast<usb::PURB>(IoGetCurrentIrpStackLocation(irp)->Parameters.Others.Argument1);
        if (immediate != STATUS_PENDING) {
            urb->UrbHeader.Status = usb::USBD_STATUS_STALL_PID;
            irp->IoStatus.Status = immediate;
            IofCompleteRequest(irp, IO_NO_INCREMENT);
            return immediate;
        }
        IoMarkIrpPending(irp);
        held = irp;
        IoSetCancelRoutine(irp, [](PDEVICE_OBJECT, PIRP irp) {
            IoReleaseCancelSpinLock(irp->CancelIrql);
            kernel->spawnSystemThread("late completion", [irp] {
                vt::sleepFor(cancelDelay);
                auto* urb = static_cast<usb::PURB>(
                    IoGetCurrentIrpStackLocation(irp)->Parameters.Others.Argument1);
                urb->UrbHeader.Status = usb::USBD_STATUS_CANCELED; // must still be valid
                irp->IoStatus.Status = STATUS_CANCELLED;
                IofCompleteRequest(irp, IO_NO_INCREMENT);
            });
        });
        return STATUS_PENDING;
    }
    static NTSTATUS entry(PDRIVER_OBJECT d, PUNICODE_STRING) {
        for (auto& f : d->MajorFunction)
            f = dispatch;
        return STATUS_SUCCESS;
    }
};

class SubmitUrbSync : public ::testing::Test {
  protected:
    SubmitUrbSync() {
        Lower::kernel = &kernel;
        Lower::immediate = STATUS_PENDING;
        PDRIVER_OBJECT driver = kernel.loadDriver("lower", Lower::entry, nullptr);
        IoCreateDevice(driver, 0, nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE, &lower);
    }
    ~SubmitUrbSync() override {
        IoDeleteDevice(lower);
        EXPECT_THAT(kernel.report(), ::testing::IsEmpty());
    }
    vt::Clock clock;
    vt::Clock::Attachment self = clock.attach("test");
    Kernel kernel{clock, 1, 0x20};
    Kernel::Scope scope{kernel};
    PDEVICE_OBJECT lower = nullptr;
};

TEST_F(SubmitUrbSync, WaitsForACancelledRequestBeforeReturning) {
    Lower::cancelDelay = 2s;
    usb::URB urb{};
    urb.UrbHeader.Length = sizeof(usb::_URB_CONTROL_VENDOR_OR_CLASS_REQUEST);
    urb.UrbHeader.Function = usb::URB_FUNCTION_VENDOR_DEVICE;
    vt::TimePoint start = clock.now();
    EXPECT_EQ(kv7946::SubmitUrbSync(lower, &urb), STATUS_IO_TIMEOUT);
    EXPECT_EQ(clock.now() - start, 12s) << "10 s limit, then the cancelled request's own end";
    EXPECT_EQ(urb.UrbHeader.Status, usb::USBD_STATUS_CANCELED);
}

TEST_F(SubmitUrbSync, ARequestCompletedAtOnceGivesItsStatus) {
    Lower::immediate = STATUS_UNSUCCESSFUL;
    usb::URB urb{};
    vt::TimePoint start = clock.now();
    EXPECT_EQ(kv7946::SubmitUrbSync(lower, &urb), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(clock.now(), start);
}

TEST_F(SubmitUrbSync, NoRequestWithoutMemory) {
    kernel.failIrpAllocations(1);
    usb::URB urb{};
    EXPECT_EQ(kv7946::SubmitUrbSync(lower, &urb), STATUS_INSUFFICIENT_RESOURCES);
}

} // namespace
