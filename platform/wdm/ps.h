// System threads.
#pragma once

#include "platform/wdm/ke.h"

namespace wdm {

using PKSTART_ROUTINE = void (*)(PVOID StartContext);
struct OBJECT_ATTRIBUTES;
struct CLIENT_ID;
using POBJECT_ATTRIBUTES = OBJECT_ATTRIBUTES*;
using PCLIENT_ID = CLIENT_ID*;
constexpr ACCESS_MASK THREAD_ALL_ACCESS = 0x001F03FF;

NTSTATUS PsCreateSystemThread(PHANDLE ThreadHandle, ULONG DesiredAccess,
                              POBJECT_ATTRIBUTES ObjectAttributes, HANDLE ProcessHandle,
                              PCLIENT_ID ClientId, PKSTART_ROUTINE StartRoutine,
                              PVOID StartContext);
[[noreturn]] NTSTATUS PsTerminateSystemThread(NTSTATUS ExitStatus);
// Gives the thread object behind a handle (a reference the caller drops
// with ObDereferenceObject).
NTSTATUS ObReferenceObjectByHandle(HANDLE Handle, ACCESS_MASK DesiredAccess, PVOID ObjectType,
                                   KPROCESSOR_MODE AccessMode, PVOID* Object, PVOID HandleInfo);
NTSTATUS ZwClose(HANDLE Handle);

} // namespace wdm
