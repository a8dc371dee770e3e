#include "platform/win32/file_store.h"

#include "platform/win32/machine_impl.h"

#include <fstream>
#include <sstream>

namespace win32 {

namespace fs = std::filesystem;

namespace {

constexpr DWORD kDirectory = 0x10;
constexpr DWORD kArchive = 0x20;

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

std::string key(const fs::path& host) {
    return lowerCase(host.lexically_normal().string());
}

std::vector<std::string> components(const std::string& rest) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : rest) {
        if (c == '\\' || c == '/') {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    return parts;
}

} // namespace

FileSystem::FileSystem(std::recursive_mutex& lock, fs::path root)
    : lock_(lock), root_(std::move(root)) {}

void FileSystem::addDrive(char letter, UINT type) {
    std::lock_guard g(lock_);
    letter = upper(letter);
    std::error_code ec;
    fs::create_directories(root_ / std::string(1, letter), ec);
    drives_[letter].type = type;
}

void FileSystem::removeDrive(char letter) {
    std::lock_guard g(lock_);
    drives_.erase(upper(letter));
}

bool FileSystem::hasDrive(char letter) const {
    std::lock_guard g(lock_);
    return drives_.count(upper(letter)) != 0;
}

UINT FileSystem::driveType(char letter) const {
    std::lock_guard g(lock_);
    auto it = drives_.find(upper(letter));
    return it == drives_.end() ? 1 /* DRIVE_NO_ROOT_DIR */ : it->second.type;
}

std::vector<char> FileSystem::drives() const {
    std::lock_guard g(lock_);
    std::vector<char> r;
    for (auto& [letter, d] : drives_)
        r.push_back(letter);
    return r;
}

void FileSystem::setWriteProtected(char letter, bool on) {
    std::lock_guard g(lock_);
    auto it = drives_.find(upper(letter));
    if (it != drives_.end()) it->second.writeProtected = on;
}

bool FileSystem::writeProtected(char letter) const {
    std::lock_guard g(lock_);
    auto it = drives_.find(upper(letter));
    return it != drives_.end() && it->second.writeProtected;
}

void FileSystem::setCapacity(char letter, std::optional<uint64_t> bytes) {
    std::lock_guard g(lock_);
    auto it = drives_.find(upper(letter));
    if (it != drives_.end()) it->second.capacity = bytes;
}

std::optional<uint64_t> FileSystem::capacity(char letter) const {
    std::lock_guard g(lock_);
    auto it = drives_.find(upper(letter));
    return it == drives_.end() ? std::nullopt : it->second.capacity;
}

uint64_t FileSystem::usedBytes(char letter) const {
    uint64_t total = 0;
    std::error_code ec;
    fs::path dir = root_ / std::string(1, upper(letter));
    for (auto it = fs::recursive_directory_iterator(dir, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file(ec)) total += it->file_size(ec);
    return total;
}

std::optional<fs::path> FileSystem::hostPath(const std::string& windowsPath) const {
    std::lock_guard g(lock_);
    if (windowsPath.size() < 2 || windowsPath[1] != ':') return std::nullopt;
    char letter = upper(windowsPath[0]);
    if (!drives_.count(letter)) return std::nullopt;
    fs::path host = root_ / std::string(1, letter);
    bool matching = true;
    std::vector<std::string> resolved;
    for (const std::string& part : components(windowsPath.substr(2))) {
        if (part == ".") continue;
        if (part == "..") {
            if (!resolved.empty()) resolved.pop_back();
            continue;
        }
        if (part.find_first_of("<>:\"|?*") != std::string::npos) return std::nullopt;
        resolved.push_back(part);
    }
    for (const std::string& part : resolved) {
        std::string name = part;
        if (matching) {
            std::error_code ec;
            bool found = false;
            std::string wanted = lowerCase(part);
            for (auto& entry : fs::directory_iterator(host, ec)) {
                std::string candidate = entry.path().filename().string();
                if (lowerCase(candidate) == wanted) {
                    name = candidate;
                    found = true;
                    break;
                }
            }
            matching = found;
        }
        host /= name;
    }
    return host;
}

bool FileSystem::writeFile(const std::string& windowsPath, const std::string& bytes) {
    auto host = hostPath(windowsPath);
    if (!host) return false;
    std::error_code ec;
    fs::create_directories(host->parent_path(), ec);
    std::ofstream out(*host, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::optional<std::string> FileSystem::readFile(const std::string& windowsPath) const {
    auto host = hostPath(windowsPath);
    if (!host) return std::nullopt;
    std::error_code ec;
    if (!fs::is_regular_file(*host, ec)) return std::nullopt;
    std::ifstream in(*host, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool FileSystem::exists(const std::string& windowsPath) const {
    auto host = hostPath(windowsPath);
    std::error_code ec;
    return host && fs::exists(*host, ec);
}

bool FileSystem::makeDirectories(const std::string& windowsPath) {
    auto host = hostPath(windowsPath);
    if (!host) return false;
    std::error_code ec;
    fs::create_directories(*host, ec);
    return fs::is_directory(*host, ec);
}

DWORD FileSystem::attributes(const std::string& windowsPath) const {
    auto host = hostPath(windowsPath);
    return host ? hostAttributes(*host) : 0xFFFFFFFF;
}

void FileSystem::setAttributes(const std::string& windowsPath, DWORD attributes) {
    if (auto host = hostPath(windowsPath)) setHostAttributes(*host, attributes);
}

void FileSystem::forgetAttributes(const fs::path& host) {
    std::lock_guard g(lock_);
    std::string k = key(host);
    // The path and everything below it.
    auto it = attributes_.lower_bound(k);
    while (it != attributes_.end() && (it->first == k || (it->first.size() > k.size() &&
                                                          it->first.compare(0, k.size(), k) == 0 &&
                                                          it->first[k.size()] == '/')))
        it = attributes_.erase(it);
}

void FileSystem::moveAttributes(const fs::path& from, const fs::path& to) {
    std::lock_guard g(lock_);
    std::string f = key(from), t = key(to);
    std::map<std::string, DWORD> moved;
    for (auto it = attributes_.begin(); it != attributes_.end();) {
        if (it->first == f ||
            (it->first.size() > f.size() && it->first.compare(0, f.size(), f) == 0 &&
             it->first[f.size()] == '/')) {
            moved[t + it->first.substr(f.size())] = it->second;
            it = attributes_.erase(it);
        } else {
            ++it;
        }
    }
    attributes_.insert(moved.begin(), moved.end());
}

DWORD FileSystem::hostAttributes(const fs::path& host) const {
    std::lock_guard g(lock_);
    std::error_code ec;
    auto status = fs::status(host, ec);
    if (ec || !fs::exists(status)) return 0xFFFFFFFF;
    auto it = attributes_.find(key(host));
    if (fs::is_directory(status)) return kDirectory | (it == attributes_.end() ? 0 : it->second);
    return it == attributes_.end() ? kArchive : it->second;
}

void FileSystem::setHostAttributes(const fs::path& host, DWORD attributes) {
    std::lock_guard g(lock_);
    std::error_code ec;
    if (fs::is_directory(host, ec)) {
        attributes_[key(host)] = attributes & 0x27; // read-only, hidden, system, archive
        return;
    }
    DWORD kept = attributes & 0x1A7; // + normal, temporary
    if (kept & ~0x80u) kept &= ~0x80u;
    if (kept == 0) kept = 0x80;
    attributes_[key(host)] = kept;
}

} // namespace win32
