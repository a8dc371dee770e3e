// The device channel from the Win32 side through the I/O manager, the
// filter driver and the bus onto the controller.
#include "filter_fixture.h"

namespace kvtest {
namespace {

using namespace kv7946;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

struct Wire {
    uint8_t bmRequestType, bRequest;
    uint16_t wValue, wIndex, wLength;
};

struct CodeRow {
    const char* name;
    win32::DWORD code;
    Block block;
    win32::DWORD outLength; // input is always the whole block
    Wire wire;
    std::vector<uint8_t> dataStage; // OUT
    win32::DWORD returned;
};

class EveryCode : public FilterFixture, public ::testing::WithParamInterface<CodeRow> {};

TEST_P(EveryCode, SendsExactlyItsSetupPacket) {
    const CodeRow& row = GetParam();
    plugDisk();
    Block block = row.block;
    std::vector<uint8_t> out(row.outLength, 0xEE);
    bool sameBuffer = row.outLength == block.size();
    IoResult r;
    inProgram([&] {
        win32::HANDLE h = open();
        ASSERT_NE(h, win32::INVALID_HANDLE_VALUE);
        r = control(h, row.code, block.data(), block.size(), sameBuffer ? block.data() : out.data(),
                    row.outLength);
        win32::CloseHandle(h);
    });
    EXPECT_TRUE(r.ok) << "error " << r.error;
    EXPECT_EQ(r.returned, row.returned);
    ASSERT_EQ(recorder_.transfers.size(), 1u);
    const Recorder::Transfer& t = recorder_.transfers[0];
    EXPECT_EQ(t.setup.bmRequestType, row.wire.bmRequestType);
    EXPECT_EQ(t.setup.bRequest, row.wire.bRequest);
    EXPECT_EQ(t.setup.wValue, row.wire.wValue);
    EXPECT_EQ(t.setup.wIndex, row.wire.wIndex);
    EXPECT_EQ(t.setup.wLength, row.wire.wLength);
    if (!t.setup.deviceToHost()) {
        EXPECT_THAT(t.out, ElementsAreArray(row.dataStage));
    }
    if (row.code == IOCTL_VENDOR_IN) {
        // The header comes back as sent.
        EXPECT_TRUE(std::equal(block.begin(), block.begin() + 8, row.block.begin()));
    }
}

std::vector<uint8_t> bytes(size_t n, uint8_t first) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(first + i);
    return v;
}

Block writePage() {
    Block b = makeBlock(0xFB, 40, 0, 512);
    for (size_t i = 0; i < 512; ++i)
        b[8 + i] = static_cast<uint8_t>(0x10 + i);
    return b;
}

Block reservedByteSet() {
    Block b = makeBlock(0xFE, 0, 0, 1);
    b[1] = 0x01; // command word 0x01FE
    return b;
}

INSTANTIATE_TEST_SUITE_P(Codes, EveryCode,
                         ::testing::Values(CodeRow{"VerifyEmptyPassword",
                                                   IOCTL_VENDOR_OUT,
                                                   makeBlock(0x00),
                                                   536,
                                                   {0x40, 0x00, 0, 0, 0},
                                                   {},
                                                   0},
                                           CodeRow{"SetFirstPassword",
                                                   IOCTL_VENDOR_OUT,
                                                   makeBlock(0x40, 0, 0, 5,
                                                             {0x00, 0x03, 'a', 'b', 'c'}),
                                                   536,
                                                   {0x40, 0x40, 0, 0, 5},
                                                   {0x00, 0x03, 'a', 'b', 'c'},
                                                   0},
                                           CodeRow{"EraseBlock",
                                                   IOCTL_VENDOR_OUT,
                                                   makeBlock(0xB9, 0x0005, 0),
                                                   536,
                                                   {0x40, 0xB9, 0x0005, 0, 0},
                                                   {},
                                                   0},
                                           CodeRow{"WritePage",
                                                   IOCTL_VENDOR_OUT,
                                                   writePage(),
                                                   536,
                                                   {0x40, 0xFB, 40, 0, 512},
                                                   bytes(512, 0x10),
                                                   0},
                                           CodeRow{"GetStatus",
                                                   IOCTL_VENDOR_IN,
                                                   makeBlock(0xFE, 0, 0, 1),
                                                   536,
                                                   {0xC0, 0xFE, 0, 0, 1},
                                                   {},
                                                   536},
                                           CodeRow{"ReservedByteNeverSent",
                                                   IOCTL_VENDOR_IN,
                                                   reservedByteSet(),
                                                   536,
                                                   {0xC0, 0xFE, 0, 0, 1},
                                                   {},
                                                   536},
                                           CodeRow{"ReadConfigPage",
                                                   IOCTL_VENDOR_IN,
                                                   makeBlock(0xFC, 1, 0x8000, 528),
                                                   536,
                                                   {0xC0, 0xFC, 1, 0x8000, 528},
                                                   {},
                                                   536},
                                           CodeRow{"GetGeometry",
                                                   IOCTL_VENDOR_IN,
                                                   makeBlock(0xFA, 0, 0, 2),
                                                   536,
                                                   {0xC0, 0xFA, 0, 0, 2},
                                                   {},
                                                   536},
                                           CodeRow{"DeviceDescriptor",
                                                   IOCTL_GET_DEVICE_DESCRIPTOR,
                                                   makeBlock(0),
                                                   536,
                                                   {0x80, 6, 0x0100, 0, 18},
                                                   {},
                                                   18},
                                           CodeRow{"ConfigDescriptor",
                                                   IOCTL_GET_CONFIG_DESCRIPTOR,
                                                   makeBlock(0),
                                                   536,
                                                   {0x80, 6, 0x0200, 0, 536},
                                                   {},
                                                   32},
                                           CodeRow{"ConfigDescriptorHeader",
                                                   IOCTL_GET_CONFIG_DESCRIPTOR,
                                                   makeBlock(0),
                                                   9,
                                                   {0x80, 6, 0x0200, 0, 9},
                                                   {},
                                                   9},
                                           CodeRow{"StringDescriptor7",
                                                   IOCTL_GET_STRING_DESCRIPTOR,
                                                   makeBlock(7),
                                                   512,
                                                   {0x80, 6, 0x0307, 0, 512},
                                                   {},
                                                   2 + 2 * 7},
                                           CodeRow{"InterfaceDescriptor",
                                                   IOCTL_GET_INTERFACE_DESCRIPTOR,
                                                   makeBlock(0),
                                                   536,
                                                   {0x80, 6, 0x0400, 0, 536},
                                                   {},
                                                   9},
                                           CodeRow{"AsyncEraseBlock",
                                                   IOCTL_VENDOR_OUT_ASYNC,
                                                   makeBlock(0xB9, 7, 0),
                                                   536,
                                                   {0x40, 0xB9, 7, 0, 0},
                                                   {},
                                                   0},
                                           CodeRow{"AsyncWritePage",
                                                   IOCTL_VENDOR_OUT_ASYNC,
                                                   writePage(),
                                                   0,
                                                   {0x40, 0xFB, 40, 0, 512},
                                                   bytes(512, 0x10),
                                                   0}),
                         [](const auto& info) { return std::string(info.param.name); });

class Channel : public FilterFixture {};

TEST_F(Channel, DeviceNameComesBackFromItsFirstByte) {
    plugDisk();
    inProgram([&] {
        win32::HANDLE h = open();
        Block b = makeBlock(7);
        uint8_t name[512];
        std::memset(name, 0xEE, sizeof(name));
        IoResult r = control(h, IOCTL_GET_STRING_DESCRIPTOR, b.data(), b.size(), name, 512);
        ASSERT_TRUE(r.ok);
        ASSERT_EQ(r.returned, name[0]);
        EXPECT_EQ(name[1], 3);
        std::u16string text;
        for (size_t i = 2; i + 1 < r.returned; i += 2)
            text += static_cast<char16_t>(name[i] | name[i + 1] << 8);
        EXPECT_EQ(text, u"My Disk");
        EXPECT_EQ(name[r.returned], 0xEE) << "nothing beyond the descriptor";
        win32::CloseHandle(h);
    });
}

TEST_F(Channel, InWithoutDataSendsASetupPacketOnlyAndReturnsTheBlock) {
    plugDisk();
    recorder_.answerLocally = 0xF8;
    inProgram([&] {
        win32::HANDLE h = open();
        Block b = makeBlock(0xF8, 0, 0, 0);
        b[8] = 0x5A;
        IoResult r = command(h, IOCTL_VENDOR_IN, b);
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.returned, 536u);
        EXPECT_EQ(b[8], 0x5A);
        win32::CloseHandle(h);
    });
    ASSERT_EQ(recorder_.transfers.size(), 1u);
    EXPECT_EQ(recorder_.transfers[0].setup.bmRequestType, 0xC0);
    EXPECT_EQ(recorder_.transfers[0].setup.wLength, 0);
}

