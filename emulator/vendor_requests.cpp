// The controller's vendor commands.
#include "emulator/controller.h"
#include "emulator/system/vendor_commands.h"

#include <algorithm>
#include <cstring>

namespace emu {

namespace {

struct CommandShape {
    uint8_t code;
    bool in;
    int length;      // exact wLength; -1: checked by the command
    bool addressArg; // wValue/wIndex carry an address, otherwise both 0
};

constexpr CommandShape kShapes[] = {
    {cmd::kVerifyPassword, false, -1, false}, {cmd::kSetPassword, false, -1, false},
    {cmd::kEraseBlock, false, 0, true},       {cmd::kGetPasswordError, true, 1, false},
    {cmd::kReadSpare, true, 16, true},        {cmd::kGetPasswordFlag, true, 1, false},
    {cmd::kGetWriteProtect, true, 1, false},  {cmd::kGetGeometry, true, 2, false},
    {cmd::kWritePage, false, 512, true},      {cmd::kReadPage, true, 528, true},
    {cmd::kGetStatus, true, 1, false},        {cmd::kWriteConfigPage, false, 512, false},
};

const CommandShape* shapeOf(uint8_t code) {
    for (const CommandShape& s : kShapes)
        if (s.code == code) return &s;
    return nullptr;
}

constexpr usb::TransferResult kStall{usb::TransferStatus::Stall, 0};

usb::TransferResult done(bool ok, uint32_t actual = 0) {
    return ok ? usb::TransferResult{usb::TransferStatus::Ok, actual} : kStall;
}

} // namespace

usb::TransferResult Controller::vendorRequest(const usb::SetupPacket& setup,
                                              std::span<uint8_t> data) {
    const CommandShape* shape = shapeOf(setup.bRequest);
    if (!shape || (setup.bmRequestType & 0x1F) != usb::kRecipientDevice ||
        shape->in != setup.deviceToHost())
        return kStall;
    if (shape->length >= 0 && setup.wLength != shape->length) return kStall;
    if (!shape->addressArg && (setup.wValue != 0 || setup.wIndex != 0)) return kStall;
    const uint32_t address = static_cast<uint32_t>(setup.wIndex) << 16 | setup.wValue;

    switch (setup.bRequest) {
    case cmd::kVerifyPassword:
        return done(verifyPassword(data));
    case cmd::kSetPassword:
        return done(setPasswordCommand(data));
    case cmd::kEraseBlock:
        return done(!writeProtect_ && eraseBlock(address));
    case cmd::kGetPasswordError:
        data[0] = lastReason_;
        return done(true, 1);
    case cmd::kReadSpare: {
        if (!flash_.validPage(address) || faults_.takeUnreadableSpare(address)) return kStall;
        PageBytes bytes = flash_.read(address);
        std::copy_n(bytes.begin() + kPageDataBytes, kPageSpareBytes, data.begin());
        return done(true, kPageSpareBytes);
    }
    case cmd::kGetPasswordFlag: {
        RecordState state = passwordState();
        data[0] = state == RecordState::Valid   ? cmd::kFlagPasswordSet
                  : state == RecordState::Blank ? cmd::kFlagNoPassword
                                                : cmd::kFlagRecordDamaged;
        return done(true, 1);
    }
    case cmd::kGetWriteProtect:
        data[0] = writeProtect_ ? 0x00 : 0x01;
        return done(true, 1);
    case cmd::kGetGeometry:
        data[0] = static_cast<uint8_t>(geometry().units);
        data[1] = static_cast<uint8_t>(geometry().zones);
        return done(true, 2);
    case cmd::kWritePage:
        return done(!writeProtect_ && writePage(address, data));
    case cmd::kReadPage: {
        // The high half of the page number travels with 0x8000 added.
        uint32_t page =
            static_cast<uint32_t>((setup.wIndex - 0x8000) & 0xFFFF) << 16 | setup.wValue;
        return done(readPageCommand(page, data), kPageBytes);
    }
    case cmd::kGetStatus:
        data[0] = statusByte();
        return done(true, 1);
    case cmd::kWriteConfigPage:
        return done(!writeProtect_ && rewriteSystemPage(kConfigPage, data));
    }
    return kStall;
}

bool Controller::refusePassword(uint8_t reason, bool countsAsWrong) {
    lastReason_ = reason;
    if (countsAsWrong && ++wrongInARow_ >= cmd::kWrongPasswordLimit) lockedOut_ = true;
    return false;
}

namespace {

PageData dataOf(const PageBytes& bytes) {
    PageData page;
    std::copy_n(bytes.begin(), kPageDataBytes, page.begin());
    return page;
}

std::string_view textOf(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

} // namespace

bool Controller::verifyPassword(std::span<const uint8_t> data) {
    if (lockedOut_) return refusePassword(cmd::kReasonWrongPassword, false);
    PageData record = dataOf(flash_.read(kPasswordPage));
    switch (recordState(record)) {
    case RecordState::FormatError:
        return refusePassword(cmd::kReasonFormatError, false);
    case RecordState::Corrupted:
        return refusePassword(cmd::kReasonCorrupted, false);
    case RecordState::Blank:
        if (!data.empty()) return refusePassword(cmd::kReasonWrongPassword, true);
        break;
    case RecordState::Valid:
        if (!recordMatches(record, textOf(data)))
            return refusePassword(cmd::kReasonWrongPassword, true);
        break;
    }
    wrongInARow_ = 0;
    unlocked_ = true;
    return true;
}

bool Controller::setPasswordCommand(std::span<const uint8_t> data) {
    if (writeProtect_) return false;
    // Lold, old password, Lnew, new password: the lengths must add up exactly.
    if (data.size() < 2) return false;
    std::size_t oldLength = data[0];
    if (data.size() < oldLength + 2) return false;
    std::size_t newLength = data[1 + oldLength];
    if (data.size() != oldLength + newLength + 2) return false;
    if (lockedOut_) return refusePassword(cmd::kReasonWrongPassword, false);
    if (newLength > cmd::kMaxPasswordLength) return false;
    std::string_view oldPassword = textOf(data.subspan(1, oldLength));
    std::string_view newPassword = textOf(data.subspan(2 + oldLength, newLength));

    PageData record = dataOf(flash_.read(kPasswordPage));
    switch (recordState(record)) {
    case RecordState::FormatError:
    case RecordState::Corrupted:
        // The old password cannot be checked any more; only a new start is possible.
        if (oldLength != 0)
            return refusePassword(recordState(record) == RecordState::Corrupted
                                      ? cmd::kReasonCorrupted
                                      : cmd::kReasonFormatError,
                                  false);
        break;
    case RecordState::Blank:
        if (oldLength != 0) return refusePassword(cmd::kReasonWrongPassword, true);
        break;
    case RecordState::Valid:
        if (!recordMatches(record, oldPassword))
            return refusePassword(cmd::kReasonWrongPassword, true);
        break;
    }
    wrongInARow_ = 0;
    return writeRecord(newPassword);
}

bool Controller::writeRecord(std::string_view password) {
    PageData record =
        password.empty() ? blankPasswordRecord() : passwordRecord(password, nextSalt());
    if (dataOf(flash_.read(kPasswordPage)) == record) return true;
    return rewriteSystemPage(kPasswordPage, record);
}

bool Controller::eraseBlock(uint32_t block) {
    if (!flash_.validBlock(block) || faults_.takeEraseFailure(block)) return false;
    flash_.eraseBlock(block);
    return true;
}

bool Controller::writePage(uint32_t page, std::span<const uint8_t> data) {
    if (!flash_.validPage(page)) return false;
    if (page < kPagesPerBlock) return rewriteSystemPage(page, data);
    flash_.program(page, data, {});
    return true;
}

bool Controller::readPageCommand(uint32_t page, std::span<uint8_t> out) {
    if (!flash_.validPage(page) || faults_.takeUnreadableSpare(page)) return false;
    PageBytes bytes = flash_.read(page);
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return true;
}

bool Controller::rewriteSystemPage(uint32_t page, std::span<const uint8_t> data) {
    return rewritePages(page, data.first(kPageDataBytes));
}

bool Controller::rewritePages(uint32_t firstPage, std::span<const uint8_t> data) {
    uint32_t block = firstPage / kPagesPerBlock;
    uint32_t count = static_cast<uint32_t>(data.size() / kPageDataBytes);
    std::array<PageBytes, kPagesPerBlock> pages;
    for (uint32_t i = 0; i < kPagesPerBlock; ++i)
        pages[i] = flash_.read(block * kPagesPerBlock + i);
    for (uint32_t i = 0; i < count; ++i)
        std::copy_n(data.begin() + i * kPageDataBytes, kPageDataBytes,
                    pages[firstPage % kPagesPerBlock + i].begin());
    if (!eraseBlock(block)) return false;
    for (uint32_t i = 0; i < kPagesPerBlock; ++i)
        flash_.store(block * kPagesPerBlock + i, pages[i]);
    return true;
}

} // namespace emu
