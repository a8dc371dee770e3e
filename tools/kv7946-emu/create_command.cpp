#include "emulator/image/image_file.h"
#include "emulator/system/vendor_commands.h"
#include "tools/kv7946-emu/commands.h"
#include "tools/kv7946-emu/options.h"

int createCommand(int argc, char** argv) {
    const char* me = "create";
    auto o = parseOptions(me, argc, argv,
                          {{"--zones", "--units", "--name", "--password", "--division"},
                           {"--write-protect", "--force"}});
    if (!o) return 2;
    if (o->positional.size() != 1) return fail(me, "give exactly one image file");
    const std::string& path = o->positional[0];
    auto zonesText = o->value("--zones");
    auto unitsText = o->value("--units");
    auto name = o->value("--name");
    if (!zonesText || !unitsText || !name)
        return fail(me, "--zones, --units and --name are needed");
    auto zones = parseNumber(me, "--zones", *zonesText, 1, emu::kMaxZones);
    auto units = parseNumber(me, "--units", *unitsText, 1, emu::kMaxUnits);
    if (!zones || !units) return 1;
    if (auto why = emu::Geometry::check(*units, *zones)) return fail(me, "bad geometry: " + *why);
    emu::Geometry geometry{*units, *zones};
    uint32_t division = geometry.totalLogicalBlocks();
    if (auto d = o->value("--division")) {
        auto v = parseNumber(me, "--division", *d, 0, geometry.totalLogicalBlocks());
        if (!v) return 1;
        division = *v;
    }
    auto password = o->value("--password");
    if (password && password->size() > emu::cmd::kMaxPasswordLength)
        return fail(me, "a password has at most 8 characters");
    if (fileExists(path) && !o->has("--force"))
        return fail(me, path + " exists (use --force to replace it)");

    emu::Controller controller(geometry, *name, division);
    if (controller.deviceName() != *name)
        return fail(me, "the name does not fit the configuration page");
    if (password && !password->empty()) controller.setPassword(*password);
    controller.setWriteProtect(o->has("--write-protect"));
    std::string error;
    if (!emu::saveImage(controller, path, &error)) return fail(me, error);
    return 0;
}
