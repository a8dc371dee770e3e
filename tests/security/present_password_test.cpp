// Presenting passwords to emulated controllers on a simulated machine.
#include "app/security/present_password.h"

#include "app/channel/device_channel.h"
#include "app/channel/flash_layout.h"
#include "app/security/failure_counter.h"
#include "app/security/set_payload.h"
#include "channel_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

using namespace kv;
using kvtest::ChannelFixture;

class PresentPasswordTest : public ChannelFixture {
  protected:
    void SetUp() override {
        device = &plug();
        device->setPassword("abc");
    }
    PasswordOutcome present(uint8_t command, std::string_view payload, PasswordGate gate) {
        PasswordOutcome outcome = PasswordOutcome::NoReason;
        run([&] {
            auto handle = DeviceChannel::OpenDevice(0);
            outcome = PresentPassword(handle, command, payload, gate);
            DeviceChannel::CloseDevice(handle);
        });
        return outcome;
    }
    PasswordOutcome verify(std::string_view password, PasswordGate gate) {
        return present(CMD_VERIFY_PASSWORD, password, gate);
    }
    std::size_t writes() const {
        return device->countCommands(CMD_WRITE_PAGE) +
               device->countCommands(CMD_WRITE_CONFIG_PAGE) +
               device->countCommands(CMD_ERASE_BLOCK);
    }
    emu::Controller* device = nullptr;
};

TEST_F(PresentPasswordTest, TheRightPasswordIsAcceptedAndTravelsWithoutTerminator) {
    EXPECT_EQ(verify("abc", NoAsk), PasswordOutcome::Accepted);
    EXPECT_TRUE(device->unlocked());
    ASSERT_EQ(device->commandLog().size(), 1u);
    EXPECT_EQ(device->commandLog()[0].wLength, 3);
    EXPECT_EQ(device->commandLog()[0].data, (std::vector<uint8_t>{'a', 'b', 'c'}));
}

TEST_F(PresentPasswordTest, AnEmptyPasswordTravelsWithLengthZero) {
    device->clearPassword();
    EXPECT_EQ(verify("", AlwaysAsk), PasswordOutcome::Accepted);
    ASSERT_EQ(device->commandLog().size(), 1u);
    EXPECT_EQ(device->commandLog()[0].bRequest, CMD_VERIFY_PASSWORD);
    EXPECT_EQ(device->commandLog()[0].wLength, 0);
    EXPECT_TRUE(device->commandLog()[0].data.empty());
}

TEST_F(PresentPasswordTest, UpperAndLowerCaseDiffer) {
    EXPECT_EQ(verify("ABC", AlwaysAsk), PasswordOutcome::Wrong);
    EXPECT_FALSE(device->unlocked());
}

// The submissions of vendor OUT requests in a usbmon trace, as tshark decodes
// them: "bmRequestType bRequest wLength data" per line.
std::string VendorOutRequests(const std::filesystem::path& trace) {
    const std::string command =
        "tshark -r '" + trace.string() +
        "' -Y \"usb.urb_type == 'S' && usb.bmRequestType == 0x40\" -T fields"
        " -e usb.bmRequestType -e usb.setup.bRequest -e usb.setup.wLength"
        " -e usb.data_fragment 2>/dev/null";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (fgets(buffer, sizeof buffer, pipe) != nullptr)
            out += buffer;
        pclose(pipe);
    }
    return out;
}

