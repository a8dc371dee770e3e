#include "emulator/usb/usb_trace.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace emu {

namespace {

constexpr uint8_t kControl = 2;
constexpr uint8_t kBulk = 3;
constexpr int32_t kInProgress = -115; // -EINPROGRESS

int32_t statusCode(usb::TransferStatus status) {
    switch (status) {
    case usb::TransferStatus::Ok:
        return 0;
    case usb::TransferStatus::Stall:
    case usb::TransferStatus::Halted:
        return -32; // -EPIPE
    case usb::TransferStatus::NoAnswer:
        return -2; // -ENOENT: never completed, taken back by the host
    case usb::TransferStatus::DeviceGone:
        return -108; // -ESHUTDOWN
    }
    return -71;
}

void put(std::vector<uint8_t>& out, uint64_t v, unsigned bytes) {
    for (unsigned i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

} // namespace

bool UsbTrace::open(const std::string& path, std::string* error, TimeSource time) {
    close();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        if (error) *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    time_ = std::move(time);
    ticks_ = 0;
    std::vector<uint8_t> header;
    put(header, 0xA1B2C3D4, 4);
    put(header, 2, 2);
    put(header, 4, 2);
    put(header, 0, 4);
    put(header, 0, 4);
    put(header, 65535 + 64, 4);
    put(header, kLinkTypeUsbLinuxMmapped, 4);
    std::fwrite(header.data(), 1, header.size(), file_);
    return true;
}

void UsbTrace::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

uint64_t UsbTrace::now() {
    if (time_) return time_();
    ticks_ += 10;
    return ticks_;
}

void UsbTrace::write(const Packet& p) {
    if (!file_) return;
    uint64_t us = now();
    std::vector<uint8_t> rec;
    uint32_t captured = static_cast<uint32_t>(p.data.size());
    put(rec, us / 1000000, 4);
    put(rec, us % 1000000, 4);
    put(rec, 64 + captured, 4);
    put(rec, 64 + captured, 4);
    // usbmon header
    put(rec, id_, 8);
    rec.push_back(static_cast<uint8_t>(p.type));
    rec.push_back(p.transferType);
    rec.push_back(p.endpoint);
    rec.push_back(device_);
    put(rec, 1, 2);                                            // bus
    rec.push_back(p.setup ? 0 : '-');                          // setup flag
    rec.push_back(captured ? 0 : (p.type == 'S' ? '<' : '>')); // data flag
    put(rec, us / 1000000, 8);
    put(rec, static_cast<uint32_t>(us % 1000000), 4);
    put(rec, static_cast<uint32_t>(p.status), 4);
    put(rec, p.length, 4);
    put(rec, captured, 4);
    if (p.setup) {
        rec.push_back(p.setup->bmRequestType);
        rec.push_back(p.setup->bRequest);
        put(rec, p.setup->wValue, 2);
        put(rec, p.setup->wIndex, 2);
        put(rec, p.setup->wLength, 2);
    } else {
        put(rec, 0, 8);
    }
    put(rec, 0, 4);                                              // interval
    put(rec, 0, 4);                                              // start frame
    put(rec, p.setup && p.setup->deviceToHost() ? 0x200 : 0, 4); // transfer flags: URB_DIR_IN
    put(rec, 0, 4);                                              // iso descriptors
    rec.insert(rec.end(), p.data.begin(), p.data.end());
    std::fwrite(rec.data(), 1, rec.size(), file_);
    std::fflush(file_);
}

void UsbTrace::control(const usb::SetupPacket& setup, std::span<const uint8_t> data,
                       usb::TransferResult result) {
    bool in = setup.deviceToHost();
    uint8_t ep = in ? 0x80 : 0x00;
    id_ = nextId_++;
    write({'S', kControl, ep, &setup, kInProgress, setup.wLength,
           in ? std::span<const uint8_t>{}
              : data.first(std::min<size_t>(data.size(), setup.wLength))});
    uint32_t actual = result.status == usb::TransferStatus::Ok ? result.actual : 0;
    write({'C', kControl, ep, nullptr, statusCode(result.status), actual,
           in ? data.first(std::min<size_t>(actual, data.size())) : std::span<const uint8_t>{}});
}

void UsbTrace::bulkOut(uint8_t endpoint, std::span<const uint8_t> data,
                       usb::TransferResult result) {
    id_ = nextId_++;
    write({'S', kBulk, endpoint, nullptr, kInProgress, static_cast<uint32_t>(data.size()), data});
    write({'C', kBulk, endpoint, nullptr, statusCode(result.status), result.actual, {}});
}

void UsbTrace::bulkIn(uint8_t endpoint, uint32_t requested, std::span<const uint8_t> data,
                      usb::TransferResult result) {
    id_ = nextId_++;
    write({'S', kBulk, endpoint, nullptr, kInProgress, requested, {}});
    uint32_t actual = std::min<uint32_t>(result.actual, static_cast<uint32_t>(data.size()));
    write({'C', kBulk, endpoint, nullptr, statusCode(result.status), actual, data.first(actual)});
}

} // namespace emu
