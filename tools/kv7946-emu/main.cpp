// kv7946-emu: creates, inspects, changes and exports device images.
#include "tools/kv7946-emu/commands.h"
#include "tools/kv7946-emu/mkfs_command.h"

#include <cstdio>
#include <cstring>

namespace {

struct Subcommand {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* usage;
};

const Subcommand kSubcommands[] = {
    {"create", createCommand,
     "create IMG --zones N --units N --name TEXT [--division BLOCKS] [--password TEXT]\n"
     "       [--write-protect] [--force]"},
    {"info", infoCommand, "info IMG"},
    {"export", exportCommand, "export IMG --disk standard|security|whole OUT [--force]"},
    {"set", setCommand,
     "set IMG [--write-protect on|off] [--password TEXT] [--clear-password]\n"
     "       [--corrupt-password] [--break-password-format] [--name TEXT]\n"
     "       [--division BLOCKS] [--boot-flag 0|1] [--packet-device on|off]\n"
     "       [--spare BLOCK=STANDS_FOR]"},
    {"mkfs", mkfsCommand, "mkfs IMG ..."},
};

int usage(std::FILE* out) {
    std::fprintf(out, "usage: kv7946-emu COMMAND ...\n");
    for (const Subcommand& s : kSubcommands)
        std::fprintf(out, "  kv7946-emu %s\n", s.usage);
    return out == stdout ? 0 : 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage(stderr);
    if (!std::strcmp(argv[1], "help") || !std::strcmp(argv[1], "--help")) return usage(stdout);
    for (const Subcommand& s : kSubcommands)
        if (!std::strcmp(argv[1], s.name)) return s.run(argc - 2, argv + 2);
    std::fprintf(stderr, "kv7946-emu: unknown command \"%s\"\n", argv[1]);
    return usage(stderr);
}
