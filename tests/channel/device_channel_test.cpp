// DeviceChannel on a simulated machine with emulated controllers.
#include "app/channel/device_channel.h"
#include "app/channel/flash_layout.h"
#include "channel_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

using namespace kv;
using namespace kv::DeviceChannel;
using kvtest::ChannelFixture;
using win32::HANDLE;
using win32::INVALID_HANDLE_VALUE;
using namespace std::chrono_literals;

class DeviceChannelTest : public ChannelFixture {};

struct CommandCase {
    const char* what;
    std::function<bool(HANDLE, CommandBlock&)> send;
    bool in;
    uint8_t bRequest;
    uint16_t wValue;
    uint16_t wIndex;
    uint16_t wLength;
};

TEST_F(DeviceChannelTest, EachCommandSendsItsRequest) {
    const CommandCase cases[] = {
        {"verify 5", [](HANDLE h, CommandBlock& b) { return VerifyPassword(h, b, 5); }, false, 0x00,
         0, 0, 5},
        {"verify empty", [](HANDLE h, CommandBlock& b) { return VerifyPassword(h, b, 0); }, false,
         0x00, 0, 0, 0},
        {"set 9", [](HANDLE h, CommandBlock& b) { return SetPassword(h, b, 9); }, false, 0x40, 0, 0,
         9},
        {"erase 0x10002", [](HANDLE h, CommandBlock& b) { return EraseBlock(h, b, 0x10002); },
         false, 0xB9, 0x0002, 0x0001, 0},
        {"password error", [](HANDLE h, CommandBlock& b) { return GetPasswordError(h, b); }, true,
         0xF6, 0, 0, 1},
        {"spare 0x20005", [](HANDLE h, CommandBlock& b) { return ReadSpare(h, b, 0x20005); }, true,
         0xF7, 5, 2, 16},
        {"password flag", [](HANDLE h, CommandBlock& b) { return GetPasswordFlag(h, b); }, true,
         0xF8, 0, 0, 1},
        {"write protect", [](HANDLE h, CommandBlock& b) { return GetWriteProtect(h, b); }, true,
         0xF9, 0, 0, 1},
        {"geometry", [](HANDLE h, CommandBlock& b) { return GetGeometry(h, b); }, true, 0xFA, 0, 0,
         2},
        {"write page 0x12345", [](HANDLE h, CommandBlock& b) { return WritePage(h, b, 0x12345); },
         false, 0xFB, 0x2345, 1, 512},
        {"write page 1", [](HANDLE h, CommandBlock& b) { return WritePage(h, b, 1); }, false, 0xFB,
         1, 0, 512},
        {"read page 1", [](HANDLE h, CommandBlock& b) { return ReadPage(h, b, 1); }, true, 0xFC, 1,
         0x8000, 528},
        {"read page 31", [](HANDLE h, CommandBlock& b) { return ReadPage(h, b, 31); }, true, 0xFC,
         31, 0x8000, 528},
        {"read page 0x12345", [](HANDLE h, CommandBlock& b) { return ReadPage(h, b, 0x12345); },
         true, 0xFC, 0x2345, 0x8001, 528},
        {"status", [](HANDLE h, CommandBlock& b) { return GetStatus(h, b); }, true, 0xFE, 0, 0, 1},
        {"config page", [](HANDLE h, CommandBlock& b) { return WriteConfigPage(h, b); }, false,
         0xFF, 0, 0, 512},
    };
    auto& device = plug();
    for (const auto& c : cases) {
        device.clearCommandLog();
        run([&] {
            HANDLE h = OpenDevice(0);
            CommandBlock block;
            c.send(h, block);
            CloseDevice(h);
        });
        ASSERT_EQ(device.commandLog().size(), 1u) << c.what;
        const auto& sent = device.commandLog()[0];
        EXPECT_EQ(sent.in, c.in) << c.what;
        EXPECT_EQ(sent.bRequest, c.bRequest) << c.what;
        EXPECT_EQ(sent.wValue, c.wValue) << c.what;
        EXPECT_EQ(sent.wIndex, c.wIndex) << c.what;
        EXPECT_EQ(sent.wLength, c.wLength) << c.what;
    }
}

