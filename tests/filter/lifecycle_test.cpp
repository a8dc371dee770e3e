// Device objects, names, Plug and Play and power: the frame of the driver.
#include "filter_fixture.h"

#include "drivers/filter/install.h"
#include "platform/win32/file_store.h"
#include "platform/win32/registry_store.h"

namespace kvtest {
namespace {

using namespace kv7946;
using ::testing::IsEmpty;

class Lifecycle : public FilterFixture {
  protected:
    bool opens(const std::string& channel) {
        bool ok = false;
        inProgram([&] {
            win32::HANDLE h = open(channel.c_str());
            ok = h != win32::INVALID_HANDLE_VALUE;
            lastError = ok ? 0 : win32::GetLastError();
            if (ok) win32::CloseHandle(h);
        });
        return ok;
    }
    static std::string channel(int index) {
        return std::string("\\\\.\\KV7946-") + static_cast<char>('0' + index);
    }
    bool linkExists(char c = '0') {
        std::u16string link = u"\\DosDevices\\KV7946-";
        link += static_cast<char16_t>(c);
        return pc_->kernel().linkExists(link);
    }
    win32::DWORD lastError = 0;
};

TEST_F(Lifecycle, AddDeviceNamesTheChannelAndAttaches) {
    int port = plugDisk();
    ASSERT_GT(port, 0);
    FILTER_EXTENSION* ext = extension();
    ASSERT_NE(ext, nullptr);
    EXPECT_EQ(ext->PhysicalDeviceObject, pc_->bus().pdo(port));
    EXPECT_EQ(ext->LowerDeviceObject, pc_->bus().pdo(port));
    EXPECT_EQ(ext->OutstandingIo, 1);
    EXPECT_EQ(ext->DevicePowerState, wdm::PowerDeviceD0);
    EXPECT_EQ(ext->Accepting, 1);
    EXPECT_EQ(std::u16string(ext->LinkName), u"\\DosDevices\\KV7946-0");
    wdm::PDEVICE_OBJECT d = pc_->kernel().findDevice(u"\\Device\\KV7946-0");
    EXPECT_EQ(d->DeviceType, wdm::FILE_DEVICE_UNKNOWN);
    EXPECT_EQ(d->Flags & (wdm::DO_DIRECT_IO | wdm::DO_POWER_PAGABLE | wdm::DO_DEVICE_INITIALIZING),
              wdm::DO_DIRECT_IO | wdm::DO_POWER_PAGABLE);
    EXPECT_EQ(d->StackSize, 2);
    EXPECT_TRUE(opens("\\\\.\\KV7946-0"));
    EXPECT_TRUE(opens("\\\\.\\kv7946-0")) << "object names ignore case";
}

TEST_F(Lifecycle, ThirtyTwoNamesThenTheThirtyThirdDeviceIsRefused) {
    std::vector<int> ports;
    for (int i = 0; i < 32; ++i)
        ports.push_back(pc_->plug(newDisk()));
    EXPECT_TRUE(opens(channel(9)));
    EXPECT_TRUE(opens("\\\\.\\KV7946-:")) << "the eleventh name ends in a colon";
    EXPECT_TRUE(opens("\\\\.\\KV7946-@"));
    EXPECT_TRUE(opens("\\\\.\\KV7946-A"));
    EXPECT_TRUE(opens("\\\\.\\KV7946-O"));
    EXPECT_FALSE(opens("\\\\.\\KV7946-P"));
    EXPECT_FALSE(opens("\\\\.\\KV7946-10"));

    int extra = plugDisk();
    ASSERT_GT(extra, 0);
    EXPECT_EQ(node(extra)->problem, wdm::STATUS_OBJECT_NAME_COLLISION);
    EXPECT_FALSE(node(extra)->stack);

    // A name that becomes free is taken by the next device.
    pc_->unplug(ports[10]);
    EXPECT_FALSE(opens("\\\\.\\KV7946-:"));
    int again = pc_->plug(newDisk());
    EXPECT_TRUE(node(again)->stack);
    EXPECT_TRUE(opens("\\\\.\\KV7946-:"));
}

TEST_F(Lifecycle, QueryRemoveRefusesCreatesAndCommandsUntilCancelled) {
    int port = plugDisk();
    bool held = false;
    win32::HANDLE h = nullptr;
    auto program = pc_->machine().startProcess("KV7946AP.exe", [&] {
        h = open();
        held = h != win32::INVALID_HANDLE_VALUE;
        while (held)
            vt::sleepFor(std::chrono::milliseconds(10));
        win32::CloseHandle(h);
        return 0;
    });
    clock_.sleep(std::chrono::milliseconds(1));
    ASSERT_TRUE(held);
    EXPECT_EQ(pnp().sendPnp(node(port), wdm::IRP_MN_QUERY_REMOVE_DEVICE), wdm::STATUS_SUCCESS);
    EXPECT_EQ(extension()->DevicePowerState, wdm::PowerDeviceD3);
    held = false;
    program->wait();
    EXPECT_FALSE(opens(channel(0)));
    EXPECT_EQ(lastError, win32::ERROR_ACCESS_DENIED); // STATUS_DELETE_PENDING

    EXPECT_EQ(pnp().sendPnp(node(port), wdm::IRP_MN_CANCEL_REMOVE_DEVICE), wdm::STATUS_SUCCESS);
    EXPECT_TRUE(opens(channel(0)));
    EXPECT_EQ(extension()->DevicePowerState, wdm::PowerDeviceD0);
}

TEST_F(Lifecycle, CommandsOnAnOpenHandleFailOnceRemovalIsPending) {
    int port = plugDisk();
    inProgram([&] {
        win32::HANDLE h = open();
        EXPECT_EQ(pnp().sendPnp(node(port), wdm::IRP_MN_QUERY_STOP_DEVICE), wdm::STATUS_SUCCESS);
        Block b = makeBlock(0xFE, 0, 0, 1);
        IoResult r = command(h, IOCTL_VENDOR_IN, b);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(pc_->kernel().io().lastStatus(), wdm::STATUS_DELETE_PENDING);
        EXPECT_EQ(pnp().sendPnp(node(port), wdm::IRP_MN_CANCEL_STOP_DEVICE), wdm::STATUS_SUCCESS);
        EXPECT_TRUE(command(h, IOCTL_VENDOR_IN, b).ok);
        win32::CloseHandle(h);
    });
    EXPECT_EQ(recorder_.transfers.size(), 1u);
}

TEST_F(Lifecycle, RemoveDuringACommandWaitsForIt) {
    int port = plugDisk();
    disk_.faults().failNext(emu::Match::vendor(0xFE), emu::Fault::NoAnswer);
    IoResult result;
    auto program = pc_->machine().startProcess("KV7946AP.exe", [&] {
        win32::HANDLE h = open();
        Block b = makeBlock(0xFE, 0, 0, 1);
        result = command(h, IOCTL_VENDOR_IN, b);
        win32::CloseHandle(h);
        return 0;
    });
    clock_.sleep(std::chrono::seconds(1));
    EXPECT_EQ(extension()->OutstandingIo, 2);
    vt::TimePoint start = clock_.now();
    EXPECT_EQ(pnp().sendPnp(node(port), wdm::IRP_MN_REMOVE_DEVICE), wdm::STATUS_SUCCESS);
    // The command had 9 of its 10 seconds left.
    EXPECT_EQ(clock_.now() - start, std::chrono::seconds(9));
    program->wait();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, win32::ERROR_SEM_TIMEOUT);
    EXPECT_EQ(extension(), nullptr);
    EXPECT_FALSE(linkExists());
}

TEST_F(Lifecycle, UnplugDuringACommandFailsItAtOnce) {
    int port = plugDisk();
    disk_.faults().failNext(emu::Match::vendor(0xFE), emu::Fault::NoAnswer);
    IoResult result;
    auto program = pc_->machine().startProcess("KV7946AP.exe", [&] {
        win32::HANDLE h = open();
        Block b = makeBlock(0xFE, 0, 0, 1);
        result = command(h, IOCTL_VENDOR_IN, b);
        // The handle outlives the device object's driver state.
        result.ok = result.ok || command(h, IOCTL_VENDOR_IN, b).ok;
        win32::CloseHandle(h);
        return 0;
    });
    clock_.sleep(std::chrono::seconds(1));
    vt::TimePoint start = clock_.now();
    pc_->unplug(port);
    EXPECT_EQ(clock_.now(), start);
    program->wait();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, win32::ERROR_NOT_READY);
    EXPECT_FALSE(linkExists());
}

