#include "tests/emulator/host_helpers.h"

#include <gtest/gtest.h>

namespace emu {
namespace {

using namespace emu::test;
using usb::TransferStatus;

class Descriptors : public ::testing::Test {
  protected:
    Descriptors() : c({1, 2}, "Name Seven") { c.plugged(); }

    Reply get(uint8_t type, uint8_t index, uint16_t language, uint16_t length) {
        std::vector<uint8_t> buf(length);
        usb::TransferResult r = c.control(
            {0x80, usb::kGetDescriptor, static_cast<uint16_t>(type << 8 | index), language, length},
            buf);
        buf.resize(r.status == TransferStatus::Ok ? r.actual : 0);
        return {r.status, buf};
    }
    TransferStatus request(uint8_t type, uint8_t req, uint16_t value, uint16_t index = 0) {
        std::vector<uint8_t> none;
        return c.control({type, req, value, index, 0}, none).status;
    }

    Controller c;
};

TEST_F(Descriptors, DeviceAndConfiguration) {
    Reply d = get(usb::kDescDevice, 0, 0, 18);
    ASSERT_TRUE(d.ok());
    ASSERT_EQ(d.data.size(), 18u);
    EXPECT_EQ(d.data[1], 1);
    EXPECT_EQ(d.data[8] | d.data[9] << 8, 0x1D9F);
    EXPECT_EQ(d.data[10] | d.data[11] << 8, 0x7947);

    Reply head = get(usb::kDescConfiguration, 0, 0, 9); // the host's first, short read
    ASSERT_EQ(head.data.size(), 9u);
    EXPECT_EQ(head.data[2] | head.data[3] << 8, 32);
    Reply all = get(usb::kDescConfiguration, 0, 0, 32 + 256); // longer than it is
    ASSERT_EQ(all.data.size(), 32u);
    const std::vector<uint8_t> interface(all.data.begin() + 9, all.data.begin() + 18);
    EXPECT_EQ(interface, (std::vector<uint8_t>{9, 4, 0, 0, 2, 0x08, 0x06, 0x50, 5}));
    EXPECT_EQ(all.data[18 + 2], 0x81);
    EXPECT_EQ(all.data[18 + 3], 0x02); // bulk
    EXPECT_EQ(all.data[25 + 2], 0x02);

    EXPECT_EQ(get(usb::kDescInterface, 0, 0, 512).data, interface);
    EXPECT_EQ(get(6, 0, 0, 10).status, TransferStatus::Stall); // no device qualifier
}

TEST_F(Descriptors, StringsComeFromTheConfigurationPage) {
    Reply lang = get(usb::kDescString, 0, 0, 255);
    EXPECT_EQ(lang.data, (std::vector<uint8_t>{4, 3, 0x09, 0x04}));

    Reply name = get(usb::kDescString, 7, 0, 512); // as the host asks, language 0
    ASSERT_TRUE(name.ok());
    EXPECT_EQ(name.data, utf16Descriptor("Name Seven"));
    EXPECT_EQ(get(usb::kDescString, 7, 0x0409, 512).data, name.data);
    EXPECT_EQ(get(usb::kDescString, 7, 0, 4).data.size(), 4u); // truncated to wLength
    EXPECT_EQ(get(usb::kDescString, 7, 0x0407, 512).status, TransferStatus::Stall);
    EXPECT_EQ(get(usb::kDescString, 8, 0, 512).status, TransferStatus::Stall); // past the chain

    ASSERT_TRUE(c.setDeviceName("Other"));
    EXPECT_EQ(descriptorText(get(usb::kDescString, 7, 0, 512).data), "Other");
    PageData broken = c.configPage();
    broken[kChainStart] = 0; // the chain ends at once
    PageBytes bytes = c.readPage(kConfigPage);
    std::copy(broken.begin(), broken.end(), bytes.begin());
    c.storePage(kConfigPage, bytes);
    EXPECT_EQ(get(usb::kDescString, 7, 0, 512).status, TransferStatus::Stall);
}

TEST_F(Descriptors, ConfigurationGovernsTheBulkPipes) {
    std::vector<uint8_t> buf(13);
    EXPECT_EQ(c.bulkIn(0x81, buf).status, TransferStatus::Stall); // not configured yet
    EXPECT_EQ(request(0x00, usb::kSetConfiguration, 2), TransferStatus::Stall);
    EXPECT_EQ(request(0x00, usb::kSetConfiguration, 1), TransferStatus::Ok);
    EXPECT_TRUE(c.configured());
    std::vector<uint8_t> one(1);
    EXPECT_EQ(c.control({0x80, usb::kGetConfiguration, 0, 0, 1}, one).actual, 1u);
    EXPECT_EQ(one[0], 1);
    EXPECT_TRUE(runBot(c, {scsi::kTestUnitReady, 0, 0, 0, 0, 0}, 0, false).transported);
    EXPECT_EQ(request(0x00, usb::kSetConfiguration, 0), TransferStatus::Ok);
    EXPECT_EQ(c.bulkOut(0x02, cbw(0, false, {0, 0, 0, 0, 0, 0})).status, TransferStatus::Stall);
}

TEST_F(Descriptors, StandardRequestsOfABusDriver) {
    EXPECT_EQ(request(0x00, usb::kSetAddress, 5), TransferStatus::Ok);
    EXPECT_EQ(request(0x00, usb::kSetConfiguration, 1), TransferStatus::Ok);
    EXPECT_EQ(request(0x01, usb::kSetInterface, 0, 0), TransferStatus::Ok);
    EXPECT_EQ(request(0x01, usb::kSetInterface, 1, 0), TransferStatus::Stall);
    std::vector<uint8_t> two(2);
    EXPECT_EQ(c.control({0x80, usb::kGetStatus, 0, 0, 2}, two).status, TransferStatus::Ok);
    // Halting and clearing an endpoint, as a pipe reset does.
    EXPECT_EQ(request(0x02, usb::kSetFeature, usb::kFeatureEndpointHalt, 0x81), TransferStatus::Ok);
    EXPECT_EQ(c.control({0x82, usb::kGetStatus, 0, 0x81, 2}, two).status, TransferStatus::Ok);
    EXPECT_EQ(two[0], 1);
    std::vector<uint8_t> buf(13);
    EXPECT_EQ(c.bulkIn(0x81, buf).status, TransferStatus::Halted);
    EXPECT_EQ(request(0x02, usb::kClearFeature, usb::kFeatureEndpointHalt, 0x81),
              TransferStatus::Ok);
    EXPECT_EQ(c.control({0x82, usb::kGetStatus, 0, 0x81, 2}, two).status, TransferStatus::Ok);
    EXPECT_EQ(two[0], 0);
    EXPECT_EQ(request(0x02, usb::kClearFeature, usb::kFeatureEndpointHalt, 0x83),
              TransferStatus::Stall);
    // Mass storage class requests.
    std::vector<uint8_t> lun(1, 0xEE);
    EXPECT_EQ(c.control({0xA1, 0xFE, 0, 0, 1}, lun).status, TransferStatus::Ok);
    EXPECT_EQ(lun[0], 0);
    EXPECT_EQ(request(0x21, 0xFF, 0, 0), TransferStatus::Ok);
    EXPECT_EQ(request(0x21, 0xFF, 0, 1), TransferStatus::Stall); // no interface 1
}

} // namespace
} // namespace emu
