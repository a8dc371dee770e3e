// Control codes of the device channel: device type 0x22, METHOD_BUFFERED,
// FILE_ANY_ACCESS, functions 0x800-0x807.
#pragma once

#include <cstdint>

namespace kv {

constexpr uint32_t ChannelControlCode(uint32_t function) {
    constexpr uint32_t kDeviceType = 0x22; // FILE_DEVICE_UNKNOWN
    constexpr uint32_t kMethodBuffered = 0;
    constexpr uint32_t kFileAnyAccess = 0;
    return (kDeviceType << 16) | (kFileAnyAccess << 14) | (function << 2) | kMethodBuffered;
}

constexpr uint32_t IOCTL_VENDOR_OUT = ChannelControlCode(0x800);
constexpr uint32_t IOCTL_GET_DEVICE_DESCRIPTOR = ChannelControlCode(0x801);
constexpr uint32_t IOCTL_GET_CONFIG_DESCRIPTOR = ChannelControlCode(0x802);
constexpr uint32_t IOCTL_GET_STRING_DESCRIPTOR = ChannelControlCode(0x803);
constexpr uint32_t IOCTL_VENDOR_IN = ChannelControlCode(0x805);
constexpr uint32_t IOCTL_GET_INTERFACE_DESCRIPTOR = ChannelControlCode(0x806);
constexpr uint32_t IOCTL_VENDOR_OUT_ASYNC = ChannelControlCode(0x807);

static_assert(IOCTL_VENDOR_OUT == 0x222000);
static_assert(IOCTL_GET_STRING_DESCRIPTOR == 0x22200C);
static_assert(IOCTL_VENDOR_IN == 0x222014);
static_assert(IOCTL_VENDOR_OUT_ASYNC == 0x22201C);

} // namespace kv
