#include "platform/win32/files.h"

#include "platform/win32/kernel_objects.h"
#include "platform/win32/machine_impl.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace win32 {

namespace fs = std::filesystem;

namespace {

constexpr DWORD ERROR_DIRECTORY = 267;
constexpr DWORD kReadBits = GENERIC_READ | GENERIC_ALL | 0x0001;
constexpr DWORD kWriteBits = GENERIC_WRITE | GENERIC_ALL | 0x0002 | 0x0004;

struct FileObject : Object {
    const char* kindName() const override { return "file"; }
    std::string label() const override { return windowsPath; }
    void lastClose(Machine::Impl& m) override {
        std::lock_guard g(m.lock);
        for (auto it = m.openFiles.begin(); it != m.openFiles.end();) {
            if (it->second.owner == this)
                it = m.openFiles.erase(it);
            else
                ++it;
        }
        if (fd >= 0) ::close(fd);
        fd = -1;
        if (deleteOnClose && !m.openFiles.count(key)) {
            std::error_code ec;
            fs::remove(host, ec);
            m.files.forgetAttributes(host);
        }
    }
    ~FileObject() override {
        if (fd >= 0) ::close(fd);
    }
    std::string windowsPath;
    fs::path host;
    std::string key;
    char drive = 'C';
    int fd = -1; // -1 for a folder
    DWORD access = 0;
    bool deleteOnClose = false;
    uint64_t position = 0;
};

struct DeviceObject : Object {
    const char* kindName() const override { return "device"; }
    std::string label() const override { return "\\\\.\\" + deviceName; }
    void lastClose(Machine::Impl&) override {
        if (kernel && file) kernel->close(*file);
    }
    std::string deviceName;
    KernelDevices* kernel = nullptr;
    std::shared_ptr<DeviceFile> file;
};

struct FindObject : Object {
    const char* kindName() const override { return "find"; }
    std::string label() const override { return pattern; }
    std::string pattern;
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};

// A Windows path made absolute against the process's current folder.
std::string absolute(ThreadCtx& t, const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') {
        if (path.size() == 2 || (path[2] != '\\' && path[2] != '/'))
            return path.substr(0, 2) + "\\" + path.substr(2);
        return path;
    }
    const std::string& cwd = t.process->currentDirectory;
    if (!path.empty() && (path[0] == '\\' || path[0] == '/')) return cwd.substr(0, 2) + path;
    return cwd + (cwd.ends_with("\\") ? "" : "\\") + path;
}

struct Resolved {
    std::string windowsPath;
    fs::path host;
    char drive = 0;
};

// Resolves lpFileName; on failure sets the error and returns nothing.
std::optional<Resolved> resolve(ThreadCtx& t, LPCSTR name) {
    if (!name || !*name) {
        t.lastError = name ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER;
        return std::nullopt;
    }
    Resolved r;
    r.windowsPath = absolute(t, name);
    auto host = t.machine->files.hostPath(r.windowsPath);
    if (!host) {
        t.lastError = ERROR_PATH_NOT_FOUND;
        return std::nullopt;
    }
    r.host = *host;
    r.drive = static_cast<char>(std::toupper(static_cast<unsigned char>(r.windowsPath[0])));
    return r;
}

bool parentExists(const fs::path& host) {
    std::error_code ec;
    return fs::is_directory(host.parent_path(), ec);
}