TEST_F(Lifecycle, SurpriseRemovalKeepsTheLinkUntilRemoveButRefusesCreates) {
    int port = plugDisk();
    EXPECT_EQ(pnp().sendPnp(node(port), wdm::IRP_MN_SURPRISE_REMOVAL), wdm::STATUS_SUCCESS);
    EXPECT_TRUE(linkExists());
    EXPECT_FALSE(opens(channel(0)));
    EXPECT_EQ(lastError, win32::ERROR_ACCESS_DENIED);
    EXPECT_EQ(extension()->OutstandingIo, 1);
    EXPECT_EQ(pnp().sendPnp(node(port), wdm::IRP_MN_REMOVE_DEVICE), wdm::STATUS_SUCCESS);
    EXPECT_FALSE(linkExists());
    EXPECT_EQ(extension(), nullptr);
}

TEST_F(Lifecycle, CapabilitiesAlwaysAllowSurpriseRemoval) {
    int port = plugDisk();
    wdm::DEVICE_CAPABILITIES caps{};
    EXPECT_EQ(pnp().sendPnp(node(port), wdm::IRP_MN_QUERY_CAPABILITIES, &caps),
              wdm::STATUS_SUCCESS);
    EXPECT_EQ(caps.SurpriseRemovalOK, 1u);
    EXPECT_EQ(caps.Removable, 1u) << "filled in by the bus below";
}

