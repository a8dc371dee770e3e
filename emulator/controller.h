// The emulated flash-disk controller as a USB device.
//
//   emu::Controller c({.units = 2, .zones = 4}, "My Disk");
//   c.plugged();                       // powered, unconfigured, locked
//   c.control(setup, data);            // vendor and standard requests
//   c.bulkOut(0x02, cbw); ...          // Bulk-Only mass storage after SET_CONFIGURATION(1)
//
// Test set-ups change the device directly (not through USB): passwords,
// record damage, write-protect switch, spare records, packet-device answer.
// faults() arms failures of coming transfers (see emulator/usb/faults.h).
#pragma once

#include "emulator/flash/nand_flash.h"
#include "emulator/storage/bulk_only_target.h"
#include "emulator/storage/disk_placement.h"
#include "emulator/storage/scsi_unit.h"
#include "emulator/system/config_page.h"
#include "emulator/system/password_record.h"
#include "emulator/usb/faults.h"
#include "emulator/usb/usb_trace.h"
#include "platform/usb/usb_device.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace emu {

// One vendor request as the controller received it.
struct VendorCommand {
    uint8_t bRequest = 0;
    bool in = false;
    uint16_t wValue = 0, wIndex = 0, wLength = 0;
    std::vector<uint8_t> data; // OUT data stage
    usb::TransferStatus result = usb::TransferStatus::Ok;
};

class Controller : public usb::Device {
  public:
    // A new device: erased flash with a configuration page (name as string 7,
    // division point in logical blocks, by default all of the memory) and a
    // blank password record. The geometry must be valid (Geometry::check).
    explicit Controller(Geometry geometry, const std::string& name = "USB Flash Disk",
                        std::optional<uint32_t> division = std::nullopt);
    // The same, refusing a bad geometry (none, and why in `error`).
    static std::unique_ptr<Controller> create(Geometry geometry, const std::string& name,
                                              std::optional<uint32_t> division = std::nullopt,
                                              std::string* error = nullptr);
    // A device with this flash content (an image), as it is.
    explicit Controller(NandFlash flash);
    ~Controller() override;

    // usb::Device
    usb::TransferResult control(const usb::SetupPacket& setup, std::span<uint8_t> data) override;
    usb::TransferResult bulkOut(uint8_t endpoint, std::span<const uint8_t> data) override;
    usb::TransferResult bulkIn(uint8_t endpoint, std::span<uint8_t> buffer) override;
    void clearHalt(uint8_t endpoint) override;
    void busReset() override;
    void plugged() override;
    void unplugged() override;

    // State as the device sees it.
    const Geometry& geometry() const { return flash_.geometry(); }
    bool isPlugged() const { return present_; }
    bool configured() const { return configuration_ != 0; }
    bool unlocked() const { return unlocked_; }
    bool lockedOut() const { return lockedOut_; }
    uint8_t statusByte() const;
    uint8_t lastRefusalReason() const { return lastReason_; }
    bool writeProtected() const { return writeProtect_; }
    bool packetDevice() const { return unit_.packetDevice(); }
    RecordState passwordState() const;
    PageData configPage() const;
    std::string deviceName() const;
    DiskPlacement placement() const;
    // The disk the mass-storage unit shows now (none: no medium).
    std::optional<Disk> shownDisk() const;

    // Test set-ups.
    void setPassword(std::string_view password); // a valid record
    void clearPassword();                        // the blank record
    void corruptPasswordRecord();                // refusals give reason 1
    void breakPasswordRecordFormat();            // refusals give reason 2
    void setWriteProtect(bool on) { writeProtect_ = on; }
    // Records in spare bytes 2-3 (big-endian) of the block's first page the
    // block that the spare block stands in for.
    void setSpareLogicalBlock(uint32_t physicalBlock, uint16_t standsFor);
    void setPacketDevice(bool packet) { unit_.setPacketDevice(packet); }
    // Replaces the status byte's value (none: the controller's own).
    void setStatusOverride(std::optional<uint8_t> status) { statusOverride_ = status; }
    bool setDeviceName(const std::string& name);
    void setDivisionPoint(uint16_t blocks);
    void setBootLayoutFlag(uint8_t flag);

    // Direct flash access, bypassing USB and faults.
    NandFlash& flash() { return flash_; }
    const NandFlash& flash() const { return flash_; }
    PageBytes readPage(uint32_t page) const { return flash_.read(page); }
    void storePage(uint32_t page, const PageBytes& bytes) { flash_.store(page, bytes); }
    // Sectors of a disk as the mass-storage unit would show them.
    std::vector<uint8_t> readDisk(Disk disk, uint32_t firstSector, uint32_t count) const;

    FaultPlan& faults() { return faults_; }

    const std::vector<VendorCommand>& commandLog() const { return log_; }
    void clearCommandLog() { log_.clear(); }
    std::size_t countCommands(uint8_t bRequest) const;

    // Records every transfer from now on; the trace opens with the device's
    // descriptor exchange so that decoders know the interface.
    bool startTrace(const std::string& path, std::string* error = nullptr,
                    UsbTrace::TimeSource time = {});
    void stopTrace();

  private:
    class ShownDiskStore;

    void powerCycleState();
    usb::TransferResult dispatchControl(const usb::SetupPacket& setup, std::span<uint8_t> data);
    usb::TransferResult standardRequest(const usb::SetupPacket& setup, std::span<uint8_t> data);
    usb::TransferResult classRequest(const usb::SetupPacket& setup, std::span<uint8_t> data);
    usb::TransferResult vendorRequest(const usb::SetupPacket& setup, std::span<uint8_t> data);
    usb::TransferResult getDescriptor(const usb::SetupPacket& setup, std::span<uint8_t> data);
    usb::TransferResult bulkResult(usb::TransferResult result);

    // Vendor commands; false = refused (stall).
    bool verifyPassword(std::span<const uint8_t> data);
    bool setPasswordCommand(std::span<const uint8_t> data);
    bool refusePassword(uint8_t reason, bool countsAsWrong);
    bool writeRecord(std::string_view password);
    bool eraseBlock(uint32_t block);
    bool writePage(uint32_t page, std::span<const uint8_t> data);
    bool readPageCommand(uint32_t page, std::span<uint8_t> out);
    // Read-erase-program of the system block with one page's data replaced.
    bool rewriteSystemPage(uint32_t page, std::span<const uint8_t> data);
    // Replaces sector data of whole flash blocks, read-erase-program.
    bool rewritePages(uint32_t firstPage, std::span<const uint8_t> data);
    uint64_t nextSalt();

    NandFlash flash_;
    FaultPlan faults_;
    std::unique_ptr<ShownDiskStore> store_;
    ScsiUnit unit_;
    BulkOnlyTarget bot_;
    UsbTrace trace_;

    bool present_ = false;
    uint8_t configuration_ = 0;
    uint8_t address_ = 0;
    bool unlocked_ = false;
    bool lockedOut_ = false;
    unsigned wrongInARow_ = 0;
    uint8_t lastReason_ = 0;
    bool writeProtect_ = false;
    std::optional<uint8_t> statusOverride_;
    uint64_t saltState_ = 0x7946A5A5C3C3F00Dull;
    std::vector<VendorCommand> log_;
};

} // namespace emu
