// IRPs through a stack of device objects: stack locations, completion
// routines, pending and cancel.
#include "kernel_fixture.h"

namespace wdmtest {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class Irps : public KernelTest {
  protected:
    // A device that passes everything down with a completion routine that
    // logs its name and returns result.
    PDEVICE_OBJECT logging(const char* name, PDEVICE_OBJECT lower, NTSTATUS result) {
        struct Ctx {
            Irps* test;
            const char* name;
            NTSTATUS result;
        };
        auto* ctx = new Ctx{this, name, result};
        contexts_.push_back(std::unique_ptr<void, void (*)(void*)>(
            ctx, [](void* p) { delete static_cast<Ctx*>(p); }));
        return device(
            [ctx](PDEVICE_OBJECT d, PIRP irp) {
                IoCopyCurrentIrpStackLocationToNext(irp);
                IoSetCompletionRoutine(
                    irp,
                    [](PDEVICE_OBJECT self, PIRP irp, PVOID c) -> NTSTATUS {
                        auto* x = static_cast<Ctx*>(c);
                        x->test->order.push_back(x->name);
                        x->test->sawDevice.push_back(self);
                        if (x->result != STATUS_MORE_PROCESSING_REQUIRED && irp->PendingReturned)
                            IoMarkIrpPending(irp);
                        return x->result;
                    },
                    ctx, TRUE, TRUE, TRUE);
                return IofCallDriver(lowerOf(d), irp);
            },
            lower);
    }

    PIRP build(PDEVICE_OBJECT top, KEVENT* event, IO_STATUS_BLOCK* iosb, ULONG code = 0x220003) {
        KeInitializeEvent(event, NotificationEvent, FALSE);
        return IoBuildDeviceIoControlRequest(code, top, nullptr, 0, nullptr, 0, TRUE, event, iosb);
    }