TEST_F(PresentPasswordTest, ChangingThreeCharactersToFourSendsLengthNine) {
    const auto payload = BuildSetPayload("abc", "wxyz");
    ASSERT_TRUE(payload);
    const auto trace = root / "change.pcap";
    ASSERT_TRUE(device->startTrace(trace.string()));
    PasswordOutcome outcome = PasswordOutcome::NoReason;
    run([&] {
        auto handle = DeviceChannel::OpenDevice(0);
        outcome = PresentPassword(handle, CMD_SET_PASSWORD, *payload, StatusGate(0x10));
        DeviceChannel::CloseDevice(handle);
    });
    EXPECT_EQ(outcome, PasswordOutcome::Accepted);
    ASSERT_EQ(device->commandLog().size(), 1u);
    EXPECT_FALSE(device->commandLog()[0].in);
    EXPECT_EQ(device->commandLog()[0].bRequest, CMD_SET_PASSWORD);
    EXPECT_EQ(device->commandLog()[0].wLength, 9);
    EXPECT_EQ(device->commandLog()[0].data,
              (std::vector<uint8_t>{0x03, 'a', 'b', 'c', 0x04, 'w', 'x', 'y', 'z'}));
    device->stopTrace();
    EXPECT_EQ(verify("wxyz", NoAsk), PasswordOutcome::Accepted);

    if (std::system("command -v tshark >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "tshark is not installed; the trace was not decoded";
    EXPECT_EQ(VendorOutRequests(trace), "0x40\t64\t9\t03616263047778797a\n");
}

// How a refusal is explained, by gate, record state and whether the reason
// can be asked.
enum class Record { WrongPassword, Corrupted, FormatError };

struct RefusalCase {
    const char* what;
    PasswordGate gate;
    Record record;
    bool reasonQueryFails;
    PasswordOutcome expected;
    std::size_t reasonQueries;
};

class RefusalTest : public PresentPasswordTest,
                    public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, IsClassified) {
    const RefusalCase& c = GetParam();
    if (c.record == Record::Corrupted) device->corruptPasswordRecord();
    if (c.record == Record::FormatError) device->breakPasswordRecordFormat();
    if (c.reasonQueryFails)
        device->faults().failNext(emu::Match::vendor(CMD_GET_PASSWORD_ERROR), emu::Fault::Stall);
    EXPECT_EQ(verify("nope", c.gate), c.expected);
    EXPECT_EQ(device->countCommands(CMD_GET_PASSWORD_ERROR), c.reasonQueries);
    if (c.expected != PasswordOutcome::FormatRepaired) {
        EXPECT_EQ(writes(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Gates, RefusalTest,
    ::testing::Values(RefusalCase{"no_ask", NoAsk, Record::Corrupted, false, PasswordOutcome::Wrong,
                                  0},
                      RefusalCase{"status_00", StatusGate(0x00), Record::Corrupted, false,
                                  PasswordOutcome::Wrong, 0},
                      RefusalCase{"status_30", StatusGate(0x30), Record::FormatError, false,
                                  PasswordOutcome::Wrong, 0},
                      RefusalCase{"status_10", StatusGate(0x10), Record::Corrupted, false,
                                  PasswordOutcome::Corrupted, 1},
                      RefusalCase{"status_20", StatusGate(0x20), Record::WrongPassword, false,
                                  PasswordOutcome::Wrong, 1},
                      RefusalCase{"always_reason_3", AlwaysAsk, Record::WrongPassword, false,
                                  PasswordOutcome::Wrong, 1},
                      RefusalCase{"always_reason_1", AlwaysAsk, Record::Corrupted, false,
                                  PasswordOutcome::Corrupted, 1},
                      RefusalCase{"always_reason_2", AlwaysAsk, Record::FormatError, false,
                                  PasswordOutcome::FormatRepaired, 1},
                      RefusalCase{"always_query_fails", AlwaysAsk, Record::WrongPassword, true,
                                  PasswordOutcome::NoReason, 1},
                      RefusalCase{"status_query_fails", StatusGate(0x20), Record::WrongPassword,
                                  true, PasswordOutcome::NoReason, 1}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(ClassifyRefusal, UnexpectedReasonsAreUnknown) {
    for (int reason : {0, 4, 5, 0x80, 0xFF})
        EXPECT_EQ(ClassifyRefusal(win32::INVALID_HANDLE_VALUE, static_cast<uint8_t>(reason)),
                  PasswordOutcome::UnknownReason)
            << reason;
    EXPECT_EQ(ClassifyRefusal(win32::INVALID_HANDLE_VALUE, 3), PasswordOutcome::Wrong);
    EXPECT_EQ(ClassifyRefusal(win32::INVALID_HANDLE_VALUE, 1), PasswordOutcome::Corrupted);
}

TEST_F(PresentPasswordTest, AFormatErrorRewritesTheSystemBlockOnceWithABlankRecord) {
    emu::PageBytes opaque;
    for (std::size_t i = 0; i < opaque.size(); ++i)
        opaque[i] = static_cast<uint8_t>(i ^ 0x5A);
    device->storePage(0, opaque);
    device->storePage(17, opaque);
    device->breakPasswordRecordFormat();
    std::vector<emu::PageBytes> before;
    for (uint32_t page = 0; page < kPagesPerBlock; ++page)
        before.push_back(device->readPage(page));

    EXPECT_EQ(verify("nope", AlwaysAsk), PasswordOutcome::FormatRepaired);
    EXPECT_EQ(device->countCommands(CMD_READ_PAGE), 32u);
    EXPECT_EQ(device->countCommands(CMD_WRITE_PAGE), 32u);
    for (uint32_t page = 0; page < kPagesPerBlock; ++page) {
        if (page == kPasswordPage) continue;
        EXPECT_EQ(0, std::memcmp(device->readPage(page).data(), before[page].data(), 512)) << page;
    }
    uint8_t blank[kPageDataSize];
    FillBlankPasswordPage(blank);
    EXPECT_EQ(0, std::memcmp(device->readPage(kPasswordPage).data(), blank, kPageDataSize));
    EXPECT_EQ(device->passwordState(), emu::RecordState::Blank);
}

TEST_F(PresentPasswordTest, AFailedRepairIsReported) {
    device->breakPasswordRecordFormat();
    device->faults().failNext(emu::Match::vendor(CMD_WRITE_PAGE), emu::Fault::Stall);
    EXPECT_EQ(verify("nope", StatusGate(0x10)), PasswordOutcome::RepairFailed);
    device->clearCommandLog();
    device->faults().failNext(emu::Match::vendor(CMD_READ_PAGE), emu::Fault::Stall);
    EXPECT_EQ(verify("nope", AlwaysAsk), PasswordOutcome::RepairFailed);
    EXPECT_EQ(device->countCommands(CMD_WRITE_PAGE), 0u);
}

TEST_F(PresentPasswordTest, ARefusedClearIsClassifiedLikeAPassword) {
    device->corruptPasswordRecord();
    const auto payload = BuildSetPayload("xyz", "");
    ASSERT_TRUE(payload);
    PasswordOutcome outcome = PasswordOutcome::Accepted;
    run([&] {
        auto handle = DeviceChannel::OpenDevice(0);
        outcome = PresentPassword(handle, CMD_SET_PASSWORD, *payload, AlwaysAsk);
        DeviceChannel::CloseDevice(handle);
    });
    EXPECT_EQ(outcome, PasswordOutcome::Corrupted);
    EXPECT_EQ(device->commandLog()[0].data, (std::vector<uint8_t>{3, 'x', 'y', 'z', 0}));
}

TEST_F(PresentPasswordTest, WhatCannotBeCarriedIsNotSent) {
    EXPECT_EQ(verify(std::string(529, 'a'), AlwaysAsk), PasswordOutcome::Wrong);
    EXPECT_EQ(present(CMD_GET_STATUS, "abc", AlwaysAsk), PasswordOutcome::Wrong);
    EXPECT_TRUE(device->commandLog().empty());
}

// The main window's two paths with a status byte of 0x00: the Enter key
// (StatusGate) counts a wrong password without asking, the OK button asks.
TEST_F(PresentPasswordTest, StatusZeroCountsWithoutAskingWhileAlwaysAskAsks) {
    device->setStatusOverride(0x00);
    FailureCounter counter(CounterRules::MainWindow);
    PasswordOutcome enter = PasswordOutcome::Accepted, ok = PasswordOutcome::Accepted;
    std::size_t asksAfterEnter = 99;
    run([&] {
        for (bool okButton : {false, true}) {
            auto handle = DeviceChannel::FindDevice("KV Disk", 100);
            CommandBlock block;
            ASSERT_TRUE(DeviceChannel::GetStatus(handle, block));
            const uint8_t status = block.data[0];
            const auto outcome = PresentPassword(handle, CMD_VERIFY_PASSWORD, "nope",
                                                 okButton ? AlwaysAsk : StatusGate(status));
            counter.Record(outcome);
            DeviceChannel::CloseDevice(handle);
            (okButton ? ok : enter) = outcome;
            if (!okButton) asksAfterEnter = device->countCommands(CMD_GET_PASSWORD_ERROR);
        }
    });
    EXPECT_EQ(enter, PasswordOutcome::Wrong);
    EXPECT_EQ(asksAfterEnter, 0u);
    EXPECT_EQ(ok, PasswordOutcome::Wrong);
    EXPECT_EQ(device->countCommands(CMD_GET_PASSWORD_ERROR), 1u);
    EXPECT_EQ(counter.Count(), 2);
}

} // namespace
