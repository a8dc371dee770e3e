#include "platform/wdm/io_manager.h"

#include "platform/wdm/kernel_impl.h"
#include "platform/wdm/status_map.h"

#include <cstdlib>
#include <cstring>

namespace wdm {

namespace {

constexpr ACCESS_MASK GENERIC_READ = 0x80000000;
constexpr ACCESS_MASK GENERIC_WRITE = 0x40000000;
constexpr ACCESS_MASK GENERIC_ALL = 0x10000000;
constexpr ACCESS_MASK FILE_READ_DATA = 0x0001;
constexpr ACCESS_MASK FILE_WRITE_DATA = 0x0002;
constexpr ACCESS_MASK FILE_APPEND_DATA = 0x0004;
constexpr ULONG FILE_SHARE_READ = 1;
constexpr ULONG FILE_SHARE_WRITE = 2;

bool reads(ACCESS_MASK a) {
    return a & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA);
}
bool writes(ACCESS_MASK a) {
    return a & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA);
}

// Opens without read or write access take no part in sharing.
bool compatible(const DeviceState::Open& o, ACCESS_MASK access, ULONG share) {
    if (!reads(access) && !writes(access)) return true;
    if (!reads(o.access) && !writes(o.access)) return true;
    if (reads(access) && !(o.share & FILE_SHARE_READ)) return false;
    if (writes(access) && !(o.share & FILE_SHARE_WRITE)) return false;
    if (reads(o.access) && !(share & FILE_SHARE_READ)) return false;
    if (writes(o.access) && !(share & FILE_SHARE_WRITE)) return false;
    return true;
}

class OpenFile : public win32::DeviceFile {
  public:
    FILE_OBJECT file{};
    PDEVICE_OBJECT target = nullptr;
    bool closed = false;
};

// Runs the calling thread inside the kernel for one request.
class Entry {
  public:
    explicit Entry(Kernel& k) : saved_(currentContext()) {
        ctx_.kernel = &k;
        ctx_.thread = saved_ && saved_->thread ? saved_->thread : &thread_;
        setCurrentContext(&ctx_);
    }
    ~Entry() { setCurrentContext(saved_); }

  private:
    ThreadContext ctx_;
    ThreadContext* saved_;
    KTHREAD thread_{};
};

} // namespace

NTSTATUS sendAndWait(Kernel& kernel, PDEVICE_OBJECT target, PIRP irp) {
    NTSTATUS returned = IofCallDriver(target, irp);
    if (returned != STATUS_PENDING && !irp->State->completedToTop) {
        kernel.verifier().report("dispatch routine returned " + std::to_string(returned) +
                                 " without completing the IRP");
        // Nobody will wait for it: it goes when it is completed.
        irp->State->freeOnFinal = true;
        return returned;
    }
    waitManagerIrp(irp);
    bool pending = irp->PendingReturned != 0;
    if (returned == STATUS_PENDING && !pending)
        kernel.verifier().report("STATUS_PENDING returned without IoMarkIrpPending");
    if (returned != STATUS_PENDING && pending)
        kernel.verifier().report("IoMarkIrpPending but the dispatch routine did not return "
                                 "STATUS_PENDING");
    if (returned != STATUS_PENDING && returned != irp->IoStatus.Status)
        kernel.verifier().report("dispatch routine returned a status other than the IRP's");
    return irp->IoStatus.Status;
}

