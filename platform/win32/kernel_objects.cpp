#include "platform/win32/kernel_objects.h"

#include "platform/win32/machine_impl.h"

namespace win32 {

namespace {

std::optional<vt::Duration> timeoutOf(DWORD ms) {
    if (ms == INFINITE) return std::nullopt;
    return std::chrono::milliseconds(ms);
}

// Creates or opens a named object. For an existing name of the same kind
// the existing object is returned with ERROR_ALREADY_EXISTS; a name held by
// another kind gives ERROR_INVALID_HANDLE.
template <typename T, typename Make> HANDLE createNamed(LPCSTR lpName, Make make) {
    ThreadCtx* t = currentThread();
    if (!t) return nullptr;
    auto& m = *t->machine;
    std::lock_guard g(m.lock);
    if (lpName && *lpName) {
        auto it = m.names.find(lpName);
        if (it != m.names.end()) {
            if (auto existing = it->second.lock()) {
                if (!std::dynamic_pointer_cast<T>(existing)) {
                    t->lastError = ERROR_INVALID_HANDLE;
                    return nullptr;
                }
                HANDLE h = m.addHandle(*t->process, existing);
                t->lastError = ERROR_ALREADY_EXISTS;
                return h;
            }
        }
    }
    std::shared_ptr<T> object = make(m);
    if (lpName && *lpName) {
        object->name = lpName;
        m.names[lpName] = object;
    }
    HANDLE h = m.addHandle(*t->process, object);
    t->lastError = ERROR_SUCCESS;
    return h;
}

template <typename T> HANDLE openNamed(LPCSTR lpName) {
    ThreadCtx* t = currentThread();
    if (!t) return nullptr;
    auto& m = *t->machine;
    std::lock_guard g(m.lock);
    if (!lpName || !*lpName) {
        t->lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    auto it = m.names.find(lpName);
    if (it == m.names.end()) {
        t->lastError = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    auto existing = it->second.lock();
    if (!existing) {
        t->lastError = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    if (!std::dynamic_pointer_cast<T>(existing)) {
        t->lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    return m.addHandle(*t->process, existing);
}

DWORD waitResult(int index, bool abandoned) {
    if (index < 0) return WAIT_TIMEOUT;
    return (abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + static_cast<DWORD>(index);
}

} // namespace

BOOL CloseHandle(HANDLE hObject) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    if (hObject == INVALID_HANDLE_VALUE) return TRUE; // the process pseudo handle
    auto& m = *t->machine;
    bool found;
    {
        std::lock_guard g(m.lock);
        auto it = t->process->handles.find(handleValue(hObject));
        found = it != t->process->handles.end() &&
                !std::dynamic_pointer_cast<IconObject>(it->second); // DestroyIcon's
    }
    if (!found) {
        t->lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    m.finalClose(m.detachHandle(*t->process, handleValue(hObject)));
    return TRUE;
}

DWORD GetLastError() {
    ThreadCtx* t = currentThread();
    return t ? t->lastError : ERROR_SUCCESS;
}

void SetLastError(DWORD dwErrCode) {
    setLastError(dwErrCode);
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName) {
    return createNamed<MutexObject>(lpName, [&](Machine::Impl& m) {
        return std::make_shared<MutexObject>(m.clock, bInitialOwner != FALSE);
    });
}

HANDLE OpenMutexA(DWORD, BOOL, LPCSTR lpName) {
    return openNamed<MutexObject>(lpName);
}

BOOL ReleaseMutex(HANDLE hMutex) {
    auto mutex = lookupAs<MutexObject>(hMutex);
    if (!mutex) {
        setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!mutex->mutex.release()) {
        setLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
    return createNamed<EventObject>(lpName, [&](Machine::Impl& m) {
        return std::make_shared<EventObject>(m.clock, bManualReset != FALSE,
                                             bInitialState != FALSE);
    });
}

HANDLE OpenEventA(DWORD, BOOL, LPCSTR lpName) {
    return openNamed<EventObject>(lpName);
}

BOOL SetEvent(HANDLE hEvent) {
    auto event = lookupAs<EventObject>(hEvent);
    if (!event) {
        setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->event.set();
    return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
    auto event = lookupAs<EventObject>(hEvent);
    if (!event) {
        setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->event.reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds) {
    ThreadCtx* t = currentThread();
    if (!t) return WAIT_FAILED;
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles) {
        t->lastError = ERROR_INVALID_PARAMETER;
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<Object>> objects; // kept alive while waiting
    std::vector<vt::Waitable*> waitables;
    for (DWORD i = 0; i < nCount; ++i) {
        auto object = lookupHandle(lpHandles[i]);
        vt::Waitable* w = object ? object->waitable() : nullptr;
        if (!w) {
            t->lastError = ERROR_INVALID_HANDLE;
            return WAIT_FAILED;
        }
        objects.push_back(object);
        waitables.push_back(w);
    }
    auto& clock = t->machine->clock;
    if (!bWaitAll) {
        bool abandoned = false;
        int index = clock.waitAny(waitables, timeoutOf(dwMilliseconds), &abandoned);
        return waitResult(index, abandoned);
    }
    // Wait for all: take the objects one after the other within the time-out.
    auto deadline = clock.now() + timeoutOf(dwMilliseconds).value_or(vt::Duration::zero());
    bool anyAbandoned = false;
    for (auto* w : waitables) {
        std::optional<vt::Duration> left;
        if (dwMilliseconds != INFINITE) left = std::max(deadline - clock.now(), vt::Duration{0});
        bool abandoned = false;
        if (clock.waitAny({w}, left, &abandoned) < 0) return WAIT_TIMEOUT;
        anyAbandoned = anyAbandoned || abandoned;
    }
    return anyAbandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
}

void Sleep(DWORD dwMilliseconds) {
    vt::Clock* clock = vt::Clock::current();
    if (!clock) return;
    if (dwMilliseconds == INFINITE) {
        vt::Event never(*clock, true, false);
        never.wait();
        return;
    }
    clock->sleep(std::chrono::milliseconds(dwMilliseconds));
}

DWORD GetTickCount() {
    ThreadCtx* t = currentThread();
    vt::Clock* clock = t ? &t->machine->clock : vt::Clock::current();
    if (!clock) return 0;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock->now()).count();
    return static_cast<DWORD>(ms);
}

} // namespace win32