    std::vector<std::string> order;
    std::vector<PDEVICE_OBJECT> sawDevice;
    std::vector<std::unique_ptr<void, void (*)(void*)>> contexts_;
};

TEST_F(Irps, StackLocationsFollowTheDeviceStack) {
    UCHAR seenMajor = 0;
    ULONG seenCode = 0;
    PDEVICE_OBJECT bottom = device([&](PDEVICE_OBJECT, PIRP irp) {
        PIO_STACK_LOCATION s = IoGetCurrentIrpStackLocation(irp);
        seenMajor = s->MajorFunction;
        seenCode = s->Parameters.DeviceIoControl.IoControlCode;
        EXPECT_EQ(irp->CurrentLocation, 1);
        return completeWith(irp, STATUS_SUCCESS);
    });
    PDEVICE_OBJECT top = logging("top", bottom, STATUS_SUCCESS);
    EXPECT_EQ(top->StackSize, 2);
    KEVENT event;
    IO_STATUS_BLOCK iosb{};
    PIRP irp = build(top, &event, &iosb, 0x220003);
    EXPECT_EQ(irp->StackCount, 2);
    IoGetNextIrpStackLocation(irp)->Parameters.Others.Argument1 = &event;
    EXPECT_EQ(IofCallDriver(top, irp), STATUS_SUCCESS);
    EXPECT_EQ(seenMajor, IRP_MJ_INTERNAL_DEVICE_CONTROL);
    EXPECT_EQ(seenCode, 0x220003u) << "Argument1 shares its slot with the output length only";
    EXPECT_EQ(KeReadStateEvent(&event), 1);
    EXPECT_EQ(iosb.Status, STATUS_SUCCESS);
}

TEST_F(Irps, CompletionRoutinesRunBottomUpAndMoreProcessingStopsThem) {
    PDEVICE_OBJECT bottom =
        device([](PDEVICE_OBJECT, PIRP irp) { return completeWith(irp, STATUS_SUCCESS); });
    PDEVICE_OBJECT middle = logging("middle", bottom, STATUS_MORE_PROCESSING_REQUIRED);
    PDEVICE_OBJECT top = logging("top", middle, STATUS_SUCCESS);
    KEVENT event;
    IO_STATUS_BLOCK iosb{};
    PIRP irp = build(top, &event, &iosb);
    IofCallDriver(top, irp);
    EXPECT_THAT(order, ElementsAre("middle"));
    EXPECT_EQ(sawDevice[0], middle) << "a routine gets its own device object";
    EXPECT_EQ(KeReadStateEvent(&event), 0);
    // The middle driver owns the request again and completes it.
    irp->IoStatus.Status = STATUS_UNSUCCESSFUL;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    EXPECT_THAT(order, ElementsAre("middle", "top"));
    EXPECT_EQ(iosb.Status, STATUS_UNSUCCESSFUL);
    EXPECT_EQ(KeReadStateEvent(&event), 1);
}

TEST_F(Irps, CompletionRoutinesChooseSuccessErrorAndCancel) {
    struct Case {
        BOOLEAN onSuccess, onError, onCancel;
        NTSTATUS status;
        bool cancel;
        bool runs;
    };
    const Case cases[] = {
        {TRUE, FALSE, FALSE, STATUS_SUCCESS, false, true},
        {FALSE, TRUE, TRUE, STATUS_SUCCESS, false, false},
        {FALSE, TRUE, FALSE, STATUS_IO_TIMEOUT, false, true},
        {TRUE, FALSE, FALSE, STATUS_IO_TIMEOUT, false, false},
        {FALSE, FALSE, TRUE, STATUS_CANCELLED, true, true},
        {TRUE, FALSE, FALSE, STATUS_CANCELLED, true, false},
    };
    PDEVICE_OBJECT bottom = device([](PDEVICE_OBJECT, PIRP) { return STATUS_SUCCESS; });
    for (const Case& c : cases) {
        PIRP irp = IoAllocateIrp(bottom->StackSize, FALSE);
        bool ran = false;
        IoSetCompletionRoutine(
            irp,
            [](PDEVICE_OBJECT, PIRP, PVOID r) -> NTSTATUS {
                *static_cast<bool*>(r) = true;
                return STATUS_MORE_PROCESSING_REQUIRED;
            },
            &ran, c.onSuccess, c.onError, c.onCancel);
        IofCallDriver(bottom, irp);
        irp->Cancel = c.cancel;
        irp->IoStatus.Status = c.status;
        IofCompleteRequest(irp, IO_NO_INCREMENT);
        EXPECT_EQ(ran, c.runs) << c.status;
        if (!ran) takeViolations(); // completed to the top with nobody to take it back
        IoFreeIrp(irp);
    }
}

TEST_F(Irps, PendingReturnedReachesTheUpperRoutine) {
    PIRP held = nullptr;
    PDEVICE_OBJECT bottom = device([&](PDEVICE_OBJECT, PIRP irp) {
        IoMarkIrpPending(irp);
        held = irp;
        return STATUS_PENDING;
    });
    PDEVICE_OBJECT middle = device(
        [](PDEVICE_OBJECT d, PIRP irp) {
            IoSkipCurrentIrpStackLocation(irp); // no routine: pending propagates itself
            return IofCallDriver(lowerOf(d), irp);
        },
        bottom);
    PDEVICE_OBJECT top = logging("top", middle, STATUS_SUCCESS);
    KEVENT event;
    IO_STATUS_BLOCK iosb{};
    PIRP irp = build(top, &event, &iosb);
    EXPECT_EQ(IofCallDriver(top, irp), STATUS_PENDING);
    bool pendingSeen = false;
    auto t = kernel.spawnSystemThread("completer", [&] {
        vt::sleepFor(std::chrono::seconds(1));
        held->IoStatus.Status = STATUS_SUCCESS;
        IofCompleteRequest(held, IO_NO_INCREMENT);
    });
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    pendingSeen = !order.empty();
    EXPECT_TRUE(pendingSeen);
    t->join();
}

TEST_F(Irps, CancelRunsTheCancelRoutineOnce) {
    PIRP held = nullptr;
    PDEVICE_OBJECT bottom = device([&](PDEVICE_OBJECT, PIRP irp) {
        IoMarkIrpPending(irp);
        held = irp;
        IoSetCancelRoutine(irp, [](PDEVICE_OBJECT, PIRP irp) {
            IoReleaseCancelSpinLock(irp->CancelIrql);
            completeWith(irp, STATUS_CANCELLED);
        });
        return STATUS_PENDING;
    });
    KEVENT event;
    IO_STATUS_BLOCK iosb{};
    PIRP irp = build(bottom, &event, &iosb);
    EXPECT_EQ(IofCallDriver(bottom, irp), STATUS_PENDING);
    EXPECT_TRUE(IoCancelIrp(held));
    EXPECT_EQ(iosb.Status, STATUS_CANCELLED);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);

    PIRP plain = IoAllocateIrp(1, FALSE);
    EXPECT_FALSE(IoCancelIrp(plain)) << "no cancel routine";
    EXPECT_TRUE(plain->Cancel);
    IoFreeIrp(plain);
}

struct Misuse {
    const char* name;
    std::function<void(Irps&, PDEVICE_OBJECT)> act;
    const char* finding;
};

class Verifier : public Irps, public ::testing::WithParamInterface<Misuse> {};