std::shared_ptr<win32::DeviceFile> IoManager::open(const std::string& name,
                                                   win32::DWORD desiredAccess,
                                                   win32::DWORD shareMode, win32::DWORD* error) {
    Entry entry(kernel_);
    std::u16string link = u"\\DosDevices\\";
    for (char c : name)
        link += static_cast<char16_t>(static_cast<unsigned char>(c));
    PDEVICE_OBJECT device = kernel_.resolveLink(link);
    if (!device || device->State->deleted) {
        lastStatus_ = STATUS_OBJECT_NAME_NOT_FOUND;
        *error = win32::ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    PDEVICE_OBJECT target = IoGetAttachedDeviceReference(device);
    DeviceState* st = target->State;
    for (const auto& o : st->opens) {
        if ((target->Flags & DO_EXCLUSIVE) || !compatible(o, desiredAccess, shareMode)) {
            lastStatus_ = STATUS_SHARING_VIOLATION;
            *error = win32::ERROR_SHARING_VIOLATION;
            return nullptr;
        }
    }
    auto file = std::make_shared<OpenFile>();
    file->file.Type = 5;
    file->file.Size = sizeof(FILE_OBJECT);
    file->file.DeviceObject = target;
    file->file.DesiredAccess = desiredAccess;
    file->file.ShareAccess = shareMode;
    file->target = target;

    PIRP irp = allocateManagerIrp(kernel_, target->StackSize);
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->RequestorMode = UserMode;
    irp->Tail.Overlay.OriginalFileObject = &file->file;
    PIO_STACK_LOCATION s = IoGetNextIrpStackLocation(irp);
    s->MajorFunction = IRP_MJ_CREATE;
    s->Parameters.Create.DesiredAccess = desiredAccess;
    s->Parameters.Create.ShareAccess = static_cast<USHORT>(shareMode);
    s->FileObject = &file->file;
    st->references++; // held while the create is in the driver
    NTSTATUS status = sendAndWait(kernel_, target, irp);
    freeManagerIrp(irp);
    lastStatus_ = status;
    if (!NT_SUCCESS(status)) {
        st->references--;
        releaseDeviceIfUnused(target);
        *error = win32ErrorFromNtStatus(status);
        return nullptr;
    }
    st->opens.push_back({&file->file, desiredAccess, shareMode});
    *error = win32::ERROR_SUCCESS;
    return file;
}

bool IoManager::ioControl(win32::DeviceFile& f, win32::DWORD code, const void* in,
                          win32::DWORD inLength, void* out, win32::DWORD outLength,
                          win32::DWORD* returned, win32::DWORD* error) {
    Entry entry(kernel_);
    auto& file = static_cast<OpenFile&>(f);
    *returned = 0;
    if (file.closed) {
        *error = win32::ERROR_INVALID_HANDLE;
        return false;
    }
    PDEVICE_OBJECT target = file.target;
    PIRP irp = allocateManagerIrp(kernel_, target->StackSize);
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->RequestorMode = UserMode;
    irp->Tail.Overlay.OriginalFileObject = &file.file;
    PIO_STACK_LOCATION s = IoGetNextIrpStackLocation(irp);
    s->MajorFunction = IRP_MJ_DEVICE_CONTROL;
    s->FileObject = &file.file;
    s->Parameters.DeviceIoControl.IoControlCode = code;
    s->Parameters.DeviceIoControl.InputBufferLength = inLength;
    s->Parameters.DeviceIoControl.OutputBufferLength = outLength;
    bool buffered = METHOD_FROM_CTL_CODE(code) == METHOD_BUFFERED;
    void* system = nullptr;
    if (buffered) {
        win32::DWORD n = inLength > outLength ? inLength : outLength;
        if (n) {
            system = std::malloc(n);
            std::memset(system, 0, n);
            if (in && inLength) std::memcpy(system, in, inLength);
        }
        irp->AssociatedIrp.SystemBuffer = system;
    } else {
        s->Parameters.DeviceIoControl.Type3InputBuffer = const_cast<void*>(in);
        irp->UserBuffer = out;
    }
    NTSTATUS status = sendAndWait(kernel_, target, irp);
    lastStatus_ = status;
    ULONG_PTR info = 0;
    if (irp->State->freeOnFinal) {
        irp->State->ownSystemBuffer = system != nullptr; // the driver may still use it
        system = nullptr;
        status = NT_SUCCESS(status) ? STATUS_UNSUCCESSFUL : status;
    } else {
        info = irp->IoStatus.Information;
    }
    freeManagerIrp(irp);
    if (NT_ERROR(status)) {
        std::free(system);
        *error = win32ErrorFromNtStatus(status);
        return false;
    }
    if (info > outLength) {
        kernel_.verifier().report("IRP Information larger than the caller's output buffer");
        info = outLength;
    }
    if (buffered && info && out) std::memcpy(out, system, info);
    std::free(system);
    *returned = static_cast<win32::DWORD>(info);
    if (NT_WARNING(status)) {
        *error = win32ErrorFromNtStatus(status);
        return false;
    }
    *error = win32::ERROR_SUCCESS;
    return true;
}

void IoManager::close(win32::DeviceFile& f) {
    Entry entry(kernel_);
    auto& file = static_cast<OpenFile&>(f);
    if (file.closed) return;
    file.closed = true;
    PDEVICE_OBJECT target = file.target;
    for (UCHAR major : {IRP_MJ_CLEANUP, IRP_MJ_CLOSE}) {
        PIRP irp = allocateManagerIrp(kernel_, target->StackSize);
        irp->IoStatus.Status = STATUS_SUCCESS;
        irp->Tail.Overlay.OriginalFileObject = &file.file;
        PIO_STACK_LOCATION s = IoGetNextIrpStackLocation(irp);
        s->MajorFunction = major;
        s->FileObject = &file.file;
        sendAndWait(kernel_, target, irp);
        freeManagerIrp(irp);
    }
    DeviceState* st = target->State;
    for (auto it = st->opens.begin(); it != st->opens.end(); ++it) {
        if (it->file == &file.file) {
            st->opens.erase(it);
            break;
        }
    }
    st->references--;
    releaseDeviceIfUnused(target);
}

} // namespace wdm
