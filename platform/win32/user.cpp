#include "platform/win32/user.h"

#include "platform/win32/kernel_objects.h"
#include "platform/win32/machine_impl.h"

#include <algorithm>
#include <cstring>

namespace win32 {

namespace {

constexpr DWORD ERROR_INVALID_INDEX = 1413;
constexpr DWORD ERROR_INVALID_THREAD_ID = 1444;
constexpr uintptr_t kBroadcast = 0xFFFF;

bool sameName(const char* a, const std::string& b) {
    return a && lowerCase(a) == lowerCase(b);
}

MSG makeMessage(Machine::Impl& m, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    MSG message{};
    message.hwnd = hwnd;
    message.message = msg;
    message.wParam = wParam;
    message.lParam = lParam;
    message.time = static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(m.clock.now()).count());
    message.pt = m.cursor;
    return message;
}

void postToThread(ThreadCtx& thread, const MSG& message) {
    thread.posted.push_back(message);
    thread.wake.set();
}

// Runs the messages other threads sent to this one.
void handleSent(Machine::Impl& m, ThreadCtx& self) {
    for (;;) {
        std::shared_ptr<SentMessage> sent;
        WNDPROC proc = nullptr;
        {
            std::lock_guard g(m.lock);
            if (self.sent.empty()) return;
            sent = self.sent.front();
            self.sent.pop_front();
            if (Window* w = findWindow(m, sent->hwnd)) proc = w->proc;
        }
        sent->result = proc ? proc(sent->hwnd, sent->message, sent->wParam, sent->lParam) : 0;
        sent->done.set();
    }
}

bool matches(const MSG& msg, HWND filter, UINT min, UINT max) {
    if (filter == reinterpret_cast<HWND>(static_cast<intptr_t>(-1))) {
        if (msg.hwnd) return false;
    } else if (filter && msg.hwnd != filter) {
        return false;
    }
    if (min == 0 && max == 0) return true;
    return msg.message >= min && msg.message <= max;
}

// Takes (or looks at) the first matching message. 1: a message, 0: WM_QUIT,
// -1: nothing.
int takeMessage(Machine::Impl& m, ThreadCtx& self, LPMSG out, HWND filter, UINT min, UINT max,
                bool remove) {
    std::lock_guard g(m.lock);
    for (auto it = self.posted.begin(); it != self.posted.end(); ++it) {
        if (!matches(*it, filter, min, max)) continue;
        *out = *it;
        if (remove) {
            self.posted.erase(it);
            if (out->message == WM_TIMER) timerTaken(m, *out);
        }
        return out->message == WM_QUIT ? 0 : 1;
    }
    if (self.quit) {
        *out = makeMessage(m, nullptr, WM_QUIT, static_cast<WPARAM>(self.quitCode), 0);
        if (remove) self.quit = false;
        return 0;
    }
    return -1;
}

bool validFilter(Machine::Impl& m, HWND filter) {
    if (!filter || filter == reinterpret_cast<HWND>(static_cast<intptr_t>(-1))) return true;
    std::lock_guard g(m.lock);
    return findWindow(m, filter) != nullptr;
}

void destroyNow(Machine::Impl& m, uintptr_t value) {
    m.windows.erase(value);
    m.windowOrder.erase(std::remove(m.windowOrder.begin(), m.windowOrder.end(), value),
                        m.windowOrder.end());
    if (m.foreground == value) m.foreground = 0;
}

} // namespace

Window* findWindow(Machine::Impl& m, HWND hwnd) {
    auto it = m.windows.find(handleValue(hwnd));
    return it == m.windows.end() ? nullptr : &it->second;
}

// A window of the calling thread's machine; sets the error when there is none.
// The machine's lock is held by the caller.
static Window* windowOrError(ThreadCtx* t, HWND hWnd) {
    Window* w = findWindow(*t->machine, hWnd);
    if (!w) t->lastError = ERROR_INVALID_WINDOW_HANDLE;
    return w;
}

