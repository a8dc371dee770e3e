// One small operation per vendor command of the channel.
#include "app/channel/device_channel.h"

#include "platform/win32/win32.h"

namespace kv::DeviceChannel {

using namespace win32;

namespace {

enum class Direction { Out, In };

bool Send(HANDLE handle, CommandBlock& block, Direction direction, uint8_t request, uint16_t value,
          uint16_t index, uint16_t length) {
    // The drivers move wLength bytes through the data area; never more than it holds.
    if (length > kCommandDataSize) return false;
    block.bRequest = request;
    block.wValue = value;
    block.wIndex = index;
    block.wLength = length;
    const DWORD code = direction == Direction::Out ? IOCTL_VENDOR_OUT : IOCTL_VENDOR_IN;
    DWORD returned = 0;
    return DeviceIoControl(handle, code, &block, kCommandBlockSize, &block, kCommandBlockSize,
                           &returned, nullptr) != FALSE;
}

uint16_t Low(uint32_t address) {
    return static_cast<uint16_t>(address & 0xFFFF);
}
uint16_t High(uint32_t address) {
    return static_cast<uint16_t>(address >> 16);
}

} // namespace

bool VerifyPassword(HANDLE handle, CommandBlock& block, uint16_t length) {
    return Send(handle, block, Direction::Out, CMD_VERIFY_PASSWORD, 0, 0, length);
}

bool SetPassword(HANDLE handle, CommandBlock& block, uint16_t length) {
    return Send(handle, block, Direction::Out, CMD_SET_PASSWORD, 0, 0, length);
}

bool EraseBlock(HANDLE handle, CommandBlock& block, uint32_t blockNumber) {
    return Send(handle, block, Direction::Out, CMD_ERASE_BLOCK, Low(blockNumber), High(blockNumber),
                0);
}

bool GetPasswordError(HANDLE handle, CommandBlock& block) {
    return Send(handle, block, Direction::In, CMD_GET_PASSWORD_ERROR, 0, 0, 1);
}

bool ReadSpare(HANDLE handle, CommandBlock& block, uint32_t page) {
    return Send(handle, block, Direction::In, CMD_READ_SPARE, Low(page), High(page), 16);
}

bool GetPasswordFlag(HANDLE handle, CommandBlock& block) {
    return Send(handle, block, Direction::In, CMD_GET_PASSWORD_FLAG, 0, 0, 1);
}

bool GetWriteProtect(HANDLE handle, CommandBlock& block) {
    return Send(handle, block, Direction::In, CMD_GET_WRITE_PROTECT, 0, 0, 1);
}

bool GetGeometry(HANDLE handle, CommandBlock& block) {
    return Send(handle, block, Direction::In, CMD_GET_GEOMETRY, 0, 0, 2);
}

bool WritePage(HANDLE handle, CommandBlock& block, uint32_t page) {
    return Send(handle, block, Direction::Out, CMD_WRITE_PAGE, Low(page), High(page), 512);
}

bool ReadPage(HANDLE handle, CommandBlock& block, uint32_t page) {
    // The high half carries 0x8000 on top, modulo 0x10000.
    const uint16_t index = static_cast<uint16_t>(High(page) + 0x8000);
    return Send(handle, block, Direction::In, CMD_READ_PAGE, Low(page), index, 528);
}

bool GetStatus(HANDLE handle, CommandBlock& block) {
    return Send(handle, block, Direction::In, CMD_GET_STATUS, 0, 0, 1);
}

bool WriteConfigPage(HANDLE handle, CommandBlock& block) {
    return Send(handle, block, Direction::Out, CMD_WRITE_CONFIG_PAGE, 0, 0, 512);
}

} // namespace kv::DeviceChannel
