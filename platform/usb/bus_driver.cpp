#include "platform/usb/bus_driver.h"

#include "platform/usb/usbd.h"
#include "platform/wdm/wdm.h"

#include <deque>
#include <map>
#include <set>
#include <string>

namespace usb {

using namespace wdm;

namespace {

struct Port {
    BusDriver::Impl* bus = nullptr;
    int number = 0;
    Device* device = nullptr;
    PDEVICE_OBJECT pdo = nullptr;
    DeviceNode* node = nullptr;
    bool gone = false;
    bool configured = false;
    std::map<USBD_PIPE_HANDLE, UCHAR> pipes; // handle -> endpoint address
    std::set<UCHAR> halted;
    std::map<UCHAR, std::deque<PIRP>> queues; // endpoint -> transfers, head first
    std::set<PIRP> stuck;                     // heads the device does not answer
};

struct PdoExtension {
    Port* port;
};

Port* portOf(PDEVICE_OBJECT pdo) {
    return static_cast<PdoExtension*>(pdo->DeviceExtension)->port;
}

PURB urbOf(PIRP irp) {
    return static_cast<PURB>(IoGetCurrentIrpStackLocation(irp)->Parameters.Others.Argument1);
}

NTSTATUS irpStatus(USBD_STATUS u) {
    if (u == USBD_STATUS_SUCCESS) return STATUS_SUCCESS;
    if (u == USBD_STATUS_CANCELED) return STATUS_CANCELLED;
    if (u == USBD_STATUS_DEV_NOT_RESPONDING || u == USBD_STATUS_DEVICE_GONE)
        return STATUS_DEVICE_NOT_CONNECTED;
    if (u == USBD_STATUS_INVALID_PARAMETER || u == USBD_STATUS_INVALID_PIPE_HANDLE ||
        u == USBD_STATUS_INVALID_URB_FUNCTION)
        return STATUS_INVALID_PARAMETER;
    return STATUS_UNSUCCESSFUL;
}

USBD_STATUS usbdStatus(TransferStatus s) {
    switch (s) {
    case TransferStatus::Ok:
        return USBD_STATUS_SUCCESS;
    case TransferStatus::Stall:
        return USBD_STATUS_STALL_PID;
    case TransferStatus::Halted:
        return USBD_STATUS_ENDPOINT_HALTED;
    case TransferStatus::DeviceGone:
    case TransferStatus::NoAnswer:
        return USBD_STATUS_DEV_NOT_RESPONDING;
    }
    return USBD_STATUS_DEV_NOT_RESPONDING;
}

// Completes a transfer the way the host controller's completion does.
void finish(PIRP irp, PURB urb, USBD_STATUS status) {
    if (urb) {
        urb->UrbHeader.Status = status;
        // Nothing moved for a failed transfer.
        if (status != USBD_STATUS_SUCCESS &&
            urb->UrbHeader.Function != URB_FUNCTION_SELECT_CONFIGURATION &&
            urb->UrbHeader.Function != URB_FUNCTION_RESET_PIPE &&
            urb->UrbHeader.Function != URB_FUNCTION_ABORT_PIPE)
            urb->UrbBulkOrInterruptTransfer.TransferBufferLength = 0;
    }
    irp->IoStatus.Status = irpStatus(status);
    irp->IoStatus.Information = 0;
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    KeLowerIrql(old);
}

NTSTATUS completeNow(PIRP irp, PURB urb, USBD_STATUS status) {
    if (urb) urb->UrbHeader.Status = status;
    NTSTATUS s = irpStatus(status);
    irp->IoStatus.Status = s;
    irp->IoStatus.Information = 0;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return s;
}

bool isControl(USHORT f) {
    return f == URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE ||
           (f >= URB_FUNCTION_VENDOR_DEVICE && f <= URB_FUNCTION_CLASS_ENDPOINT);
}

SetupPacket setupOf(const URB& urb) {
    SetupPacket p;
    USHORT f = urb.UrbHeader.Function;
    if (f == URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE) {
        const auto& d = urb.UrbControlDescriptorRequest;
        p.bmRequestType = kDirIn | kTypeStandard | kRecipientDevice;
        p.bRequest = kGetDescriptor;
        p.wValue = static_cast<uint16_t>(d.DescriptorType << 8 | d.Index);
        p.wIndex = d.LanguageId;
        p.wLength = static_cast<uint16_t>(d.TransferBufferLength);
        return p;
    }
    const auto& v = urb.UrbControlVendorClassRequest;
    uint8_t type = f <= URB_FUNCTION_VENDOR_ENDPOINT ? kTypeVendor : kTypeClass;
    uint8_t recipient = static_cast<uint8_t>(
        (f - (type == kTypeVendor ? URB_FUNCTION_VENDOR_DEVICE : URB_FUNCTION_CLASS_DEVICE)));
    p.bmRequestType =
        static_cast<uint8_t>(((v.TransferFlags & USBD_TRANSFER_DIRECTION_IN) ? kDirIn : 0) | type |
                             recipient | v.RequestTypeReservedBits);
    p.bRequest = v.Request;
    p.wValue = v.Value;
    p.wIndex = v.Index;
    p.wLength = static_cast<uint16_t>(v.TransferBufferLength);
    return p;
}

} // namespace

struct BusDriver::Impl {
    explicit Impl(Kernel& k) : kernel(k) {}
    Kernel& kernel;
    PDRIVER_OBJECT driver = nullptr;
    std::vector<std::unique_ptr<Port>> ports;
    KEVENT work{};
    bool stop = false;
    std::shared_ptr<vt::Thread> thread;
    int pdoCounter = 0;

