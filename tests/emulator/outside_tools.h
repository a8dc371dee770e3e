// Running programs that come from outside the project (tshark, dosfstools,
// mtools) from tests.
#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace emu::test {

inline bool haveProgram(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

struct RunResult {
    int status = -1;
    std::string output; // stdout and stderr
};

inline RunResult runProgram(const std::string& command) {
    RunResult r;
    std::FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        r.output.append(buf.data(), n);
    int raw = ::pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

} // namespace emu::test
