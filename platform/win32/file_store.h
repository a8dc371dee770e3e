// The machine's drives: each letter is a folder under the machine root.
// File attributes are kept here, not in host file modes. Paths are
// Windows paths ("C:\WINDOWS\x.txt") and compare ignoring case.
#pragma once

#include "platform/win32/types.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace win32 {

class FileSystem {
  public:
    FileSystem(std::recursive_mutex& lock, std::filesystem::path root);

    // Creates the drive's folder when needed. type is a DRIVE_* value.
    void addDrive(char letter, UINT type);
    void removeDrive(char letter);
    bool hasDrive(char letter) const;
    UINT driveType(char letter) const;
    std::vector<char> drives() const;
    // A write-protected drive refuses every change with ERROR_WRITE_PROTECT.
    void setWriteProtected(char letter, bool on);
    bool writeProtected(char letter) const;
    // Limits the bytes that files on the drive may hold (ERROR_DISK_FULL).
    void setCapacity(char letter, std::optional<uint64_t> bytes);
    std::optional<uint64_t> capacity(char letter) const;
    uint64_t usedBytes(char letter) const;

    // Host path of a Windows path; components that exist are matched
    // ignoring case, the rest are appended as given. Null when the path has
    // no known drive.
    std::optional<std::filesystem::path> hostPath(const std::string& windowsPath) const;

    // Direct access for installation steps and tests (folders are created).
    bool writeFile(const std::string& windowsPath, const std::string& bytes);
    std::optional<std::string> readFile(const std::string& windowsPath) const;
    bool exists(const std::string& windowsPath) const;
    bool makeDirectories(const std::string& windowsPath);
    // INVALID_FILE_ATTRIBUTES when the path does not exist.
    DWORD attributes(const std::string& windowsPath) const;
    void setAttributes(const std::string& windowsPath, DWORD attributes);

    // Used by the API. Keys are lower-case host paths.
    void forgetAttributes(const std::filesystem::path& host);
    void moveAttributes(const std::filesystem::path& from, const std::filesystem::path& to);
    DWORD hostAttributes(const std::filesystem::path& host) const;
    void setHostAttributes(const std::filesystem::path& host, DWORD attributes);
    const std::filesystem::path& root() const { return root_; }

  private:
    struct Drive {
        UINT type = 3;
        bool writeProtected = false;
        std::optional<uint64_t> capacity;
    };
    std::recursive_mutex& lock_;
    std::filesystem::path root_;
    std::map<char, Drive> drives_;
    std::map<std::string, DWORD> attributes_;
};

} // namespace win32