TEST_F(Lifecycle, StopUnconfiguresAndARestartReopensTheChannel) {
    int port = plugDisk();
    EXPECT_EQ(pnp().sendPnp(node(port), wdm::IRP_MN_QUERY_STOP_DEVICE), wdm::STATUS_SUCCESS);
    EXPECT_EQ(pnp().sendPnp(node(port), wdm::IRP_MN_STOP_DEVICE), wdm::STATUS_SUCCESS);
    ASSERT_EQ(recorder_.transfers.size(), 1u);
    EXPECT_EQ(recorder_.transfers[0].setup.bRequest, usb::kSetConfiguration);
    EXPECT_EQ(recorder_.transfers[0].setup.wValue, 0);
    EXPECT_FALSE(opens(channel(0)));
    EXPECT_EQ(pnp().sendPnp(node(port), wdm::IRP_MN_START_DEVICE), wdm::STATUS_SUCCESS);
    EXPECT_TRUE(opens(channel(0)));
}

TEST_F(Lifecycle, StopWithoutMemoryFailsAndStaysUp) {
    int port = plugDisk();
    pc_->kernel().failPoolAllocations(1);
    EXPECT_EQ(pnp().sendPnp(node(port), wdm::IRP_MN_STOP_DEVICE),
              wdm::STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_THAT(recorder_.transfers, IsEmpty()) << "not passed down";
}

TEST_F(Lifecycle, RequestsTheDriverDoesNotHandleKeepTheirStatus) {
    int port = plugDisk();
    EXPECT_EQ(pnp().sendPnp(node(port), wdm::IRP_MN_QUERY_ID), wdm::STATUS_NOT_SUPPORTED);
    EXPECT_EQ(pnp().sendPnp(node(port), wdm::IRP_MN_QUERY_DEVICE_RELATIONS),
              wdm::STATUS_NOT_SUPPORTED);
    EXPECT_EQ(pnp().sendWmi(node(port)), wdm::STATUS_NOT_SUPPORTED);
    EXPECT_EQ(extension()->OutstandingIo, 1);
}

TEST_F(Lifecycle, FailedSymbolicLinkLeavesNoDeviceObject) {
    pc_->kernel().failSymbolicLinks(1);
    int port = plugDisk();
    EXPECT_EQ(node(port)->problem, wdm::STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(extension(), nullptr);
    int next = pc_->plug(newDisk());
    EXPECT_TRUE(node(next)->stack);
    EXPECT_NE(extension(u'0'), nullptr) << "the name was not kept by a dead device object";
}

TEST_F(Lifecycle, RemovedStackCanBeBuiltAgain) {
    int port = plugDisk();
    EXPECT_EQ(pnp().sendPnp(node(port), wdm::IRP_MN_REMOVE_DEVICE), wdm::STATUS_SUCCESS);
    EXPECT_FALSE(opens(channel(0)));
    EXPECT_EQ(pnp().restart(node(port)), wdm::STATUS_SUCCESS);
    EXPECT_TRUE(opens(channel(0)));
}

TEST_F(Lifecycle, InstallationWritesTheDriverFileAndServiceKey) {
    win32::Machine& m = pc_->machine();
    EXPECT_TRUE(m.files().exists(m.systemDirectory() + "\\drivers\\KV7946.sys"));
    EXPECT_TRUE(m.registry().keyExists("HKLM\\SYSTEM\\CurrentControlSet\\Services\\KV7946"));
    EXPECT_TRUE(pc_->kernel().pnp().installed(kVendorId, kProductId));
}

TEST(SimulatedPc, TheFilterDriverIsForWindows2000AndXpOnly) {
    vt::Clock clock;
    auto self = clock.attach("test");
    auto root = std::filesystem::temp_directory_path() / "kv-filter-98";
    std::filesystem::create_directories(root);
    {
        sim::Pc pc(clock, win32::MachineKind::Win98SE, root);
        EXPECT_FALSE(pc.installFilterDriver());
        emu::Controller disk(emu::Geometry{1, 1});
        int port = pc.plug(disk);
        EXPECT_FALSE(pc.bus().node(port)->stack);
        pc.unplug(port);
        EXPECT_THAT(pc.verifierReport(), IsEmpty());
    }
    std::filesystem::remove_all(root);
}

class Power : public Lifecycle {};

TEST_F(Power, SleepAsksForD3AndWakingForD0) {
    int port = plugDisk();
    int before = pc_->kernel().powerRequests();
    EXPECT_EQ(pnp().setSystemPower(node(port), wdm::PowerSystemSleeping3), wdm::STATUS_SUCCESS);
    EXPECT_EQ(pc_->kernel().powerRequests(), before + 1);
    EXPECT_EQ(extension()->DevicePowerState, wdm::PowerDeviceD3);
    EXPECT_EQ(extension()->PendingSystemPowerIrp, nullptr);
    EXPECT_EQ(pnp().setSystemPower(node(port), wdm::PowerSystemWorking), wdm::STATUS_SUCCESS);
    EXPECT_EQ(pc_->kernel().powerRequests(), before + 2);
    EXPECT_EQ(extension()->DevicePowerState, wdm::PowerDeviceD0);
    EXPECT_EQ(extension()->OutstandingIo, 1);
    EXPECT_TRUE(opens(channel(0))) << "power changes leave the channel open";
}

TEST_F(Power, SleepWhileAlreadyInD3GoesStraightDown) {
    int port = plugDisk();
    pnp().sendPnp(node(port), wdm::IRP_MN_QUERY_REMOVE_DEVICE);
    int before = pc_->kernel().powerRequests();
    EXPECT_EQ(pnp().setSystemPower(node(port), wdm::PowerSystemSleeping1), wdm::STATUS_SUCCESS);
    EXPECT_EQ(pc_->kernel().powerRequests(), before);
    EXPECT_EQ(extension()->OutstandingIo, 1);
}

TEST_F(Power, DeviceStatesAreRecorded) {
    int port = plugDisk();
    EXPECT_EQ(pnp().setDevicePower(node(port), wdm::PowerDeviceD2), wdm::STATUS_SUCCESS);
    EXPECT_EQ(extension()->DevicePowerState, wdm::PowerDeviceD2);
    EXPECT_EQ(pnp().setDevicePower(node(port), wdm::PowerDeviceD0), wdm::STATUS_SUCCESS);
    EXPECT_EQ(extension()->DevicePowerState, wdm::PowerDeviceD0);
    EXPECT_EQ(extension()->OutstandingIo, 1);
}

TEST_F(Power, OtherPowerRequestsGoDownAndAreCompleted) {
    int port = plugDisk();
    wdm::POWER_STATE s;
    s.SystemState = wdm::PowerSystemSleeping3;
    EXPECT_EQ(pnp().sendPower(node(port), wdm::IRP_MN_QUERY_POWER, wdm::SystemPowerState, s),
              wdm::STATUS_SUCCESS);
    EXPECT_EQ(pnp().sendPower(node(port), wdm::IRP_MN_WAIT_WAKE, wdm::SystemPowerState, s),
              wdm::STATUS_NOT_SUPPORTED);
    EXPECT_EQ(pnp().sendPower(node(port), wdm::IRP_MN_POWER_SEQUENCE, wdm::SystemPowerState, s),
              wdm::STATUS_NOT_SUPPORTED);
    EXPECT_EQ(extension()->OutstandingIo, 1);
}

TEST_F(Power, FailedDeviceRequestStillPassesTheSystemRequestOn) {
    int port = plugDisk();
    pc_->kernel().failIrpAllocations(1);
    EXPECT_EQ(pnp().setSystemPower(node(port), wdm::PowerSystemSleeping3), wdm::STATUS_SUCCESS);
    EXPECT_EQ(extension()->PendingSystemPowerIrp, nullptr);
    EXPECT_EQ(extension()->OutstandingIo, 1);
    EXPECT_EQ(extension()->DevicePowerState, wdm::PowerDeviceD0);
}

} // namespace
} // namespace kvtest