    Port* find(int number) const {
        for (auto& p : ports)
            if (p->number == number) return p.get();
        return nullptr;
    }

    static void cancelTransfer(PDEVICE_OBJECT pdo, PIRP irp) {
        IoReleaseCancelSpinLock(irp->CancelIrql);
        Port* port = portOf(pdo);
        for (auto& [ep, q] : port->queues) {
            for (auto it = q.begin(); it != q.end(); ++it) {
                if (*it == irp) {
                    q.erase(it);
                    break;
                }
            }
        }
        port->stuck.erase(irp);
        finish(irp, urbOf(irp), USBD_STATUS_CANCELED);
        KeSetEvent(&port->bus->work, IO_NO_INCREMENT, FALSE);
    }

    // Takes every queued transfer off the port and completes it with status.
    static void failAll(Port* port, USBD_STATUS status, int endpoint = -1) {
        std::vector<PIRP> taken;
        for (auto& [ep, q] : port->queues) {
            if (endpoint >= 0 && ep != endpoint) continue;
            for (auto it = q.begin(); it != q.end();) {
                if (IoSetCancelRoutine(*it, nullptr)) {
                    taken.push_back(*it);
                    port->stuck.erase(*it);
                    it = q.erase(it);
                } else {
                    ++it; // its cancel routine is running
                }
            }
        }
        for (PIRP irp : taken)
            finish(irp, urbOf(irp), status);
    }

    USBD_STATUS control(Port* port, URB& urb) {
        SetupPacket setup = setupOf(urb);
        auto& v = urb.UrbControlVendorClassRequest;
        TransferResult r = port->device->control(
            setup, std::span<uint8_t>(static_cast<uint8_t*>(v.TransferBuffer), setup.wLength));
        if (r.status == TransferStatus::NoAnswer) return USBD_STATUS_PENDING;
        v.TransferBufferLength = r.status == TransferStatus::Ok ? r.actual : 0;
        if (urb.UrbHeader.Function == URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE)
            urb.UrbControlDescriptorRequest.TransferBufferLength = v.TransferBufferLength;
        return usbdStatus(r.status);
    }

    USBD_STATUS bulk(Port* port, URB& urb) {
        auto& b = urb.UrbBulkOrInterruptTransfer;
        UCHAR ep = port->pipes.at(b.PipeHandle);
        if (port->halted.count(ep)) {
            b.TransferBufferLength = 0;
            return USBD_STATUS_ENDPOINT_HALTED;
        }
        auto* data = static_cast<uint8_t*>(b.TransferBuffer);
        TransferResult r =
            (ep & 0x80)
                ? port->device->bulkIn(ep, std::span<uint8_t>(data, b.TransferBufferLength))
                : port->device->bulkOut(ep, std::span<const uint8_t>(data, b.TransferBufferLength));
        if (r.status == TransferStatus::NoAnswer) return USBD_STATUS_PENDING;
        if (r.status == TransferStatus::Stall || r.status == TransferStatus::Halted)
            port->halted.insert(ep);
        b.TransferBufferLength = r.status == TransferStatus::Ok ? r.actual : 0;
        return usbdStatus(r.status);
    }