bool postMessage(Machine::Impl& m, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::lock_guard g(m.lock);
    if (handleValue(hwnd) == kBroadcast) {
        for (uintptr_t value : m.windowOrder) {
            Window& w = m.windows[value];
            if (!w.parent) postToThread(*w.thread, makeMessage(m, w.hwnd, msg, wParam, lParam));
        }
        return true;
    }
    Window* w = findWindow(m, hwnd);
    if (!w) return false;
    postToThread(*w->thread, makeMessage(m, hwnd, msg, wParam, lParam));
    return true;
}

LRESULT sendMessage(Machine::Impl& m, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ThreadCtx* self = currentThread();
    std::shared_ptr<SentMessage> sent;
    std::shared_ptr<ThreadCtx> target;
    WNDPROC proc;
    {
        std::lock_guard g(m.lock);
        Window* w = findWindow(m, hwnd);
        if (!w) {
            setLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        proc = w->proc;
        target = w->thread;
        if (target.get() != self) {
            if (vt::Clock::current() != &m.clock) {
                // Not a simulated thread: it cannot wait, so the message is posted.
                postToThread(*target, makeMessage(m, hwnd, msg, wParam, lParam));
                return 0;
            }
            sent = std::make_shared<SentMessage>(m.clock);
            sent->hwnd = hwnd;
            sent->message = msg;
            sent->wParam = wParam;
            sent->lParam = lParam;
            target->sent.push_back(sent);
            target->wake.set();
        }
    }
    if (!sent) return proc ? proc(hwnd, msg, wParam, lParam) : 0;
    // While waiting, serve what other threads send to this one. A wake-up
    // for a posted message is harmless: GetMessageA looks at the queue first.
    while (!sent->done.isSet()) {
        if (!self) {
            sent->done.wait();
            break;
        }
        if (m.clock.waitAny({&sent->done, &self->wake}, std::nullopt) == 0) break;
        handleSent(m, *self);
    }
    return sent->result;
}

void dropWindowsOf(Machine::Impl& m, ThreadCtx& thread) {
    std::lock_guard g(m.lock);
    std::vector<uintptr_t> gone;
    for (auto& [value, w] : m.windows)
        if (w.thread.get() == &thread) gone.push_back(value);
    for (uintptr_t value : gone)
        destroyNow(m, value);
    killTimersOf(m, nullptr, &thread);
    for (auto& sent : thread.sent)
        sent->done.set();
    thread.sent.clear();
}

ATOM RegisterClassA(const WNDCLASSA* lpWndClass) {
    ThreadCtx* t = currentThread();
    if (!t) return 0;
    if (!lpWndClass || !lpWndClass->lpszClassName || !*lpWndClass->lpszClassName ||
        !lpWndClass->lpfnWndProc) {
        t->lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    auto& m = *t->machine;
    std::lock_guard g(m.lock);
    std::string key = lowerCase(lpWndClass->lpszClassName);
    if (t->process->classes.count(key)) {
        t->lastError = ERROR_CLASS_ALREADY_EXISTS;
        return 0;
    }
    t->process->classes[key] = {lpWndClass->lpszClassName, lpWndClass->lpfnWndProc,
                                lpWndClass->hInstance};
    return m.nextAtom++;
}

BOOL UnregisterClassA(LPCSTR lpClassName, HINSTANCE) {
    ThreadCtx* t = currentThread();
    if (!t || !lpClassName) return FALSE;
    std::lock_guard g(t->machine->lock);
    if (!t->process->classes.erase(lowerCase(lpClassName))) {
        t->lastError = ERROR_CANNOT_FIND_WND_CLASS;
        return FALSE;
    }
    return TRUE;
}

HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X,
                     int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                     HINSTANCE hInstance, LPVOID lpParam) {
    ThreadCtx* t = currentThread();
    if (!t) return nullptr;
    auto& m = *t->machine;
    HWND hwnd;
    WNDPROC proc;
    {
        std::lock_guard g(m.lock);
        auto cls = lpClassName ? t->process->classes.find(lowerCase(lpClassName))
                               : t->process->classes.end();
        if (cls == t->process->classes.end()) {
            t->lastError = ERROR_CANNOT_FIND_WND_CLASS;
            return nullptr;
        }
        if (hWndParent && !findWindow(m, hWndParent)) {
            t->lastError = ERROR_INVALID_WINDOW_HANDLE;
            return nullptr;
        }
        uintptr_t value = m.nextWindow;
        m.nextWindow += 0x10;
        hwnd = reinterpret_cast<HWND>(value);
        proc = cls->second.proc;
        Window& w = m.windows[value];
        w.hwnd = hwnd;
        w.className = cls->second.name;
        w.title = lpWindowName ? lpWindowName : "";
        w.proc = proc;
        w.parent = hWndParent;
        w.style = dwStyle;
        w.exStyle = dwExStyle;
        w.visible = (dwStyle & WS_VISIBLE) != 0;
        w.showState = w.visible ? static_cast<int>(SW_SHOW) : static_cast<int>(SW_HIDE);
        for (auto& [id, p] : m.threads)
            if (auto ctx = p.lock(); ctx.get() == t) w.thread = ctx;
        if (!w.thread) {
            destroyNow(m, value);
            t->lastError = ERROR_INVALID_PARAMETER;
            return nullptr;
        }
        m.windowOrder.push_back(value);
    }
    CREATESTRUCTA cs{lpParam,
                     hInstance,
                     hMenu,
                     hWndParent,
                     nHeight,
                     nWidth,
                     Y,
                     X,
                     static_cast<LONG>(dwStyle),
                     lpWindowName,
                     lpClassName,
                     dwExStyle};
    auto param = reinterpret_cast<LPARAM>(&cs);
    if (!proc(hwnd, WM_NCCREATE, 0, param) || proc(hwnd, WM_CREATE, 0, param) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    return hwnd;
}

BOOL DestroyWindow(HWND hWnd) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    auto& m = *t->machine;
    WNDPROC proc;
    {
        std::lock_guard g(m.lock);
        Window* w = findWindow(m, hWnd);
        if (!w || w->destroying) {
            t->lastError = ERROR_INVALID_WINDOW_HANDLE;
            return FALSE;
        }
        if (w->thread.get() != t) {
            t->lastError = ERROR_ACCESS_DENIED;
            return FALSE;
        }
        w->destroying = true;
        w->visible = false;
        proc = w->proc;
    }
    proc(hWnd, WM_DESTROY, 0, 0);
    proc(hWnd, WM_NCDESTROY, 0, 0);
    std::lock_guard g(m.lock);
    killTimersOf(m, hWnd, nullptr);
    destroyNow(m, handleValue(hWnd));
    return TRUE;
}

BOOL IsWindow(HWND hWnd) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    std::lock_guard g(t->machine->lock);
    Window* w = findWindow(*t->machine, hWnd);
    return w && !w->destroying;
}

