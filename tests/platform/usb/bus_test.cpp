// The USB bus driver against a small scripted device.
#include "platform/usb/bus_driver.h"
#include "platform/usb/usbd.h"
#include "platform/wdm/pnp_manager.h"
#include "platform/wdm/wdm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace {

using namespace wdm;
using namespace usb;
using ::testing::IsEmpty;

// One bulk-only interface: endpoints 0x81 (in) and 0x02 (out).
class FakeDevice : public Device {
  public:
    TransferResult control(const SetupPacket& setup, std::span<uint8_t> data) override {
        setups.push_back(setup);
        if (auto it = controlResult.find(setup.bRequest); it != controlResult.end())
            return {it->second, 0};
        if (setup.bRequest == kGetDescriptor) {
            std::vector<uint8_t> d = (setup.wValue >> 8) == kDescDevice ? device : config;
            size_t n = std::min(d.size(), data.size());
            std::memcpy(data.data(), d.data(), n);
            return {TransferStatus::Ok, static_cast<uint32_t>(n)};
        }
        if (setup.deviceToHost())
            for (size_t i = 0; i < data.size(); ++i)
                data[i] = static_cast<uint8_t>(i);
        return {TransferStatus::Ok, static_cast<uint32_t>(data.size())};
    }
    TransferResult bulkOut(uint8_t ep, std::span<const uint8_t> data) override {
        bulk.push_back(ep);
        return next(data.size());
    }
    TransferResult bulkIn(uint8_t ep, std::span<uint8_t> buffer) override {
        bulk.push_back(ep);
        return next(buffer.size());
    }
    void clearHalt(uint8_t ep) override { cleared.push_back(ep); }
    void busReset() override { ++resets; }
    void plugged() override { on = true; }
    void unplugged() override { on = false; }

    TransferResult next(size_t size) {
        if (!bulkResults.empty()) {
            TransferStatus s = bulkResults.front();
            bulkResults.erase(bulkResults.begin());
            return {s, 0};
        }
        return {TransferStatus::Ok, static_cast<uint32_t>(size)};
    }

    std::vector<uint8_t> device = {18,   1,    0x00, 0x02, 0,    0, 0, 64, 0x34,
                                   0x12, 0x78, 0x56, 0x00, 0x01, 0, 0, 0,  1};
    std::vector<uint8_t> config = {9, 2, 32,   0, 1,  1, 0, 0x80, 50, // configuration
                                   9, 4, 0,    0, 2,  8, 6, 0x50, 0,  // interface
                                   7, 5, 0x81, 2, 64, 0, 0,           // bulk in
                                   7, 5, 0x02, 2, 64, 0, 0};          // bulk out
    std::map<uint8_t, TransferStatus> controlResult;
    std::vector<TransferStatus> bulkResults;
    std::vector<SetupPacket> setups;
    std::vector<uint8_t> bulk, cleared;
    int resets = 0;
    bool on = false;
};

// A URB sent down and waited for, as a client driver does it.
struct Submission {
    KEVENT event;
    IO_STATUS_BLOCK iosb{};
    PIRP irp = nullptr;
    NTSTATUS returned = 0;

    NTSTATUS wait(std::optional<LONGLONG> timeout100ns = std::nullopt) {
        LARGE_INTEGER t;
        if (timeout100ns) t.QuadPart = -*timeout100ns;
        NTSTATUS w = KeWaitForSingleObject(&event, Executive, KernelMode, FALSE,
                                           timeout100ns ? &t : nullptr);
        return w == STATUS_TIMEOUT ? STATUS_TIMEOUT : iosb.Status;
    }
};

class Bus : public ::testing::Test {
  protected:
    ~Bus() override {
        bus.reset();
        EXPECT_THAT(kernel.report(), IsEmpty());
    }

    std::unique_ptr<Submission> submit(URB* urb) {
        auto s = std::make_unique<Submission>();
        KeInitializeEvent(&s->event, NotificationEvent, FALSE);
        s->irp = IoBuildDeviceIoControlRequest(IOCTL_INTERNAL_USB_SUBMIT_URB, pdo, nullptr, 0,
                                               nullptr, 0, TRUE, &s->event, &s->iosb);
        IoGetNextIrpStackLocation(s->irp)->Parameters.Others.Argument1 = urb;
        s->returned = IofCallDriver(pdo, s->irp);
        return s;
    }