    // One pass over the heads of every endpoint queue; true when something moved.
    bool processOnce() {
        for (auto& p : ports) {
            Port* port = p.get();
            if (port->gone) continue;
            for (auto& [ep, q] : port->queues) {
                if (q.empty() || port->stuck.count(q.front())) continue;
                PIRP irp = q.front();
                if (!IoSetCancelRoutine(irp, nullptr)) continue; // being cancelled
                URB& urb = *urbOf(irp);
                USBD_STATUS s = ep == 0 ? control(port, urb) : bulk(port, urb);
                if (s == USBD_STATUS_PENDING) {
                    port->stuck.insert(irp);
                    IoSetCancelRoutine(irp, cancelTransfer);
                    if (irp->Cancel && IoSetCancelRoutine(irp, nullptr)) {
                        port->stuck.erase(irp);
                        q.pop_front();
                        finish(irp, &urb, USBD_STATUS_CANCELED);
                    }
                    return true;
                }
                q.pop_front();
                finish(irp, &urb, s);
                return true;
            }
        }
        return false;
    }

    void completionLoop() {
        while (!stop) {
            KeWaitForSingleObject(&work, Executive, KernelMode, FALSE, nullptr);
            while (!stop && processOnce()) {
            }
        }
    }

    NTSTATUS queue(Port* port, PIRP irp, PURB urb, UCHAR endpoint) {
        IoMarkIrpPending(irp);
        urb->UrbHeader.Status = USBD_STATUS_PENDING;
        IoSetCancelRoutine(irp, cancelTransfer);
        if (irp->Cancel && IoSetCancelRoutine(irp, nullptr)) {
            finish(irp, urb, USBD_STATUS_CANCELED);
            return STATUS_PENDING;
        }
        port->queues[endpoint].push_back(irp);
        KeSetEvent(&work, IO_NO_INCREMENT, FALSE);
        return STATUS_PENDING;
    }

    USBD_STATUS selectConfiguration(Port* port, URB& urb) {
        auto& sc = urb.UrbSelectConfiguration;
        if (urb.UrbHeader.Length < sizeof(_URB_HEADER) + 12) return USBD_STATUS_INVALID_PARAMETER;
        USB_CONFIGURATION_DESCRIPTOR* cd = sc.ConfigurationDescriptor;
        if (!cd) {
            SetupPacket unset{0, kSetConfiguration, 0, 0, 0};
            TransferResult r = port->device->control(unset, {});
            port->configured = false;
            port->pipes.clear();
            port->halted.clear();
            return r.status == TransferStatus::Ok ? USBD_STATUS_SUCCESS : usbdStatus(r.status);
        }
        if (urb.UrbHeader.Length < sizeof(_URB_SELECT_CONFIGURATION) ||
            cd->bDescriptorType != kDescConfiguration || cd->wTotalLength < sizeof(*cd))
            return USBD_STATUS_INVALID_PARAMETER;
        // Check every interface before touching the device.
        auto* p = reinterpret_cast<uint8_t*>(&sc.Interface);
        auto* end = reinterpret_cast<uint8_t*>(&urb) + urb.UrbHeader.Length;
        std::vector<std::pair<USBD_INTERFACE_INFORMATION*, PUSB_INTERFACE_DESCRIPTOR>> found;
        while (p + 16 <= end) {
            auto* info = reinterpret_cast<USBD_INTERFACE_INFORMATION*>(p);
            if (info->Length < 16 || p + info->Length > end) return USBD_STATUS_INVALID_PARAMETER;
            PUSB_INTERFACE_DESCRIPTOR d = USBD_ParseConfigurationDescriptorEx(
                cd, cd, info->InterfaceNumber, info->AlternateSetting, -1, -1, -1);
            if (!d) return USBD_STATUS_INVALID_PARAMETER;
            ULONG room = (info->Length - 16) / sizeof(USBD_PIPE_INFORMATION);
            if (room < d->bNumEndpoints) return USBD_STATUS_INVALID_PARAMETER;
            found.push_back({info, d});
            p += info->Length;
        }
        SetupPacket set{0, kSetConfiguration, cd->bConfigurationValue, 0, 0};
        TransferResult r = port->device->control(set, {});
        if (r.status != TransferStatus::Ok) return usbdStatus(r.status);
        port->pipes.clear();
        port->halted.clear();
        for (auto [info, d] : found) {
            if (d->bAlternateSetting != 0) {
                SetupPacket alt{kRecipientInterface, kSetInterface, d->bAlternateSetting,
                                d->bInterfaceNumber, 0};
                port->device->control(alt, {});
            }
            info->Class = d->bInterfaceClass;
            info->SubClass = d->bInterfaceSubClass;
            info->Protocol = d->bInterfaceProtocol;
            info->InterfaceHandle = 0x1000u | d->bInterfaceNumber;
            info->NumberOfPipes = d->bNumEndpoints;
            auto* q = reinterpret_cast<uint8_t*>(d) + d->bLength;
            auto* cend = reinterpret_cast<uint8_t*>(cd) + cd->wTotalLength;
            ULONG n = 0;
            while (n < d->bNumEndpoints && q + 2 <= cend && q[0] >= 2) {
                if (q[1] == kDescInterface) break;
                if (q[1] == kDescEndpoint && q + sizeof(USB_ENDPOINT_DESCRIPTOR) <= cend) {
                    auto* e = reinterpret_cast<PUSB_ENDPOINT_DESCRIPTOR>(q);
                    USBD_PIPE_INFORMATION& pipe = info->Pipes[n++];
                    pipe.MaximumPacketSize = e->wMaxPacketSize;
                    pipe.EndpointAddress = e->bEndpointAddress;
                    pipe.Interval = e->bInterval;
                    pipe.PipeType = static_cast<USBD_PIPE_TYPE>(e->bmAttributes & 3);
                    pipe.PipeHandle = 0x100u | e->bEndpointAddress;
                    if (pipe.MaximumTransferSize == 0)
                        pipe.MaximumTransferSize = USBD_DEFAULT_MAXIMUM_TRANSFER_SIZE;
                    port->pipes[pipe.PipeHandle] = e->bEndpointAddress;
                }
                q += q[0];
            }
            info->NumberOfPipes = n;
        }
        sc.ConfigurationHandle = 0xC000u | cd->bConfigurationValue;
        port->configured = true;
        return USBD_STATUS_SUCCESS;
    }

