#include "drivers/filter/filter.h"

namespace kv7946 {

NTSTATUS DispatchCreate(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    IoIncrement(DeviceObject);
    NTSTATUS status = Extension(DeviceObject)->Accepting ? STATUS_SUCCESS : STATUS_DELETE_PENDING;
    Irp->IoStatus.Status = status;
    Irp->IoStatus.Information = 0;
    IofCompleteRequest(Irp, IO_NO_INCREMENT);
    IoDecrement(DeviceObject);
    return status;
}

NTSTATUS DispatchClose(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    IoIncrement(DeviceObject);
    Irp->IoStatus.Status = STATUS_SUCCESS;
    Irp->IoStatus.Information = 0;
    IofCompleteRequest(Irp, IO_NO_INCREMENT);
    IoDecrement(DeviceObject);
    return STATUS_SUCCESS;
}

} // namespace kv7946
