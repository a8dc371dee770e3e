#include "platform/clock/clock.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <sstream>
#include <thread>

namespace vt {

using Lock = std::unique_lock<std::mutex>;
using RealClock = std::chrono::steady_clock;

struct ThreadRec {
    enum class St { Ready, Running, Blocked, Done };

    Clock* clock = nullptr;
    std::string name;
    uint64_t id = 0;
    St st = St::Ready;
    std::condition_variable cv;
    bool attached = false;
    std::thread real;
    std::function<void()> body;

    // While blocked.
    std::vector<Waitable*> waitingOn;
    bool hasDeadline = false;
    TimePoint deadline{};
    uint64_t blockSeq = 0;
    int wakeIndex = -1;
    WaitResult wakeResult = WaitResult::Timeout;

    bool terminateRequested = false;
    std::unique_ptr<Event> exit;
    std::vector<Mutex*> owned;
    void* slots[SlotCount] = {};
    Thread* wrapper = nullptr;
};

namespace {
thread_local ThreadRec* tlsCurrent = nullptr;

std::chrono::milliseconds defaultWatchdogLimit() {
    if (const char* env = std::getenv("KV_WATCHDOG_MS")) {
        long v = std::atol(env);
        if (v > 0) return std::chrono::milliseconds(v);
    }
    return std::chrono::milliseconds(60000);
}
} // namespace

struct Clock::Impl {
    Clock* self = nullptr;
    mutable std::mutex m;
    std::condition_variable stateCv; // real waits: joins from unregistered threads, pacer
    TimePoint now{0};
    ThreadRec* running = nullptr;
    std::deque<ThreadRec*> ready;
    std::vector<ThreadRec*> blocked;
    std::vector<std::shared_ptr<ThreadRec>> all;
    uint64_t nextId = 1;
    uint64_t seq = 0;

    RealClock::time_point realBase = RealClock::now();

    // Watchdog and pacer.
    std::thread watchdog;
    bool stopping = false;
    std::chrono::milliseconds limit = defaultWatchdogLimit();
    std::function<void(const std::string&)> handler;
    uint64_t beats = 0;
    RealClock::time_point lastBeat = RealClock::now();
    bool reported = false;
    bool externalInput = false;

    // Timers.
    struct TimerRec {
        uint64_t id;
        TimePoint at;
        uint64_t seq;
        std::function<void()> fn;
    };
    std::vector<TimerRec> timers;
    uint64_t nextTimer = 1;
    std::shared_ptr<Thread> timerThread;
    std::unique_ptr<Event> timerWake;

    void beat() {
        ++beats;
        lastBeat = RealClock::now();
        reported = false;
    }

    TimePoint pacedNow() const {
        return std::chrono::duration_cast<Duration>(RealClock::now() - realBase);
    }

    ThreadRec* earliestDeadline() const {
        ThreadRec* best = nullptr;
        for (ThreadRec* t : blocked) {
            if (!t->hasDeadline) continue;
            if (!best || t->deadline < best->deadline ||
                (t->deadline == best->deadline && t->blockSeq < best->blockSeq))
                best = t;
        }
        return best;
    }

    void unblock(ThreadRec* t, int index, WaitResult r) {
        blocked.erase(std::find(blocked.begin(), blocked.end(), t));
        t->waitingOn.clear();
        t->wakeIndex = index;
        t->wakeResult = r;
        t->st = ThreadRec::St::Ready;
        ready.push_back(t);
    }

    // Wakes every blocked thread whose deadline has passed, in deadline order.
    void expireDeadlines() {
        for (;;) {
            ThreadRec* t = earliestDeadline();
            if (!t || t->deadline > now) return;
            unblock(t, -1, WaitResult::Timeout);
        }
    }

    // Hands the baton to the next ready thread; advances time when none is.
    void dispatch() {
        if (running) return;
        for (;;) {
            if (!ready.empty()) {
                running = ready.front();
                ready.pop_front();
                running->st = ThreadRec::St::Running;
                beat();
                running->cv.notify_one();
                return;
            }
            if (self->pace_ == Pace::Paced) {
                stateCv.notify_all(); // the pacer takes over
                return;
            }
            ThreadRec* t = earliestDeadline();
            if (!t) {
                stateCv.notify_all();
                return;
            }
            now = std::max(now, t->deadline);
            expireDeadlines();
        }
    }

