// `kv7946-emu mkfs`: lays out an image's disks the way the partition
// workflow does, through the host code path: a simulated Windows XP PC with
// the filter driver, the application's device channel and the disk layout
// sequences, with the image's controller plugged in.
#include "tools/kv7946-emu/mkfs_command.h"

#include "app/channel/device_channel.h"
#include "app/disk/channel_flash.h"
#include "app/disk/device_sequences.h"
#include "emulator/image/image_file.h"
#include "platform/clock/clock.h"
#include "tools/kv7946-emu/options.h"
#include "tools/simpc/pc.h"

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace {

std::optional<disk::LayoutType> parseLayout(const std::string& text) {
    if (text == "floppy") return disk::LayoutType::Floppy;
    if (text == "zip") return disk::LayoutType::Zip;
    if (text == "hdd") return disk::LayoutType::Hdd;
    return std::nullopt;
}

bool takeLabel(const Options& o, const char* option, disk::LabelSlot& slot) {
    auto text = o.value(option);
    if (!text) return true;
    if (text->size() > disk::kLabelChars) {
        fail("mkfs", std::string(option) + " takes at most 11 characters");
        return false;
    }
    slot = disk::MakeLabelSlot(*text);
    return true;
}

// Runs the partition sequence on a simulated PC; false with a reason.
bool layOut(emu::Controller& controller, disk::LabelSlots& labels, disk::LayoutType type,
            uint32_t division, std::string& why) {
    const auto root =
        std::filesystem::temp_directory_path() / ("kv7946-emu-mkfs-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
    bool ok = false;
    {
        vt::Clock clock;
        auto self = clock.attach("kv7946-emu");
        sim::Pc pc(clock, win32::MachineKind::WinXP, root);
        pc.installFilterDriver();
        const int port = pc.plug(controller);
        if (port == 0) {
            why = "the device does not answer on the simulated bus";
        } else {
            const auto rc = pc.machine().run("KV7946AP.exe", [&]() -> int {
                using namespace kv::DeviceChannel;
                HANDLE handle = OpenDevice(0);
                if (handle == win32::INVALID_HANDLE_VALUE) return 3;
                disk::ChannelFlash flash(handle);
                const bool done = disk::PartitionDevice(flash, labels, type, division);
                CloseDevice(handle);
                return done ? 0 : 1;
            });
            pc.unplug(port);
            if (rc == 3)
                why = "the device channel does not open";
            else if (rc != 0)
                why = "the device refused the layout";
            ok = rc == 0;
            for (const auto& finding : pc.verifierReport()) {
                std::fprintf(stderr, "mkfs: verifier: %s\n", finding.c_str());
                why = "the verifier reported findings";
                ok = false;
            }
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return ok;
}

} // namespace

int mkfsCommand(int argc, char** argv) {
    const char* me = "mkfs";
    auto o = parseOptions(
        me, argc, argv,
        {{"--layout", "--split", "--label", "--standard-label", "--security-label"}, {"--stats"}});
    if (!o) return 2;
    if (o->positional.size() != 1) return fail(me, "give exactly one image file");
    auto layoutText = o->value("--layout");
    if (!layoutText) return fail(me, "--layout floppy|zip|hdd is needed");
    auto type = parseLayout(*layoutText);
    if (!type) return fail(me, "--layout must be floppy, zip or hdd, not \"" + *layoutText + "\"");

    const std::string& path = o->positional[0];
    std::string error;
    auto controller = emu::loadImage(path, &error);
    if (!controller) return fail(me, error);
    const auto geometry =
        disk::FlashGeometry::From(controller->geometry().units, controller->geometry().zones);
    if (!geometry) return fail(me, "the image's geometry cannot be laid out");
    const uint32_t total = geometry->totalLogical();
    uint32_t division = total; // one disk
    if (auto split = o->value("--split")) {
        auto v = parseNumber(me, "--split", *split, 0, total);
        if (!v) return 1;
        division = *v;
    }
    disk::LabelSlots labels;
    if (!takeLabel(*o, "--label", labels.Whole) ||
        !takeLabel(*o, "--standard-label", labels.Standard) ||
        !takeLabel(*o, "--security-label", labels.Security))
        return 1;

    controller->clearCommandLog();
    std::string why;
    if (!layOut(*controller, labels, *type, division, why)) return fail(me, why);
    if (o->has("--stats")) std::printf("vendor commands: %zu\n", controller->commandLog().size());
    if (!emu::saveImage(*controller, path, &error)) return fail(me, error);
    return 0;
}
