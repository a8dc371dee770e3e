#include "platform/win32/process.h"

#include "platform/win32/machine_impl.h"

namespace win32 {

UINT WinExec(LPCSTR lpCmdLine, UINT) {
    ThreadCtx* t = currentThread();
    if (!t) return ERROR_FILE_NOT_FOUND;
    if (!lpCmdLine) return ERROR_INVALID_PARAMETER;
    std::string line = lpCmdLine;
    std::string program;
    if (!line.empty() && line[0] == '"') {
        auto close = line.find('"', 1);
        program = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else {
        program = line.substr(0, line.find(' '));
    }
    if (program.empty()) return ERROR_FILE_NOT_FOUND;
    auto& m = *t->machine;
    std::string found = m.findProgram(program);
    if (found.empty()) {
        bool hasFolder = program.find('\\') != std::string::npos;
        return hasFolder && !m.files.exists(program.substr(0, program.find_last_of('\\')))
                   ? ERROR_PATH_NOT_FOUND
                   : ERROR_FILE_NOT_FOUND;
    }
    if (!m.self.startProgram(found)) return ERROR_BAD_FORMAT;
    return 33;
}

void ExitProcess(UINT uExitCode) {
    ThreadCtx* t = currentThread();
    if (t) {
        std::lock_guard g(t->machine->lock);
        if (!t->process->pendingExit) t->process->pendingExit = uExitCode;
    }
    throw vt::ThreadTerminated{};
}

BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    auto object = lookupAs<ProcessObject>(hProcess);
    if (!object || !lpExitCode) {
        setLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpExitCode = object->process->exitCode().value_or(STILL_ACTIVE);
    return TRUE;
}

BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode) {
    auto object = lookupAs<ProcessObject>(hProcess);
    if (!object) {
        setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!object->process->running()) {
        setLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    object->process->terminate(uExitCode);
    return TRUE;
}

HANDLE OpenProcess(DWORD, BOOL, DWORD dwProcessId) {
    ThreadCtx* t = currentThread();
    if (!t) return nullptr;
    auto& m = *t->machine;
    std::shared_ptr<ProcessRec> found;
    {
        std::lock_guard g(m.lock);
        for (auto& p : m.processes)
            if (p->id() == dwProcessId) found = p;
    }
    if (!found) {
        t->lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    return m.addHandle(*t->process, std::make_shared<ProcessObject>(found));
}

HANDLE GetCurrentProcess() {
    return INVALID_HANDLE_VALUE;
}

DWORD GetCurrentProcessId() {
    ThreadCtx* t = currentThread();
    return t ? t->process->id() : 0;
}

DWORD GetCurrentThreadId() {
    ThreadCtx* t = currentThread();
    return t ? t->id : 0;
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
    if (lpModuleName) {
        setLastError(126); // ERROR_MOD_NOT_FOUND: no modules besides the program
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(uintptr_t{0x400000});
}

DWORD GetModuleFileNameA(HMODULE, LPSTR lpFilename, DWORD nSize) {
    ThreadCtx* t = currentThread();
    if (!t || !lpFilename || nSize == 0) return 0;
    std::string path = t->process->imagePath.empty() ? t->process->name() : t->process->imagePath;
    DWORD n = static_cast<DWORD>(std::min<size_t>(path.size(), nSize - 1));
    path.copy(lpFilename, n);
    lpFilename[n] = 0;
    if (n < path.size()) {
        t->lastError = ERROR_INSUFFICIENT_BUFFER;
        return nSize;
    }
    return n;
}

} // namespace win32
