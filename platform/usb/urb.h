// USB request blocks as drivers hand them to the bus with
// IOCTL_INTERNAL_USB_SUBMIT_URB. Handles are 32-bit values the bus gives
// out (0 is none); buffers are native pointers. The sizes drivers put in
// the header Length: 80 for the control requests, 60 for a select
// configuration with one interface and one pipe, 72 for a bulk transfer,
// 24 for a pipe request.
#pragma once

#include "platform/usb/descriptors.h"
#include "platform/wdm/types.h"

namespace usb {

using wdm::LONG;
using wdm::PVOID;
using wdm::UCHAR;
using wdm::ULONG;
using wdm::USHORT;

using USBD_STATUS = LONG;
using USBD_PIPE_HANDLE = uint32_t;
using USBD_CONFIGURATION_HANDLE = uint32_t;
using USBD_INTERFACE_HANDLE = uint32_t;

// URB functions.
constexpr USHORT URB_FUNCTION_SELECT_CONFIGURATION = 0x0000;
constexpr USHORT URB_FUNCTION_SELECT_INTERFACE = 0x0001;
constexpr USHORT URB_FUNCTION_ABORT_PIPE = 0x0002;
constexpr USHORT URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER = 0x0009;
constexpr USHORT URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE = 0x000B;
constexpr USHORT URB_FUNCTION_VENDOR_DEVICE = 0x0017;
constexpr USHORT URB_FUNCTION_VENDOR_INTERFACE = 0x0018;
constexpr USHORT URB_FUNCTION_VENDOR_ENDPOINT = 0x0019;
constexpr USHORT URB_FUNCTION_CLASS_DEVICE = 0x001A;
constexpr USHORT URB_FUNCTION_CLASS_INTERFACE = 0x001B;
constexpr USHORT URB_FUNCTION_CLASS_ENDPOINT = 0x001C;
constexpr USHORT URB_FUNCTION_RESET_PIPE = 0x001E;
constexpr USHORT URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL = 0x001E;
constexpr USHORT URB_FUNCTION_GET_DESCRIPTOR_FROM_INTERFACE = 0x0028;

// TransferFlags.
constexpr ULONG USBD_TRANSFER_DIRECTION_OUT = 0;
constexpr ULONG USBD_TRANSFER_DIRECTION_IN = 1;
constexpr ULONG USBD_SHORT_TRANSFER_OK = 2;

// USBD status values.
constexpr USBD_STATUS USBD_STATUS_SUCCESS = 0x00000000;
constexpr USBD_STATUS USBD_STATUS_PENDING = 0x40000000;
constexpr USBD_STATUS USBD_STATUS_CRC = wdm::ntstatus(0xC0000001);
constexpr USBD_STATUS USBD_STATUS_STALL_PID = wdm::ntstatus(0xC0000004);
constexpr USBD_STATUS USBD_STATUS_DEV_NOT_RESPONDING = wdm::ntstatus(0xC0000005);
constexpr USBD_STATUS USBD_STATUS_DATA_UNDERRUN = wdm::ntstatus(0xC0000009);
constexpr USBD_STATUS USBD_STATUS_ENDPOINT_HALTED = wdm::ntstatus(0xC0000030);
constexpr USBD_STATUS USBD_STATUS_INVALID_URB_FUNCTION = wdm::ntstatus(0x80000200);
constexpr USBD_STATUS USBD_STATUS_INVALID_PARAMETER = wdm::ntstatus(0x80000300);
constexpr USBD_STATUS USBD_STATUS_INVALID_PIPE_HANDLE = wdm::ntstatus(0x80000600);
constexpr USBD_STATUS USBD_STATUS_CANCELED = wdm::ntstatus(0xC0010000);
constexpr USBD_STATUS USBD_STATUS_DEVICE_GONE = wdm::ntstatus(0xC0007000);

constexpr bool USBD_SUCCESS(USBD_STATUS s) {
    return s >= 0;
}
constexpr bool USBD_ERROR(USBD_STATUS s) {
    return (static_cast<uint32_t>(s) >> 30) == 3;
}

enum USBD_PIPE_TYPE : int32_t {
    UsbdPipeTypeControl = 0,
    UsbdPipeTypeIsochronous = 1,
    UsbdPipeTypeBulk = 2,
    UsbdPipeTypeInterrupt = 3,
};

constexpr ULONG USBD_DEFAULT_MAXIMUM_TRANSFER_SIZE = 4096;

union URB;

struct _URB_HEADER {
    USHORT Length;
    USHORT Function;
    USBD_STATUS Status;
    uint32_t UsbdDeviceHandle; // the bus's
};

struct _URB_HCD_AREA {
    uint32_t Reserved8[6];
};

struct _URB_CONTROL_VENDOR_OR_CLASS_REQUEST {
    _URB_HEADER Hdr;
    USBD_PIPE_HANDLE PipeHandle; // reserved: the default pipe
    ULONG TransferFlags;
    ULONG TransferBufferLength;
    PVOID TransferBuffer;
    PVOID TransferBufferMDL;
    URB* UrbLink;
    _URB_HCD_AREA hca;
    UCHAR RequestTypeReservedBits;
    UCHAR Request;
    USHORT Value;
    USHORT Index;
    USHORT Reserved1;
};

struct _URB_CONTROL_DESCRIPTOR_REQUEST {
    _URB_HEADER Hdr;
    uint32_t Reserved;
    ULONG Reserved0;
    ULONG TransferBufferLength;
    PVOID TransferBuffer;
    PVOID TransferBufferMDL;
    URB* UrbLink;
    _URB_HCD_AREA hca;
    USHORT Reserved1;
    UCHAR Index;
    UCHAR DescriptorType;
    USHORT LanguageId;
    USHORT Reserved2;
};

struct _URB_BULK_OR_INTERRUPT_TRANSFER {
    _URB_HEADER Hdr;
    USBD_PIPE_HANDLE PipeHandle;
    ULONG TransferFlags;
    ULONG TransferBufferLength;
    PVOID TransferBuffer;
    PVOID TransferBufferMDL;
    URB* UrbLink;
    _URB_HCD_AREA hca;
};

struct _URB_PIPE_REQUEST {
    _URB_HEADER Hdr;
    USBD_PIPE_HANDLE PipeHandle;
    ULONG Reserved[2];
};

struct USBD_PIPE_INFORMATION {
    USHORT MaximumPacketSize;
    UCHAR EndpointAddress;
    UCHAR Interval;
    USBD_PIPE_TYPE PipeType;
    USBD_PIPE_HANDLE PipeHandle;
    ULONG MaximumTransferSize;
    ULONG PipeFlags;
};

struct USBD_INTERFACE_INFORMATION {
    USHORT Length; // this structure with all its pipes
    UCHAR InterfaceNumber;
    UCHAR AlternateSetting;
    UCHAR Class;
    UCHAR SubClass;
    UCHAR Protocol;
    UCHAR Reserved;
    USBD_INTERFACE_HANDLE InterfaceHandle;
    ULONG NumberOfPipes;
    USBD_PIPE_INFORMATION Pipes[1];
};

#pragma pack(push, 4)
struct _URB_SELECT_CONFIGURATION {
    _URB_HEADER Hdr;
    // Null asks the bus to unconfigure the device.
    USB_CONFIGURATION_DESCRIPTOR* ConfigurationDescriptor;
    USBD_CONFIGURATION_HANDLE ConfigurationHandle;
    USBD_INTERFACE_INFORMATION Interface; // followed by further interfaces
};
#pragma pack(pop)

union URB {
    _URB_HEADER UrbHeader;
    _URB_SELECT_CONFIGURATION UrbSelectConfiguration;
    _URB_PIPE_REQUEST UrbPipeRequest;
    _URB_CONTROL_VENDOR_OR_CLASS_REQUEST UrbControlVendorClassRequest;
    _URB_CONTROL_DESCRIPTOR_REQUEST UrbControlDescriptorRequest;
    _URB_BULK_OR_INTERRUPT_TRANSFER UrbBulkOrInterruptTransfer;
};
using PURB = URB*;

static_assert(sizeof(_URB_CONTROL_VENDOR_OR_CLASS_REQUEST) == 80);
static_assert(sizeof(_URB_CONTROL_DESCRIPTOR_REQUEST) == 80);
static_assert(sizeof(_URB_SELECT_CONFIGURATION) == 60);
static_assert(sizeof(_URB_BULK_OR_INTERRUPT_TRANSFER) == 72);
static_assert(sizeof(_URB_PIPE_REQUEST) == 24);
static_assert(sizeof(USBD_INTERFACE_INFORMATION) == 36);
static_assert(sizeof(USBD_PIPE_INFORMATION) == 20);

} // namespace usb
