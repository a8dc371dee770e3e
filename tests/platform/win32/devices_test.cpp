#include "machine_fixture.h"

#include <cstring>
#include <map>

using namespace win32;
using win32test::SimMachine;

namespace {

// A kernel with one device "KV7946-0" that echoes its input reversed.
class FakeKernel : public KernelDevices {
  public:
    struct File : DeviceFile {};

    std::shared_ptr<DeviceFile> open(const std::string& name, DWORD access, DWORD share,
                                     DWORD* error) override {
        ++opens;
        lastAccess = access;
        lastShare = share;
        if (name != "KV7946-0" || !present) {
            *error = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
        return std::make_shared<File>();
    }
    bool ioControl(DeviceFile&, DWORD code, const void* in, DWORD inLength, void* out,
                   DWORD outLength, DWORD* returned, DWORD* error) override {
        if (code != 0x222000 || inLength > outLength) {
            *error = ERROR_GEN_FAILURE;
            *returned = 0;
            return false;
        }
        auto* src = static_cast<const BYTE*>(in);
        auto* dst = static_cast<BYTE*>(out);
        std::vector<BYTE> copy(src, src + inLength);
        for (DWORD i = 0; i < inLength; ++i)
            dst[i] = copy[inLength - 1 - i];
        *returned = inLength;
        return true;
    }
    void close(DeviceFile&) override { ++closes; }

    bool present = true;
    int opens = 0;
    int closes = 0;
    DWORD lastAccess = 0;
    DWORD lastShare = 0;
};

TEST(Devices, UnknownWithoutKernel) {
    SimMachine sim;
    sim.run([] {
        EXPECT_EQ(CreateFileA("\\\\.\\KV7946-0", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    });
}

TEST(Devices, OpenControlCloseGoThroughTheKernel) {
    SimMachine sim;
    FakeKernel kernel;
    sim.machine.setKernelDevices(&kernel);
    sim.run([&] {
        EXPECT_EQ(CreateFileA("\\\\.\\KV7946-1", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

        HANDLE h = CreateFileA("\\\\.\\KV7946-0", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(kernel.lastAccess, GENERIC_READ | GENERIC_WRITE);
        EXPECT_EQ(kernel.lastShare, 0u);

        BYTE block[4] = {1, 2, 3, 4};
        DWORD returned = 99;
        EXPECT_EQ(DeviceIoControl(h, 0x222000, block, 4, block, 4, &returned, nullptr), TRUE);
        EXPECT_EQ(returned, 4u);
        EXPECT_EQ(block[0], 4);
        EXPECT_EQ(DeviceIoControl(h, 0x222004, block, 4, block, 4, &returned, nullptr), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
        EXPECT_EQ(returned, 0u);
        EXPECT_EQ(DeviceIoControl(h, 0x222000, block, 4, block, 4, nullptr, nullptr), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(CloseHandle(h), TRUE);
        EXPECT_EQ(kernel.closes, 1);

        // A file handle is not a device.
        HANDLE f = CreateFileA("C:\\f", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(DeviceIoControl(f, 0x222000, block, 4, block, 4, &returned, nullptr), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
        CloseHandle(f);
    });
}

TEST(Devices, LeftOpenIsClosedAndReportedAtProcessEnd) {
    SimMachine sim;
    FakeKernel kernel;
    sim.machine.setKernelDevices(&kernel);
    sim.machine.run("KV7946AP.exe", [] {
        CreateFileA("\\\\.\\KV7946-0", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
        return 0;
    });
    EXPECT_EQ(kernel.closes, 1);
    EXPECT_EQ(sim.machine.handleLeaks(),
              std::vector<std::string>{"KV7946AP.exe: device \"\\\\.\\KV7946-0\""});
}

} // namespace
