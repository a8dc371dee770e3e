#include "platform/wdm/pnp_manager.h"

#include "platform/wdm/io_manager.h"
#include "platform/wdm/kernel_impl.h"

namespace wdm {

PnpManager::~PnpManager() = default;

void PnpManager::install(USHORT vendor, USHORT product, DriverInstallation driver) {
    for (const Entry& e : table_)
        if (e.vendor == vendor && e.product == product && e.driver.service == driver.service)
            return;
    table_.push_back({vendor, product, std::move(driver)});
}

bool PnpManager::installed(USHORT vendor, USHORT product) const {
    for (const Entry& e : table_)
        if (e.vendor == vendor && e.product == product) return true;
    return false;
}

void PnpManager::run(const std::function<void()>& fn) {
    auto t = kernel_.spawnSystemThread("PnP manager", fn);
    t->join();
}

PDEVICE_OBJECT PnpManager::top(DeviceNode* node) const {
    Kernel::Scope scope(kernel_);
    return IoGetAttachedDeviceReference(node->pdo);
}

std::vector<DeviceNode*> PnpManager::nodes() const {
    std::vector<DeviceNode*> r;
    for (auto& n : nodes_)
        if (!n->gone) r.push_back(n.get());
    return r;
}

NTSTATUS PnpManager::buildStack(DeviceNode* node) {
    bool any = false;
    for (const Entry& e : table_) {
        if (e.vendor != node->vendor || e.product != node->product) continue;
        NTSTATUS status;
        PDRIVER_OBJECT driver = kernel_.loadDriver(e.driver.service, e.driver.entry, &status);
        if (!driver) {
            node->problem = status;
            return status;
        }
        if (!driver->DriverExtension->AddDevice) continue;
        status = driver->DriverExtension->AddDevice(driver, node->pdo);
        if (!NT_SUCCESS(status)) {
            node->problem = status;
            if (any) {
                sendPnpHere(node, IRP_MN_REMOVE_DEVICE, nullptr);
            }
            return status;
        }
        any = true;
    }
    node->stack = any;
    if (!any) return STATUS_SUCCESS;
    NTSTATUS status = sendPnpHere(node, IRP_MN_START_DEVICE, nullptr);
    node->started = NT_SUCCESS(status);
    node->problem = status;
    if (!NT_SUCCESS(status)) {
        sendPnpHere(node, IRP_MN_REMOVE_DEVICE, nullptr);
        node->stack = false;
    }
    return status;
}

DeviceNode* PnpManager::deviceArrived(PDEVICE_OBJECT pdo, USHORT vendor, USHORT product) {
    auto n = std::make_unique<DeviceNode>();
    n->id = nextId_++;
    n->pdo = pdo;
    n->vendor = vendor;
    n->product = product;
    DeviceNode* node = n.get();
    nodes_.push_back(std::move(n));
    buildStack(node);
    return node;
}

void PnpManager::deviceGone(DeviceNode* node) {
    if (node->stack) {
        sendPnpHere(node, IRP_MN_SURPRISE_REMOVAL, nullptr);
        sendPnpHere(node, IRP_MN_REMOVE_DEVICE, nullptr);
    } else {
        // The bus's own device object still hears that it is removed.
        sendPnpHere(node, IRP_MN_REMOVE_DEVICE, nullptr);
    }
    node->stack = false;
    node->started = false;
    node->gone = true;
}

NTSTATUS PnpManager::restart(DeviceNode* node) {
    NTSTATUS status = STATUS_SUCCESS;
    run([&] { status = buildStack(node); });
    return status;
}

NTSTATUS PnpManager::sendPnpHere(DeviceNode* node, UCHAR minor, DEVICE_CAPABILITIES* caps) {
    PDEVICE_OBJECT target = IoGetAttachedDeviceReference(node->pdo);
    PIRP irp = allocateManagerIrp(kernel_, target->StackSize);
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    PIO_STACK_LOCATION s = IoGetNextIrpStackLocation(irp);
    s->MajorFunction = IRP_MJ_PNP;
    s->MinorFunction = minor;
    DEVICE_CAPABILITIES local{};
    if (minor == IRP_MN_QUERY_CAPABILITIES) {
        DEVICE_CAPABILITIES* c = caps ? caps : &local;
        *c = DEVICE_CAPABILITIES{};
        c->Size = sizeof(DEVICE_CAPABILITIES);
        c->Version = 1;
        c->Address = 0xFFFFFFFF;
        c->UINumber = 0xFFFFFFFF;
        s->Parameters.DeviceCapabilities.Capabilities = c;
    }
    NTSTATUS status = sendAndWait(kernel_, target, irp);
    freeManagerIrp(irp);
    if (minor == IRP_MN_REMOVE_DEVICE) node->stack = false;
    return status;
}

NTSTATUS PnpManager::sendPnp(DeviceNode* node, UCHAR minor, DEVICE_CAPABILITIES* caps) {
    NTSTATUS status = STATUS_SUCCESS;
    run([&] { status = sendPnpHere(node, minor, caps); });
    return status;
}

NTSTATUS PnpManager::sendPower(DeviceNode* node, UCHAR minor, POWER_STATE_TYPE type,
                               POWER_STATE state) {
    NTSTATUS status = STATUS_SUCCESS;
    run([&] {
        PDEVICE_OBJECT target = IoGetAttachedDeviceReference(node->pdo);
        int depth = target->StackSize;
        PIRP irp = allocateManagerIrp(kernel_, target->StackSize);
        irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
        PIO_STACK_LOCATION s = IoGetNextIrpStackLocation(irp);
        s->MajorFunction = IRP_MJ_POWER;
        s->MinorFunction = minor;
        if (minor == IRP_MN_WAIT_WAKE) {
            s->Parameters.WaitWake.PowerState = PowerSystemWorking;
        } else {
            s->Parameters.Power.Type = type;
            s->Parameters.Power.State = state;
            if (type == SystemPowerState)
                s->Parameters.Power.ShutdownType =
                    state.SystemState == PowerSystemWorking ? PowerActionNone : PowerActionSleep;
        }
        status = sendAndWait(kernel_, target, irp);
        if (minor != IRP_MN_WAIT_WAKE && !irp->State->freeOnFinal &&
            irp->State->startNextPowerCalls < depth)
            kernel_.verifier().report(
                "power IRP completed without PoStartNextPowerIrp in every driver");
        freeManagerIrp(irp);
    });
    return status;
}

NTSTATUS PnpManager::setSystemPower(DeviceNode* node, SYSTEM_POWER_STATE state) {
    POWER_STATE p;
    p.SystemState = state;
    return sendPower(node, IRP_MN_SET_POWER, SystemPowerState, p);
}

NTSTATUS PnpManager::setDevicePower(DeviceNode* node, DEVICE_POWER_STATE state) {
    POWER_STATE p;
    p.DeviceState = state;
    return sendPower(node, IRP_MN_SET_POWER, DevicePowerState, p);
}

NTSTATUS PnpManager::sendWmi(DeviceNode* node, UCHAR minor) {
    NTSTATUS status = STATUS_SUCCESS;
    run([&] {
        PDEVICE_OBJECT target = IoGetAttachedDeviceReference(node->pdo);
        PIRP irp = allocateManagerIrp(kernel_, target->StackSize);
        irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
        PIO_STACK_LOCATION s = IoGetNextIrpStackLocation(irp);
        s->MajorFunction = IRP_MJ_SYSTEM_CONTROL;
        s->MinorFunction = minor;
        status = sendAndWait(kernel_, target, irp);
        freeManagerIrp(irp);
    });
    return status;
}

} // namespace wdm