    // Lock held. Wakes waiters of w that can proceed, in the order they blocked.
    void signal(Waitable* w) {
        std::vector<ThreadRec*> waiters;
        for (ThreadRec* t : blocked)
            if (std::find(t->waitingOn.begin(), t->waitingOn.end(), w) != t->waitingOn.end())
                waiters.push_back(t);
        std::sort(waiters.begin(), waiters.end(),
                  [](ThreadRec* a, ThreadRec* b) { return a->blockSeq < b->blockSeq; });
        for (ThreadRec* t : waiters) {
            for (size_t i = 0; i < t->waitingOn.size(); ++i) {
                Waitable* o = t->waitingOn[i];
                if (o->ready(*t)) {
                    WaitResult r = o->acquire(*t);
                    unblock(t, static_cast<int>(i), r);
                    break;
                }
            }
        }
        if (!running && !ready.empty()) {
            if (self->pace_ == Pace::Paced) now = std::max(now, pacedNow());
            dispatch();
        }
    }

    void report(Lock& lock, const std::string& msg) {
        auto h = handler;
        lock.unlock();
        if (h) {
            h(msg);
        } else {
            std::fprintf(stderr, "%s\n", msg.c_str());
            std::fflush(stderr);
            std::abort();
        }
        lock.lock();
    }

    std::string describeLocked() const {
        std::ostringstream os;
        os << "virtual time " << std::chrono::duration_cast<std::chrono::milliseconds>(now).count()
           << " ms;";
        for (auto& t : all) {
            if (t->st == ThreadRec::St::Done) continue;
            os << " '" << t->name << "' ";
            switch (t->st) {
            case ThreadRec::St::Running:
                os << "running";
                break;
            case ThreadRec::St::Ready:
                os << "ready";
                break;
            case ThreadRec::St::Blocked:
                if (t->hasDeadline)
                    os << "waiting until "
                       << std::chrono::duration_cast<std::chrono::milliseconds>(t->deadline).count()
                       << " ms";
                else
                    os << "waiting forever";
                break;
            default:
                break;
            }
            os << ";";
        }
        return os.str();
    }

    // A thread ends: its mutexes are abandoned, its exit event is set.
    void leave(ThreadRec* rec) {
        rec->st = ThreadRec::St::Done;
        for (Mutex* mx : rec->owned) {
            mx->owner_ = nullptr;
            mx->count_ = 0;
            mx->abandoned_ = true;
            signal(mx);
        }
        rec->owned.clear();
        if (running == rec) running = nullptr;
        rec->exit->set_ = true;
        signal(rec->exit.get());
        stateCv.notify_all();
        dispatch();
    }

