// The I/O manager's user-mode side: opens, METHOD_BUFFERED copies and the
// Win32 errors of failed requests.
#include "platform/wdm/io_manager.h"
#include "platform/wdm/status_map.h"

#include "kernel_fixture.h"

#include <cstring>

namespace wdmtest {
namespace {

constexpr ULONG kEcho = CTL_CODE(0x22, 0x900, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG kFail = CTL_CODE(0x22, 0x901, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG kWarn = CTL_CODE(0x22, 0x902, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG kLater = CTL_CODE(0x22, 0x903, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG kForget = CTL_CODE(0x22, 0x904, METHOD_BUFFERED, FILE_ANY_ACCESS);

constexpr win32::DWORD GENERIC_READ = 0x80000000, GENERIC_WRITE = 0x40000000;
constexpr win32::DWORD SHARE_READ = 1, SHARE_WRITE = 2;

class IoManagerTest : public KernelTest {
  protected:
    IoManagerTest() {
        channel = device(
            [this](PDEVICE_OBJECT, PIRP irp) {
                PIO_STACK_LOCATION s = IoGetCurrentIrpStackLocation(irp);
                majors.push_back(s->MajorFunction);
                if (s->MajorFunction == IRP_MJ_CREATE)
                    return completeWith(irp,
                                        refuseCreates ? STATUS_DELETE_PENDING : STATUS_SUCCESS);
                if (s->MajorFunction != IRP_MJ_DEVICE_CONTROL)
                    return completeWith(irp, STATUS_SUCCESS);
                auto* buf = static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer);
                ULONG in = s->Parameters.DeviceIoControl.InputBufferLength;
                ULONG out = s->Parameters.DeviceIoControl.OutputBufferLength;
                seenBuffer.assign(buf, buf + (in > out ? in : out));
                switch (s->Parameters.DeviceIoControl.IoControlCode) {
                case kEcho:
                    for (ULONG i = 0; i < out; ++i)
                        buf[i] = static_cast<UCHAR>(buf[i] + 1);
                    return completeWith(irp, STATUS_SUCCESS, reply);
                case kFail:
                    std::memset(buf, 0x66, out);
                    return completeWith(irp, STATUS_IO_TIMEOUT, out);
                case kWarn:
                    std::memset(buf, 0x77, out);
                    return completeWith(irp, STATUS_BUFFER_OVERFLOW, out);
                case kLater:
                    IoMarkIrpPending(irp);
                    held = irp;
                    return STATUS_PENDING;
                case kForget:
                    held = irp;
                    return STATUS_SUCCESS;
                }
                return completeWith(irp, STATUS_INVALID_DEVICE_REQUEST);
            },
            nullptr, u"\\Device\\Chan0");
        UNICODE_STRING name, link;
        RtlInitUnicodeString(&name, u"\\Device\\Chan0");
        RtlInitUnicodeString(&link, u"\\DosDevices\\CHAN0");
        IoCreateSymbolicLink(&link, &name);
    }
    ~IoManagerTest() override {
        UNICODE_STRING link;
        RtlInitUnicodeString(&link, u"\\DosDevices\\CHAN0");
        IoDeleteSymbolicLink(&link);
    }

    std::shared_ptr<win32::DeviceFile> open(win32::DWORD access = GENERIC_READ | GENERIC_WRITE,
                                            win32::DWORD share = 0) {
        return io.open("CHAN0", access, share, &error);
    }

    IoManager& io = kernel.io();
    PDEVICE_OBJECT channel;
    std::vector<UCHAR> majors, seenBuffer;
    ULONG_PTR reply = 0;
    bool refuseCreates = false;
    PIRP held = nullptr;
    win32::DWORD error = 0;
};

TEST_F(IoManagerTest, OneSystemBufferOfTheLargerLengthCarriesBothWays) {
    auto f = open();
    ASSERT_TRUE(f);
    UCHAR in[4] = {1, 2, 3, 4};
    UCHAR out[10];
    std::memset(out, 0xEE, sizeof(out));
    reply = 6;
    win32::DWORD returned = 0;
    EXPECT_TRUE(io.ioControl(*f, kEcho, in, 4, out, 10, &returned, &error));
    EXPECT_EQ(seenBuffer.size(), 10u);
    EXPECT_EQ(seenBuffer[3], 4);
    EXPECT_EQ(seenBuffer[4], 0) << "the rest of the system buffer";
    EXPECT_EQ(returned, 6u);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[5], 1);
    EXPECT_EQ(out[6], 0xEE) << "only Information bytes come back";
    io.close(*f);
    EXPECT_THAT(majors, ::testing::ElementsAre(IRP_MJ_CREATE, IRP_MJ_DEVICE_CONTROL, IRP_MJ_CLEANUP,
                                               IRP_MJ_CLOSE));
}

TEST_F(IoManagerTest, FailureReturnsNoBytesAndTheMappedError) {
    auto f = open();
    UCHAR out[8];
    std::memset(out, 0xEE, sizeof(out));
    win32::DWORD returned = 99;
    EXPECT_FALSE(io.ioControl(*f, kFail, nullptr, 0, out, 8, &returned, &error));
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(error, win32::ERROR_SEM_TIMEOUT);
    EXPECT_EQ(out[0], 0xEE);

    EXPECT_FALSE(io.ioControl(*f, kWarn, nullptr, 0, out, 8, &returned, &error));
    EXPECT_EQ(error, win32::ERROR_MORE_DATA);
    EXPECT_EQ(returned, 8u) << "a warning still delivers its data";
    EXPECT_EQ(out[0], 0x77);
    io.close(*f);
}

TEST_F(IoManagerTest, PendingRequestsAreWaitedFor) {
    auto f = open();
    auto t = kernel.spawnSystemThread("completer", [&] {
        vt::sleepFor(std::chrono::seconds(2));
        held->IoStatus.Status = STATUS_SUCCESS;
        held->IoStatus.Information = 0;
        IofCompleteRequest(held, IO_NO_INCREMENT);
    });
    vt::TimePoint start = clock.now();
    win32::DWORD returned;
    EXPECT_TRUE(io.ioControl(*f, kLater, nullptr, 0, nullptr, 0, &returned, &error));
    EXPECT_EQ(clock.now() - start, std::chrono::seconds(2));
    t->join();
    io.close(*f);
}

TEST_F(IoManagerTest, ADispatchRoutineThatNeitherCompletesNorPendsIsReported) {
    auto f = open();
    UCHAR in[4] = {};
    win32::DWORD returned = 7;
    EXPECT_FALSE(io.ioControl(*f, kForget, in, 4, in, 4, &returned, &error));
    EXPECT_EQ(returned, 0u);
    auto found = takeViolations();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_THAT(found[0], ::testing::HasSubstr("without completing"));
    completeWith(held, STATUS_SUCCESS); // late: the request still goes cleanly
    io.close(*f);
}

TEST_F(IoManagerTest, ShareAccessDecidesASecondOpen) {
    struct Row {
        win32::DWORD access1, share1, access2, share2;
        bool second;
    };
    const Row rows[] = {
        {GENERIC_READ | GENERIC_WRITE, 0, GENERIC_READ | GENERIC_WRITE, 0, false},
        {GENERIC_READ, SHARE_READ, GENERIC_READ, SHARE_READ, true},
        {GENERIC_READ, SHARE_READ, GENERIC_WRITE, SHARE_READ, false},
        {GENERIC_READ, SHARE_READ | SHARE_WRITE, GENERIC_WRITE, SHARE_READ, true},
        {0, 0, GENERIC_READ, 0, true},
        {GENERIC_READ, 0, 0, 0, true},
    };
    for (const Row& r : rows) {
        auto first = open(r.access1, r.share1);
        ASSERT_TRUE(first);
        auto second = open(r.access2, r.share2);
        EXPECT_EQ(second != nullptr, r.second);
        if (second) {
            io.close(*second);
        } else {
            EXPECT_EQ(error, win32::ERROR_SHARING_VIOLATION);
        }
        io.close(*first);
    }
}

TEST_F(IoManagerTest, RefusedCreateAndUnknownNames) {
    refuseCreates = true;
    EXPECT_EQ(open(), nullptr);
    EXPECT_EQ(error, win32::ERROR_ACCESS_DENIED);
    EXPECT_EQ(io.open("NOSUCH", GENERIC_READ, 0, &error), nullptr);
    EXPECT_EQ(error, win32::ERROR_FILE_NOT_FOUND);
}

TEST(StatusMap, StatusesThatReachUserMode) {
    struct Row {
        NTSTATUS status;
        uint32_t error;
    };
    const Row rows[] = {
        {STATUS_SUCCESS, 0},
        {STATUS_UNSUCCESSFUL, win32::ERROR_GEN_FAILURE},
        {STATUS_DELETE_PENDING, win32::ERROR_ACCESS_DENIED},
        {STATUS_IO_TIMEOUT, win32::ERROR_SEM_TIMEOUT},
        {STATUS_INSUFFICIENT_RESOURCES, 1450},
        {STATUS_BUFFER_TOO_SMALL, win32::ERROR_INSUFFICIENT_BUFFER},
        {STATUS_DEVICE_NOT_CONNECTED, win32::ERROR_NOT_READY},
        {STATUS_CANCELLED, 995},
        {STATUS_INVALID_PARAMETER, win32::ERROR_INVALID_PARAMETER},
        {STATUS_INVALID_DEVICE_REQUEST, win32::ERROR_INVALID_FUNCTION},
        {STATUS_OBJECT_NAME_NOT_FOUND, win32::ERROR_FILE_NOT_FOUND},
        {STATUS_SHARING_VIOLATION, win32::ERROR_SHARING_VIOLATION},
        {STATUS_NOT_SUPPORTED, win32::ERROR_NOT_SUPPORTED},
        {STATUS_BUFFER_OVERFLOW, win32::ERROR_MORE_DATA},
        {ntstatus(0xC0001234), 317},
    };
    for (const Row& r : rows)
        EXPECT_EQ(win32ErrorFromNtStatus(r.status), r.error) << r.status;
}

} // namespace
} // namespace wdmtest