// The error for a path that does not exist: file or folder missing.
DWORD missingError(const fs::path& host) {
    return parentExists(host) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

bool shareConflict(const Machine::Impl& m, const std::string& key, DWORD access, DWORD share) {
    auto range = m.openFiles.equal_range(key);
    for (auto it = range.first; it != range.second; ++it) {
        const auto& o = it->second;
        if ((access & kReadBits) && !(o.share & FILE_SHARE_READ)) return true;
        if ((access & kWriteBits) && !(o.share & FILE_SHARE_WRITE)) return true;
        if ((access & DELETE) && !(o.share & FILE_SHARE_DELETE)) return true;
        if ((o.access & kReadBits) && !(share & FILE_SHARE_READ)) return true;
        if ((o.access & kWriteBits) && !(share & FILE_SHARE_WRITE)) return true;
        if ((o.access & DELETE) && !(share & FILE_SHARE_DELETE)) return true;
    }
    return false;
}

bool openedWithoutDeleteSharing(const Machine::Impl& m, const std::string& key) {
    auto range = m.openFiles.equal_range(key);
    for (auto it = range.first; it != range.second; ++it)
        if (!(it->second.share & FILE_SHARE_DELETE)) return true;
    return false;
}

std::string keyOf(const fs::path& host) {
    return lowerCase(host.lexically_normal().string());
}

bool fitsOnDrive(const FileSystem& files, char drive, uint64_t growth) {
    auto cap = files.capacity(drive);
    return !cap || files.usedBytes(drive) + growth <= *cap;
}

HANDLE openDevice(ThreadCtx& t, const std::string& name, DWORD access, DWORD share) {
    auto& m = *t.machine;
    KernelDevices* kernel;
    {
        std::lock_guard g(m.lock);
        kernel = m.kernel;
    }
    if (!kernel || name.empty()) {
        t.lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    DWORD error = ERROR_FILE_NOT_FOUND;
    auto file = kernel->open(name, access, share, &error);
    if (!file) {
        t.lastError = error;
        return INVALID_HANDLE_VALUE;
    }
    auto object = std::make_shared<DeviceObject>();
    object->deviceName = name;
    object->kernel = kernel;
    object->file = std::move(file);
    t.lastError = ERROR_SUCCESS;
    return m.addHandle(*t.process, object);
}

void fillFind(WIN32_FIND_DATAA& d, const std::string& name, DWORD attributes, uint64_t size) {
    std::memset(&d, 0, sizeof d);
    d.dwFileAttributes = attributes;
    d.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    d.nFileSizeLow = static_cast<DWORD>(size);
    std::strncpy(d.cFileName, name.c_str(), MAX_PATH - 1);
}

bool wildcardMatch(const std::string& mask, const std::string& name) {
    // "*.*" matches every name, with or without a dot.
    if (mask == "*.*" || mask == "*") return true;
    size_t m = 0, n = 0, star = std::string::npos, mark = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || mask[m] == name[n])) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == '*') {
            star = m++;
            mark = n;
        } else if (star != std::string::npos) {
            m = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (m < mask.size() && (mask[m] == '*' || mask[m] == '.'))
        ++m;
    return m == mask.size();
}

