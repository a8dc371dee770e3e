// The application's only access to the device channel "\\.\KV7946-<c>".
// Stateless: every operation works on a handle and a CommandBlock owned by
// the caller and reports success or failure; none of them shows anything.
#pragma once

#include "app/channel/command_block.h"
#include "app/channel/commands.h"
#include "app/channel/control_codes.h"
#include "platform/win32/types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kv::DeviceChannel {

using win32::DWORD;
using win32::HANDLE;

constexpr int kMaxDevices = 32; // device indices 0..31

// "\\.\KV7946-<c>" with <c> = 0x30 + index; empty for an index outside 0..31.
std::string ChannelName(int index);

// Channel handling. OpenDevice returns INVALID_HANDLE_VALUE when no device
// is there (or the index is out of range); CloseDevice accepts that value.
HANDLE OpenDevice(int index);
void CloseDevice(HANDLE handle);
// Reads string descriptor 7 and converts it to the system code page.
// Fails when the query fails or the reply is shorter than its header.
bool GetDeviceName(HANDLE handle, std::string& name);
// Names of all present devices in index order; waits delayMs before each
// name query of a channel that opened.
std::vector<std::string> ListDevices(DWORD delayMs);
// The still-open handle of the first device (lowest index) whose name
// equals name exactly; INVALID_HANDLE_VALUE when none does. Every handle
// tried before it is closed.
HANDLE FindDevice(const std::string& name, DWORD delayMs);

// Command operations: exactly one DeviceIoControl each, the block as both
// input and output (536 bytes). They write bRequest, wValue, wIndex and
// wLength; byte 1 and the data area stay as the caller prepared them.
// After a failure the data area must not be read as a reply.
bool VerifyPassword(HANDLE handle, CommandBlock& block, uint16_t length); // data: password
bool SetPassword(HANDLE handle, CommandBlock& block, uint16_t length);    // data: set payload
bool EraseBlock(HANDLE handle, CommandBlock& block, uint32_t blockNumber);
bool GetPasswordError(HANDLE handle, CommandBlock& block);         // reply: data[0]
bool ReadSpare(HANDLE handle, CommandBlock& block, uint32_t page); // reply: data[0..15]
bool GetPasswordFlag(HANDLE handle, CommandBlock& block);          // reply: data[0]
bool GetWriteProtect(HANDLE handle, CommandBlock& block);          // reply: data[0]
bool GetGeometry(HANDLE handle, CommandBlock& block);              // reply: data[0..1]
bool WritePage(HANDLE handle, CommandBlock& block, uint32_t page); // data: 512 bytes
bool ReadPage(HANDLE handle, CommandBlock& block, uint32_t page);  // reply: data[0..527]
bool GetStatus(HANDLE handle, CommandBlock& block);                // reply: data[0]
bool WriteConfigPage(HANDLE handle, CommandBlock& block);          // data: 512 bytes

// Rewrites the system block with a blank password page: reads pages 0..31,
// replaces page 2, writes pages 0..31 back. Stops at the first failing
// command; a failure while writing can leave the block partly rewritten.
bool ResetPasswordPage(HANDLE handle);

// Reverses count bytes in place (big-endian fields <-> host order).
void ReverseBytes(uint8_t* buffer, std::size_t count);

} // namespace kv::DeviceChannel