TEST_F(DeviceChannelTest, OutCommandSendsTheDataAreaAndLeavesTheBlockAsPrepared) {
    auto& device = plug();
    CommandBlock block;
    block.reserved = 0x77;
    for (std::size_t i = 0; i < kCommandDataSize; ++i)
        block.data[i] = static_cast<uint8_t>(i * 3);
    const CommandBlock prepared = block;
    bool ok = false;
    run([&] {
        HANDLE h = OpenDevice(0);
        ok = WritePage(h, block, 4);
        CloseDevice(h);
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(0, std::memcmp(block.data, prepared.data, sizeof block.data));
    EXPECT_EQ(block.reserved, 0x77);
    ASSERT_EQ(device.commandLog().size(), 1u);
    ASSERT_EQ(device.commandLog()[0].data.size(), 512u);
    EXPECT_EQ(0, std::memcmp(device.commandLog()[0].data.data(), block.data, 512));
    EXPECT_EQ(0, std::memcmp(device.readPage(4).data(), block.data, 512));
}

TEST_F(DeviceChannelTest, InCommandReturnsTheReplyInTheDataAreaWithTheHeaderKept) {
    auto& device = plug("KV Disk", {2, 4});
    CommandBlock block;
    bool geometryOk = false, pageOk = false;
    uint8_t units = 0, zones = 0;
    run([&] {
        HANDLE h = OpenDevice(0);
        geometryOk = GetGeometry(h, block);
        units = block.data[0];
        zones = block.data[1];
        pageOk = ReadPage(h, block, 1);
        CloseDevice(h);
    });
    EXPECT_TRUE(geometryOk);
    EXPECT_EQ(units, 2);
    EXPECT_EQ(zones, 4);
    EXPECT_TRUE(pageOk);
    EXPECT_EQ(block.bRequest, CMD_READ_PAGE);
    EXPECT_EQ(block.wValue, 1);
    EXPECT_EQ(block.wIndex, 0x8000);
    EXPECT_EQ(block.wLength, 528);
    const auto page = device.readPage(1);
    EXPECT_EQ(0, std::memcmp(block.data, page.data(), 528));
}

TEST_F(DeviceChannelTest, ARefusedCommandFailsAndLeavesTheDataAreaAsItWas) {
    auto& device = plug();
    device.faults().failNext(emu::Match::vendor(CMD_READ_PAGE), emu::Fault::Stall);
    CommandBlock block;
    std::memset(block.data, 0xCD, sizeof block.data);
    bool ok = true;
    run([&] {
        HANDLE h = OpenDevice(0);
        ok = ReadPage(h, block, 0);
        CloseDevice(h);
    });
    EXPECT_FALSE(ok);
    for (uint8_t b : block.data)
        ASSERT_EQ(b, 0xCD);
}

TEST_F(DeviceChannelTest, ALengthBeyondTheDataAreaIsRefusedWithoutSending) {
    auto& device = plug();
    bool verify = true, set = true;
    run([&] {
        HANDLE h = OpenDevice(0);
        CommandBlock block;
        verify = VerifyPassword(h, block, 529);
        set = SetPassword(h, block, 0xFFFF);
        CloseDevice(h);
    });
    EXPECT_FALSE(verify);
    EXPECT_FALSE(set);
    EXPECT_TRUE(device.commandLog().empty());
}

TEST_F(DeviceChannelTest, OpenDeviceOfAnAbsentIndexGivesTheInvalidHandle) {
    plug();
    HANDLE at0 = INVALID_HANDLE_VALUE, at1 = nullptr, at32 = nullptr;
    run([&] {
        at0 = OpenDevice(0);
        at1 = OpenDevice(1);
        at32 = OpenDevice(32);
        CloseDevice(at1); // harmless
        CloseDevice(at0);
    });
    EXPECT_NE(at0, INVALID_HANDLE_VALUE);
    EXPECT_EQ(at1, INVALID_HANDLE_VALUE);
    EXPECT_EQ(at32, INVALID_HANDLE_VALUE);
}

TEST_F(DeviceChannelTest, ListDevicesWithNoDeviceIsEmptyAndDoesNotPause) {
    std::vector<std::string> names{"x"};
    run([&] { names = ListDevices(100); });
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(elapsed(), 0ms);
}

// Devices at indices 0 and 3: four plugged, the middle two removed.
class TwoDevicesTest : public ChannelFixture {
  protected:
    void SetUp() override {
        first = &plug("First");
        auto& gone1 = plug("Gone 1");
        auto& gone2 = plug("Gone 2");
        second = &plug("Second");
        unplug(gone1);
        unplug(gone2);
    }
    emu::Controller* first = nullptr;
    emu::Controller* second = nullptr;
};

TEST_F(TwoDevicesTest, ListDevicesReturnsTheirNamesInIndexOrder) {
    std::vector<std::string> names;
    HANDLE again0 = INVALID_HANDLE_VALUE, again3 = INVALID_HANDLE_VALUE;
    run([&] {
        names = ListDevices(100);
        // Every handle was closed: both channels open again.
        again0 = OpenDevice(0);
        again3 = OpenDevice(3);
        CloseDevice(again0);
        CloseDevice(again3);
    });
    EXPECT_EQ(names, (std::vector<std::string>{"First", "Second"}));
    EXPECT_NE(again0, INVALID_HANDLE_VALUE);
    EXPECT_NE(again3, INVALID_HANDLE_VALUE);
    EXPECT_GE(elapsed(), 200ms); // one pause per channel that opened
    EXPECT_LT(elapsed(), 300ms);
}

TEST_F(TwoDevicesTest, FindDeviceReturnsTheFirstMatchStillOpenAndHasClosedTheOthers) {
    HANDLE found = INVALID_HANDLE_VALUE, other = INVALID_HANDLE_VALUE, same = nullptr;
    bool usable = false;
    run([&] {
        found = FindDevice("Second", 0);
        other = OpenDevice(0); // closed again by FindDevice
        same = OpenDevice(3);  // still open: share mode 0 refuses a second handle
        CommandBlock block;
        usable = GetStatus(found, block);
        CloseDevice(other);
        CloseDevice(same);
        CloseDevice(found);
    });
    EXPECT_NE(found, INVALID_HANDLE_VALUE);
    EXPECT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(same, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(usable);
    EXPECT_EQ(second->countCommands(CMD_GET_STATUS), 1u);
    EXPECT_EQ(first->countCommands(CMD_GET_STATUS), 0u);
}

TEST_F(DeviceChannelTest, FindDeviceTakesTheLowestIndexOfTwoEqualNames) {
    auto& low = plug("Twin");
    auto& high = plug("Twin");
    run([&] {
        HANDLE found = FindDevice("Twin", 0);
        CommandBlock block;
        GetStatus(found, block);
        CloseDevice(found);
    });
    EXPECT_EQ(low.countCommands(CMD_GET_STATUS), 1u);
    EXPECT_EQ(high.countCommands(CMD_GET_STATUS), 0u);
}

TEST_F(DeviceChannelTest, FindDeviceComparesExactlyAndFindsNoneOtherwise) {
    plug("Disk");
    plug("disk ");
    const char* probes[] = {"disk", "Disk ", "Dis", ""};
    for (const char* probe : probes) {
        HANDLE found = nullptr, reopened = INVALID_HANDLE_VALUE;
        run([&] {
            found = FindDevice(probe, 100);
            reopened = OpenDevice(1);
            CloseDevice(reopened);
        });
        EXPECT_EQ(found, INVALID_HANDLE_VALUE) << probe;
        EXPECT_NE(reopened, INVALID_HANDLE_VALUE) << probe;
        EXPECT_GE(elapsed(), 200ms) << probe;
    }
}

TEST_F(DeviceChannelTest, ADeviceWhoseNameCannotBeReadIsSkipped) {
    auto& stalls = plug("Stalls");
    auto& shortReply = plug("Short");
    plug("Good");
    stalls.faults().failNext(emu::Match::standard(usb::kGetDescriptor), emu::Fault::Stall, 2);
    shortReply.faults().failNext(emu::Match::standard(usb::kGetDescriptor), emu::Fault::ShortData,
                                 2, 1);
    std::vector<std::string> names;
    HANDLE found = nullptr;
    run([&] {
        names = ListDevices(0);
        found = FindDevice("Short", 0);
    });
    EXPECT_EQ(names, (std::vector<std::string>{"Good"}));
    EXPECT_EQ(found, INVALID_HANDLE_VALUE);
}

TEST_F(DeviceChannelTest, GetDeviceNameConvertsToTheSystemCodePage) {
    const struct {
        std::string utf8;
        std::string ansi;
    } cases[] = {
        {"USB Flash Disk", "USB Flash Disk"},
        {"D\xC3\xADsk \xE2\x82\xAC"
         "5",
         "D\xEDsk \x80"
         "5"},
        {std::string(60, 'n'), std::string(60, 'n')},
    };
    for (const auto& c : cases) {
        auto& device = plug(c.utf8);
        std::string name;
        bool ok = false;
        run([&] {
            HANDLE h = OpenDevice(0);
            ok = GetDeviceName(h, name);
            CloseDevice(h);
        });
        EXPECT_TRUE(ok) << c.ansi;
        EXPECT_EQ(name, c.ansi);
        unplug(device);
    }
}

class ResetPasswordPageTest : public ChannelFixture {
  protected:
    void SetUp() override {
        device = &plug();
        // Opaque pages of the system block carry contents of their own.
        for (uint32_t page = 0; page < kPagesPerBlock; ++page) {
            if (page == kConfigPage || page == kPasswordPage) continue;
            emu::PageBytes bytes;
            for (std::size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<uint8_t>(page * 7 + i * 13);
            device->storePage(page, bytes);
        }
        device->setPassword("abc");
        for (uint32_t page = 0; page < kPagesPerBlock; ++page)
            before.push_back(device->readPage(page));
    }
    bool reset() {
        bool ok = false;
        run([&] {
            HANDLE h = OpenDevice(0);
            ok = ResetPasswordPage(h);
            CloseDevice(h);
        });
        return ok;
    }
    static bool sameData(const emu::PageBytes& a, const emu::PageBytes& b) {
        return std::memcmp(a.data(), b.data(), kPageDataSize) == 0;
    }
    emu::Controller* device = nullptr;
    std::vector<emu::PageBytes> before;
};

TEST_F(ResetPasswordPageTest, BlanksPageTwoAndRewritesTheOthersAsRead) {
    EXPECT_TRUE(reset());
    EXPECT_EQ(device->countCommands(CMD_READ_PAGE), 32u);
    EXPECT_EQ(device->countCommands(CMD_WRITE_PAGE), 32u);
    for (std::size_t i = 0; i < 32; ++i)
        EXPECT_EQ(device->commandLog()[i].bRequest, CMD_READ_PAGE) << "reads come first";
    for (uint32_t page = 0; page < kPagesPerBlock; ++page) {
        if (page == kPasswordPage) continue;
        EXPECT_TRUE(sameData(device->readPage(page), before[page])) << page;
    }
    uint8_t blank[kPageDataSize];
    FillBlankPasswordPage(blank);
    EXPECT_EQ(0, std::memcmp(device->readPage(kPasswordPage).data(), blank, kPageDataSize));
    EXPECT_EQ(device->passwordState(), emu::RecordState::Blank);
}

TEST_F(ResetPasswordPageTest, AFailedReadStopsBeforeAnythingIsWritten) {
    device->faults().failNext(emu::Match::vendor(CMD_READ_PAGE), emu::Fault::Stall);
    EXPECT_FALSE(reset());
    EXPECT_EQ(device->countCommands(CMD_READ_PAGE), 1u);
    EXPECT_EQ(device->countCommands(CMD_WRITE_PAGE), 0u);
    EXPECT_EQ(device->passwordState(), emu::RecordState::Valid);
}

TEST_F(ResetPasswordPageTest, AFailedWriteStopsAtOnce) {
    device->faults().failNext(emu::Match::vendor(CMD_WRITE_PAGE), emu::Fault::Stall);
    EXPECT_FALSE(reset());
    EXPECT_EQ(device->countCommands(CMD_WRITE_PAGE), 1u);
}

} // namespace