    NTSTATUS submit(Port* port, PIRP irp, PURB urb) {
        if (!urb) return completeNow(irp, nullptr, USBD_STATUS_INVALID_PARAMETER);
        if (port->gone) return completeNow(irp, urb, USBD_STATUS_DEV_NOT_RESPONDING);
        USHORT f = urb->UrbHeader.Function;
        if (f == URB_FUNCTION_SELECT_CONFIGURATION)
            return completeNow(irp, urb, selectConfiguration(port, *urb));
        if (f == URB_FUNCTION_RESET_PIPE || f == URB_FUNCTION_ABORT_PIPE) {
            if (urb->UrbHeader.Length < sizeof(_URB_PIPE_REQUEST))
                return completeNow(irp, urb, USBD_STATUS_INVALID_PARAMETER);
            auto it = port->pipes.find(urb->UrbPipeRequest.PipeHandle);
            if (it == port->pipes.end())
                return completeNow(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE);
            if (f == URB_FUNCTION_ABORT_PIPE) {
                failAll(port, USBD_STATUS_CANCELED, it->second);
            } else {
                port->halted.erase(it->second);
                port->device->clearHalt(it->second);
            }
            return completeNow(irp, urb, USBD_STATUS_SUCCESS);
        }
        if (isControl(f)) {
            auto& v = urb->UrbControlVendorClassRequest;
            if (urb->UrbHeader.Length != sizeof(_URB_CONTROL_VENDOR_OR_CLASS_REQUEST) ||
                v.TransferBufferLength > 0xFFFF || (v.TransferBufferLength && !v.TransferBuffer))
                return completeNow(irp, urb, USBD_STATUS_INVALID_PARAMETER);
            return queue(port, irp, urb, 0);
        }
        if (f == URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER) {
            auto& b = urb->UrbBulkOrInterruptTransfer;
            if (urb->UrbHeader.Length < sizeof(_URB_BULK_OR_INTERRUPT_TRANSFER) ||
                (b.TransferBufferLength && !b.TransferBuffer))
                return completeNow(irp, urb, USBD_STATUS_INVALID_PARAMETER);
            auto it = port->pipes.find(b.PipeHandle);
            if (it == port->pipes.end())
                return completeNow(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE);
            return queue(port, irp, urb, it->second);
        }
        return completeNow(irp, urb, USBD_STATUS_INVALID_URB_FUNCTION);
    }

