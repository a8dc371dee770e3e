// The USB device as the simulated bus sees it: control transfers on the
// default pipe, bulk transfers on the other endpoints, plug and unplug.
// The emulated controller implements it; the bus driver of platform/usb
// calls it. Transfers complete at once with one of the results below;
// NoAnswer means the device never completes the transfer (the bus keeps the
// request pending until it is cancelled).
#pragma once

#include <cstdint>
#include <span>

namespace usb {

struct SetupPacket {
    uint8_t bmRequestType = 0;
    uint8_t bRequest = 0;
    uint16_t wValue = 0;
    uint16_t wIndex = 0;
    uint16_t wLength = 0;

    bool deviceToHost() const { return (bmRequestType & 0x80) != 0; }
};

// bmRequestType fields (USB 2.0, 9.3).
constexpr uint8_t kDirIn = 0x80;
constexpr uint8_t kTypeStandard = 0x00;
constexpr uint8_t kTypeClass = 0x20;
constexpr uint8_t kTypeVendor = 0x40;
constexpr uint8_t kRecipientDevice = 0x00;
constexpr uint8_t kRecipientInterface = 0x01;
constexpr uint8_t kRecipientEndpoint = 0x02;

// Standard requests.
constexpr uint8_t kGetStatus = 0;
constexpr uint8_t kClearFeature = 1;
constexpr uint8_t kSetFeature = 3;
constexpr uint8_t kSetAddress = 5;
constexpr uint8_t kGetDescriptor = 6;
constexpr uint8_t kGetConfiguration = 8;
constexpr uint8_t kSetConfiguration = 9;
constexpr uint8_t kSetInterface = 11;

// Descriptor types.
constexpr uint8_t kDescDevice = 1;
constexpr uint8_t kDescConfiguration = 2;
constexpr uint8_t kDescString = 3;
constexpr uint8_t kDescInterface = 4;
constexpr uint8_t kDescEndpoint = 5;

constexpr uint16_t kFeatureEndpointHalt = 0;

enum class TransferStatus {
    Ok,         // completed; actual bytes moved
    Stall,      // the device refused (STALL handshake); the endpoint is halted
    NoAnswer,   // the device never answers
    Halted,     // the endpoint was already halted; nothing moved
    DeviceGone, // unplugged before or during the transfer
};

struct TransferResult {
    TransferStatus status = TransferStatus::Ok;
    uint32_t actual = 0;
};

class Device {
  public:
    virtual ~Device() = default;

    // data has wLength bytes: sent for host-to-device, filled for device-to-host.
    virtual TransferResult control(const SetupPacket& setup, std::span<uint8_t> data) = 0;
    // endpoint is the address (0x02 out, 0x81 in).
    virtual TransferResult bulkOut(uint8_t endpoint, std::span<const uint8_t> data) = 0;
    virtual TransferResult bulkIn(uint8_t endpoint, std::span<uint8_t> buffer) = 0;
    // Clears a halted endpoint (CLEAR_FEATURE(ENDPOINT_HALT) / pipe reset).
    virtual void clearHalt(uint8_t endpoint) = 0;
    // The bus reset that follows a port reset.
    virtual void busReset() = 0;

    // Plugging in powers the device up; unplugging powers it down (a locked
    // out or unlocked controller forgets that state).
    virtual void plugged() = 0;
    virtual void unplugged() = 0;
};

} // namespace usb