TEST_F(Channel, RefusedRequestFailsWithNoBytes) {
    disk_.setPassword("abc");
    plugDisk();
    inProgram([&] {
        win32::HANDLE h = open();
        Block verify = makeBlock(0x00, 0, 0, 3, {'x', 'y', 'z'});
        IoResult r = command(h, IOCTL_VENDOR_OUT, verify);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.returned, 0u);
        EXPECT_EQ(r.error, win32::ERROR_GEN_FAILURE);

        disk_.faults().failNext(emu::Match::vendor(0xFE), emu::Fault::Stall);
        Block status = makeBlock(0xFE, 0, 0, 1);
        status[8] = 0x77;
        Block before = status;
        r = command(h, IOCTL_VENDOR_IN, status);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.returned, 0u);
        EXPECT_EQ(status, before) << "a failed IN request returns nothing of the block";
        win32::CloseHandle(h);
    });
}

TEST_F(Channel, UnknownCodesSucceedAndSendNothing) {
    plugDisk();
    inProgram([&] {
        win32::HANDLE h = open();
        for (win32::DWORD code : {0x222010u, 0x222020u, 0x00070000u}) {
            Block b = makeBlock(0xFE, 0, 0, 1);
            IoResult r = command(h, code, b);
            EXPECT_TRUE(r.ok) << std::hex << code;
            EXPECT_EQ(r.returned, 0u);
        }
        win32::CloseHandle(h);
    });
    EXPECT_THAT(recorder_.transfers, IsEmpty());
}