BOOL IsWindowVisible(HWND hWnd) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    std::lock_guard g(t->machine->lock);
    Window* w = findWindow(*t->machine, hWnd);
    return w && w->visible;
}

BOOL ShowWindow(HWND hWnd, int nCmdShow) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    auto& m = *t->machine;
    bool was, now;
    {
        std::lock_guard g(m.lock);
        Window* w = findWindow(m, hWnd);
        if (!w) {
            t->lastError = ERROR_INVALID_WINDOW_HANDLE;
            return FALSE;
        }
        was = w->visible;
        now = nCmdShow != static_cast<int>(SW_HIDE);
        w->visible = now;
        w->showState = nCmdShow;
        if (!now && m.foreground == handleValue(hWnd)) m.foreground = 0;
    }
    if (was != now) sendMessage(m, hWnd, WM_SHOWWINDOW, now ? TRUE : FALSE, 0);
    return was ? TRUE : FALSE;
}

BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    if (!IsWindow(hWnd)) {
        t->lastError = ERROR_INVALID_WINDOW_HANDLE;
        return FALSE;
    }
    return sendMessage(*t->machine, hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) != 0;
}

int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    ThreadCtx* t = currentThread();
    if (!t) return 0;
    std::lock_guard g(t->machine->lock);
    Window* w = windowOrError(t, hWnd);
    if (!w) return 0;
    if (!lpString || nMaxCount <= 0) return 0;
    size_t n = std::min(w->title.size(), static_cast<size_t>(nMaxCount - 1));
    w->title.copy(lpString, n);
    lpString[n] = 0;
    return static_cast<int>(n);
}

