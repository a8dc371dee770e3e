// Records USB transfers as a pcap file in the Linux usbmon format (link type
// 220, 64-byte headers): one submission ('S') and one completion ('C') packet
// per transfer.
#pragma once

#include "platform/usb/usb_device.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>

namespace emu {

constexpr uint32_t kLinkTypeUsbLinuxMmapped = 220;

class UsbTrace {
  public:
    // Microseconds since an arbitrary start; by default each packet is 10 us later.
    using TimeSource = std::function<uint64_t()>;

    UsbTrace() = default;
    ~UsbTrace() { close(); }
    UsbTrace(const UsbTrace&) = delete;
    UsbTrace& operator=(const UsbTrace&) = delete;

    bool open(const std::string& path, std::string* error, TimeSource time = {});
    void close();
    bool isOpen() const { return file_ != nullptr; }
    void setDeviceAddress(uint8_t address) { device_ = address ? address : 1; }

    // OUT data go with the submission, IN data with the completion.
    void control(const usb::SetupPacket& setup, std::span<const uint8_t> data,
                 usb::TransferResult result);
    void bulkOut(uint8_t endpoint, std::span<const uint8_t> data, usb::TransferResult result);
    void bulkIn(uint8_t endpoint, uint32_t requested, std::span<const uint8_t> data,
                usb::TransferResult result);

  private:
    struct Packet {
        char type;
        uint8_t transferType;
        uint8_t endpoint;
        const usb::SetupPacket* setup;
        int32_t status;
        uint32_t length;
        std::span<const uint8_t> data;
    };
    void write(const Packet& packet);
    uint64_t now();

    std::FILE* file_ = nullptr;
    TimeSource time_;
    uint64_t ticks_ = 0;
    uint64_t nextId_ = 1;
    uint64_t id_ = 0;
    uint8_t device_ = 1;
};

} // namespace emu