TEST_F(Channel, ShortBuffersAreRefusedAndNothingIsSent) {
    plugDisk();
    inProgram([&] {
        win32::HANDLE h = open();
        Block b = makeBlock(0xFB, 40, 0, 512);
        // Only the header and 100 data bytes reach the driver.
        IoResult r = control(h, IOCTL_VENDOR_OUT, b.data(), 108, nullptr, 0);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, win32::ERROR_INSUFFICIENT_BUFFER);
        r = control(h, IOCTL_VENDOR_IN, b.data(), 4, b.data(), 4);
        EXPECT_FALSE(r.ok);
        uint8_t small[17];
        r = control(h, IOCTL_GET_DEVICE_DESCRIPTOR, nullptr, 0, small, sizeof(small));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, win32::ERROR_INSUFFICIENT_BUFFER);
        r = control(h, IOCTL_GET_CONFIG_DESCRIPTOR, nullptr, 0, nullptr, 0);
        EXPECT_FALSE(r.ok);
        win32::CloseHandle(h);
    });
    EXPECT_THAT(recorder_.transfers, IsEmpty());
}

TEST_F(Channel, ControllerThatNeverAnswersTimesOutAfterTenSeconds) {
    plugDisk();
    disk_.faults().failNext(emu::Match::vendor(0xFE), emu::Fault::NoAnswer);
    vt::TimePoint start = clock_.now();
    inProgram([&] {
        win32::HANDLE h = open();
        Block b = makeBlock(0xFE, 0, 0, 1);
        IoResult r = command(h, IOCTL_VENDOR_IN, b);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, win32::ERROR_SEM_TIMEOUT);
        EXPECT_EQ(r.returned, 0u);
        EXPECT_EQ(clock_.now() - start, std::chrono::seconds(10));
        // The cancelled transfer no longer blocks the pipe.
        r = command(h, IOCTL_VENDOR_IN, b);
        EXPECT_TRUE(r.ok);
        win32::CloseHandle(h);
    });
    EXPECT_EQ(pc_->kernel().io().lastStatus(), wdm::STATUS_SUCCESS);
}