    NTSTATUS run(URB* urb) { return submit(urb)->wait(); }

    static _URB_CONTROL_VENDOR_OR_CLASS_REQUEST vendor(bool in, UCHAR request, ULONG length,
                                                       void* buffer) {
        _URB_CONTROL_VENDOR_OR_CLASS_REQUEST u{};
        u.Hdr.Length = sizeof(u);
        u.Hdr.Function = URB_FUNCTION_VENDOR_DEVICE;
        u.TransferFlags = in ? USBD_TRANSFER_DIRECTION_IN : 0;
        u.Request = request;
        u.Value = 0x1234;
        u.Index = 0x8000;
        u.TransferBufferLength = length;
        u.TransferBuffer = buffer;
        return u;
    }

    // Selects the configuration; returns the pipe handles (in, out).
    std::pair<USBD_PIPE_HANDLE, USBD_PIPE_HANDLE> configure() {
        auto* cd = reinterpret_cast<PUSB_CONFIGURATION_DESCRIPTOR>(device.config.data());
        USBD_INTERFACE_LIST_ENTRY list[2] = {
            {USBD_ParseConfigurationDescriptorEx(cd, cd, 0, 0, -1, -1, -1), nullptr}, {}};
        PURB urb = USBD_CreateConfigurationRequestEx(cd, list);
        EXPECT_EQ(run(urb), STATUS_SUCCESS);
        USBD_INTERFACE_INFORMATION* info = list[0].Interface;
        auto pipes = std::make_pair(info->Pipes[0].PipeHandle, info->Pipes[1].PipeHandle);
        ExFreePool(urb);
        return pipes;
    }

    static _URB_BULK_OR_INTERRUPT_TRANSFER bulkUrb(USBD_PIPE_HANDLE pipe, void* buffer,
                                                   ULONG length) {
        _URB_BULK_OR_INTERRUPT_TRANSFER b{};
        b.Hdr.Length = sizeof(b);
        b.Hdr.Function = URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER;
        b.PipeHandle = pipe;
        b.TransferFlags = USBD_SHORT_TRANSFER_OK;
        b.TransferBuffer = buffer;
        b.TransferBufferLength = length;
        return b;
    }

    vt::Clock clock;
    vt::Clock::Attachment self = clock.attach("test");
    Kernel kernel{clock, 1, 0x20};
    Kernel::Scope scope{kernel};
    FakeDevice device;
    std::unique_ptr<BusDriver> bus = std::make_unique<BusDriver>(kernel);
    int port = bus->plug(device);
    PDEVICE_OBJECT pdo = bus->pdo(port);
};

TEST_F(Bus, PlugPowersTheDeviceAndCreatesItsPhysicalDeviceObject) {
    ASSERT_EQ(port, 1);
    ASSERT_NE(pdo, nullptr);
    EXPECT_TRUE(device.on);
    EXPECT_EQ(device.resets, 1);
    EXPECT_EQ(bus->node(port)->vendor, 0x1234);
    EXPECT_EQ(bus->node(port)->product, 0x5678);
    EXPECT_FALSE(bus->node(port)->stack) << "no driver is installed";
    EXPECT_EQ(pdo->Flags & DO_DEVICE_INITIALIZING, 0u);
    bus->unplug(port);
    EXPECT_FALSE(device.on);
    EXPECT_THAT(bus->ports(), IsEmpty());
}

