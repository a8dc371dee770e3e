// Boots a raw disk image in qemu-system-i386 and reads the text screen
// (the 0xB8000 buffer) through the QEMU monitor.
#pragma once

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace disk::test {

class QemuBoot {
  public:
    QemuBoot(const std::filesystem::path& image, const std::filesystem::path& dir)
        : socket_(dir / "monitor.sock"), screen_(dir / "screen.bin") {
        const std::string drive = "file=" + image.string() + ",format=raw,if=ide,index=0";
        const std::string monitor = "unix:" + socket_.string() + ",server=on,wait=off";
        const char* argv[] = {"qemu-system-i386",
                              "-display",
                              "none",
                              "-m",
                              "16",
                              "-drive",
                              drive.c_str(),
                              "-monitor",
                              monitor.c_str(),
                              "-nic",
                              "none",
                              "-serial",
                              "none",
                              "-parallel",
                              "none",
                              nullptr};
        if (posix_spawnp(&pid_, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
            pid_ = -1;
    }
    ~QemuBoot() {
        if (fd_ >= 0) close(fd_);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    static bool Available() { return system("command -v qemu-system-i386 >/dev/null 2>&1") == 0; }

    // Polls the screen until it shows text, or the time-out passes; returns
    // the last screen read (80 columns a line).
    std::string WaitFor(const std::string& text, std::chrono::seconds timeout) {
        std::string screen;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            if (auto s = ReadScreen()) {
                screen = *s;
                if (screen.find(text) != std::string::npos) break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return screen;
    }

  private:
    bool Connect() {
        if (fd_ >= 0) return true;
        fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, socket_.c_str(), sizeof addr.sun_path - 1);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            close(fd_);
            fd_ = -1;
            return false;
        }
        ReadPrompt();
        return true;
    }

    void ReadPrompt() {
        std::string got;
        char c;
        while (got.find("(qemu) ") == std::string::npos && read(fd_, &c, 1) == 1)
            got += c;
    }

    std::optional<std::string> ReadScreen() {
        if (!Connect()) return std::nullopt;
        std::filesystem::remove(screen_);
        const std::string command = "pmemsave 0xb8000 4000 \"" + screen_.string() + "\"\n";
        if (write(fd_, command.data(), command.size()) != static_cast<ssize_t>(command.size()))
            return std::nullopt;
        ReadPrompt();
        std::ifstream in(screen_, std::ios::binary);
        std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (raw.size() < 4000) return std::nullopt;
        std::string text;
        for (size_t i = 0; i < 4000; i += 2) {
            text += raw[i] >= 32 && raw[i] < 127 ? raw[i] : ' ';
            if ((i / 2) % 80 == 79) text += '\n';
        }
        return text;
    }

    std::filesystem::path socket_, screen_;
    pid_t pid_ = -1;
    int fd_ = -1;
};

} // namespace disk::test