TEST_F(Channel, AsyncWriteSucceedsAtOnceEvenWhenTheControllerRefusesIt) {
    plugDisk();
    disk_.faults().failNext(emu::Match::vendor(0xB9), emu::Fault::Stall);
    inProgram([&] {
        win32::HANDLE h = open();
        Block b = makeBlock(0xB9, 9, 0);
        IoResult r = command(h, IOCTL_VENDOR_OUT_ASYNC, b);
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.returned, 0u);
        win32::CloseHandle(h);
    });
    clock_.sleep(std::chrono::milliseconds(1));
    ASSERT_EQ(recorder_.transfers.size(), 1u);
    EXPECT_EQ(recorder_.transfers[0].status, usb::TransferStatus::Stall);
}

TEST_F(Channel, AsyncRequestOwnsACopyOfItsData) {
    plugDisk();
    inProgram([&] {
        win32::HANDLE h = open();
        Block b = makeBlock(0x40, 0, 0, 5, {0x00, 0x03, 'a', 'b', 'c'});
        IoResult r = command(h, IOCTL_VENDOR_OUT_ASYNC, b);
        EXPECT_TRUE(r.ok);
        b.fill(0); // the caller's buffer is reused at once
        win32::CloseHandle(h);
    });
    clock_.sleep(std::chrono::milliseconds(1));
    ASSERT_EQ(recorder_.transfers.size(), 1u);
    EXPECT_THAT(recorder_.transfers[0].out,
                ElementsAreArray(std::vector<uint8_t>{0x00, 0x03, 'a', 'b', 'c'}));
}

TEST_F(Channel, ShareModeZeroRefusesASecondOpen) {
    plugDisk();
    inProgram([&] {
        win32::HANDLE first = open();
        ASSERT_NE(first, win32::INVALID_HANDLE_VALUE);
        EXPECT_EQ(open(), win32::INVALID_HANDLE_VALUE);
        EXPECT_EQ(win32::GetLastError(), win32::ERROR_SHARING_VIOLATION);
        win32::CloseHandle(first);
        win32::HANDLE again = open();
        EXPECT_NE(again, win32::INVALID_HANDLE_VALUE);
        win32::CloseHandle(again);
    });
}

TEST_F(Channel, NoDeviceNoChannel) {
    inProgram([&] {
        EXPECT_EQ(open(), win32::INVALID_HANDLE_VALUE);
        EXPECT_EQ(win32::GetLastError(), win32::ERROR_FILE_NOT_FOUND);
    });
}

TEST_F(Channel, AllocationFailuresAreReportedAndNothingIsSent) {
    plugDisk();
    inProgram([&] {
        win32::HANDLE h = open();
        Block b = makeBlock(0xFE, 0, 0, 1);
        pc_->kernel().failPoolAllocations(1);
        IoResult r = command(h, IOCTL_VENDOR_IN, b);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(pc_->kernel().io().lastStatus(), wdm::STATUS_INSUFFICIENT_RESOURCES);

        Block w = writePage();
        pc_->kernel().failPoolAllocations(1, 1); // the data copy
        r = command(h, IOCTL_VENDOR_OUT_ASYNC, w);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(pc_->kernel().io().lastStatus(), wdm::STATUS_INSUFFICIENT_RESOURCES);

        pc_->kernel().failIrpAllocations(1);
        r = command(h, IOCTL_VENDOR_OUT_ASYNC, w);
        EXPECT_FALSE(r.ok);
        win32::CloseHandle(h);
    });
    EXPECT_THAT(recorder_.transfers, IsEmpty());
}

} // namespace
} // namespace kvtest
