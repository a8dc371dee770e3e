// The medium behind the SCSI unit: whichever disk the controller shows.
#pragma once

#include <cstdint>
#include <span>

namespace emu {

class SectorStore {
  public:
    virtual ~SectorStore() = default;
    // 0 when no disk is shown.
    virtual uint32_t sectorCount() const = 0;
    virtual bool writeProtected() const = 0;
    // Sector numbers and counts are within sectorCount(); data holds 512 bytes each.
    virtual void readSectors(uint32_t first, std::span<uint8_t> data) const = 0;
    // False when the flash could not be written (an erase failed).
    virtual bool writeSectors(uint32_t first, std::span<const uint8_t> data) = 0;
};

} // namespace emu