    void watchdogLoop() {
        Lock lock(m);
        uint64_t seenBeats = beats;
        while (!stopping) {
            auto slice = std::chrono::milliseconds(std::clamp<long>(limit.count() / 4, 1, 50));
            if (self->pace_ == Pace::Paced && !running && ready.empty()) {
                ThreadRec* t = earliestDeadline();
                if (t) {
                    auto at =
                        realBase + std::chrono::duration_cast<RealClock::duration>(t->deadline);
                    if (RealClock::now() >= at) {
                        now = std::max(now, t->deadline);
                        expireDeadlines();
                        dispatch();
                        continue;
                    }
                    stateCv.wait_until(lock, std::min(at, RealClock::now() + slice));
                    continue;
                }
            }
            stateCv.wait_for(lock, slice);
            if (stopping) break;
            if (beats != seenBeats) {
                seenBeats = beats;
                continue;
            }
            auto quiet = RealClock::now() - lastBeat;
            if (reported || quiet < limit) continue;
            if (running) {
                reported = true;
                report(
                    lock,
                    "watchdog: simulated thread '" + running->name + "' has run for " +
                        std::to_string(
                            std::chrono::duration_cast<std::chrono::milliseconds>(quiet).count()) +
                        " ms of real time without returning to the clock (blocked "
                        "outside the clock, or looping); " +
                        describeLocked());
            } else if (ready.empty() && !blocked.empty() && !earliestDeadline() && !externalInput) {
                reported = true;
                report(lock, "watchdog: every simulated thread waits forever (deadlock); " +
                                 describeLocked());
            }
        }
    }
};

// ---------------------------------------------------------------- Thread

const std::string& Thread::name() const {
    return rec_->name;
}
uint64_t Thread::id() const {
    return rec_->id;
}
Clock& Thread::clock() const {
    return *rec_->clock;
}
Waitable& Thread::exitSignal() {
    return *rec_->exit;
}
void* Thread::slot(int index) const {
    return rec_->slots[index];
}
void Thread::setSlot(int index, void* value) {
    rec_->slots[index] = value;
}

bool Thread::finished() const {
    Lock lock(rec_->clock->impl_->m);
    return rec_->st == ThreadRec::St::Done;
}

void Thread::join() {
    if (tlsCurrent == rec_.get()) return;
    if (tlsCurrent) {
        rec_->exit->wait();
        return;
    }
    auto& impl = *rec_->clock->impl_;
    Lock lock(impl.m);
    impl.stateCv.wait(lock, [&] { return rec_->st == ThreadRec::St::Done; });
}

void Thread::terminate() {
    auto& impl = *rec_->clock->impl_;
    Lock lock(impl.m);
    if (rec_->st == ThreadRec::St::Done) return;
    rec_->terminateRequested = true;
    if (rec_->st == ThreadRec::St::Blocked) {
        impl.unblock(rec_.get(), -1, WaitResult::Timeout);
        if (!impl.running) impl.dispatch();
    }
}

// ---------------------------------------------------------------- Waitable

Waitable::~Waitable() = default;

void Waitable::signalLocked() {
    clock_.impl_->signal(this);
}

WaitResult Waitable::wait(std::optional<Duration> timeout) {
    bool abandoned = false;
    int r = clock_.waitAny({this}, timeout, &abandoned);
    if (r < 0) return WaitResult::Timeout;
    return abandoned ? WaitResult::Abandoned : WaitResult::Signaled;
}

Event::Event(Clock& clock, bool manualReset, bool initiallySet)
    : Waitable(clock), manual_(manualReset), set_(initiallySet) {}

void Event::set() {
    Lock lock(clock_.impl_->m);
    set_ = true;
    signalLocked();
}

void Event::reset() {
    Lock lock(clock_.impl_->m);
    set_ = false;
}

void Event::pulse() {
    Lock lock(clock_.impl_->m);
    set_ = true;
    signalLocked();
    set_ = false;
}

bool Event::isSet() const {
    Lock lock(clock_.impl_->m);
    return set_;
}

bool Event::ready(const ThreadRec&) const {
    return set_;
}

WaitResult Event::acquire(ThreadRec&) {
    if (!manual_) set_ = false;
    return WaitResult::Signaled;
}

Mutex::Mutex(Clock& clock, bool initiallyOwned) : Waitable(clock) {
    if (initiallyOwned && tlsCurrent) {
        Lock lock(clock_.impl_->m);
        acquire(*tlsCurrent);
    }
}

Mutex::~Mutex() {
    Lock lock(clock_.impl_->m);
    if (owner_) {
        auto& v = owner_->owned;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
}

bool Mutex::ready(const ThreadRec& t) const {
    return owner_ == nullptr || owner_ == &t;
}

WaitResult Mutex::acquire(ThreadRec& t) {
    if (owner_ != &t) {
        owner_ = &t;
        t.owned.push_back(this);
    }
    ++count_;
    if (abandoned_) {
        abandoned_ = false;
        return WaitResult::Abandoned;
    }
    return WaitResult::Signaled;
}

bool Mutex::release() {
    Lock lock(clock_.impl_->m);
    if (!tlsCurrent || owner_ != tlsCurrent) return false;
    if (--count_ == 0) {
        auto& v = owner_->owned;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
        owner_ = nullptr;
        signalLocked();
    }
    return true;
}

bool Mutex::ownedByCaller() const {
    Lock lock(clock_.impl_->m);
    return tlsCurrent && owner_ == tlsCurrent;
}

Semaphore::Semaphore(Clock& clock, long initial, long maximum)
    : Waitable(clock), count_(initial), max_(maximum) {}

bool Semaphore::release(long count) {
    Lock lock(clock_.impl_->m);
    if (count <= 0 || count_ + count > max_) return false;
    count_ += count;
    signalLocked();
    return true;
}

bool Semaphore::ready(const ThreadRec&) const {
    return count_ > 0;
}

WaitResult Semaphore::acquire(ThreadRec&) {
    --count_;
    return WaitResult::Signaled;
}

// ---------------------------------------------------------------- Clock

Clock::Clock(Pace pace) : impl_(std::make_unique<Impl>()), pace_(pace) {
    impl_->self = this;
    impl_->watchdog = std::thread([this] { impl_->watchdogLoop(); });
}

Clock::~Clock() {
    shutdown();
    {
        Lock lock(impl_->m);
        impl_->stopping = true;
        impl_->stateCv.notify_all();
    }
    impl_->watchdog.join();
    for (auto& t : impl_->all)
        if (t->real.joinable()) t->real.join();
}

TimePoint Clock::now() const {
    Lock lock(impl_->m);
    return impl_->now;
}

Clock* Clock::current() {
    return tlsCurrent ? tlsCurrent->clock : nullptr;
}

Thread* Clock::currentThread() {
    return tlsCurrent ? tlsCurrent->wrapper : nullptr;
}

std::shared_ptr<Thread> Clock::spawn(std::string name, std::function<void()> body) {
    auto rec = std::make_shared<ThreadRec>();
    rec->clock = this;
    rec->name = std::move(name);
    rec->body = std::move(body);
    rec->exit = std::make_unique<Event>(*this, true, false);
    auto thread = std::make_shared<Thread>(rec);
    rec->wrapper = thread.get();
    ThreadRec* raw = rec.get();
    {
        Lock lock(impl_->m);
        rec->id = impl_->nextId++;
        impl_->all.push_back(rec);
        rec->st = ThreadRec::St::Ready;
        impl_->ready.push_back(raw);
    }
    // The wrapper must outlive the real thread; the clock keeps a copy.
    auto keep = thread;
    rec->real = std::thread([this, raw, keep] {
        tlsCurrent = raw;
        {
            Lock lock(impl_->m);
            raw->cv.wait(lock, [&] { return raw->st == ThreadRec::St::Running; });
        }
        std::string failure;
        try {
            if (!raw->terminateRequested) raw->body();
        } catch (const ThreadTerminated&) {
        } catch (const std::exception& e) {
            failure = "uncaught exception in simulated thread '" + raw->name + "': " + e.what();
        } catch (...) {
            failure = "uncaught exception in simulated thread '" + raw->name + "'";
        }
        raw->body = nullptr;
        Lock lock(impl_->m);
        if (!failure.empty()) impl_->report(lock, failure);
        impl_->leave(raw);
        tlsCurrent = nullptr;
    });
    {
        Lock lock(impl_->m);
        if (!impl_->running) impl_->dispatch();
    }
    return thread;
}

Clock::Attachment::Attachment(Attachment&& o) noexcept
    : clock_(o.clock_), thread_(std::move(o.thread_)) {
    o.clock_ = nullptr;
}

Clock::Attachment::~Attachment() {
    if (!clock_) return;
    auto& impl = *clock_->impl_;
    Lock lock(impl.m);
    ThreadRec* raw = tlsCurrent;
    impl.leave(raw);
    tlsCurrent = nullptr;
}

Clock::Attachment Clock::attach(std::string name) {
    auto rec = std::make_shared<ThreadRec>();
    rec->clock = this;
    rec->name = std::move(name);
    rec->attached = true;
    rec->exit = std::make_unique<Event>(*this, true, false);
    auto thread = std::make_shared<Thread>(rec);
    rec->wrapper = thread.get();
    ThreadRec* raw = rec.get();
    Lock lock(impl_->m);
    rec->id = impl_->nextId++;
    impl_->all.push_back(rec);
    tlsCurrent = raw;
    raw->st = ThreadRec::St::Ready;
    impl_->ready.push_back(raw);
    impl_->dispatch();
    raw->cv.wait(lock, [&] { return raw->st == ThreadRec::St::Running; });
    return Attachment(this, thread);
}

int Clock::waitAny(const std::vector<Waitable*>& objects, std::optional<Duration> timeout,
                   bool* abandoned) {
    ThreadRec* self = tlsCurrent;
    if (!self || self->clock != this) {
        std::fprintf(stderr, "clock: wait from a thread that is not registered with this clock\n");
        std::abort();
    }
    Lock lock(impl_->m);
    impl_->beat();
    if (self->terminateRequested) throw ThreadTerminated{};
    for (size_t i = 0; i < objects.size(); ++i) {
        if (objects[i]->ready(*self)) {
            WaitResult r = objects[i]->acquire(*self);
            if (abandoned) *abandoned = r == WaitResult::Abandoned;
            return static_cast<int>(i);
        }
    }
    if (timeout && *timeout <= Duration::zero()) return -1;
    self->waitingOn = objects;
    self->hasDeadline = timeout.has_value();
    if (timeout) self->deadline = impl_->now + *timeout;
    self->blockSeq = impl_->seq++;
    self->st = ThreadRec::St::Blocked;
    impl_->blocked.push_back(self);
    impl_->running = nullptr;
    impl_->dispatch();
    self->cv.wait(lock, [&] { return self->st == ThreadRec::St::Running; });
    if (self->terminateRequested) throw ThreadTerminated{};
    if (abandoned) *abandoned = self->wakeResult == WaitResult::Abandoned;
    return self->wakeResult == WaitResult::Timeout ? -1 : self->wakeIndex;
}

void Clock::sleep(Duration d) {
    Event never(*this, true, false);
    waitAny({&never}, std::max(d, Duration::zero()), nullptr);
    if (d <= Duration::zero()) yield();
}

void Clock::yield() {
    ThreadRec* self = tlsCurrent;
    if (!self || self->clock != this) return;
    Lock lock(impl_->m);
    impl_->beat();
    if (self->terminateRequested) throw ThreadTerminated{};
    if (impl_->ready.empty()) return;
    self->st = ThreadRec::St::Ready;
    impl_->ready.push_back(self);
    impl_->running = nullptr;
    impl_->dispatch();
    self->cv.wait(lock, [&] { return self->st == ThreadRec::St::Running; });
    if (self->terminateRequested) throw ThreadTerminated{};
}

uint64_t Clock::startTimer(Duration d, std::function<void()> fn) {
    uint64_t id;
    bool start = false;
    {
        Lock lock(impl_->m);
        id = impl_->nextTimer++;
        impl_->timers.push_back(
            {id, impl_->now + std::max(d, Duration::zero()), impl_->seq++, std::move(fn)});
        if (!impl_->timerWake) {
            impl_->timerWake = std::make_unique<Event>(*this, false, false);
            start = true;
        }
    }
    if (start) {
        impl_->timerThread = spawn("clock-timers", [this] {
            auto& impl = *impl_;
            for (;;) {
                std::optional<Duration> wait;
                std::function<void()> due;
                {
                    Lock lock(impl.m);
                    auto it = std::min_element(
                        impl.timers.begin(), impl.timers.end(), [](const auto& a, const auto& b) {
                            return a.at < b.at || (a.at == b.at && a.seq < b.seq);
                        });
                    if (it != impl.timers.end()) {
                        if (it->at <= impl.now) {
                            due = std::move(it->fn);
                            impl.timers.erase(it);
                        } else {
                            wait = it->at - impl.now;
                        }
                    }
                }
                if (due) {
                    due();
                    continue;
                }
                impl.timerWake->wait(wait);
            }
        });
    } else {
        impl_->timerWake->set();
    }
    return id;
}

bool Clock::cancelTimer(uint64_t id) {
    Lock lock(impl_->m);
    auto it = std::find_if(impl_->timers.begin(), impl_->timers.end(),
                           [&](const auto& t) { return t.id == id; });
    if (it == impl_->timers.end()) return false;
    impl_->timers.erase(it);
    return true;
}

void Clock::setWatchdog(std::chrono::milliseconds limit,
                        std::function<void(const std::string&)> handler) {
    Lock lock(impl_->m);
    impl_->limit = limit;
    impl_->handler = std::move(handler);
    impl_->stateCv.notify_all();
}

void Clock::setExternalInput(bool on) {
    Lock lock(impl_->m);
    impl_->externalInput = on;
}

std::string Clock::describeThreads() const {
    Lock lock(impl_->m);
    return impl_->describeLocked();
}

void Clock::shutdown() {
    std::vector<std::shared_ptr<ThreadRec>> live;
    {
        Lock lock(impl_->m);
        for (auto& t : impl_->all)
            if (t->st != ThreadRec::St::Done && t.get() != tlsCurrent && !t->attached)
                live.push_back(t);
    }
    for (auto& t : live)
        Thread(t).terminate();
    for (auto& t : live)
        Thread(t).join();
    // Reap the real threads of every spawned thread that has ended.
    std::vector<std::shared_ptr<ThreadRec>> done;
    {
        Lock lock(impl_->m);
        for (auto& t : impl_->all)
            if (t->st == ThreadRec::St::Done && t.get() != tlsCurrent) done.push_back(t);
    }
    for (auto& t : done)
        if (t->real.joinable() && t->real.get_id() != std::this_thread::get_id()) t->real.join();
    Lock lock(impl_->m);
    impl_->timerWake.reset();
    impl_->timerThread.reset();
}

void sleepFor(Duration d) {
    Clock* c = Clock::current();
    if (c) c->sleep(d);
}

} // namespace vt