    static NTSTATUS dispatchInternal(PDEVICE_OBJECT pdo, PIRP irp) {
        Port* port = portOf(pdo);
        PIO_STACK_LOCATION s = IoGetCurrentIrpStackLocation(irp);
        ULONG code = s->Parameters.DeviceIoControl.IoControlCode;
        if (code == IOCTL_INTERNAL_USB_SUBMIT_URB)
            return port->bus->submit(port, irp, static_cast<PURB>(s->Parameters.Others.Argument1));
        NTSTATUS status = STATUS_NOT_SUPPORTED;
        if (code == IOCTL_INTERNAL_USB_RESET_PORT) {
            if (port->gone) {
                status = STATUS_DEVICE_NOT_CONNECTED;
            } else {
                port->device->busReset();
                port->configured = false;
                port->pipes.clear();
                port->halted.clear();
                status = STATUS_SUCCESS;
            }
        } else if (code == IOCTL_INTERNAL_USB_GET_PORT_STATUS) {
            if (auto* st = static_cast<ULONG*>(s->Parameters.Others.Argument1))
                *st = port->gone ? 0 : (USBD_PORT_ENABLED | USBD_PORT_CONNECTED);
            status = STATUS_SUCCESS;
        }
        irp->IoStatus.Status = status;
        irp->IoStatus.Information = 0;
        IofCompleteRequest(irp, IO_NO_INCREMENT);
        return status;
    }

    static NTSTATUS dispatchPnp(PDEVICE_OBJECT pdo, PIRP irp) {
        Port* port = portOf(pdo);
        PIO_STACK_LOCATION s = IoGetCurrentIrpStackLocation(irp);
        NTSTATUS status = irp->IoStatus.Status;
        switch (s->MinorFunction) {
        case IRP_MN_START_DEVICE:
        case IRP_MN_QUERY_REMOVE_DEVICE:
        case IRP_MN_CANCEL_REMOVE_DEVICE:
        case IRP_MN_STOP_DEVICE:
        case IRP_MN_QUERY_STOP_DEVICE:
        case IRP_MN_CANCEL_STOP_DEVICE:
        case IRP_MN_SURPRISE_REMOVAL:
            status = STATUS_SUCCESS;
            break;
        case IRP_MN_QUERY_CAPABILITIES: {
            PDEVICE_CAPABILITIES c = s->Parameters.DeviceCapabilities.Capabilities;
            c->Removable = 1;
            c->Address = static_cast<ULONG>(port->number);
            c->DeviceState[PowerSystemWorking] = PowerDeviceD0;
            for (int i = PowerSystemSleeping1; i < POWER_SYSTEM_MAXIMUM; ++i)
                c->DeviceState[i] = PowerDeviceD3;
            status = STATUS_SUCCESS;
            break;
        }
        case IRP_MN_REMOVE_DEVICE: {
            failAll(port, port->gone ? USBD_STATUS_DEV_NOT_RESPONDING : USBD_STATUS_CANCELED);
            irp->IoStatus.Status = STATUS_SUCCESS;
            IofCompleteRequest(irp, IO_NO_INCREMENT);
            if (port->gone) {
                BusDriver::Impl* bus = port->bus;
                IoDeleteDevice(pdo);
                for (auto it = bus->ports.begin(); it != bus->ports.end(); ++it) {
                    if (it->get() == port) {
                        bus->ports.erase(it);
                        break;
                    }
                }
            }
            return STATUS_SUCCESS;
        }
        default:
            break;
        }
        irp->IoStatus.Status = status;
        IofCompleteRequest(irp, IO_NO_INCREMENT);
        return status;
    }

    static NTSTATUS dispatchPower(PDEVICE_OBJECT, PIRP irp) {
        PIO_STACK_LOCATION s = IoGetCurrentIrpStackLocation(irp);
        NTSTATUS status = irp->IoStatus.Status;
        if (s->MinorFunction == IRP_MN_SET_POWER || s->MinorFunction == IRP_MN_QUERY_POWER)
            status = STATUS_SUCCESS;
        else if (s->MinorFunction == IRP_MN_WAIT_WAKE)
            status = STATUS_NOT_SUPPORTED;
        PoStartNextPowerIrp(irp);
        irp->IoStatus.Status = status;
        IofCompleteRequest(irp, IO_NO_INCREMENT);
        return status;
    }

    static NTSTATUS dispatchKeep(PDEVICE_OBJECT, PIRP irp) {
        NTSTATUS status = irp->IoStatus.Status;
        IofCompleteRequest(irp, IO_NO_INCREMENT);
        return status;
    }

    static NTSTATUS dispatchOpen(PDEVICE_OBJECT, PIRP irp) {
        irp->IoStatus.Status = STATUS_SUCCESS;
        irp->IoStatus.Information = 0;
        IofCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_SUCCESS;
    }

