// Opening channels, reading device names and finding devices by name.
#include "app/channel/device_channel.h"

#include "platform/win32/win32.h"

#include <cstring>

namespace kv::DeviceChannel {

using namespace win32;

namespace {

constexpr DWORD kNameReplySize = 512;
constexpr DWORD kNameBufferSize = 256;

} // namespace

std::string ChannelName(int index) {
    if (index < 0 || index >= kMaxDevices) return {};
    std::string name = "\\\\.\\KV7946-";
    name += static_cast<char>(0x30 + index);
    return name;
}

HANDLE OpenDevice(int index) {
    const std::string name = ChannelName(index);
    if (name.empty()) return INVALID_HANDLE_VALUE;
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

void CloseDevice(HANDLE handle) {
    CloseHandle(handle);
}

bool GetDeviceName(HANDLE handle, std::string& name) {
    CommandBlock block;
    block.bRequest = kDeviceNameString;
    uint8_t reply[kNameReplySize] = {};
    DWORD returned = 0;
    if (!DeviceIoControl(handle, IOCTL_GET_STRING_DESCRIPTOR, &block, kCommandBlockSize, reply,
                         kNameReplySize, &returned, nullptr))
        return false;
    // A reply without its two header bytes carries no name.
    if (returned < 2) return false;
    // A string descriptor is at most 255 bytes; cut anything longer to the buffer.
    const DWORD n = returned < kNameBufferSize ? returned : kNameBufferSize;

    uint8_t text[kNameBufferSize] = {};
    std::memcpy(text, reply + 2, n - 2);
    text[n - 2] = 0;
    text[n - 1] = 0;
    WCHAR wide[kNameBufferSize / 2 + 1] = {};
    std::memcpy(wide, text, kNameBufferSize);

    char converted[kNameBufferSize * 2] = {};
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, converted, sizeof converted, nullptr, nullptr) ==
        0)
        return false;
    name = converted;
    return true;
}

std::vector<std::string> ListDevices(DWORD delayMs) {
    std::vector<std::string> names;
    for (int index = 0; index < kMaxDevices; ++index) {
        HANDLE handle = OpenDevice(index);
        if (handle != INVALID_HANDLE_VALUE) {
            Sleep(delayMs);
            std::string name;
            if (GetDeviceName(handle, name)) names.push_back(name);
        }
        CloseDevice(handle);
    }
    return names;
}

HANDLE FindDevice(const std::string& name, DWORD delayMs) {
    for (int index = 0; index < kMaxDevices; ++index) {
        HANDLE handle = OpenDevice(index);
        if (handle != INVALID_HANDLE_VALUE) {
            Sleep(delayMs);
            std::string found;
            if (GetDeviceName(handle, found) && found == name) return handle;
        }
        CloseDevice(handle);
    }
    return INVALID_HANDLE_VALUE;
}

} // namespace kv::DeviceChannel
