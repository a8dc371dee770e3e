// Virtual time and the simulated threads that live on it.
//
// Every simulated thread is a real thread registered with a Clock. Exactly one
// registered thread runs at a time (it holds the baton); it passes the baton on
// whenever it blocks on a clock primitive. When every registered thread is
// blocked, virtual time moves to the earliest deadline (Pace::Jump) or follows
// the wall clock up to it (Pace::Paced). Runs without outside input are thus
// reproducible: the order of events depends only on the program.
//
// Threads that are not registered (a Qt GUI thread, say) may set events; a
// waiter woken that way runs as soon as the baton is free.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vt {

using Duration = std::chrono::nanoseconds;
using TimePoint = std::chrono::nanoseconds; // since the clock's creation

using namespace std::chrono_literals;

enum class Pace { Jump, Paced };

enum class WaitResult { Signaled, Abandoned, Timeout };

class Clock;
class Waitable;
struct ThreadRec;

// Thrown inside a simulated thread that was told to terminate (a process
// ending, a machine shutting down). Unwinds to the thread's entry, where the
// clock catches it. Never caught by product code.
struct ThreadTerminated {};

// A simulated thread. Owned jointly by the clock and whoever holds the pointer.
class Thread {
  public:
    const std::string& name() const;
    uint64_t id() const;
    bool finished() const;
    // Waits for the thread to end: a clock wait when called from a
    // registered thread, a real wait otherwise.
    void join();
    // Asks the thread to end: its next (or current) clock wait throws
    // ThreadTerminated.
    void terminate();
    Waitable& exitSignal();
    // Slots for the platform layers' per-thread state (win32 thread, IRQL...).
    void* slot(int index) const;
    void setSlot(int index, void* value);
    Clock& clock() const;

    explicit Thread(std::shared_ptr<ThreadRec> rec) : rec_(std::move(rec)) {}

  private:
    std::shared_ptr<ThreadRec> rec_;
};

enum Slot : int { SlotWin32 = 0, SlotWdm = 1, SlotUser = 2, SlotCount = 4 };

// Base of everything a simulated thread can wait on.
class Waitable {
  public:
    explicit Waitable(Clock& clock) : clock_(clock) {}
    virtual ~Waitable();
    Waitable(const Waitable&) = delete;
    Waitable& operator=(const Waitable&) = delete;
    Clock& clock() const { return clock_; }

    // Waits until the object is signalled for the calling thread or the
    // time-out passes. No time-out means forever.
    WaitResult wait(std::optional<Duration> timeout = std::nullopt);

  protected:
    friend class Clock;
    // Called with the clock's lock held.
    virtual bool ready(const ThreadRec& t) const = 0;
    // Takes the object for t (auto-reset, ownership). Lock held. Returns
    // Abandoned for a mutex whose owner ended while holding it.
    virtual WaitResult acquire(ThreadRec& t) = 0;
    // After a state change: wake the waiters that can now proceed. Lock held.
    void signalLocked();
    Clock& clock_;
};

// A Win32/NT style event: manual (notification) or auto (synchronisation) reset.
class Event : public Waitable {
  public:
    Event(Clock& clock, bool manualReset, bool initiallySet = false);
    void set();
    void reset();
    bool isSet() const;
    // Sets and immediately resets: wakes current waiters only.
    void pulse();

  protected:
    bool ready(const ThreadRec& t) const override;
    WaitResult acquire(ThreadRec& t) override;

  private:
    friend class Clock;
    bool manual_;
    bool set_;
};

// A recursive mutex owned by a simulated thread, abandoned when its owner ends.
class Mutex : public Waitable {
  public:
    explicit Mutex(Clock& clock, bool initiallyOwned = false);
    ~Mutex() override;
    // False when the calling thread does not own it.
    bool release();
    bool ownedByCaller() const;

  protected:
    bool ready(const ThreadRec& t) const override;
    WaitResult acquire(ThreadRec& t) override;

  private:
    friend class Clock;
    ThreadRec* owner_ = nullptr;
    int count_ = 0;
    bool abandoned_ = false;
};

// A counting semaphore.
class Semaphore : public Waitable {
  public:
    Semaphore(Clock& clock, long initial, long maximum);
    bool release(long count = 1);

  protected:
    bool ready(const ThreadRec& t) const override;
    WaitResult acquire(ThreadRec& t) override;

  private:
    long count_;
    long max_;
};

class Clock {
  public:
    explicit Clock(Pace pace = Pace::Jump);
    ~Clock();
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;

    TimePoint now() const;
    Pace pace() const { return pace_; }

    // Starts a simulated thread. It first runs when the baton reaches it.
    std::shared_ptr<Thread> spawn(std::string name, std::function<void()> body);

    // Registers the calling real thread for the lifetime of the guard.
    class Attachment {
      public:
        Attachment(Attachment&&) noexcept;
        Attachment& operator=(Attachment&&) = delete;
        ~Attachment();
        Thread& thread() { return *thread_; }

      private:
        friend class Clock;
        Attachment(Clock* clock, std::shared_ptr<Thread> thread)
            : clock_(clock), thread_(std::move(thread)) {}
        Clock* clock_;
        std::shared_ptr<Thread> thread_;
    };
    Attachment attach(std::string name);

    // Blocks the calling simulated thread for d of virtual time.
    void sleep(Duration d);
    // Lets every other ready thread run first.
    void yield();

    // Waits for any of the objects; returns the index of the one that
    // signalled, or -1 on time-out. abandoned tells a mutex given up by its
    // owner.
    int waitAny(const std::vector<Waitable*>& objects, std::optional<Duration> timeout,
                bool* abandoned = nullptr);

    // Runs fn on a clock-owned thread after d of virtual time. Returns an id
    // for cancelTimer.
    uint64_t startTimer(Duration d, std::function<void()> fn);
    bool cancelTimer(uint64_t id);

    // Watchdog: when one simulated thread holds the baton for longer than
    // limit of real time without returning to the clock, or every thread waits
    // forever with no outside source of input, handler gets a message naming
    // the threads. The default handler prints the message and aborts, so a
    // stuck test fails instead of hanging.
    void setWatchdog(std::chrono::milliseconds limit,
                     std::function<void(const std::string&)> handler);
    // Declares that unregistered threads may set events (a GUI), so waiting
    // forever is not a deadlock.
    void setExternalInput(bool on);

    // Live threads' names and states, for messages.
    std::string describeThreads() const;

    // Terminates every live simulated thread and waits for them to end.
    void shutdown();

    // The clock and thread of the calling simulated thread, or null.
    static Clock* current();
    static Thread* currentThread();

    // Internal state, shared with the primitives of this file.
    struct Impl;
    std::unique_ptr<Impl> impl_;

  private:
    Pace pace_;
};

// Free helpers for code that runs on a simulated thread.
inline Clock& clock() {
    return *Clock::current();
}
void sleepFor(Duration d);

} // namespace vt
