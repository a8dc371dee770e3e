// The subcommands of kv7946-emu; each gets the arguments after its name.
#pragma once

int createCommand(int argc, char** argv);
int infoCommand(int argc, char** argv);
int exportCommand(int argc, char** argv);
int setCommand(int argc, char** argv);
