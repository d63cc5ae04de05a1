// The timer host: periods, restarts from inside a handler, handlers that block, and the
// clock's 32-bit wrap.

#include "protocol/tick_host.h"

#include <gtest/gtest.h>

#include <vector>

namespace protocol {
namespace {

using transport::kOpenTimer;
using transport::kProtocolTimer;

struct Fire {
    int timer;
    uint64_t atMs;
};

TEST(TickHost, TimersFireAtTheirPeriods) {
    struct Case {
        const char* name;
        uint32_t period0;
        uint32_t period1;  // 0: not started
        uint32_t runMs;
        uint64_t fired0;
        uint64_t fired1;
    };
    const Case cases[] = {
        {"30 ms for 300 ms", 30, 0, 300, 10, 0},
        {"just short of the tenth", 30, 0, 299, 9, 0},
        {"both timers", 30, 500, 1000, 33, 2},
        {"update period", 50, 0, 1000, 20, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        transport::VirtualClock clock(7);
        TickHost host(clock);
        host.setTimerHandler(kProtocolTimer, [] {});
        host.setTimerHandler(kOpenTimer, [] {});
        host.startTimer(kProtocolTimer, c.period0);
        if (c.period1 != 0)
            host.startTimer(kOpenTimer, c.period1);
        host.runFor(c.runMs);
        EXPECT_EQ(host.firedCount(kProtocolTimer), c.fired0);
        EXPECT_EQ(host.firedCount(kOpenTimer), c.fired1);
        EXPECT_EQ(clock.nowMs(), 7 + c.runMs);
        EXPECT_EQ(clock.sleptMs(), 0u);  // moving virtual time is not a sleep of the program
    }
}

TEST(TickHost, HandlersRestartAndStopTimers) {
    transport::VirtualClock clock;
    TickHost host(clock);
    std::vector<Fire> fires;
    host.setTimerHandler(kOpenTimer, [&] {
        fires.push_back({1, host.elapsedMs()});
        // A successful open: timer 1 stops, timer 0 starts.
        host.stopTimer(kOpenTimer);
        host.startTimer(kProtocolTimer, 30);
    });
    host.setTimerHandler(kProtocolTimer, [&] {
        fires.push_back({0, host.elapsedMs()});
        // A command restarts its own timer with a new period.
        if (fires.size() == 3)
            host.startTimer(kProtocolTimer, 50);
    });
    host.startTimer(kOpenTimer, 500);
    host.runFor(700);
    const std::vector<uint64_t> expected = {500, 530, 560, 610, 660};
    ASSERT_EQ(fires.size(), expected.size());
    for (size_t i = 0; i < fires.size(); ++i) EXPECT_EQ(fires[i].atMs, expected[i]);
    EXPECT_EQ(fires[0].timer, 1);
    EXPECT_FALSE(host.isTimerRunning(kOpenTimer));
    EXPECT_EQ(host.timerPeriod(kProtocolTimer), 50u);
}

TEST(TickHost, ABlockingHandlerDelaysButDoesNotBurst) {
    transport::VirtualClock clock;
    TickHost host(clock);
    std::vector<uint64_t> at;
    host.setTimerHandler(kProtocolTimer, [&] {
        at.push_back(host.elapsedMs());
        if (at.size() == 2)
            clock.sleepMs(1000);  // the settle sleep after a write
    });
    host.startTimer(kProtocolTimer, 30);
    host.runFor(1130);
    ASSERT_GE(at.size(), 4u);
    EXPECT_EQ(at[0], 30u);
    EXPECT_EQ(at[1], 60u);
    // Not at once when the sleep ends: what was sent at its end gets a whole period.
    EXPECT_EQ(at[2], 1090u);
    EXPECT_EQ(at[3], 1120u);
}

TEST(TickHost, RunUntilStopsWhenDoneOrAtTheTimeout) {
    struct Case {
        const char* name;
        uint64_t doneAfterFires;
        uint32_t timeoutMs;
        bool done;
        uint64_t elapsedMs;
    };
    const Case cases[] = {
        {"done on the third tick", 3, 1000, true, 90},
        {"already done", 0, 1000, true, 0},
        {"time-out first", 100, 200, false, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        transport::VirtualClock clock;
        TickHost host(clock);
        host.setTimerHandler(kProtocolTimer, [] {});
        host.startTimer(kProtocolTimer, 30);
        const bool done = host.runUntil(
            [&] { return host.firedCount(kProtocolTimer) >= c.doneAfterFires; }, c.timeoutMs);
        EXPECT_EQ(done, c.done);
        EXPECT_EQ(host.elapsedMs(), c.elapsedMs);
    }
}

TEST(TickHost, SurvivesTheClocksWrap) {
    transport::VirtualClock clock(0xFFFFFFFFu - 40);
    TickHost host(clock);
    host.setTimerHandler(kProtocolTimer, [] {});
    host.startTimer(kProtocolTimer, 30);
    host.runFor(300);
    EXPECT_EQ(host.firedCount(kProtocolTimer), 10u);
    EXPECT_EQ(host.elapsedMs(), 300u);
}

TEST(TickHost, CountsLampRepaints) {
    transport::VirtualClock clock;
    TickHost host(clock);
    int seen = 0;
    host.setRepaintHandler([&] { ++seen; });
    host.repaintLamps();
    host.repaintLamps();
    EXPECT_EQ(host.repaintCount(), 2u);
    EXPECT_EQ(seen, 2);
}

}  // namespace
}  // namespace protocol