int GetWindowTextLengthA(HWND hWnd) {
    ThreadCtx* t = currentThread();
    if (!t) return 0;
    std::lock_guard g(t->machine->lock);
    Window* w = findWindow(*t->machine, hWnd);
    return w ? static_cast<int>(w->title.size()) : 0;
}

HWND FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
    ThreadCtx* t = currentThread();
    if (!t) return nullptr;
    auto& m = *t->machine;
    std::lock_guard g(m.lock);
    // Most recently created first, as the top of the z-order.
    for (auto it = m.windowOrder.rbegin(); it != m.windowOrder.rend(); ++it) {
        Window& w = m.windows[*it];
        if (w.parent || w.destroying) continue;
        if (lpClassName && !sameName(lpClassName, w.className)) continue;
        if (lpWindowName && !sameName(lpWindowName, w.title)) continue;
        return w.hwnd;
    }
    return nullptr;
}

BOOL SetForegroundWindow(HWND hWnd) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    std::lock_guard g(t->machine->lock);
    if (!findWindow(*t->machine, hWnd)) return FALSE;
    t->machine->foreground = handleValue(hWnd);
    return TRUE;
}

HWND GetForegroundWindow() {
    ThreadCtx* t = currentThread();
    if (!t) return nullptr;
    std::lock_guard g(t->machine->lock);
    return reinterpret_cast<HWND>(t->machine->foreground);
}

DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    ThreadCtx* t = currentThread();
    if (!t) return 0;
    std::lock_guard g(t->machine->lock);
    Window* w = windowOrError(t, hWnd);
    if (!w) return 0;
    if (lpdwProcessId) *lpdwProcessId = w->thread->process->id();
    return w->thread->id;
}

LONG_PTR SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    ThreadCtx* t = currentThread();
    if (!t) return 0;
    std::lock_guard g(t->machine->lock);
    Window* w = windowOrError(t, hWnd);
    if (!w) return 0;
    LONG_PTR old;
    if (nIndex == GWLP_USERDATA) {
        old = w->userData;
        w->userData = dwNewLong;
    } else if (nIndex == GWLP_WNDPROC && dwNewLong) {
        old = reinterpret_cast<LONG_PTR>(w->proc);
        w->proc = reinterpret_cast<WNDPROC>(dwNewLong);
    } else {
        t->lastError = ERROR_INVALID_INDEX;
        return 0;
    }
    return old;
}

LONG_PTR GetWindowLongPtrA(HWND hWnd, int nIndex) {
    ThreadCtx* t = currentThread();
    if (!t) return 0;
    std::lock_guard g(t->machine->lock);
    Window* w = windowOrError(t, hWnd);
    if (!w) return 0;
    if (nIndex == GWLP_USERDATA) return w->userData;
    if (nIndex == GWLP_WNDPROC) return reinterpret_cast<LONG_PTR>(w->proc);
    t->lastError = ERROR_INVALID_INDEX;
    return 0;
}

LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    ThreadCtx* t = currentThread();
    if (!t) return 0;
    auto& m = *t->machine;
    switch (Msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_SETTEXT: {
        std::lock_guard g(m.lock);
        Window* w = findWindow(m, hWnd);
        if (!w) return FALSE;
        w->title = lParam ? reinterpret_cast<LPCSTR>(lParam) : "";
        return TRUE;
    }
    case WM_GETTEXT: {
        std::lock_guard g(m.lock);
        Window* w = findWindow(m, hWnd);
        auto* buffer = reinterpret_cast<LPSTR>(lParam);
        if (!w || !buffer || wParam == 0) return 0;
        size_t n = std::min(w->title.size(), static_cast<size_t>(wParam - 1));
        w->title.copy(buffer, n);
        buffer[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: {
        std::lock_guard g(m.lock);
        Window* w = findWindow(m, hWnd);
        return w ? static_cast<LRESULT>(w->title.size()) : 0;
    }
    default:
        return 0;
    }
}

LRESULT CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    ThreadCtx* t = currentThread();
    if (!hWnd) {
        if (!t) return FALSE;
        std::lock_guard g(t->machine->lock);
        postToThread(*t, makeMessage(*t->machine, nullptr, Msg, wParam, lParam));
        return TRUE;
    }
    if (!t) return FALSE;
    if (!postMessage(*t->machine, hWnd, Msg, wParam, lParam)) {
        t->lastError = ERROR_INVALID_WINDOW_HANDLE;
        return FALSE;
    }
    return TRUE;
}

