// A Windows XP machine with KV7946.SYS installed and one emulated controller
// plugged in; every test ends with an empty verifier report.
#pragma once

#include "drivers/filter/control_codes.h"
#include "drivers/filter/filter.h"
#include "emulator/controller.h"
#include "platform/wdm/io_manager.h"
#include "platform/wdm/pnp_manager.h"
#include "platform/win32/win32.h"
#include "tools/simpc/pc.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace kvtest {

using Block = std::array<uint8_t, 536>;

inline Block makeBlock(uint8_t request, uint16_t value = 0, uint16_t index = 0, uint16_t length = 0,
                       std::initializer_list<uint8_t> data = {}) {
    Block b{};
    b[0] = request;
    b[2] = value & 0xFF;
    b[3] = value >> 8;
    b[4] = index & 0xFF;
    b[5] = index >> 8;
    b[6] = length & 0xFF;
    b[7] = length >> 8;
    size_t i = 8;
    for (uint8_t d : data)
        b[i++] = d;
    return b;
}

struct IoResult {
    bool ok = false;
    win32::DWORD returned = 0;
    win32::DWORD error = 0;
};

// Records every control transfer on its way to the controller.
class Recorder : public usb::Device {
  public:
    struct Transfer {
        usb::SetupPacket setup;
        std::vector<uint8_t> out; // OUT data stage
        usb::TransferStatus status;
    };
    explicit Recorder(usb::Device& device) : device_(device) {}
    usb::TransferResult control(const usb::SetupPacket& setup, std::span<uint8_t> data) override {
        Transfer t{setup, {}, usb::TransferStatus::Ok};
        if (!setup.deviceToHost()) t.out.assign(data.begin(), data.end());
        usb::TransferResult r = answerLocally && setup.bRequest == *answerLocally
                                    ? usb::TransferResult{usb::TransferStatus::Ok, 0}
                                    : device_.control(setup, data);
        t.status = r.status;
        transfers.push_back(t);
        return r;
    }
    usb::TransferResult bulkOut(uint8_t ep, std::span<const uint8_t> data) override {
        return device_.bulkOut(ep, data);
    }
    usb::TransferResult bulkIn(uint8_t ep, std::span<uint8_t> buffer) override {
        return device_.bulkIn(ep, buffer);
    }
    void clearHalt(uint8_t ep) override { device_.clearHalt(ep); }
    void busReset() override { device_.busReset(); }
    void plugged() override { device_.plugged(); }
    void unplugged() override { device_.unplugged(); }

    std::vector<Transfer> transfers;
    // A vendor request answered here with success and no data.
    std::optional<uint8_t> answerLocally;

  private:
    usb::Device& device_;
};

class FilterFixture : public ::testing::Test {
  protected:
    FilterFixture()
        : root_(std::filesystem::temp_directory_path() /
                ("kv-filter-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        pc_ = std::make_unique<sim::Pc>(clock_, win32::MachineKind::WinXP, root_);
        pc_->installFilterDriver();
    }

    ~FilterFixture() override {
        for (int port : pc_->ports())
            pc_->unplug(port);
        EXPECT_THAT(pc_->verifierReport(), ::testing::IsEmpty());
        pc_.reset();
        std::filesystem::remove_all(root_);
    }

    int plugDisk() {
        int port = pc_->plug(recorder_);
        disk_.clearCommandLog();
        recorder_.transfers.clear();
        return port;
    }

    wdm::DeviceNode* node(int port) { return pc_->bus().node(port); }
    wdm::PnpManager& pnp() { return pc_->kernel().pnp(); }

    emu::Controller& newDisk() {
        more_.push_back(std::make_unique<emu::Controller>(emu::Geometry{1, 1}, "Another"));
        return *more_.back();
    }

    // The driver's own view of the device object behind "\\.\KV7946-<c>".
    kv7946::FILTER_EXTENSION* extension(char16_t c = u'0') {
        std::u16string name = u"\\Device\\KV7946-";
        name += c;
        wdm::PDEVICE_OBJECT d = pc_->kernel().findDevice(name);
        return d ? kv7946::Extension(d) : nullptr;
    }

    // Runs fn as the main thread of a program on the machine.
    void inProgram(const std::function<void()>& fn) {
        pc_->machine().run("KV7946AP.exe", [&] {
            fn();
            return 0;
        });
    }

    static win32::HANDLE open(const char* name = "\\\\.\\KV7946-0") {
        return win32::CreateFileA(name, win32::GENERIC_READ | win32::GENERIC_WRITE, 0, nullptr,
                                  win32::OPEN_EXISTING, 0, nullptr);
    }

    static IoResult control(win32::HANDLE h, win32::DWORD code, void* in, win32::DWORD inLength,
                            void* out, win32::DWORD outLength) {
        IoResult r;
        r.returned = 0xDEADBEEF;
        r.ok = win32::DeviceIoControl(h, code, in, inLength, out, outLength, &r.returned,
                                      nullptr) != 0;
        r.error = r.ok ? 0 : win32::GetLastError();
        return r;
    }

    static IoResult command(win32::HANDLE h, win32::DWORD code, Block& block) {
        return control(h, code, block.data(), block.size(), block.data(), block.size());
    }

    vt::Clock clock_;
    vt::Clock::Attachment self_ = clock_.attach("test");
    emu::Controller disk_{emu::Geometry{1, 1}, "My Disk"};
    Recorder recorder_{disk_};
    std::vector<std::unique_ptr<emu::Controller>> more_; // further devices
    std::filesystem::path root_;
    std::unique_ptr<sim::Pc> pc_;
};

} // namespace kvtest
