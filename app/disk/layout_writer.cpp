#include "app/disk/layout_writer.h"

namespace disk {

bool LayoutWriter::WriteSector(uint32_t x) {
    if (!geometry_) return false;
    const uint32_t page = TranslateSector(*geometry_, x);
    // Never the system block, never past the end of the flash.
    if (page < kPagesPerBlock || page >= geometry_->totalPhysical() * kPagesPerBlock) return false;
    return flash_.WritePage(page, buffer_);
}

bool LayoutWriter::WriteRun(uint32_t& x, uint32_t count) {
    FillSector(0, buffer_);
    for (uint32_t i = 0; i < count; ++i)
        if (!WriteSector(x++)) return false;
    return true;
}

bool LayoutWriter::WriteFat(uint32_t& x, const RegionLayout& layout) {
    BuildFatFirstSector(layout.fat, buffer_);
    if (!WriteSector(x++)) return false;
    return WriteRun(x, layout.fatSectors - 1);
}

bool LayoutWriter::WriteRegionLayout(LayoutType type, uint32_t n, uint32_t s) {
    uint8_t units = 0, zones = 0;
    if (!flash_.GetGeometry(units, zones)) return false;
    geometry_ = FlashGeometry::From(units, zones);
    if (!geometry_) return false;
    const auto layout = PlanRegion(type, n);
    if (!layout || s == 0) return false;

    const uint32_t x0 = kPagesPerBlock * s;
    if (type != LayoutType::Floppy) {
        BuildMbr(*layout, buffer_);
        if (!WriteSector(x0)) return false;
    }
    if (type == LayoutType::Hdd) {
        FillSector(0xFF, buffer_);
        if (!WriteSector(x0 + 32)) return false;
    }
    uint32_t x = x0 + layout->hidden;
    BuildBootSector(*layout, labels_.Active, buffer_);
    if (!WriteSector(x++)) return false;
    if (!WriteFat(x, *layout) || !WriteFat(x, *layout)) return false;
    BuildRootFirstSector(labels_.Active, buffer_);
    if (!WriteSector(x++)) return false;
    return WriteRun(x, layout->rootSectors - 1);
}

bool LayoutWriter::FormatDeviceLayout(LayoutType type, uint32_t e, uint32_t a, uint32_t b) {
    const auto g = FlashGeometry::From(b, a);
    if (!g) return false;
    const uint32_t T = g->totalLogical();
    if (e > T) return false;
    if (e == 0 || e == T) {
        labels_.Active = labels_.Whole;
        return WriteRegionLayout(type, kPagesPerBlock * T, 1);
    }
    labels_.Active = labels_.Standard;
    if (!WriteRegionLayout(type, kPagesPerBlock * e, 1)) return false;
    labels_.Active = labels_.Security;
    return WriteRegionLayout(type, kPagesPerBlock * (T - e), SecurityFirstBlock(*g, e));
}

} // namespace disk
