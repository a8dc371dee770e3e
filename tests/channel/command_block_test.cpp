#include "app/channel/command_block.h"
#include "app/channel/control_codes.h"
#include "app/channel/device_channel.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace kv;

TEST(CommandBlock, HeaderFieldsLieLittleEndianBeforeTheData) {
    CommandBlock block;
    block.bRequest = 0xFC;
    block.reserved = 0x5A;
    block.wValue = 0x1234;
    block.wIndex = 0x8001;
    block.wLength = 528;
    block.data[0] = 0xA1;
    block.data[527] = 0xB2;
    uint8_t bytes[536];
    std::memcpy(bytes, &block, sizeof bytes);
    const uint8_t header[8] = {0xFC, 0x5A, 0x34, 0x12, 0x01, 0x80, 0x10, 0x02};
    EXPECT_EQ(0, std::memcmp(bytes, header, 8));
    EXPECT_EQ(bytes[8], 0xA1);
    EXPECT_EQ(bytes[535], 0xB2);
}

TEST(CommandBlock, StartsAllZero) {
    CommandBlock block;
    uint8_t bytes[536];
    std::memcpy(bytes, &block, sizeof bytes);
    for (uint8_t b : bytes)
        ASSERT_EQ(b, 0);
}

TEST(ControlCodes, MatchTheChannelTable) {
    const struct {
        uint32_t code;
        uint32_t expected;
    } cases[] = {
        {IOCTL_VENDOR_OUT, 0x222000},
        {IOCTL_GET_DEVICE_DESCRIPTOR, 0x222004},
        {IOCTL_GET_CONFIG_DESCRIPTOR, 0x222008},
        {IOCTL_GET_STRING_DESCRIPTOR, 0x22200C},
        {IOCTL_VENDOR_IN, 0x222014},
        {IOCTL_GET_INTERFACE_DESCRIPTOR, 0x222018},
        {IOCTL_VENDOR_OUT_ASYNC, 0x22201C},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.code, c.expected) << std::hex << c.expected;
}

TEST(ChannelName, UsesTheCharacterThirtyHexPlusIndex) {
    const struct {
        int index;
        const char* name;
    } cases[] = {
        {0, "\\\\.\\KV7946-0"},
        {9, "\\\\.\\KV7946-9"},
        {10, "\\\\.\\KV7946-:"},
        {16, "\\\\.\\KV7946-@"},
        {17, "\\\\.\\KV7946-A"},
        {31, "\\\\.\\KV7946-O"},
        {32, ""},
        {-1, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DeviceChannel::ChannelName(c.index), c.name) << c.index;
}

TEST(ReverseBytes, TurnsABigEndianFieldIntoHostOrderAndBack) {
    uint8_t field[2] = {0x03, 0xE8}; // 1000, big-endian
    DeviceChannel::ReverseBytes(field, 2);
    uint16_t host;
    std::memcpy(&host, field, 2);
    EXPECT_EQ(host, 1000);
    DeviceChannel::ReverseBytes(field, 2);
    EXPECT_EQ(field[0], 0x03);
    EXPECT_EQ(field[1], 0xE8);

    uint8_t odd[3] = {1, 2, 3};
    DeviceChannel::ReverseBytes(odd, 3);
    EXPECT_EQ(odd[0], 3);
    EXPECT_EQ(odd[1], 2);
    EXPECT_EQ(odd[2], 1);
    DeviceChannel::ReverseBytes(odd, 0); // nothing to do
    EXPECT_EQ(odd[0], 3);
}

} // namespace
