#include "platform/clock/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <thread>

using namespace vt;

namespace {

std::chrono::milliseconds realSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 t0);
}

TEST(Clock, TenSecondTimeoutTakesMuchLessRealTime) {
    Clock clock;
    auto main = clock.attach("main");
    Event ev(clock, true);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ev.wait(10s), WaitResult::Timeout);
    EXPECT_LT(realSince(t0).count(), 100);
    EXPECT_EQ(clock.now(), Duration(10s));
}

TEST(Clock, ThreadsWaitingOnEachOtherWakeInDeadlineOrder) {
    Clock clock;
    auto main = clock.attach("main");
    Event a(clock, false), b(clock, false);
    std::vector<std::string> order;
    auto ta = clock.spawn("a", [&] {
        EXPECT_EQ(b.wait(300ms), WaitResult::Timeout);
        order.push_back("a@" + std::to_string(clock.now() / 1ms));
    });
    auto tb = clock.spawn("b", [&] {
        EXPECT_EQ(a.wait(200ms), WaitResult::Timeout);
        order.push_back("b@" + std::to_string(clock.now() / 1ms));
    });
    ta->join();
    tb->join();
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(order[0], "b@200");
    EXPECT_EQ(order[1], "a@300");
}

TEST(Clock, SignalBeforeDeadlineWakesWithoutAdvancingTime) {
    Clock clock;
    auto main = clock.attach("main");
    Event ev(clock, false);
    auto t = clock.spawn("setter", [&] {
        clock.sleep(50ms);
        ev.set();
    });
    EXPECT_EQ(ev.wait(10s), WaitResult::Signaled);
    EXPECT_EQ(clock.now(), Duration(50ms));
    // Auto-reset: consumed by the wait.
    EXPECT_FALSE(ev.isSet());
    t->join();
}

TEST(Clock, RunsAreReproducible) {
    auto run = [] {
        Clock clock;
        auto main = clock.attach("main");
        std::string log;
        std::vector<std::shared_ptr<Thread>> ts;
        for (int i = 0; i < 4; ++i)
            ts.push_back(clock.spawn("t" + std::to_string(i), [&, i] {
                for (int k = 0; k < 5; ++k) {
                    clock.sleep(std::chrono::milliseconds(7 * (i + 1)));
                    log += char('0' + i);
                }
            }));
        for (auto& t : ts)
            t->join();
        return log;
    };
    std::string first = run();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(run(), first);
}

TEST(Clock, MutexIsRecursiveAndAbandonedWhenOwnerEnds) {
    Clock clock;
    auto main = clock.attach("main");
    Mutex m(clock);
    auto owner = clock.spawn("owner", [&] {
        EXPECT_EQ(m.wait(), WaitResult::Signaled);
        EXPECT_EQ(m.wait(), WaitResult::Signaled);
        EXPECT_TRUE(m.release());
        // ends still owning it once
    });
    owner->join();
    EXPECT_EQ(m.wait(1s), WaitResult::Abandoned);
    EXPECT_TRUE(m.ownedByCaller());
    EXPECT_TRUE(m.release());
    EXPECT_FALSE(m.release());
}

TEST(Clock, MutexBlocksOtherThreadsUntilReleased) {
    Clock clock;
    auto main = clock.attach("main");
    Mutex m(clock, true);
    TimePoint got{};
    auto t = clock.spawn("waiter", [&] {
        EXPECT_EQ(m.wait(), WaitResult::Signaled);
        got = clock.now();
        m.release();
    });
    clock.sleep(1s);
    EXPECT_TRUE(m.release());
    t->join();
    EXPECT_EQ(got, Duration(1s));
}

TEST(Clock, WaitAnyReportsWhichObjectSignalled) {
    Clock clock;
    auto main = clock.attach("main");
    Event a(clock, true), b(clock, true);
    auto t = clock.spawn("setter", [&] {
        clock.sleep(5ms);
        b.set();
    });
    EXPECT_EQ(clock.waitAny({&a, &b}, 1s), 1);
    EXPECT_EQ(clock.waitAny({&a}, 0ms), -1);
    t->join();
}

TEST(Clock, TimersFireInDeadlineOrderAndCanBeCancelled) {
    Clock clock;
    auto main = clock.attach("main");
    std::vector<int> fired;
    clock.startTimer(30ms, [&] { fired.push_back(30); });
    auto id = clock.startTimer(20ms, [&] { fired.push_back(20); });
    clock.startTimer(10ms, [&] { fired.push_back(10); });
    EXPECT_TRUE(clock.cancelTimer(id));
    clock.sleep(100ms);
    EXPECT_EQ(fired, (std::vector<int>{10, 30}));
}

TEST(Clock, TerminateUnwindsABlockedThread) {
    Clock clock;
    auto main = clock.attach("main");
    Event never(clock, true);
    bool unwound = false;
    auto t = clock.spawn("victim", [&] {
        struct Guard {
            bool& flag;
            ~Guard() { flag = true; }
        } g{unwound};
        never.wait();
    });
    clock.sleep(1ms);
    t->terminate();
    t->join();
    EXPECT_TRUE(unwound);
}

TEST(Clock, ExternalThreadCanWakeASimulatedThread) {
    Clock clock;
    Event ev(clock, true);
    std::atomic<bool> woke{false};
    auto t = clock.spawn("waiter", [&] {
        EXPECT_EQ(ev.wait(), WaitResult::Signaled);
        woke = true;
    });
    std::thread outside([&] { ev.set(); });
    outside.join();
    t->join();
    EXPECT_TRUE(woke);
}

TEST(ClockWatchdog, ReportsAThreadBlockedOutsideTheClock) {
    Clock clock;
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    std::string message;
    clock.setWatchdog(100ms, [&](const std::string& msg) {
        std::lock_guard<std::mutex> g(m);
        message = msg;
        release = true;
        cv.notify_all();
    });
    auto t = clock.spawn("stuck", [&] {
        std::unique_lock<std::mutex> l(m);
        cv.wait(l, [&] { return release; }); // not a clock primitive
    });
    t->join();
    EXPECT_NE(message.find("'stuck'"), std::string::npos) << message;
    EXPECT_NE(message.find("outside the clock"), std::string::npos) << message;
}

TEST(ClockWatchdog, ReportsADeadlock) {
    Clock clock;
    std::string message;
    Event never(clock, true);
    Event reported(clock, true);
    clock.setWatchdog(100ms, [&](const std::string& msg) {
        message = msg;
        never.set();
    });
    auto t = clock.spawn("forever", [&] { never.wait(); });
    t->join();
    EXPECT_NE(message.find("deadlock"), std::string::npos) << message;
    EXPECT_NE(message.find("'forever'"), std::string::npos) << message;
}

TEST(ClockPaced, FollowsTheWallClock) {
    Clock clock(Pace::Paced);
    auto main = clock.attach("main");
    auto t0 = std::chrono::steady_clock::now();
    clock.sleep(120ms);
    EXPECT_GE(realSince(t0).count(), 100);
    EXPECT_GE(clock.now(), Duration(120ms));
}

} // namespace