BOOL PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    auto& m = *t->machine;
    std::lock_guard g(m.lock);
    auto it = m.threads.find(idThread);
    auto target = it == m.threads.end() ? nullptr : it->second.lock();
    if (!target) {
        t->lastError = ERROR_INVALID_THREAD_ID;
        return FALSE;
    }
    postToThread(*target, makeMessage(m, nullptr, Msg, wParam, lParam));
    return TRUE;
}

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    ThreadCtx* t = currentThread();
    if (!t) return 0;
    return sendMessage(*t->machine, hWnd, Msg, wParam, lParam);
}

BOOL GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    ThreadCtx* t = currentThread();
    if (!t || !lpMsg) return -1;
    auto& m = *t->machine;
    if (!validFilter(m, hWnd)) {
        t->lastError = ERROR_INVALID_WINDOW_HANDLE;
        return -1;
    }
    for (;;) {
        handleSent(m, *t);
        int r = takeMessage(m, *t, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true);
        if (r >= 0) return r;
        t->wake.wait();
    }
}

BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
    ThreadCtx* t = currentThread();
    if (!t || !lpMsg) return FALSE;
    auto& m = *t->machine;
    handleSent(m, *t);
    int r = takeMessage(m, *t, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax,
                        (wRemoveMsg & PM_REMOVE) != 0);
    return r >= 0 ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG* lpMsg) {
    if (!lpMsg || lpMsg->message != WM_KEYDOWN) return FALSE;
    auto vk = static_cast<UINT>(lpMsg->wParam);
    char c = 0;
    if (vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_BACK || vk == VK_TAB || vk == VK_SPACE ||
        (vk >= '0' && vk <= '9'))
        c = static_cast<char>(vk);
    else if (vk >= 'A' && vk <= 'Z')
        c = static_cast<char>(vk - 'A' + 'a');
    if (c) PostMessageA(lpMsg->hwnd, WM_CHAR, static_cast<WPARAM>(c), lpMsg->lParam);
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* lpMsg) {
    ThreadCtx* t = currentThread();
    if (!t || !lpMsg) return 0;
    if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
        auto timerProc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        timerProc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, lpMsg->time);
        return 0;
    }
    if (!lpMsg->hwnd) return 0;
    WNDPROC proc;
    {
        std::lock_guard g(t->machine->lock);
        Window* w = findWindow(*t->machine, lpMsg->hwnd);
        if (!w || w->thread.get() != t) {
            t->lastError = ERROR_INVALID_WINDOW_HANDLE;
            return 0;
        }
        proc = w->proc;
    }
    return proc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

void PostQuitMessage(int nExitCode) {
    ThreadCtx* t = currentThread();
    if (!t) return;
    std::lock_guard g(t->machine->lock);
    t->quit = true;
    t->quitCode = nExitCode;
    t->wake.set();
}

BOOL WaitMessage() {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    {
        std::lock_guard g(t->machine->lock);
        if (!t->posted.empty() || !t->sent.empty() || t->quit) return TRUE;
    }
    t->wake.wait();
    return TRUE;
}

BOOL GetCursorPos(POINT* lpPoint) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    std::lock_guard g(t->machine->lock);
    if (!lpPoint || t->machine->cursorFails) {
        t->lastError = lpPoint ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    *lpPoint = t->machine->cursor;
    return TRUE;
}

BOOL SetCursorPos(int X, int Y) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    std::lock_guard g(t->machine->lock);
    t->machine->cursor = POINT{X, Y};
    return TRUE;
}

} // namespace win32