TEST_F(Bus, ControlTransfersCompleteAsynchronouslyWithTheSetupTheyDescribe) {
    device.setups.clear();
    uint8_t buffer[16] = {};
    auto in = vendor(true, 0xFC, sizeof(buffer), buffer);
    auto s = submit(reinterpret_cast<URB*>(&in));
    EXPECT_EQ(s->returned, STATUS_PENDING);
    EXPECT_THAT(device.setups, IsEmpty()) << "the device sees it from the completion context";
    EXPECT_EQ(s->wait(), STATUS_SUCCESS);
    ASSERT_EQ(device.setups.size(), 1u);
    EXPECT_EQ(device.setups[0].bmRequestType, 0xC0);
    EXPECT_EQ(device.setups[0].bRequest, 0xFC);
    EXPECT_EQ(device.setups[0].wValue, 0x1234);
    EXPECT_EQ(device.setups[0].wIndex, 0x8000);
    EXPECT_EQ(device.setups[0].wLength, 16);
    EXPECT_EQ(in.Hdr.Status, USBD_STATUS_SUCCESS);
    EXPECT_EQ(buffer[15], 15);

    auto out = vendor(false, 0xB9, 0, nullptr);
    EXPECT_EQ(run(reinterpret_cast<URB*>(&out)), STATUS_SUCCESS);
    EXPECT_EQ(device.setups[1].bmRequestType, 0x40);
    EXPECT_EQ(device.setups[1].wLength, 0);

    uint8_t desc[64] = {};
    _URB_CONTROL_DESCRIPTOR_REQUEST d{};
    d.Hdr.Length = sizeof(d);
    d.Hdr.Function = URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE;
    d.DescriptorType = 2;
    d.Index = 0;
    d.LanguageId = 0x0409;
    d.TransferBuffer = desc;
    d.TransferBufferLength = sizeof(desc);
    EXPECT_EQ(run(reinterpret_cast<URB*>(&d)), STATUS_SUCCESS);
    EXPECT_EQ(device.setups[2].bmRequestType, 0x80);
    EXPECT_EQ(device.setups[2].wValue, 0x0200);
    EXPECT_EQ(device.setups[2].wIndex, 0x0409);
    EXPECT_EQ(d.TransferBufferLength, 32u) << "a short answer is not an error";
}

struct Outcome {
    TransferStatus device;
    NTSTATUS irp;
    USBD_STATUS usbd;
};

class ControlOutcome : public Bus, public ::testing::WithParamInterface<Outcome> {};