template <typename T> std::shared_ptr<T> fileHandle(ThreadCtx* t, HANDLE h) {
    auto object = lookupAs<T>(h);
    if (!object && t) t->lastError = ERROR_INVALID_HANDLE;
    return object;
}

} // namespace

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                   HANDLE) {
    ThreadCtx* t = currentThread();
    if (!t) return INVALID_HANDLE_VALUE;
    if (lpFileName && std::strncmp(lpFileName, "\\\\.\\", 4) == 0)
        return openDevice(*t, lpFileName + 4, dwDesiredAccess, dwShareMode);
    if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING) {
        t->lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    auto r = resolve(*t, lpFileName);
    if (!r) return INVALID_HANDLE_VALUE;
    auto& m = *t->machine;
    std::lock_guard g(m.lock);
    std::error_code ec;
    if (!parentExists(r->host)) {
        t->lastError = ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    bool exists = fs::exists(r->host, ec);
    bool directory = exists && fs::is_directory(r->host, ec);
    bool wantsWrite = (dwDesiredAccess & kWriteBits) != 0;
    DWORD attrs = exists ? m.files.hostAttributes(r->host) : 0;
    std::string key = keyOf(r->host);

    if (directory) {
        if (!(dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) ||
            dwCreationDisposition == CREATE_NEW || dwCreationDisposition == CREATE_ALWAYS ||
            dwCreationDisposition == TRUNCATE_EXISTING) {
            t->lastError =
                dwCreationDisposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
    }
    switch (dwCreationDisposition) {
    case CREATE_NEW:
        if (exists) {
            t->lastError = ERROR_FILE_EXISTS;
            return INVALID_HANDLE_VALUE;
        }
        break;
    case OPEN_EXISTING:
    case TRUNCATE_EXISTING:
        if (!exists) {
            t->lastError = ERROR_FILE_NOT_FOUND;
            return INVALID_HANDLE_VALUE;
        }
        if (dwCreationDisposition == TRUNCATE_EXISTING && !wantsWrite) {
            t->lastError = ERROR_INVALID_PARAMETER;
            return INVALID_HANDLE_VALUE;
        }
        break;
    default:
        break;
    }
    bool truncates = exists && (dwCreationDisposition == CREATE_ALWAYS ||
                                dwCreationDisposition == TRUNCATE_EXISTING);
    bool creates = !exists;
    if (exists && !directory && (attrs & FILE_ATTRIBUTE_READONLY) && (wantsWrite || truncates)) {
        t->lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    if (exists && dwCreationDisposition == CREATE_ALWAYS) {
        DWORD hs = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        if ((attrs & hs) & ~(dwFlagsAndAttributes & hs)) {
            t->lastError = ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
    }
    if ((creates || wantsWrite || truncates) && m.files.writeProtected(r->drive)) {
        t->lastError = ERROR_WRITE_PROTECT;
        return INVALID_HANDLE_VALUE;
    }
    if (shareConflict(m, key, dwDesiredAccess, dwShareMode)) {
        t->lastError = ERROR_SHARING_VIOLATION;
        return INVALID_HANDLE_VALUE;
    }
    auto object = std::make_shared<FileObject>();
    object->windowsPath = r->windowsPath;
    object->host = r->host;
    object->key = key;
    object->drive = r->drive;
    object->access = dwDesiredAccess;
    object->deleteOnClose = (dwFlagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) != 0;
    if (!directory) {
        int flags = O_RDWR | (creates ? O_CREAT : 0) | (truncates ? O_TRUNC : 0);
        object->fd = ::open(r->host.c_str(), flags, 0644);
        if (object->fd < 0) {
            t->lastError = ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
        if (creates || dwCreationDisposition == CREATE_ALWAYS)
            m.files.setHostAttributes(r->host,
                                      (dwFlagsAndAttributes & 0x07) | FILE_ATTRIBUTE_ARCHIVE);
    }
    m.openFiles.insert({key, {dwDesiredAccess, dwShareMode, object.get()}});
    t->lastError =
        exists && (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS)
            ? ERROR_ALREADY_EXISTS
            : ERROR_SUCCESS;
    return m.addHandle(*t->process, object);
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                     LPOVERLAPPED lpOverlapped) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    auto object = lookupHandle(hDevice);
    auto device = std::dynamic_pointer_cast<DeviceObject>(object);
    if (!device) {
        t->lastError = object ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (!lpBytesReturned || lpOverlapped || (nInBufferSize && !lpInBuffer) ||
        (nOutBufferSize && !lpOutBuffer)) {
        t->lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    DWORD error = ERROR_SUCCESS;
    *lpBytesReturned = 0;
    bool ok = device->kernel->ioControl(*device->file, dwIoControlCode, lpInBuffer, nInBufferSize,
                                        lpOutBuffer, nOutBufferSize, lpBytesReturned, &error);
    if (!ok) {
        *lpBytesReturned = 0;
        t->lastError = error;
        return FALSE;
    }
    return TRUE;
}

// The checks ReadFile and WriteFile share: an open file with the access the
// transfer needs, a byte count to report into, no overlapped I/O.
static std::shared_ptr<FileObject> transferTarget(ThreadCtx* t, HANDLE hFile, LPCVOID buffer,
                                                  DWORD count, LPDWORD done,
                                                  LPOVERLAPPED overlapped, DWORD accessBits) {
    auto file = fileHandle<FileObject>(t, hFile);
    if (!file) {
        if (t && lookupHandle(hFile)) t->lastError = ERROR_INVALID_FUNCTION;
        return nullptr;
    }
    if (!done || overlapped || (count && !buffer)) {
        t->lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    *done = 0;
    if (!(file->access & accessBits) || file->fd < 0) {
        t->lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    return file;
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    ThreadCtx* t = currentThread();
    auto file = transferTarget(t, hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead,
                               lpOverlapped, kReadBits);
    if (!file) return FALSE;
    ssize_t n =
        ::pread(file->fd, lpBuffer, nNumberOfBytesToRead, static_cast<off_t>(file->position));
    if (n < 0) {
        t->lastError = ERROR_IO_DEVICE;
        return FALSE;
    }
    file->position += static_cast<uint64_t>(n);
    *lpNumberOfBytesRead = static_cast<DWORD>(n);
    return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    ThreadCtx* t = currentThread();
    auto file = transferTarget(t, hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten,
                               lpOverlapped, kWriteBits);
    if (!file) return FALSE;
    auto& files = t->machine->files;
    if (files.writeProtected(file->drive)) {
        t->lastError = ERROR_WRITE_PROTECT;
        return FALSE;
    }
    struct stat st {};
    ::fstat(file->fd, &st);
    uint64_t end = file->position + nNumberOfBytesToWrite;
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (end > size && !fitsOnDrive(files, file->drive, end - size)) {
        t->lastError = ERROR_DISK_FULL;
        return FALSE;
    }
    ssize_t n =
        ::pwrite(file->fd, lpBuffer, nNumberOfBytesToWrite, static_cast<off_t>(file->position));
    if (n < 0) {
        t->lastError = ERROR_IO_DEVICE;
        return FALSE;
    }
    file->position += static_cast<uint64_t>(n);
    *lpNumberOfBytesWritten = static_cast<DWORD>(n);
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE hFile) {
    ThreadCtx* t = currentThread();
    auto file = fileHandle<FileObject>(t, hFile);
    if (!file) return FALSE;
    if (file->fd >= 0) ::fsync(file->fd);
    return TRUE;
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, LONG* lpDistanceToMoveHigh,
                     DWORD dwMoveMethod) {
    ThreadCtx* t = currentThread();
    auto file = fileHandle<FileObject>(t, hFile);
    if (!file || file->fd < 0) {
        if (file) t->lastError = ERROR_INVALID_FUNCTION;
        return INVALID_SET_FILE_POINTER;
    }
    int64_t distance =
        lpDistanceToMoveHigh
            ? static_cast<int64_t>(
                  (static_cast<uint64_t>(static_cast<DWORD>(*lpDistanceToMoveHigh)) << 32) |
                  static_cast<DWORD>(lDistanceToMove))
            : static_cast<int64_t>(lDistanceToMove);
    int64_t base;
    switch (dwMoveMethod) {
    case FILE_BEGIN:
        base = 0;
        break;
    case FILE_CURRENT:
        base = static_cast<int64_t>(file->position);
        break;
    case FILE_END: {
        struct stat st {};
        ::fstat(file->fd, &st);
        base = st.st_size;
        break;
    }
    default:
        t->lastError = ERROR_INVALID_PARAMETER;
        return INVALID_SET_FILE_POINTER;
    }
    int64_t target = base + distance;
    if (target < 0 || (!lpDistanceToMoveHigh && target > 0x7FFFFFFE)) {
        t->lastError = ERROR_NEGATIVE_SEEK;
        return INVALID_SET_FILE_POINTER;
    }
    file->position = static_cast<uint64_t>(target);
    if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = static_cast<LONG>(target >> 32);
    t->lastError = ERROR_SUCCESS;
    return static_cast<DWORD>(target);
}

BOOL SetEndOfFile(HANDLE hFile) {
    ThreadCtx* t = currentThread();
    auto file = fileHandle<FileObject>(t, hFile);
    if (!file) return FALSE;
    if (!(file->access & kWriteBits) || file->fd < 0) {
        t->lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (::ftruncate(file->fd, static_cast<off_t>(file->position)) != 0) {
        t->lastError = ERROR_DISK_FULL;
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    ThreadCtx* t = currentThread();
    auto file = fileHandle<FileObject>(t, hFile);
    if (!file || file->fd < 0) {
        if (file) t->lastError = ERROR_INVALID_FUNCTION;
        return INVALID_FILE_SIZE;
    }
    struct stat st {};
    ::fstat(file->fd, &st);
    auto size = static_cast<uint64_t>(st.st_size);
    if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    t->lastError = ERROR_SUCCESS;
    return static_cast<DWORD>(size);
}

DWORD GetFileAttributesA(LPCSTR lpFileName) {
    ThreadCtx* t = currentThread();
    if (!t) return INVALID_FILE_ATTRIBUTES;
    auto r = resolve(*t, lpFileName);
    if (!r) return INVALID_FILE_ATTRIBUTES;
    DWORD attrs = t->machine->files.hostAttributes(r->host);
    if (attrs == INVALID_FILE_ATTRIBUTES) t->lastError = missingError(r->host);
    return attrs;
}

BOOL SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    auto r = resolve(*t, lpFileName);
    if (!r) return FALSE;
    auto& files = t->machine->files;
    if (files.hostAttributes(r->host) == INVALID_FILE_ATTRIBUTES) {
        t->lastError = missingError(r->host);
        return FALSE;
    }
    if (files.writeProtected(r->drive)) {
        t->lastError = ERROR_WRITE_PROTECT;
        return FALSE;
    }
    files.setHostAttributes(r->host, dwFileAttributes);
    return TRUE;
}

BOOL DeleteFileA(LPCSTR lpFileName) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    auto r = resolve(*t, lpFileName);
    if (!r) return FALSE;
    auto& m = *t->machine;
    std::lock_guard g(m.lock);
    DWORD attrs = m.files.hostAttributes(r->host);
    if (attrs == INVALID_FILE_ATTRIBUTES) {
        t->lastError = missingError(r->host);
        return FALSE;
    }
    if ((attrs & FILE_ATTRIBUTE_DIRECTORY) || (attrs & FILE_ATTRIBUTE_READONLY)) {
        t->lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (m.files.writeProtected(r->drive)) {
        t->lastError = ERROR_WRITE_PROTECT;
        return FALSE;
    }
    if (openedWithoutDeleteSharing(m, keyOf(r->host))) {
        t->lastError = ERROR_SHARING_VIOLATION;
        return FALSE;
    }
    std::error_code ec;
    if (!fs::remove(r->host, ec)) {
        t->lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    m.files.forgetAttributes(r->host);
    return TRUE;
}

BOOL CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    auto from = resolve(*t, lpExistingFileName);
    if (!from) return FALSE;
    auto to = resolve(*t, lpNewFileName);
    if (!to) return FALSE;
    auto& m = *t->machine;
    std::lock_guard g(m.lock);
    DWORD srcAttrs = m.files.hostAttributes(from->host);
    if (srcAttrs == INVALID_FILE_ATTRIBUTES) {
        t->lastError = missingError(from->host);
        return FALSE;
    }
    if (srcAttrs & FILE_ATTRIBUTE_DIRECTORY) {
        t->lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (shareConflict(m, keyOf(from->host), GENERIC_READ, FILE_SHARE_READ)) {
        t->lastError = ERROR_SHARING_VIOLATION;
        return FALSE;
    }
    if (!parentExists(to->host)) {
        t->lastError = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    DWORD dstAttrs = m.files.hostAttributes(to->host);
    if (dstAttrs != INVALID_FILE_ATTRIBUTES) {
        if (bFailIfExists) {
            t->lastError = ERROR_FILE_EXISTS;
            return FALSE;
        }
        if (dstAttrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) {
            t->lastError = ERROR_ACCESS_DENIED;
            return FALSE;
        }
        if (shareConflict(m, keyOf(to->host), GENERIC_WRITE, 0)) {
            t->lastError = ERROR_SHARING_VIOLATION;
            return FALSE;
        }
    }
    if (m.files.writeProtected(to->drive)) {
        t->lastError = ERROR_WRITE_PROTECT;
        return FALSE;
    }
    std::error_code ec;
    uint64_t size = fs::file_size(from->host, ec);
    uint64_t old = dstAttrs == INVALID_FILE_ATTRIBUTES ? 0 : fs::file_size(to->host, ec);
    if (size > old && !fitsOnDrive(m.files, to->drive, size - old)) {
        t->lastError = ERROR_DISK_FULL;
        return FALSE;
    }
    if (keyOf(from->host) == keyOf(to->host)) {
        t->lastError = ERROR_SHARING_VIOLATION;
        return FALSE;
    }
    if (!fs::copy_file(from->host, to->host, fs::copy_options::overwrite_existing, ec)) {
        t->lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    m.files.setHostAttributes(to->host, srcAttrs | FILE_ATTRIBUTE_ARCHIVE);
    return TRUE;
}

BOOL MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    auto from = resolve(*t, lpExistingFileName);
    if (!from) return FALSE;
    auto to = resolve(*t, lpNewFileName);
    if (!to) return FALSE;
    auto& m = *t->machine;
    std::lock_guard g(m.lock);
    if (m.files.hostAttributes(from->host) == INVALID_FILE_ATTRIBUTES) {
        t->lastError = missingError(from->host);
        return FALSE;
    }
    bool sameName = keyOf(from->host) == keyOf(to->host);
    if (!sameName && m.files.hostAttributes(to->host) != INVALID_FILE_ATTRIBUTES) {
        t->lastError = ERROR_ALREADY_EXISTS;
        return FALSE;
    }
    if (!parentExists(to->host)) {
        t->lastError = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    if (m.files.writeProtected(from->drive) || m.files.writeProtected(to->drive)) {
        t->lastError = ERROR_WRITE_PROTECT;
        return FALSE;
    }
    if (m.openFiles.count(keyOf(from->host))) {
        t->lastError = ERROR_SHARING_VIOLATION;
        return FALSE;
    }
    std::error_code ec;
    fs::rename(from->host, to->host, ec);
    if (ec) {
        t->lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    m.files.moveAttributes(from->host, to->host);
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    auto r = resolve(*t, lpPathName);
    if (!r) return FALSE;
    auto& files = t->machine->files;
    std::error_code ec;
    if (fs::exists(r->host, ec)) {
        t->lastError = ERROR_ALREADY_EXISTS;
        return FALSE;
    }
    if (!parentExists(r->host)) {
        t->lastError = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    if (files.writeProtected(r->drive)) {
        t->lastError = ERROR_WRITE_PROTECT;
        return FALSE;
    }
    if (!fs::create_directory(r->host, ec)) {
        t->lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR lpPathName) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    auto r = resolve(*t, lpPathName);
    if (!r) return FALSE;
    auto& files = t->machine->files;
    DWORD attrs = files.hostAttributes(r->host);
    if (attrs == INVALID_FILE_ATTRIBUTES) {
        t->lastError = missingError(r->host);
        return FALSE;
    }
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        t->lastError = ERROR_DIRECTORY;
        return FALSE;
    }
    if (r->host.lexically_normal() ==
            (files.root() / std::string(1, r->drive)).lexically_normal() ||
        (attrs & FILE_ATTRIBUTE_READONLY)) {
        t->lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    std::error_code ec;
    if (!fs::is_empty(r->host, ec)) {
        t->lastError = ERROR_DIR_NOT_EMPTY;
        return FALSE;
    }
    if (files.writeProtected(r->drive)) {
        t->lastError = ERROR_WRITE_PROTECT;
        return FALSE;
    }
    fs::remove(r->host, ec);
    files.forgetAttributes(r->host);
    return TRUE;
}

HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    ThreadCtx* t = currentThread();
    if (!t) return INVALID_HANDLE_VALUE;
    if (!lpFindFileData) {
        t->lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    if (!lpFileName || !*lpFileName) {
        t->lastError = ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    std::string full = absolute(*t, lpFileName);
    auto slash = full.find_last_of('\\');
    std::string folder = full.substr(0, slash == 2 ? 3 : slash);
    std::string mask = lowerCase(full.substr(slash + 1));
    auto& files = t->machine->files;
    auto host = files.hostPath(folder);
    std::error_code ec;
    if (!host || !fs::is_directory(*host, ec) || mask.empty()) {
        t->lastError = mask.empty() && host ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    auto object = std::make_shared<FindObject>();
    object->pattern = full;
    bool isRoot = folder.size() == 3;
    std::vector<std::pair<std::string, WIN32_FIND_DATAA>> found;
    if (!isRoot) {
        for (const char* dot : {".", ".."})
            if (wildcardMatch(mask, dot)) {
                WIN32_FIND_DATAA d;
                fillFind(d, dot, FILE_ATTRIBUTE_DIRECTORY, 0);
                found.push_back({std::string(" ") + dot, d});
            }
    }
    for (auto& entry : fs::directory_iterator(*host, ec)) {
        std::string name = entry.path().filename().string();
        if (!wildcardMatch(mask, lowerCase(name))) continue;
        DWORD attrs = files.hostAttributes(entry.path());
        uint64_t size = entry.is_regular_file(ec) ? entry.file_size(ec) : 0;
        WIN32_FIND_DATAA d;
        fillFind(d, name, attrs, size);
        found.push_back({lowerCase(name), d});
    }
    if (found.empty()) {
        t->lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [k, d] : found)
        object->entries.push_back(d);
    *lpFindFileData = object->entries[0];
    object->next = 1;
    t->lastError = ERROR_SUCCESS;
    return t->machine->addHandle(*t->process, object);
}

BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    ThreadCtx* t = currentThread();
    auto find = fileHandle<FindObject>(t, hFindFile);
    if (!find) return FALSE;
    if (!lpFindFileData) {
        t->lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (find->next >= find->entries.size()) {
        t->lastError = ERROR_NO_MORE_FILES;
        return FALSE;
    }
    *lpFindFileData = find->entries[find->next++];
    return TRUE;
}

BOOL FindClose(HANDLE hFindFile) {
    ThreadCtx* t = currentThread();
    auto find = fileHandle<FindObject>(t, hFindFile);
    if (!find) return FALSE;
    auto& m = *t->machine;
    m.finalClose(m.detachHandle(*t->process, handleValue(hFindFile)));
    return TRUE;
}

namespace {
UINT copyOut(const std::string& s, LPSTR buffer, UINT size) {
    if (!buffer || size <= s.size()) return static_cast<UINT>(s.size() + 1);
    s.copy(buffer, s.size());
    buffer[s.size()] = 0;
    return static_cast<UINT>(s.size());
}
} // namespace

UINT GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    ThreadCtx* t = currentThread();
    return t ? copyOut(t->machine->windowsDirectory(), lpBuffer, uSize) : 0;
}

UINT GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    ThreadCtx* t = currentThread();
    return t ? copyOut(t->machine->systemDirectory(), lpBuffer, uSize) : 0;
}

DWORD GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
    ThreadCtx* t = currentThread();
    if (!t) return 0;
    std::string cwd;
    {
        std::lock_guard g(t->machine->lock);
        cwd = t->process->currentDirectory;
    }
    return copyOut(cwd, lpBuffer, nBufferLength);
}

BOOL SetCurrentDirectoryA(LPCSTR lpPathName) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    auto r = resolve(*t, lpPathName);
    if (!r) return FALSE;
    std::error_code ec;
    if (!fs::is_directory(r->host, ec)) {
        t->lastError = missingError(r->host);
        return FALSE;
    }
    std::string path = r->windowsPath;
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    std::lock_guard g(t->machine->lock);
    t->process->currentDirectory = path;
    return TRUE;
}

UINT GetDriveTypeA(LPCSTR lpRootPathName) {
    ThreadCtx* t = currentThread();
    if (!t) return DRIVE_UNKNOWN;
    std::string root;
    if (lpRootPathName) {
        root = lpRootPathName;
    } else {
        std::lock_guard g(t->machine->lock);
        root = t->process->currentDirectory;
    }
    if (root.size() < 2 || root[1] != ':' || (root.size() > 3) ||
        (root.size() == 3 && root[2] != '\\'))
        return DRIVE_NO_ROOT_DIR;
    return t->machine->files.driveType(root[0]);
}

DWORD GetLogicalDrives() {
    ThreadCtx* t = currentThread();
    if (!t) return 0;
    DWORD mask = 0;
    for (char letter : t->machine->files.drives())
        if (letter >= 'A' && letter <= 'Z') mask |= 1u << (letter - 'A');
    return mask;
}

} // namespace win32