TEST_P(Verifier, ReportsTheMisuse) {
    PDEVICE_OBJECT bottom =
        device([](PDEVICE_OBJECT, PIRP irp) { return completeWith(irp, STATUS_SUCCESS); });
    GetParam().act(*this, bottom);
    auto found = takeViolations();
    ASSERT_FALSE(found.empty());
    EXPECT_THAT(found[0], HasSubstr(GetParam().finding));
}

INSTANTIATE_TEST_SUITE_P(
    Checks, Verifier,
    ::testing::Values(
        Misuse{"CompletedTwice",
               [](Irps&, PDEVICE_OBJECT d) {
                   KEVENT e;
                   IO_STATUS_BLOCK s;
                   KeInitializeEvent(&e, NotificationEvent, FALSE);
                   PIRP irp = IoBuildDeviceIoControlRequest(0x220003, d, nullptr, 0, nullptr, 0,
                                                            TRUE, &e, &s);
                   IofCallDriver(d, irp);
                   IofCompleteRequest(irp, IO_NO_INCREMENT); // already freed
               },
               "completed twice"},
        Misuse{"CompletedWithCancelRoutine",
               [](Irps&, PDEVICE_OBJECT) {
                   PIRP irp = IoAllocateIrp(1, FALSE);
                   IoSetNextIrpStackLocation(irp);
                   IoSetCancelRoutine(irp, [](PDEVICE_OBJECT, PIRP) {});
                   irp->IoStatus.Status = STATUS_SUCCESS;
                   IofCompleteRequest(irp, IO_NO_INCREMENT);
                   IoFreeIrp(irp);
               },
               "cancel routine"},
        Misuse{"WrongPoolTag",
               [](Irps&, PDEVICE_OBJECT) {
                   ExFreePool(ExAllocatePoolWithTag(NonPagedPool, 8, PoolTag("Abcd")));
               },
               "tag"},
        Misuse{"FreeOfUnknownMemory",
               [](Irps&, PDEVICE_OBJECT) {
                   int x;
                   ExFreePool(&x);
               },
               "ExFreePool"},
        Misuse{"WaitAtDispatchLevel",
               [](Irps&, PDEVICE_OBJECT) {
                   KEVENT e;
                   KeInitializeEvent(&e, NotificationEvent, TRUE);
                   KIRQL old;
                   KeRaiseIrql(DISPATCH_LEVEL, &old);
                   KeWaitForSingleObject(&e, Executive, KernelMode, FALSE, nullptr);
                   KeLowerIrql(old);
               },
               "DISPATCH_LEVEL"},
        Misuse{"DeleteWithDeviceAttached",
               [](Irps& t, PDEVICE_OBJECT d) {
                   PDEVICE_OBJECT upper = nullptr;
                   IoCreateDevice(t.driver, 0, nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE, &upper);
                   IoAttachDeviceToDeviceStack(upper, d);
                   IoDeleteDevice(d);
                   IoDeleteDevice(upper);
                   t.devices_.erase(std::find(t.devices_.begin(), t.devices_.end(), d));
               },
               "attached"},
        Misuse{"DeleteWithARequestInside",
               [](Irps& t, PDEVICE_OBJECT) {
                   PIRP held = nullptr;
                   PDEVICE_OBJECT d = t.device([&](PDEVICE_OBJECT, PIRP irp) {
                       IoMarkIrpPending(irp);
                       held = irp;
                       return STATUS_PENDING;
                   });
                   PIRP irp = IoAllocateIrp(1, FALSE);
                   IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_DEVICE_CONTROL;
                   IofCallDriver(d, irp);
                   static_cast<TestDevice*>(d->DeviceExtension)->~TestDevice();
                   t.devices_.pop_back();
                   IoDeleteDevice(d);
                   IoFreeIrp(held);
               },
               "in progress"},
        Misuse{"FreeOfAnIrpInUse",
               [](Irps&, PDEVICE_OBJECT d) {
                   KEVENT e;
                   IO_STATUS_BLOCK s;
                   KeInitializeEvent(&e, NotificationEvent, FALSE);
                   PIRP irp = IoBuildDeviceIoControlRequest(0x220003, d, nullptr, 0, nullptr, 0,
                                                            TRUE, &e, &s);
                   IoFreeIrp(irp);
                   IofCallDriver(d, irp);
               },
               "IoFreeIrp"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Irps, LeaksShowInTheReport) {
    void* p = ExAllocatePoolWithTag(NonPagedPool, 24, PoolTag("Wdm "));
    PIRP irp = IoAllocateIrp(2, FALSE);
    auto report = kernel.report();
    ASSERT_EQ(report.size(), 2u);
    EXPECT_THAT(report[0], HasSubstr("24 bytes"));
    EXPECT_THAT(report[1], HasSubstr("IRP not freed"));
    ExFreePool(p);
    IoFreeIrp(irp);
}

} // namespace
} // namespace wdmtest