TEST_P(ControlOutcome, MapsTheDeviceAnswerToBothStatuses) {
    device.controlResult[0xF6] = GetParam().device;
    uint8_t b[1];
    auto u = vendor(true, 0xF6, 1, b);
    EXPECT_EQ(run(reinterpret_cast<URB*>(&u)), GetParam().irp);
    EXPECT_EQ(u.Hdr.Status, GetParam().usbd);
    EXPECT_EQ(u.TransferBufferLength, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, ControlOutcome,
    ::testing::Values(Outcome{TransferStatus::Stall, STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID},
                      Outcome{TransferStatus::Halted, STATUS_UNSUCCESSFUL,
                              USBD_STATUS_ENDPOINT_HALTED},
                      Outcome{TransferStatus::DeviceGone, STATUS_DEVICE_NOT_CONNECTED,
                              USBD_STATUS_DEV_NOT_RESPONDING}));

TEST_F(Bus, UnansweredTransferStaysPendingAndBlocksItsPipeUntilCancelled) {
    device.controlResult[0x00] = TransferStatus::NoAnswer;
    auto stuck = vendor(false, 0x00, 0, nullptr);
    auto first = submit(reinterpret_cast<URB*>(&stuck));
    auto after = vendor(true, 0xFE, 0, nullptr);
    uint8_t b[1];
    after.TransferBuffer = b;
    after.TransferBufferLength = 1;
    auto second = submit(reinterpret_cast<URB*>(&after));
    EXPECT_EQ(first->wait(600'000'000LL), STATUS_TIMEOUT); // a virtual minute
    EXPECT_EQ(bus->pendingTransfers(port), 2u);
    size_t seen = device.setups.size();
    EXPECT_EQ(device.setups.back().bRequest, 0x00);

    EXPECT_TRUE(IoCancelIrp(first->irp));
    EXPECT_EQ(first->wait(), STATUS_CANCELLED);
    EXPECT_EQ(stuck.Hdr.Status, USBD_STATUS_CANCELED);
    EXPECT_EQ(second->wait(), STATUS_SUCCESS);
    EXPECT_EQ(device.setups.size(), seen + 1);
}

TEST_F(Bus, CompletionRoutinesRunAtDispatchLevel) {
    struct Seen {
        KIRQL irql = 0xFF;
        KEVENT done;
    } seen;
    KeInitializeEvent(&seen.done, NotificationEvent, FALSE);
    auto u = vendor(false, 0xB9, 0, nullptr);
    PIRP irp = IoAllocateIrp(pdo->StackSize, FALSE);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
    next->Parameters.Others.Argument1 = &u;
    IoSetCompletionRoutine(
        irp,
        [](PDEVICE_OBJECT, PIRP irp, PVOID ctx) -> NTSTATUS {
            auto* s = static_cast<Seen*>(ctx);
            s->irql = KeGetCurrentIrql();
            IoFreeIrp(irp);
            KeSetEvent(&s->done, IO_NO_INCREMENT, FALSE);
            return STATUS_MORE_PROCESSING_REQUIRED;
        },
        &seen, TRUE, TRUE, TRUE);
    EXPECT_EQ(IofCallDriver(pdo, irp), STATUS_PENDING);
    KeWaitForSingleObject(&seen.done, Executive, KernelMode, FALSE, nullptr);
    EXPECT_EQ(seen.irql, DISPATCH_LEVEL);
}

TEST_F(Bus, SelectConfigurationFillsThePipesAndNullUnconfigures) {
    device.setups.clear();
    auto [in, out] = configure();
    EXPECT_NE(in, 0u);
    EXPECT_NE(out, 0u);
    EXPECT_NE(in, out);
    ASSERT_EQ(device.setups.size(), 1u);
    EXPECT_EQ(device.setups[0].bRequest, kSetConfiguration);
    EXPECT_EQ(device.setups[0].wValue, 1);

    _URB_SELECT_CONFIGURATION none{};
    none.Hdr.Length = sizeof(none);
    none.Hdr.Function = URB_FUNCTION_SELECT_CONFIGURATION;
    auto s = submit(reinterpret_cast<URB*>(&none));
    EXPECT_EQ(s->returned, STATUS_SUCCESS) << "completes at once";
    EXPECT_EQ(device.setups[1].bRequest, kSetConfiguration);
    EXPECT_EQ(device.setups[1].wValue, 0);

    uint8_t b[8];
    auto bulk = bulkUrb(in, b, sizeof(b));
    EXPECT_EQ(run(reinterpret_cast<URB*>(&bulk)), STATUS_INVALID_PARAMETER)
        << "the pipes went with the configuration";
}

TEST_F(Bus, SelectConfigurationRefusesAnInterfaceWithoutRoomForItsPipes) {
    auto* cd = reinterpret_cast<PUSB_CONFIGURATION_DESCRIPTOR>(device.config.data());
    _URB_SELECT_CONFIGURATION sc{};
    sc.Hdr.Length = sizeof(sc); // room for one pipe; the interface has two
    sc.Hdr.Function = URB_FUNCTION_SELECT_CONFIGURATION;
    sc.ConfigurationDescriptor = cd;
    sc.Interface.Length = sizeof(USBD_INTERFACE_INFORMATION);
    device.setups.clear();
    EXPECT_EQ(run(reinterpret_cast<URB*>(&sc)), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(sc.Hdr.Status, USBD_STATUS_INVALID_PARAMETER);
    EXPECT_THAT(device.setups, IsEmpty());
}

TEST_F(Bus, StalledBulkPipeStaysHaltedUntilReset) {
    auto [in, out] = configure();
    uint8_t b[31] = {};
    device.bulkResults = {TransferStatus::Stall};
    auto first = bulkUrb(out, b, sizeof(b));
    EXPECT_EQ(run(reinterpret_cast<URB*>(&first)), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(first.Hdr.Status, USBD_STATUS_STALL_PID);
    size_t reached = device.bulk.size();
    auto again = bulkUrb(out, b, sizeof(b));
    EXPECT_EQ(run(reinterpret_cast<URB*>(&again)), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(again.Hdr.Status, USBD_STATUS_ENDPOINT_HALTED);
    EXPECT_EQ(device.bulk.size(), reached) << "a halted pipe does not reach the device";

    _URB_PIPE_REQUEST reset{};
    reset.Hdr.Length = sizeof(reset);
    reset.Hdr.Function = URB_FUNCTION_RESET_PIPE;
    reset.PipeHandle = out;
    EXPECT_EQ(run(reinterpret_cast<URB*>(&reset)), STATUS_SUCCESS);
    EXPECT_EQ(device.cleared, std::vector<uint8_t>{0x02});
    auto ok = bulkUrb(out, b, sizeof(b));
    EXPECT_EQ(run(reinterpret_cast<URB*>(&ok)), STATUS_SUCCESS);
    EXPECT_EQ(ok.TransferBufferLength, 31u);

    auto read = bulkUrb(in, b, 13);
    read.TransferFlags |= USBD_TRANSFER_DIRECTION_IN;
    EXPECT_EQ(run(reinterpret_cast<URB*>(&read)), STATUS_SUCCESS);
    EXPECT_EQ(device.bulk.back(), 0x81);
}

TEST_F(Bus, UnplugCompletesWhatIsPendingWithDeviceNotResponding) {
    auto [in, out] = configure();
    device.bulkResults = {TransferStatus::NoAnswer};
    uint8_t b[13];
    auto read = bulkUrb(in, b, sizeof(b));
    auto s = submit(reinterpret_cast<URB*>(&read));
    EXPECT_EQ(s->wait(10'000'000LL), STATUS_TIMEOUT);
    bus->unplug(port);
    EXPECT_EQ(s->wait(), STATUS_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(read.Hdr.Status, USBD_STATUS_DEV_NOT_RESPONDING);
}

TEST_F(Bus, MalformedUrbsAreRefusedAtOnce) {
    auto bad = vendor(true, 0xFE, 4, nullptr); // length without a buffer
    auto s = submit(reinterpret_cast<URB*>(&bad));
    EXPECT_EQ(s->returned, STATUS_INVALID_PARAMETER);
    auto shortUrb = vendor(true, 0xFE, 0, nullptr);
    shortUrb.Hdr.Length = 60;
    EXPECT_EQ(run(reinterpret_cast<URB*>(&shortUrb)), STATUS_INVALID_PARAMETER);
    _URB_HEADER unknown{sizeof(_URB_HEADER), 0x0077, 0, 0};
    EXPECT_EQ(run(reinterpret_cast<URB*>(&unknown)), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(unknown.Status, USBD_STATUS_INVALID_URB_FUNCTION);
}

TEST(Usbd, CreateConfigurationRequestSizesTheUrbForEveryPipe) {
    vt::Clock clock;
    auto self = clock.attach("test");
    Kernel kernel(clock, 1, 0);
    Kernel::Scope scope(kernel);
    FakeDevice device;
    auto* cd = reinterpret_cast<PUSB_CONFIGURATION_DESCRIPTOR>(device.config.data());
    EXPECT_EQ(USBD_ParseConfigurationDescriptorEx(cd, cd, 1, 0, -1, -1, -1), nullptr);
    EXPECT_EQ(USBD_ParseConfigurationDescriptorEx(cd, cd, -1, -1, 7, -1, -1), nullptr);
    PUSB_INTERFACE_DESCRIPTOR id = USBD_ParseConfigurationDescriptorEx(cd, cd, 0, 0, 8, 6, 0x50);
    ASSERT_NE(id, nullptr);
    USBD_INTERFACE_LIST_ENTRY list[2] = {{id, nullptr}, {}};
    PURB urb = USBD_CreateConfigurationRequestEx(cd, list);
    ASSERT_NE(urb, nullptr);
    EXPECT_EQ(urb->UrbHeader.Length,
              sizeof(_URB_SELECT_CONFIGURATION) + sizeof(USBD_PIPE_INFORMATION));
    EXPECT_EQ(list[0].Interface, &urb->UrbSelectConfiguration.Interface);
    EXPECT_EQ(list[0].Interface->NumberOfPipes, 2u);
    ExFreePool(urb);
    EXPECT_THAT(kernel.report(), IsEmpty());
}

} // namespace
