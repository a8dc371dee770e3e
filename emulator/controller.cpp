#include "emulator/controller.h"

#include "emulator/system/vendor_commands.h"
#include "emulator/usb/descriptors.h"

#include <algorithm>
#include <cstring>

namespace emu {

// The mass-storage medium: the disk shown by the lock state, placed in flash.
class Controller::ShownDiskStore : public SectorStore {
  public:
    explicit ShownDiskStore(Controller& c) : c_(c) {}

    uint32_t sectorCount() const override {
        std::optional<Disk> disk = c_.shownDisk();
        return disk ? c_.placement().sectors(*disk) : 0;
    }
    bool writeProtected() const override { return c_.writeProtect_; }

    void readSectors(uint32_t first, std::span<uint8_t> data) const override {
        std::vector<uint8_t> bytes =
            c_.readDisk(*c_.shownDisk(), first, static_cast<uint32_t>(data.size() / 512));
        std::copy(bytes.begin(), bytes.end(), data.begin());
    }

    bool writeSectors(uint32_t first, std::span<const uint8_t> data) override {
        DiskPlacement place = c_.placement();
        Disk disk = *c_.shownDisk();
        uint32_t count = static_cast<uint32_t>(data.size() / kPageDataBytes);
        // Write one flash block's worth of consecutive sectors at a time.
        for (uint32_t i = 0; i < count;) {
            uint32_t sector = first + i;
            uint32_t run = std::min(count - i, kPagesPerBlock - sector % kPagesPerBlock);
            uint32_t page = *place.pageOf(disk, sector);
            if (!c_.rewritePages(page, data.subspan(i * kPageDataBytes, run * kPageDataBytes)))
                return false;
            i += run;
        }
        return true;
    }

