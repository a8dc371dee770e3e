// Command-line options: positional arguments and --name [value] pairs.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct OptionSpec {
    std::set<std::string> withValue; // e.g. "--zones"
    std::set<std::string> flags;     // e.g. "--force"
};

struct Options {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> given; // in order
    std::set<std::string> flags;

    std::optional<std::string> value(const std::string& name) const;
    bool has(const std::string& name) const { return flags.count(name) != 0; }
};

// Prints the reason to stderr and returns none on an unknown or incomplete option.
std::optional<Options> parseOptions(const char* command, int argc, char** argv,
                                    const OptionSpec& spec);
// A whole decimal number in [min, max]; prints an error otherwise.
std::optional<uint32_t> parseNumber(const char* command, const std::string& option,
                                    const std::string& text, uint32_t min, uint32_t max);
std::optional<bool> parseOnOff(const char* command, const std::string& option,
                               const std::string& text);
bool fileExists(const std::string& path);
int fail(const char* command, const std::string& message);
