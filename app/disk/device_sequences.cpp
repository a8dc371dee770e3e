#include "app/disk/device_sequences.h"

#include "app/disk/config_page.h"
#include "app/disk/layout_writer.h"

#include <memory>

namespace disk {

namespace {

struct ConfigCopy {
    std::array<uint8_t, 528> reply{};
    std::span<uint8_t, 512> page() { return std::span<uint8_t, 512>(reply.data(), 512); }
};

bool ReadConfig(FlashAccess& flash, ConfigCopy& config) {
    return flash.ReadPage(kConfigPage, config.reply);
}

bool WriteLayoutFlag(FlashAccess& flash, ConfigCopy& config, LayoutType type) {
    SetBootLayoutFlag(config.page(), type);
    return flash.WriteConfigPage(config.page());
}

// Save the system block, erase, put the block back, lay out the disks.
bool EraseAndLayOut(FlashAccess& flash, LabelSlots& labels, LayoutType type, const FlashGeometry& g,
                    uint32_t e, WholeEraseVariant variant, const OperationHooks& hooks) {
    auto copy = std::make_unique<SystemBlockCopy>();
    if (!SaveSystemBlock(flash, *copy)) return false;
    EraseWholeDevice(flash, g, variant, hooks); // erase failures are ignored here
    if (!RestoreSystemBlock(flash, *copy)) return false;
    LayoutWriter writer(flash, labels);
    return writer.FormatDeviceLayout(type, e, g.zones(), g.units());
}

} // namespace

std::optional<FlashGeometry> ReadGeometry(FlashAccess& flash) {
    uint8_t units = 0, zones = 0;
    if (!flash.GetGeometry(units, zones)) return std::nullopt;
    return FlashGeometry::From(units, zones);
}

bool IsWriteProtected(FlashAccess& flash) {
    uint8_t flags = 0;
    return flash.GetWriteProtect(flags) && (flags & 1) == 0;
}

std::optional<LayoutType> ExistingLayout(FlashAccess& flash, std::span<const uint8_t, 512> config) {
    if (config[kBootLayoutFlagOffset] != 0) return LayoutType::Hdd;
    std::array<uint8_t, 528> first{};
    if (!flash.ReadPage(kPagesPerBlock, first)) return std::nullopt;
    if (first[0] == 0xE9 || first[0] == 0xEB) return LayoutType::Floppy;
    return LayoutType::Zip;
}

bool FormatSingleStorage(FlashAccess& flash, LabelSlots& labels, LayoutType type,
                         const OperationHooks& hooks) {
    uint8_t status = 0;
    if (!flash.GetStatus(status)) return false;
    ConfigCopy config;
    if (!ReadConfig(flash, config)) return false;
    const uint32_t e = DivisionPoint(config.page());
    if (!WriteLayoutFlag(flash, config, type)) return false;
    auto copy = std::make_unique<SystemBlockCopy>();
    if (!SaveSystemBlock(flash, *copy, hooks)) return false;
    const auto g = ReadGeometry(flash);
    // A division point beyond the device would fail only after the erase.
    if (!g || e > g->totalLogical()) return false;
    if (!EraseWholeDevice(flash, *g, WholeEraseVariant::SingleStorage, hooks)) {
        // Keep the configuration and password pages even so.
        RestoreSystemBlock(flash, *copy);
        return false;
    }
    if (!RestoreSystemBlock(flash, *copy)) return false;
    LayoutWriter writer(flash, labels);
    return writer.FormatDeviceLayout(type, e, g->zones(), g->units());
}

bool FormatSecurityDisk(FlashAccess& flash, LabelSlots& labels, const OperationHooks& hooks) {
    const auto g = ReadGeometry(flash);
    if (!g) return false;
    ConfigCopy config;
    if (!ReadConfig(flash, config)) return false;
    const uint32_t e = DivisionPoint(config.page());
    if (e >= g->totalLogical()) return false;
    const auto type = ExistingLayout(flash, config.page());
    if (!type) return false;
    if (!EraseSecurityRegion(flash, *g, e, hooks)) return false;
    LayoutWriter writer(flash, labels);
    return writer.WriteRegionLayout(*type, kPagesPerBlock * (g->totalLogical() - e),
                                    SecurityFirstBlock(*g, e));
}

bool FormatStandardDisk(FlashAccess& flash, LabelSlots& labels, LayoutType type,
                        const OperationHooks& hooks) {
    const auto g = ReadGeometry(flash);
    if (!g) return false;
    ConfigCopy config;
    if (!ReadConfig(flash, config)) return false;
    const uint32_t e = DivisionPoint(config.page());
    if (e == 0 || e > g->totalLogical()) return false;
    if (!WriteLayoutFlag(flash, config, type)) return false;
    if (!EraseStandardRegion(flash, *g, e, hooks)) return false;
    LayoutWriter writer(flash, labels);
    return writer.WriteRegionLayout(type, kPagesPerBlock * e, 1);
}

bool FormatBothDisks(FlashAccess& flash, LabelSlots& labels, LayoutType type,
                     const OperationHooks& hooks) {
    const auto g = ReadGeometry(flash);
    if (!g) return false;
    ConfigCopy config;
    if (!ReadConfig(flash, config)) return false;
    const uint32_t e = DivisionPoint(config.page());
    if (e > g->totalLogical()) return false;
    if (!WriteLayoutFlag(flash, config, type)) return false;
    return EraseAndLayOut(flash, labels, type, *g, e, WholeEraseVariant::BothDisks, hooks);
}

bool PartitionDevice(FlashAccess& flash, LabelSlots& labels, LayoutType type, uint32_t e,
                     const OperationHooks& hooks) {
    const auto g = ReadGeometry(flash);
    if (!g || e > g->totalLogical()) return false;
    ConfigCopy config;
    if (!ReadConfig(flash, config)) return false;
    SetDivisionPoint(config.page(), e);
    SetUnitTable(config.page(), *g);
    if (!WriteLayoutFlag(flash, config, type)) return false;
    return EraseAndLayOut(flash, labels, type, *g, e, WholeEraseVariant::Partition, hooks);
}

} // namespace disk
