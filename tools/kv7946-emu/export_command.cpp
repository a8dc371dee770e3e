#include "emulator/image/disk_export.h"
#include "emulator/image/image_file.h"
#include "tools/kv7946-emu/commands.h"
#include "tools/kv7946-emu/options.h"

int exportCommand(int argc, char** argv) {
    const char* me = "export";
    auto o = parseOptions(me, argc, argv, {{"--disk"}, {"--force"}});
    if (!o) return 2;
    if (o->positional.size() != 2) return fail(me, "give the image file and the output file");
    auto which = o->value("--disk");
    if (!which) return fail(me, "--disk standard|security|whole is needed");
    emu::Disk disk;
    if (*which == "standard")
        disk = emu::Disk::Standard;
    else if (*which == "security")
        disk = emu::Disk::Security;
    else if (*which == "whole")
        disk = emu::Disk::Whole;
    else
        return fail(me, "--disk must be standard, security or whole, not \"" + *which + "\"");
    const std::string& out = o->positional[1];
    std::string error;
    auto c = emu::loadImage(o->positional[0], &error);
    if (!c) return fail(me, error);
    if (c->placement().sectors(disk) == 0)
        return fail(me, std::string("the ") + emu::diskName(disk) + " disk is empty");
    if (fileExists(out) && !o->has("--force"))
        return fail(me, out + " exists (use --force to replace it)");
    if (!emu::exportDisk(*c, disk, out, &error)) return fail(me, error);
    return 0;
}
