// Handles, the calling thread's last error, named kernel objects and waits.
#pragma once

#include "platform/win32/types.h"

namespace win32 {

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_ABANDONED_0 = 0x80;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

constexpr DWORD DELETE = 0x00010000;
constexpr DWORD SYNCHRONIZE = 0x00100000;
constexpr DWORD STANDARD_RIGHTS_REQUIRED = 0x000F0000;
constexpr DWORD MUTEX_ALL_ACCESS = 0x001F0001;
constexpr DWORD MUTEX_MODIFY_STATE = 0x0001;
constexpr DWORD EVENT_ALL_ACCESS = 0x001F0003;
constexpr DWORD EVENT_MODIFY_STATE = 0x0002;

BOOL CloseHandle(HANDLE hObject);

DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName);
HANDLE OpenMutexA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName);
BOOL ReleaseMutex(HANDLE hMutex);

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    LPCSTR lpName);
HANDLE OpenEventA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds);

void Sleep(DWORD dwMilliseconds);
// Milliseconds of virtual time since the clock started.
DWORD GetTickCount();

} // namespace win32
