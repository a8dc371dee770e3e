#include "emulator/image/image_file.h"
#include "emulator/system/vendor_commands.h"
#include "tools/kv7946-emu/commands.h"
#include "tools/kv7946-emu/options.h"

int setCommand(int argc, char** argv) {
    const char* me = "set";
    auto o = parseOptions(me, argc, argv,
                          {{"--write-protect", "--password", "--name", "--division", "--boot-flag",
                            "--packet-device", "--spare"},
                           {"--clear-password", "--corrupt-password", "--break-password-format"}});
    if (!o) return 2;
    if (o->positional.size() != 1) return fail(me, "give exactly one image file");
    if (o->given.empty() && o->flags.empty()) return fail(me, "nothing to set");
    std::string error;
    auto c = emu::loadImage(o->positional[0], &error);
    if (!c) return fail(me, error);

    // Nothing is saved unless every option is good.
    for (const auto& [name, value] : o->given) {
        if (name == "--write-protect" || name == "--packet-device") {
            auto on = parseOnOff(me, name, value);
            if (!on) return 1;
            if (name == "--write-protect")
                c->setWriteProtect(*on);
            else
                c->setPacketDevice(*on);
        } else if (name == "--password") {
            if (value.size() > emu::cmd::kMaxPasswordLength)
                return fail(me, "a password has at most 8 characters");
            if (value.empty())
                c->clearPassword();
            else
                c->setPassword(value);
        } else if (name == "--name") {
            if (!c->setDeviceName(value)) return fail(me, "the name does not fit");
        } else if (name == "--division") {
            auto v = parseNumber(me, name, value, 0, c->geometry().totalLogicalBlocks());
            if (!v) return 1;
            c->setDivisionPoint(static_cast<uint16_t>(*v));
        } else if (name == "--boot-flag") {
            auto v = parseNumber(me, name, value, 0, 255);
            if (!v) return 1;
            c->setBootLayoutFlag(static_cast<uint8_t>(*v));
        } else if (name == "--spare") {
            auto eq = value.find('=');
            if (eq == std::string::npos) return fail(me, "--spare wants BLOCK=STANDS_FOR");
            auto block = parseNumber(me, name, value.substr(0, eq), 0,
                                     c->geometry().totalPhysicalBlocks() - 1);
            auto standsFor = parseNumber(me, name, value.substr(eq + 1), 0, 0xFFFF);
            if (!block || !standsFor) return 1;
            c->setSpareLogicalBlock(*block, static_cast<uint16_t>(*standsFor));
        }
    }
    if (o->has("--clear-password")) c->clearPassword();
    if (o->has("--corrupt-password")) c->corruptPasswordRecord();
    if (o->has("--break-password-format")) c->breakPasswordRecordFormat();
    if (!emu::saveImage(*c, o->positional[0], &error)) return fail(me, error);
    return 0;
}
