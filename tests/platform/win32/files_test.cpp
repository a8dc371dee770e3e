#include "machine_fixture.h"

#include <cstring>
#include <set>

using namespace win32;
using win32test::SimMachine;

namespace {

HANDLE openFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    return CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
}

TEST(Files, ShareModeZeroRefusesASecondOpen) {
    SimMachine sim;
    sim.machine.files().writeFile("C:\\WINDOWS\\COMMAND\\EBD\\IO.SYS", "io");
    sim.run([] {
        const char* path = "C:\\WINDOWS\\COMMAND\\EBD\\IO.SYS";
        HANDLE first = openFile(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        EXPECT_EQ(openFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
        EXPECT_EQ(DeleteFileA(path), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
        CloseHandle(first);

        // Readers that share reading get along; a writer is refused.
        HANDLE r1 = openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        HANDLE r2 = openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        EXPECT_NE(r1, INVALID_HANDLE_VALUE);
        EXPECT_NE(r2, INVALID_HANDLE_VALUE);
        EXPECT_EQ(openFile(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
        CloseHandle(r1);
        CloseHandle(r2);
    });
}

struct DispositionCase {
    const char* label;
    DWORD disposition;
    bool exists;
    bool opens;
    DWORD error;              // GetLastError after the call
    const char* contentAfter; // null: no file
};

class Dispositions : public ::testing::TestWithParam<DispositionCase> {};

TEST_P(Dispositions, CreateFileA) {
    const DispositionCase& c = GetParam();
    SimMachine sim;
    if (c.exists) sim.machine.files().writeFile("C:\\data.bin", "old");
    sim.run([&] {
        HANDLE h = openFile("C:\\DATA.BIN", GENERIC_READ | GENERIC_WRITE, 0, c.disposition);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens);
        EXPECT_EQ(GetLastError(), c.error);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    });
    auto content = sim.machine.files().readFile("c:\\data.bin");
    if (c.contentAfter) {
        ASSERT_TRUE(content.has_value());
        EXPECT_EQ(*content, c.contentAfter);
    } else {
        EXPECT_FALSE(content.has_value());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Dispositions,
    ::testing::Values(
        DispositionCase{"CreateNewMissing", CREATE_NEW, false, true, ERROR_SUCCESS, ""},
        DispositionCase{"CreateNewExisting", CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
        DispositionCase{"CreateAlwaysMissing", CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
        DispositionCase{"CreateAlwaysExisting", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS,
                        ""},
        DispositionCase{"OpenExistingMissing", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND,
                        nullptr},
        DispositionCase{"OpenExistingExisting", OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
        DispositionCase{"OpenAlwaysMissing", OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
        DispositionCase{"OpenAlwaysExisting", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
        DispositionCase{"TruncateMissing", TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND,
                        nullptr},
        DispositionCase{"TruncateExisting", TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Files, ReadWriteSeekAndSize) {
    SimMachine sim;
    sim.run([] {
        HANDLE h = openFile("C:\\x.txt", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD n = 0;
        EXPECT_EQ(WriteFile(h, "hello world", 11, &n, nullptr), TRUE);
        EXPECT_EQ(n, 11u);
        EXPECT_EQ(GetFileSize(h, nullptr), 11u);
        EXPECT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
        char buf[16] = {};
        EXPECT_EQ(ReadFile(h, buf, sizeof buf, &n, nullptr), TRUE);
        EXPECT_EQ(n, 5u);
        EXPECT_STREQ(buf, "world");
        EXPECT_EQ(ReadFile(h, buf, sizeof buf, &n, nullptr), TRUE); // end of file
        EXPECT_EQ(n, 0u);
        EXPECT_EQ(SetFilePointer(h, -20, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
        EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
        CloseHandle(h);

        HANDLE ro = openFile("C:\\x.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        EXPECT_EQ(WriteFile(ro, "x", 1, &n, nullptr), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        CloseHandle(ro);
    });
}

TEST(Files, DeletedFileHasNoAttributes) {
    SimMachine sim;
    sim.machine.files().writeFile("C:\\WINDOWS\\KV7946AP.exe", "app");
    sim.run([] {
        EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\KV7946AP.exe"), FILE_ATTRIBUTE_ARCHIVE);
        EXPECT_EQ(SetFileAttributesA("C:\\WINDOWS\\KV7946AP.exe", FILE_ATTRIBUTE_NORMAL), TRUE);
        EXPECT_EQ(GetFileAttributesA("c:\\windows\\kv7946ap.exe"), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(DeleteFileA("C:\\WINDOWS\\KV7946AP.exe"), TRUE);
        EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\KV7946AP.exe"), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(GetFileAttributesA("C:\\NOWHERE\\KV7946AP.exe"), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
        EXPECT_EQ(DeleteFileA("C:\\WINDOWS\\KV7946AP.exe"), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(SetFileAttributesA("C:\\WINDOWS\\KV7946AP.exe", FILE_ATTRIBUTE_NORMAL), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
        // A re-created file does not inherit the old attributes.
        HANDLE h = openFile("C:\\WINDOWS\\KV7946AP.exe", GENERIC_WRITE, 0, CREATE_NEW);
        CloseHandle(h);
        EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\KV7946AP.exe"), FILE_ATTRIBUTE_ARCHIVE);
    });
}

TEST(Files, ReadOnlyIsHonoured) {
    SimMachine sim;
    sim.machine.files().writeFile("C:\\IO.SYS", "io");
    sim.machine.files().setAttributes(
        "C:\\IO.SYS", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    sim.run([] {
        EXPECT_EQ(openFile("C:\\IO.SYS", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        EXPECT_EQ(openFile("C:\\IO.SYS", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        EXPECT_EQ(DeleteFileA("C:\\IO.SYS"), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        EXPECT_EQ(CopyFileA("C:\\WINDOWS\\system32\\..\\..\\IO.SYS", "C:\\IO.SYS", FALSE), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        HANDLE reader = openFile("C:\\IO.SYS", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        EXPECT_NE(reader, INVALID_HANDLE_VALUE);
        CloseHandle(reader);

        EXPECT_EQ(SetFileAttributesA("C:\\IO.SYS", FILE_ATTRIBUTE_NORMAL), TRUE);
        HANDLE h = openFile("C:\\IO.SYS", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        CloseHandle(h);
        EXPECT_EQ(GetFileAttributesA("C:\\IO.SYS"), FILE_ATTRIBUTE_ARCHIVE);
        EXPECT_EQ(DeleteFileA("C:\\IO.SYS"), TRUE);
    });
}

TEST(Files, WriteProtectedAndFullDrives) {
    SimMachine sim;
    auto& files = sim.machine.files();
    files.addDrive('E', DRIVE_REMOVABLE);
    files.addDrive('F', DRIVE_REMOVABLE);
    files.writeFile("C:\\src.bin", std::string(1000, 'x'));
    files.setWriteProtected('E', true);
    files.setCapacity('F', 600);
    sim.run([] {
        EXPECT_EQ(openFile("E:\\IO.SYS", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_WRITE_PROTECT);
        EXPECT_EQ(CopyFileA("C:\\src.bin", "E:\\src.bin", FALSE), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_WRITE_PROTECT);

        HANDLE h = openFile("F:\\IO.SYS", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        std::string data(1000, 'y');
        DWORD n = 5;
        EXPECT_EQ(WriteFile(h, data.data(), 1000, &n, nullptr), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
        EXPECT_EQ(n, 0u);
        EXPECT_EQ(WriteFile(h, data.data(), 500, &n, nullptr), TRUE);
        CloseHandle(h);
        EXPECT_EQ(CopyFileA("C:\\src.bin", "F:\\src.bin", FALSE), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);

        EXPECT_EQ(GetDriveTypeA("E:\\"), DRIVE_REMOVABLE);
        EXPECT_EQ(GetDriveTypeA("C:\\"), DRIVE_FIXED);
        EXPECT_EQ(GetDriveTypeA("Q:\\"), DRIVE_NO_ROOT_DIR);
        EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 4) | (1u << 5));
    });
    EXPECT_FALSE(files.exists("E:\\IO.SYS"));
}

TEST(Files, CopyMoveFoldersAndFind) {
    SimMachine sim;
    sim.machine.files().writeFile("C:\\WINDOWS\\COMMAND\\EBD\\COMMAND.COM", "cmd");
    sim.run([] {
        EXPECT_EQ(CreateDirectoryA("C:\\Dest", nullptr), TRUE);
        EXPECT_EQ(CreateDirectoryA("C:\\DEST", nullptr), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
        EXPECT_EQ(CreateDirectoryA("C:\\No\\Such", nullptr), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
        EXPECT_EQ(CopyFileA("C:\\WINDOWS\\COMMAND\\EBD\\COMMAND.COM", "C:\\dest\\a.com", TRUE),
                  TRUE);
        EXPECT_EQ(CopyFileA("C:\\WINDOWS\\COMMAND\\EBD\\COMMAND.COM", "C:\\dest\\A.COM", TRUE),
                  FALSE);
        EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
        EXPECT_EQ(CopyFileA("C:\\missing", "C:\\dest\\b.com", FALSE), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(MoveFileA("C:\\dest\\a.com", "C:\\dest\\b.com"), TRUE);
        EXPECT_EQ(RemoveDirectoryA("C:\\Dest"), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);

        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA("C:\\dest\\*", &data);
        ASSERT_NE(find, INVALID_HANDLE_VALUE);
        std::set<std::string> names{data.cFileName};
        while (FindNextFileA(find, &data))
            names.insert(data.cFileName);
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
        EXPECT_EQ(FindClose(find), TRUE);
        EXPECT_EQ(names, (std::set<std::string>{".", "..", "b.com"}));
        EXPECT_EQ(FindFirstFileA("C:\\dest\\*.txt", &data), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

        EXPECT_EQ(DeleteFileA("C:\\dest\\B.COM"), TRUE);
        EXPECT_EQ(RemoveDirectoryA("C:\\dest"), TRUE);
        EXPECT_EQ(GetFileAttributesA("C:\\dest"), INVALID_FILE_ATTRIBUTES);
    });
}

} // namespace