    static NTSTATUS driverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
        driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = dispatchInternal;
        driver->MajorFunction[IRP_MJ_PNP] = dispatchPnp;
        driver->MajorFunction[IRP_MJ_POWER] = dispatchPower;
        driver->MajorFunction[IRP_MJ_SYSTEM_CONTROL] = dispatchKeep;
        driver->MajorFunction[IRP_MJ_CREATE] = dispatchOpen;
        driver->MajorFunction[IRP_MJ_CLOSE] = dispatchOpen;
        driver->MajorFunction[IRP_MJ_CLEANUP] = dispatchOpen;
        return STATUS_SUCCESS;
    }
};

BusDriver::BusDriver(Kernel& kernel) : impl_(std::make_unique<Impl>(kernel)) {
    Kernel::Scope scope(kernel);
    impl_->driver = kernel.loadDriver("usbhub", Impl::driverEntry, nullptr);
    KeInitializeEvent(&impl_->work, SynchronizationEvent, FALSE);
    Impl* impl = impl_.get();
    impl_->thread = kernel.spawnSystemThread("USB completion", [impl] { impl->completionLoop(); });
}

BusDriver::~BusDriver() {
    for (int port : ports())
        unplug(port);
    Kernel::Scope scope(impl_->kernel);
    impl_->stop = true;
    KeSetEvent(&impl_->work, IO_NO_INCREMENT, FALSE);
    impl_->thread->join();
}

int BusDriver::plug(Device& device) {
    int number = 0;
    impl_->kernel.pnp().run([&] {
        device.plugged();
        device.busReset();
        USB_DEVICE_DESCRIPTOR dd{};
        SetupPacket get{kDirIn, kGetDescriptor, kDescDevice << 8, 0, sizeof(dd)};
        TransferResult r =
            device.control(get, std::span<uint8_t>(reinterpret_cast<uint8_t*>(&dd), sizeof(dd)));
        if (r.status != TransferStatus::Ok || r.actual < sizeof(dd)) {
            device.unplugged();
            return;
        }
        number = 1;
        while (impl_->find(number))
            ++number;
        auto port = std::make_unique<Port>();
        port->bus = impl_.get();
        port->number = number;
        port->device = &device;
        std::u16string name = u"\\Device\\USBPDO-";
        for (char c : std::to_string(impl_->pdoCounter++))
            name += static_cast<char16_t>(c);
        UNICODE_STRING us{static_cast<USHORT>(name.size() * 2),
                          static_cast<USHORT>(name.size() * 2), name.data()};
        PDEVICE_OBJECT pdo = nullptr;
        if (!NT_SUCCESS(IoCreateDevice(impl_->driver, sizeof(PdoExtension), &us,
                                       FILE_DEVICE_UNKNOWN, 0, FALSE, &pdo))) {
            number = 0;
            return;
        }
        static_cast<PdoExtension*>(pdo->DeviceExtension)->port = port.get();
        pdo->Flags &= ~DO_DEVICE_INITIALIZING;
        pdo->Flags |= DO_POWER_PAGABLE;
        port->pdo = pdo;
        Port* p = port.get();
        impl_->ports.push_back(std::move(port));
        p->node = impl_->kernel.pnp().deviceArrived(pdo, dd.idVendor, dd.idProduct);
    });
    return number;
}

void BusDriver::unplug(int number) {
    impl_->kernel.pnp().run([&] {
        Port* port = impl_->find(number);
        if (!port || port->gone) return;
        port->gone = true;
        Impl::failAll(port, USBD_STATUS_DEV_NOT_RESPONDING);
        port->device->unplugged();
        impl_->kernel.pnp().deviceGone(port->node);
    });
}

std::vector<int> BusDriver::ports() const {
    std::vector<int> r;
    for (auto& p : impl_->ports)
        if (!p->gone) r.push_back(p->number);
    return r;
}

DeviceNode* BusDriver::node(int port) const {
    Port* p = impl_->find(port);
    return p ? p->node : nullptr;
}

PDEVICE_OBJECT BusDriver::pdo(int port) const {
    Port* p = impl_->find(port);
    return p ? p->pdo : nullptr;
}

size_t BusDriver::pendingTransfers(int port) const {
    Port* p = impl_->find(port);
    if (!p) return 0;
    size_t n = 0;
    for (auto& [ep, q] : p->queues)
        n += q.size();
    return n;
}

} // namespace usb