  private:
    Controller& c_;
};

Controller::Controller(Geometry geometry, const std::string& name, std::optional<uint32_t> division)
    : Controller(NandFlash(geometry)) {
    PageData config =
        defaultConfigPage(geometry, name, division.value_or(geometry.totalLogicalBlocks()));
    flash_.program(kConfigPage, config, {});
    PageData blank = blankPasswordRecord();
    flash_.program(kPasswordPage, blank, {});
}

std::unique_ptr<Controller> Controller::create(Geometry geometry, const std::string& name,
                                               std::optional<uint32_t> division,
                                               std::string* error) {
    if (auto why = Geometry::check(geometry.units, geometry.zones)) {
        if (error) *error = *why;
        return nullptr;
    }
    return std::make_unique<Controller>(geometry, name, division);
}

Controller::Controller(NandFlash flash)
    : flash_(std::move(flash)), store_(std::make_unique<ShownDiskStore>(*this)), unit_(*store_),
      bot_(unit_, faults_) {}

Controller::~Controller() = default;

void Controller::powerCycleState() {
    configuration_ = 0;
    address_ = 0;
    unlocked_ = false;
    lockedOut_ = false;
    wrongInARow_ = 0;
    lastReason_ = cmd::kReasonNone;
    bot_.reset();
    unit_.reset();
    trace_.setDeviceAddress(0);
}

void Controller::plugged() {
    powerCycleState();
    present_ = true;
}

void Controller::unplugged() {
    powerCycleState();
    present_ = false;
}

void Controller::busReset() {
    if (!present_) return;
    configuration_ = 0;
    address_ = 0;
    bot_.reset();
    trace_.setDeviceAddress(0);
}

void Controller::clearHalt(uint8_t endpoint) {
    if (present_) bot_.clearHalt(endpoint);
}

// ---- transfers -------------------------------------------------------------

usb::TransferResult Controller::control(const usb::SetupPacket& setup, std::span<uint8_t> data) {
    usb::TransferResult result{usb::TransferStatus::DeviceGone, 0};
    std::vector<uint8_t> sent;
    if (!setup.deviceToHost()) sent.assign(data.begin(), data.end());

    if (present_) {
        std::optional<InjectedFault> fault = faults_.takeControl(setup);
        bool dropped = fault && fault->fault == Fault::ShortData && !setup.deviceToHost();
        if ((!fault || fault->fault == Fault::ShortData) && !dropped) {
            result = data.size() == setup.wLength ? dispatchControl(setup, data)
                                                  : usb::TransferResult{usb::TransferStatus::Stall};
        }
        if (fault) {
            switch (fault->fault) {
            case Fault::Stall:
                result = {usb::TransferStatus::Stall, 0};
                break;
            case Fault::NoAnswer:
                result = {usb::TransferStatus::NoAnswer, 0};
                break;
            case Fault::DeviceGone:
                unplugged();
                result = {usb::TransferStatus::DeviceGone, 0};
                break;
            case Fault::Halted:
                result = {usb::TransferStatus::Halted, 0};
                break;
            case Fault::ShortData:
                if (dropped) // the data stage was cut short: the command is dropped
                    result = {usb::TransferStatus::Ok,
                              std::min<uint32_t>(setup.wLength,
                                                 fault->bytes.value_or(setup.wLength / 2u))};
                else if (result.status == usb::TransferStatus::Ok)
                    result.actual =
                        std::min(result.actual, fault->bytes.value_or(result.actual / 2));
                break;
            case Fault::BadCsw:
                break;
            }
        }
    }
    if ((setup.bmRequestType & 0x60) == usb::kTypeVendor)
        log_.push_back({setup.bRequest, setup.deviceToHost(), setup.wValue, setup.wIndex,
                        setup.wLength, std::move(sent), result.status});
    if (trace_.isOpen()) trace_.control(setup, data, result);
    return result;
}

usb::TransferResult Controller::dispatchControl(const usb::SetupPacket& setup,
                                                std::span<uint8_t> data) {
    switch (setup.bmRequestType & 0x60) {
    case usb::kTypeStandard:
        return standardRequest(setup, data);
    case usb::kTypeClass:
        return classRequest(setup, data);
    case usb::kTypeVendor:
        return vendorRequest(setup, data);
    default:
        return {usb::TransferStatus::Stall, 0};
    }
}

usb::TransferResult Controller::bulkResult(usb::TransferResult result) {
    if (result.status == usb::TransferStatus::DeviceGone) unplugged();
    return result;
}

usb::TransferResult Controller::bulkOut(uint8_t endpoint, std::span<const uint8_t> data) {
    usb::TransferResult result{usb::TransferStatus::DeviceGone, 0};
    if (present_) {
        if (endpoint != kBulkOutEndpoint || !configured())
            result = {usb::TransferStatus::Stall, 0};
        else
            result = bulkResult(bot_.bulkOut(data));
    }
    if (trace_.isOpen()) trace_.bulkOut(endpoint, data, result);
    return result;
}

usb::TransferResult Controller::bulkIn(uint8_t endpoint, std::span<uint8_t> buffer) {
    usb::TransferResult result{usb::TransferStatus::DeviceGone, 0};
    if (present_) {
        if (endpoint != kBulkInEndpoint || !configured())
            result = {usb::TransferStatus::Stall, 0};
        else
            result = bulkResult(bot_.bulkIn(buffer));
    }
    if (trace_.isOpen())
        trace_.bulkIn(endpoint, static_cast<uint32_t>(buffer.size()), buffer, result);
    return result;
}

// ---- standard and class requests ------------------------------------------

namespace {

usb::TransferResult reply(std::span<uint8_t> data, const std::vector<uint8_t>& bytes) {
    std::size_t n = std::min(data.size(), bytes.size());
    std::memcpy(data.data(), bytes.data(), n);
    return {usb::TransferStatus::Ok, static_cast<uint32_t>(n)};
}

constexpr usb::TransferResult kStall{usb::TransferStatus::Stall, 0};
constexpr usb::TransferResult kDone{usb::TransferStatus::Ok, 0};

bool isEndpoint(uint16_t address) {
    return address == kBulkInEndpoint || address == kBulkOutEndpoint;
}

} // namespace

usb::TransferResult Controller::getDescriptor(const usb::SetupPacket& setup,
                                              std::span<uint8_t> data) {
    uint8_t type = static_cast<uint8_t>(setup.wValue >> 8);
    uint8_t index = static_cast<uint8_t>(setup.wValue & 0xFF);
    switch (type) {
    case usb::kDescDevice:
        return index == 0 ? reply(data, deviceDescriptor()) : kStall;
    case usb::kDescConfiguration:
        return index == 0 ? reply(data, configurationDescriptor()) : kStall;
    case usb::kDescInterface:
        return index == 0 ? reply(data, interfaceDescriptor()) : kStall;
    case usb::kDescString: {
        if (index == 0) return reply(data, languageDescriptor());
        if (setup.wIndex != 0 && setup.wIndex != kLanguageEnglishUs) return kStall;
        std::optional<std::vector<uint8_t>> s = chainString(configPage(), index);
        return s ? reply(data, *s) : kStall;
    }
    default:
        return kStall;
    }
}

usb::TransferResult Controller::standardRequest(const usb::SetupPacket& setup,
                                                std::span<uint8_t> data) {
    uint8_t recipient = setup.bmRequestType & 0x1F;
    bool in = setup.deviceToHost();
    switch (setup.bRequest) {
    case usb::kGetDescriptor:
        if (!in || recipient != usb::kRecipientDevice) return kStall;
        return getDescriptor(setup, data);
    case usb::kGetStatus:
        if (!in || setup.wLength != 2) return kStall;
        if (recipient == usb::kRecipientEndpoint) {
            if (setup.wIndex != 0 && !isEndpoint(setup.wIndex)) return kStall;
            return reply(data, {static_cast<uint8_t>(bot_.halted(setup.wIndex & 0xFF)), 0});
        }
        if (recipient == usb::kRecipientInterface && setup.wIndex != 0) return kStall;
        return reply(data, {0, 0});
    case usb::kClearFeature:
    case usb::kSetFeature:
        if (in || setup.wLength != 0) return kStall;
        if (recipient == usb::kRecipientEndpoint && setup.wValue == usb::kFeatureEndpointHalt) {
            if (setup.wIndex == 0) return kDone;
            if (!isEndpoint(setup.wIndex) || !configured()) return kStall;
            if (setup.bRequest == usb::kSetFeature)
                bot_.setHalt(static_cast<uint8_t>(setup.wIndex));
            else
                bot_.clearHalt(static_cast<uint8_t>(setup.wIndex));
            return kDone;
        }
        if (recipient == usb::kRecipientDevice && setup.wValue == 1) return kDone; // remote wake
        return kStall;
    case usb::kSetAddress:
        if (in || recipient != usb::kRecipientDevice || setup.wValue > 127) return kStall;
        address_ = static_cast<uint8_t>(setup.wValue);
        trace_.setDeviceAddress(address_);
        return kDone;
    case usb::kGetConfiguration:
        if (!in || setup.wLength != 1) return kStall;
        return reply(data, {configuration_});
    case usb::kSetConfiguration:
        if (in || recipient != usb::kRecipientDevice) return kStall;
        if (setup.wValue != 0 && setup.wValue != kConfigurationValue) return kStall;
        configuration_ = static_cast<uint8_t>(setup.wValue);
        bot_.reset();
        return kDone;
    case 10: // GET_INTERFACE
        if (!in || recipient != usb::kRecipientInterface || setup.wIndex != 0 || !configured())
            return kStall;
        return reply(data, {0});
    case usb::kSetInterface:
        if (in || recipient != usb::kRecipientInterface || setup.wIndex != 0 || setup.wValue != 0 ||
            !configured())
            return kStall;
        bot_.reset();
        return kDone;
    default:
        return kStall;
    }
}

usb::TransferResult Controller::classRequest(const usb::SetupPacket& setup,
                                             std::span<uint8_t> data) {
    if ((setup.bmRequestType & 0x1F) != usb::kRecipientInterface || setup.wIndex != 0)
        return kStall;
    if (setup.bRequest == 0xFF && !setup.deviceToHost() && setup.wValue == 0 &&
        setup.wLength == 0) { // Bulk-Only Mass Storage Reset
        bot_.massStorageReset();
        return kDone;
    }
    if (setup.bRequest == 0xFE && setup.deviceToHost() && setup.wValue == 0 &&
        setup.wLength == 1) // Get Max LUN
        return reply(data, {0});
    return kStall;
}

// ---- state, set-ups, direct access ----------------------------------------

uint8_t Controller::statusByte() const {
    if (statusOverride_) return *statusOverride_;
    if (lockedOut_) return cmd::kStatusLockedOut;
    return unlocked_ ? cmd::kStatusUnlocked : cmd::kStatusLocked;
}

PageData Controller::configPage() const {
    PageBytes bytes = flash_.read(kConfigPage);
    PageData page;
    std::copy_n(bytes.begin(), kPageDataBytes, page.begin());
    return page;
}

RecordState Controller::passwordState() const {
    PageBytes bytes = flash_.read(kPasswordPage);
    PageData page;
    std::copy_n(bytes.begin(), kPageDataBytes, page.begin());
    return recordState(page);
}

std::string Controller::deviceName() const {
    std::optional<std::vector<uint8_t>> s = chainString(configPage(), kNameStringIndex);
    return s ? descriptorText(*s) : std::string();
}

DiskPlacement Controller::placement() const {
    return DiskPlacement(geometry(), divisionPoint(configPage()));
}

std::optional<Disk> Controller::shownDisk() const {
    DiskPlacement place = placement();
    if (unlocked_ && place.blocks(Disk::Security) > 0) return Disk::Security;
    if (place.blocks(Disk::Standard) > 0) return Disk::Standard;
    return std::nullopt;
}

std::vector<uint8_t> Controller::readDisk(Disk disk, uint32_t firstSector, uint32_t count) const {
    DiskPlacement place = placement();
    std::vector<uint8_t> out;
    out.reserve(static_cast<std::size_t>(count) * kPageDataBytes);
    for (uint32_t i = 0; i < count; ++i) {
        std::optional<uint32_t> page = place.pageOf(disk, firstSector + i);
        PageBytes bytes;
        if (page)
            bytes = flash_.read(*page);
        else
            bytes.fill(0xFF);
        out.insert(out.end(), bytes.begin(), bytes.begin() + kPageDataBytes);
    }
    return out;
}

namespace {

void storeData(NandFlash& flash, uint32_t page, const PageData& data) {
    PageBytes bytes = flash.read(page);
    std::copy(data.begin(), data.end(), bytes.begin());
    flash.store(page, bytes);
}

} // namespace

void Controller::setPassword(std::string_view password) {
    storeData(flash_, kPasswordPage, passwordRecord(password, nextSalt()));
}

void Controller::clearPassword() {
    storeData(flash_, kPasswordPage, blankPasswordRecord());
}

void Controller::corruptPasswordRecord() {
    PageBytes bytes = flash_.read(kPasswordPage);
    PageData page;
    std::copy_n(bytes.begin(), kPageDataBytes, page.begin());
    if (recordState(page) != RecordState::Valid) page = passwordRecord("", nextSalt());
    storeData(flash_, kPasswordPage, corruptedRecord(page));
}

void Controller::breakPasswordRecordFormat() {
    PageData page = blankPasswordRecord();
    page[511] = 0x00; // no trailer
    storeData(flash_, kPasswordPage, page);
}

void Controller::setSpareLogicalBlock(uint32_t physicalBlock, uint16_t standsFor) {
    uint32_t page = physicalBlock * kPagesPerBlock;
    PageBytes bytes = flash_.read(page);
    bytes[kPageDataBytes + 2] = static_cast<uint8_t>(standsFor >> 8);
    bytes[kPageDataBytes + 3] = static_cast<uint8_t>(standsFor & 0xFF);
    flash_.store(page, bytes);
}

bool Controller::setDeviceName(const std::string& name) {
    PageData page = configPage();
    if (!replaceChainString7(page, name)) return false;
    storeData(flash_, kConfigPage, page);
    return true;
}

void Controller::setDivisionPoint(uint16_t blocks) {
    PageData page = configPage();
    emu::setDivisionPoint(page, blocks);
    storeData(flash_, kConfigPage, page);
}

void Controller::setBootLayoutFlag(uint8_t flag) {
    PageData page = configPage();
    page[kBootFlagOffset] = flag;
    storeData(flash_, kConfigPage, page);
}

std::size_t Controller::countCommands(uint8_t bRequest) const {
    return static_cast<std::size_t>(std::count_if(
        log_.begin(), log_.end(), [&](const VendorCommand& c) { return c.bRequest == bRequest; }));
}

uint64_t Controller::nextSalt() {
    uint64_t z = (saltState_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// ---- traces -----------------------------------------------------------------

bool Controller::startTrace(const std::string& path, std::string* error,
                            UsbTrace::TimeSource time) {
    if (!trace_.open(path, error, std::move(time))) return false;
    trace_.setDeviceAddress(address_);
    // The enumeration a host would have seen, so that decoders know the interface.
    std::vector<uint8_t> device = deviceDescriptor();
    std::vector<uint8_t> config = configurationDescriptor();
    trace_.control({0x80, usb::kGetDescriptor, 0x0100, 0, 18}, device,
                   {usb::TransferStatus::Ok, 18});
    trace_.control({0x80, usb::kGetDescriptor, 0x0200, 0, static_cast<uint16_t>(config.size())},
                   config, {usb::TransferStatus::Ok, static_cast<uint32_t>(config.size())});
    return true;
}

void Controller::stopTrace() {
    trace_.close();
}

} // namespace emu
