// Processes: starting programs, ending, exit codes.
#pragma once

#include "platform/win32/types.h"

namespace win32 {

constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD PROCESS_TERMINATE = 0x0001;
constexpr DWORD PROCESS_QUERY_INFORMATION = 0x0400;
constexpr DWORD PROCESS_ALL_ACCESS = 0x001F0FFF;

constexpr UINT SW_HIDE = 0;
constexpr UINT SW_SHOWNORMAL = 1;
constexpr UINT SW_NORMAL = 1;
constexpr UINT SW_SHOWMINIMIZED = 2;
constexpr UINT SW_SHOWMAXIMIZED = 3;
constexpr UINT SW_MAXIMIZE = 3;
constexpr UINT SW_SHOWNOACTIVATE = 4;
constexpr UINT SW_SHOW = 5;
constexpr UINT SW_MINIMIZE = 6;
constexpr UINT SW_SHOWMINNOACTIVE = 7;
constexpr UINT SW_SHOWNA = 8;
constexpr UINT SW_RESTORE = 9;
constexpr UINT SW_SHOWDEFAULT = 10;

// Starts the program named first on the command line (searched in the
// Windows folder, then the system folder). Greater than 31 on success,
// otherwise ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND or ERROR_BAD_FORMAT.
UINT WinExec(LPCSTR lpCmdLine, UINT uCmdShow);

[[noreturn]] void ExitProcess(UINT uExitCode);
BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);
BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode);
HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId);
// A pseudo handle of the calling process; CloseHandle on it does nothing.
HANDLE GetCurrentProcess();
DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();
// lpModuleName null: the instance handle of the calling process's program.
HMODULE GetModuleHandleA(LPCSTR lpModuleName);
DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);

} // namespace win32
