#include "drivers/filter/transfer_map.h"

#include "drivers/filter/control_codes.h"
#include "platform/usb/urb.h"

namespace kv7946 {

using namespace wdm;

namespace {

constexpr ULONG kDeviceDescriptorLength = 18;

USHORT le16(const UCHAR* p) {
    return static_cast<USHORT>(p[0] | p[1] << 8);
}

TransferPlan refuse(NTSTATUS status) {
    TransferPlan plan;
    plan.refusal = status;
    return plan;
}

TransferPlan vendor(ULONG code, const UCHAR* buf, ULONG inputLength, ULONG systemLength) {
    if (!buf || inputLength < kBlockHeaderSize) return refuse(STATUS_BUFFER_TOO_SMALL);
    TransferPlan plan;
    plan.request = buf[0];
    plan.value = le16(buf + 2);
    plan.index = le16(buf + 4);
    plan.length = le16(buf + 6);
    if (systemLength < kBlockHeaderSize + plan.length) return refuse(STATUS_BUFFER_TOO_SMALL);
    plan.urbFunction = usb::URB_FUNCTION_VENDOR_DEVICE;
    plan.bufferOffset = kBlockHeaderSize;
    if (code == IOCTL_VENDOR_IN) {
        plan.kind = TransferKind::Vendor;
        plan.transferFlags = usb::USBD_TRANSFER_DIRECTION_IN;
        plan.byteCount = ByteCount::OutputLengthOnSuccess;
    } else {
        plan.kind =
            code == IOCTL_VENDOR_OUT_ASYNC ? TransferKind::VendorAsync : TransferKind::Vendor;
        plan.transferFlags = usb::USBD_TRANSFER_DIRECTION_OUT;
        plan.noBuffer = plan.length == 0;
    }
    return plan;
}

TransferPlan descriptor(UCHAR type, UCHAR index, ULONG length, const UCHAR* buf) {
    TransferPlan plan;
    plan.kind = TransferKind::Descriptor;
    plan.urbFunction = usb::URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE;
    plan.transferFlags = usb::USBD_TRANSFER_DIRECTION_IN;
    plan.descriptorType = type;
    plan.descriptorIndex = index;
    plan.length = length;
    plan.byteCount = ByteCount::Transferred;
    plan.noBuffer = buf == nullptr;
    return plan;
}

} // namespace

TransferPlan PlanTransfer(ULONG code, const UCHAR* systemBuffer, ULONG inputLength,
                          ULONG outputLength) {
    ULONG systemLength = inputLength > outputLength ? inputLength : outputLength;
    if (!systemBuffer) systemLength = 0;
    switch (code) {
    case IOCTL_VENDOR_OUT:
    case IOCTL_VENDOR_IN:
    case IOCTL_VENDOR_OUT_ASYNC:
        return vendor(code, systemBuffer, inputLength, systemLength);
    case IOCTL_GET_DEVICE_DESCRIPTOR:
        if (!systemBuffer) return refuse(STATUS_INSUFFICIENT_RESOURCES);
        if (systemLength < kDeviceDescriptorLength) return refuse(STATUS_BUFFER_TOO_SMALL);
        return descriptor(1, 0, kDeviceDescriptorLength, systemBuffer);
    case IOCTL_GET_CONFIG_DESCRIPTOR:
        if (!systemBuffer) return refuse(STATUS_INSUFFICIENT_RESOURCES);
        return descriptor(2, 0, outputLength, systemBuffer);
    case IOCTL_GET_STRING_DESCRIPTOR:
        if (!systemBuffer) return refuse(STATUS_INSUFFICIENT_RESOURCES);
        if (inputLength < 1) return refuse(STATUS_BUFFER_TOO_SMALL);
        return descriptor(3, systemBuffer[0], outputLength, systemBuffer);
    case IOCTL_GET_INTERFACE_DESCRIPTOR:
        if (!systemBuffer) return refuse(STATUS_INSUFFICIENT_RESOURCES);
        return descriptor(4, 0, outputLength, systemBuffer);
    default:
        return TransferPlan{};
    }
}

} // namespace kv7946
