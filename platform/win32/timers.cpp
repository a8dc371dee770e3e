#include "platform/win32/machine_impl.h"
#include "platform/win32/user.h"

namespace win32 {

namespace {

using TimerKey = std::pair<uintptr_t, UINT_PTR>;

void arm(Machine::Impl& m, const TimerKey& key);

// Runs on the clock's timer thread.
void fire(Machine::Impl* m, TimerKey key, uint64_t clockTimer) {
    std::lock_guard g(m->lock);
    auto it = m->timers.find(key);
    if (it == m->timers.end() || it->second.clockTimer != clockTimer) return;
    auto& timer = it->second;
    auto thread = timer.thread.lock();
    if (!thread) {
        m->timers.erase(it);
        return;
    }
    if (!timer.pending) {
        timer.pending = true;
        MSG msg{};
        msg.hwnd = reinterpret_cast<HWND>(key.first);
        msg.message = WM_TIMER;
        msg.wParam = key.second;
        msg.lParam = reinterpret_cast<LPARAM>(timer.proc);
        msg.time = static_cast<DWORD>(
            std::chrono::duration_cast<std::chrono::milliseconds>(m->clock.now()).count());
        msg.pt = m->cursor;
        thread->posted.push_back(msg);
        thread->wake.set();
    }
    arm(*m, key);
}

void arm(Machine::Impl& m, const TimerKey& key) {
    auto& timer = m.timers.at(key);
    Machine::Impl* machine = &m;
    // The id is known only after startTimer returns; the callback checks it.
    auto id = std::make_shared<uint64_t>(0);
    timer.clockTimer =
        m.clock.startTimer(std::chrono::milliseconds(std::max<UINT>(timer.elapse, 10)),
                           [machine, key, id] { fire(machine, key, *id); });
    *id = timer.clockTimer;
}

} // namespace

void timerTaken(Machine::Impl& m, const MSG& msg) {
    auto it = m.timers.find({handleValue(msg.hwnd), msg.wParam});
    if (it != m.timers.end()) it->second.pending = false;
}

void killTimersOf(Machine::Impl& m, HWND hwnd, ThreadCtx* thread) {
    for (auto it = m.timers.begin(); it != m.timers.end();) {
        auto owner = it->second.thread.lock();
        bool match =
            hwnd ? it->first.first == handleValue(hwnd) : (!owner || owner.get() == thread);
        if (match) {
            m.clock.cancelTimer(it->second.clockTimer);
            it = m.timers.erase(it);
        } else {
            ++it;
        }
    }
}

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    ThreadCtx* t = currentThread();
    if (!t) return 0;
    auto& m = *t->machine;
    std::lock_guard g(m.lock);
    std::shared_ptr<ThreadCtx> owner;
    if (hWnd) {
        Window* w = findWindow(m, hWnd);
        if (!w) {
            t->lastError = ERROR_INVALID_WINDOW_HANDLE;
            return 0;
        }
        owner = w->thread;
    } else {
        auto it = m.threads.find(t->id);
        if (it != m.threads.end()) owner = it->second.lock();
        nIDEvent = m.nextThreadTimer++;
    }
    if (!owner) return 0;
    TimerKey key{handleValue(hWnd), nIDEvent};
    auto existing = m.timers.find(key);
    if (existing != m.timers.end()) m.clock.cancelTimer(existing->second.clockTimer);
    auto& timer = m.timers[key];
    timer.thread = owner;
    timer.elapse = uElapse;
    timer.proc = lpTimerFunc;
    arm(m, key);
    return hWnd ? (nIDEvent ? nIDEvent : 1) : nIDEvent;
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    auto& m = *t->machine;
    std::lock_guard g(m.lock);
    auto it = m.timers.find({handleValue(hWnd), uIDEvent});
    if (it == m.timers.end()) {
        t->lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    m.clock.cancelTimer(it->second.clockTimer);
    m.timers.erase(it);
    // A WM_TIMER already queued is removed as well.
    for (auto q = t->posted.begin(); q != t->posted.end();) {
        if (q->message == WM_TIMER && q->hwnd == hWnd && q->wParam == uIDEvent)
            q = t->posted.erase(q);
        else
            ++q;
    }
    return TRUE;
}

} // namespace win32
