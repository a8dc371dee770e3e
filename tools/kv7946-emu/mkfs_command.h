// `kv7946-emu mkfs`: lays out FAT disks in an image.
#pragma once

int mkfsCommand(int argc, char** argv);
