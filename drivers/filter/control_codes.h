// The control codes of the device channel, shared with the application.
#pragma once

#include "app/channel/control_codes.h"
#include "platform/wdm/types.h"

namespace kv7946 {

using kv::IOCTL_GET_CONFIG_DESCRIPTOR;
using kv::IOCTL_GET_DEVICE_DESCRIPTOR;
using kv::IOCTL_GET_INTERFACE_DESCRIPTOR;
using kv::IOCTL_GET_STRING_DESCRIPTOR;
using kv::IOCTL_VENDOR_IN;
using kv::IOCTL_VENDOR_OUT;
using kv::IOCTL_VENDOR_OUT_ASYNC;

// Header of a command block: bRequest, (ignored), wValue, wIndex, wLength.
constexpr wdm::ULONG kBlockHeaderSize = 8;

} // namespace kv7946
