#include "drivers/filter/transfer_map.h"

#include "drivers/filter/control_codes.h"
#include "platform/usb/urb.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace kv7946;
using namespace wdm;

// bRequest 0xFC, ignored byte 0x01, wValue 0x1234, wIndex 0x8000, wLength 3.
std::vector<UCHAR> header(UCHAR request, USHORT value, USHORT index, USHORT length,
                          size_t size = 536) {
    std::vector<UCHAR> b(size, 0xAA);
    b[0] = request;
    b[1] = 0x01;
    b[2] = value & 0xFF;
    b[3] = value >> 8;
    b[4] = index & 0xFF;
    b[5] = index >> 8;
    b[6] = length & 0xFF;
    b[7] = length >> 8;
    return b;
}

struct Row {
    const char* name;
    ULONG code;
    ULONG in, out;
    TransferKind kind;
    USHORT function;
    ULONG flags;
    UCHAR request;
    USHORT value, index;
    UCHAR descType, descIndex;
    ULONG offset, length;
    bool noBuffer;
    ByteCount count;
};

class Table : public ::testing::TestWithParam<Row> {};

TEST_P(Table, MapsCodeAndHeaderToTheTransfer) {
    const Row& r = GetParam();
    std::vector<UCHAR> b = header(0xFC, 0x1234, 0x8000, 3);
    b[0] = r.code == IOCTL_GET_STRING_DESCRIPTOR ? 7 : 0xFC;
    TransferPlan p = PlanTransfer(r.code, b.data(), r.in, r.out);
    EXPECT_EQ(p.refusal, STATUS_SUCCESS);
    EXPECT_EQ(p.kind, r.kind);
    EXPECT_EQ(p.urbFunction, r.function);
    EXPECT_EQ(p.transferFlags, r.flags);
    EXPECT_EQ(p.bufferOffset, r.offset);
    EXPECT_EQ(p.length, r.length);
    EXPECT_EQ(p.noBuffer, r.noBuffer);
    EXPECT_EQ(p.byteCount, r.count);
    if (r.kind == TransferKind::Vendor || r.kind == TransferKind::VendorAsync) {
        EXPECT_EQ(p.request, r.request);
        EXPECT_EQ(p.value, r.value);
        EXPECT_EQ(p.index, r.index);
    }
    if (r.kind == TransferKind::Descriptor) {
        EXPECT_EQ(p.descriptorType, r.descType);
        EXPECT_EQ(p.descriptorIndex, r.descIndex);
        EXPECT_EQ(p.languageId, 0);
    }
}

constexpr USHORT kVendor = usb::URB_FUNCTION_VENDOR_DEVICE;
constexpr USHORT kDesc = usb::URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE;

