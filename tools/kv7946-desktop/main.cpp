// kv7946-desktop [--state DIR]: KV7946AP in real windows on a simulated
// Windows XP machine with one security flash disk plugged in. The disk's
// flash is kept in DIR (default "state"), so what is set today is still
// there tomorrow.
#include "app/ui/program.h"
#include "app/ui/registry_keys.h"
#include "frontend/qt/run_desktop.h"
#include "platform/vcl/desktop.h"
#include "platform/win32/registry_store.h"
#include "tools/kv7946-sim/scenario/device_bay.h"

#include <QApplication>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

namespace {

// The machine's registry lives in memory; the one setting is kept in the
// state folder between runs.
const std::string kPopKey = std::string("HKEY_LOCAL_MACHINE\\") + kv::ui::kSettingsKey;

void restorePop(win32::Machine& machine, const std::filesystem::path& file) {
    std::ifstream in(file);
    unsigned long pop = 0;
    if (in >> pop) machine.registry().setDword(kPopKey, kv::ui::kPopValue, pop);
}

void keepPop(win32::Machine& machine, const std::filesystem::path& file) {
    if (auto pop = machine.registry().getDword(kPopKey, kv::ui::kPopValue)) {
        std::ofstream(file) << *pop << "\n";
    }
}

// Ctrl-C and kill end the run as closing the windows does, so the disk and
// the setting are kept.
std::atomic<bool> stopAsked{false};
void askStop(int) {
    stopAsked = true;
}

int usage() {
    std::cerr << "usage: kv7946-desktop [--state DIR]\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::filesystem::path state = "state";
    // Everything but --state is left to Qt (-platform offscreen...).
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--state") {
            if (i + 1 >= argc) return usage();
            state = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            return usage();
        }
    }
    std::error_code ec;
    std::filesystem::create_directories(state / "machine", ec);
    if (ec) {
        std::cerr << "kv7946-desktop: cannot make " << (state / "machine") << ": " << ec.message()
                  << "\n";
        return 1;
    }

    vt::Clock clock(vt::Pace::Paced);
    vcl::Desktop desktop;
    std::unique_ptr<scenario::DeviceBay> bay;
    {
        auto self = clock.attach("desktop setup");
        bay = std::make_unique<scenario::DeviceBay>(clock, win32::MachineKind::WinXP,
                                                    state / "machine");
        desktop.install(&bay->machine());
        kv::ui::installApplication(bay->machine());
        restorePop(bay->machine(), state / "pop");
        scenario::DeviceSpec disk;
        disk.image = (state / "disk1.kvimg").string();
        std::string error;
        if (!bay->add(1, disk, error)) {
            std::cerr << "kv7946-desktop: " << error << "\n";
            return 1;
        }
    }

    QApplication qapp(argc, argv);
    std::signal(SIGINT, askStop);
    std::signal(SIGTERM, askStop);
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, [] {
        if (stopAsked) QApplication::quit();
    });
    stopWatch.start(200);

    kvqt::DesktopRun run{clock, bay->machine(), desktop,
                         [&] { bay->machine().startProgram(kv::ui::kProgramFile); }, true};
    int status = kvqt::runDesktop(argc, argv, run);
    {
        auto self = clock.attach("desktop shutdown");
        keepPop(bay->machine(), state / "pop");
        bay.reset(); // ends the programs, saves the disk's image
    }
    clock.shutdown();
    return status;
}
