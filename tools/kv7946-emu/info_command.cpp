#include "emulator/image/image_file.h"
#include "tools/kv7946-emu/commands.h"
#include "tools/kv7946-emu/options.h"

#include <cstdio>

namespace {

const char* passwordText(emu::RecordState state) {
    switch (state) {
    case emu::RecordState::Blank:
        return "none";
    case emu::RecordState::Valid:
        return "set";
    case emu::RecordState::FormatError:
        return "record format error";
    case emu::RecordState::Corrupted:
        return "record corrupted";
    }
    return "?";
}

} // namespace

int infoCommand(int argc, char** argv) {
    const char* me = "info";
    auto o = parseOptions(me, argc, argv, {});
    if (!o) return 2;
    if (o->positional.size() != 1) return fail(me, "give exactly one image file");
    std::string error;
    auto c = emu::loadImage(o->positional[0], &error);
    if (!c) return fail(me, error);

    const emu::Geometry& g = c->geometry();
    emu::PageData config = c->configPage();
    emu::DiskPlacement place = c->placement();
    std::printf("image: %s\n", o->positional[0].c_str());
    std::printf("geometry: %u units, %u zones, %u zones per unit\n", g.units, g.zones,
                g.zonesPerUnit());
    std::printf("blocks: %u logical, %u physical, %u pages\n", g.totalLogicalBlocks(),
                g.totalPhysicalBlocks(), g.totalPages());
    std::printf("name: %s\n", c->deviceName().c_str());
    std::printf("division point: %u\n", emu::divisionPoint(config));
    std::printf("standard disk: %u blocks\n", place.blocks(emu::Disk::Standard));
    std::printf("security disk: %u blocks\n", place.blocks(emu::Disk::Security));
    std::printf("boot layout flag: %u\n", emu::bootLayoutFlag(config));
    std::printf("unit table:");
    for (uint16_t entry : emu::unitTable(config))
        std::printf(" %u", entry);
    std::printf("\n");
    std::printf("password: %s\n", passwordText(c->passwordState()));
    std::printf("write protect: %s\n", c->writeProtected() ? "on" : "off");
    std::printf("packet device: %s\n", c->packetDevice() ? "on" : "off");
    std::printf("written pages: %zu\n", c->flash().writtenPages().size());
    return 0;
}