INSTANTIATE_TEST_SUITE_P(
    Codes, Table,
    ::testing::Values(
        Row{"VendorOut", IOCTL_VENDOR_OUT, 536, 536, TransferKind::Vendor, kVendor, 0, 0xFC, 0x1234,
            0x8000, 0, 0, 8, 3, false, ByteCount::Zero},
        Row{"VendorIn", IOCTL_VENDOR_IN, 536, 536, TransferKind::Vendor, kVendor, 1, 0xFC, 0x1234,
            0x8000, 0, 0, 8, 3, false, ByteCount::OutputLengthOnSuccess},
        Row{"VendorOutAsync", IOCTL_VENDOR_OUT_ASYNC, 536, 0, TransferKind::VendorAsync, kVendor, 0,
            0xFC, 0x1234, 0x8000, 0, 0, 8, 3, false, ByteCount::Zero},
        Row{"DeviceDescriptor", IOCTL_GET_DEVICE_DESCRIPTOR, 0, 18, TransferKind::Descriptor, kDesc,
            1, 0, 0, 0, 1, 0, 0, 18, false, ByteCount::Transferred},
        Row{"DeviceDescriptorBigBuffer", IOCTL_GET_DEVICE_DESCRIPTOR, 536, 536,
            TransferKind::Descriptor, kDesc, 1, 0, 0, 0, 1, 0, 0, 18, false,
            ByteCount::Transferred},
        Row{"ConfigDescriptor", IOCTL_GET_CONFIG_DESCRIPTOR, 0, 255, TransferKind::Descriptor,
            kDesc, 1, 0, 0, 0, 2, 0, 0, 255, false, ByteCount::Transferred},
        Row{"StringDescriptor", IOCTL_GET_STRING_DESCRIPTOR, 536, 512, TransferKind::Descriptor,
            kDesc, 1, 0, 0, 0, 3, 7, 0, 512, false, ByteCount::Transferred},
        Row{"InterfaceDescriptor", IOCTL_GET_INTERFACE_DESCRIPTOR, 0, 9, TransferKind::Descriptor,
            kDesc, 1, 0, 0, 0, 4, 0, 0, 9, false, ByteCount::Transferred},
        Row{"Function804", 0x222010, 536, 536, TransferKind::None, 0, 0, 0, 0, 0, 0, 0, 0, 0, false,
            ByteCount::Zero},
        Row{"OtherDeviceType", 0x2D0000, 536, 536, TransferKind::None, 0, 0, 0, 0, 0, 0, 0, 0, 0,
            false, ByteCount::Zero}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TransferMap, ZeroLengthOutHasNoDataStageButZeroLengthInKeepsItsBuffer) {
    std::vector<UCHAR> b = header(0xB9, 17, 0, 0);
    TransferPlan out = PlanTransfer(IOCTL_VENDOR_OUT, b.data(), 536, 536);
    EXPECT_EQ(out.length, 0u);
    EXPECT_TRUE(out.noBuffer);
    TransferPlan in = PlanTransfer(IOCTL_VENDOR_IN, b.data(), 536, 536);
    EXPECT_EQ(in.length, 0u);
    EXPECT_FALSE(in.noBuffer);
    EXPECT_EQ(in.byteCount, ByteCount::OutputLengthOnSuccess);
}

TEST(TransferMap, ReservedByteNeverChangesTheTransfer) {
    std::vector<UCHAR> a = header(0xFE, 0, 0, 1);
    std::vector<UCHAR> b = a;
    a[1] = 0x00;
    b[1] = 0xFF;
    TransferPlan pa = PlanTransfer(IOCTL_VENDOR_IN, a.data(), 536, 536);
    TransferPlan pb = PlanTransfer(IOCTL_VENDOR_IN, b.data(), 536, 536);
    EXPECT_EQ(pa.request, 0xFE);
    EXPECT_EQ(pb.request, 0xFE);
    EXPECT_EQ(pa.value, pb.value);
    EXPECT_EQ(pa.index, pb.index);
    EXPECT_EQ(pa.length, pb.length);
}

struct Short {
    const char* name;
    ULONG code;
    USHORT wLength;
    ULONG in, out;
    bool nullBuffer;
    NTSTATUS expected;
};

class ShortBuffers : public ::testing::TestWithParam<Short> {};

TEST_P(ShortBuffers, AreRefusedBeforeAnythingIsRead) {
    const Short& s = GetParam();
    ULONG size = s.in > s.out ? s.in : s.out;
    // Exactly the system buffer, so a sanitizer sees any read past it.
    std::vector<UCHAR> full = header(0xFC, 1, 0x8000, s.wLength);
    std::vector<UCHAR> b(full.begin(), full.begin() + (size < full.size() ? size : full.size()));
    const UCHAR* buf = s.nullBuffer || b.empty() ? nullptr : b.data();
    TransferPlan p = PlanTransfer(s.code, buf, s.in, s.out);
    EXPECT_EQ(p.refusal, s.expected);
    EXPECT_EQ(p.kind, TransferKind::None);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, ShortBuffers,
    ::testing::Values(
        Short{"OutHeaderOnly7", IOCTL_VENDOR_OUT, 0, 7, 0, false, STATUS_BUFFER_TOO_SMALL},
        Short{"OutDataBeyondBuffer", IOCTL_VENDOR_OUT, 512, 100, 0, false, STATUS_BUFFER_TOO_SMALL},
        Short{"InReplyBeyondBuffer", IOCTL_VENDOR_IN, 528, 8, 535, false, STATUS_BUFFER_TOO_SMALL},
        Short{"InNoInputHeader", IOCTL_VENDOR_IN, 1, 0, 536, false, STATUS_BUFFER_TOO_SMALL},
        Short{"AsyncDataBeyondBuffer", IOCTL_VENDOR_OUT_ASYNC, 16, 16, 0, false,
              STATUS_BUFFER_TOO_SMALL},
        Short{"NoBufferAtAll", IOCTL_VENDOR_OUT, 0, 0, 0, true, STATUS_BUFFER_TOO_SMALL},
        Short{"DeviceDescriptor17", IOCTL_GET_DEVICE_DESCRIPTOR, 0, 0, 17, false,
              STATUS_BUFFER_TOO_SMALL},
        Short{"StringWithoutIndexByte", IOCTL_GET_STRING_DESCRIPTOR, 0, 0, 512, false,
              STATUS_BUFFER_TOO_SMALL},
        Short{"DescriptorNoBuffer", IOCTL_GET_CONFIG_DESCRIPTOR, 0, 0, 0, true,
              STATUS_INSUFFICIENT_RESOURCES},
        Short{"DeviceDescriptorNoBuffer", IOCTL_GET_DEVICE_DESCRIPTOR, 0, 0, 0, true,
              STATUS_INSUFFICIENT_RESOURCES}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TransferMap, ExactFitIsAccepted) {
    std::vector<UCHAR> b = header(0xFB, 1, 0, 512, 520);
    EXPECT_EQ(PlanTransfer(IOCTL_VENDOR_OUT, b.data(), 520, 0).refusal, STATUS_SUCCESS);
    std::vector<UCHAR> d(18);
    EXPECT_EQ(PlanTransfer(IOCTL_GET_DEVICE_DESCRIPTOR, d.data(), 0, 18).refusal, STATUS_SUCCESS);
}

} // namespace
