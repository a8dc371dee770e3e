// The control codes of the device channel.
#pragma once

#include "platform/wdm/types.h"

namespace kv7946 {

constexpr wdm::ULONG IOCTL_VENDOR_OUT = 0x222000;
constexpr wdm::ULONG IOCTL_GET_DEVICE_DESCRIPTOR = 0x222004;
constexpr wdm::ULONG IOCTL_GET_CONFIG_DESCRIPTOR = 0x222008;
constexpr wdm::ULONG IOCTL_GET_STRING_DESCRIPTOR = 0x22200C;
constexpr wdm::ULONG IOCTL_VENDOR_IN = 0x222014;
constexpr wdm::ULONG IOCTL_GET_INTERFACE_DESCRIPTOR = 0x222018;
constexpr wdm::ULONG IOCTL_VENDOR_OUT_ASYNC = 0x22201C;

// Header of a command block: bRequest, (ignored), wValue, wIndex, wLength.
constexpr wdm::ULONG kBlockHeaderSize = 8;

} // namespace kv7946
