#include <gtest/gtest.h>

#include <vector>

#include "radio/settle_wait.h"

namespace {

// A clock whose sleep advances time by a chosen share of what was asked: the
// platform's sleep returning early or late. Counter ticks are microseconds.
// The counter reads the true time plus an offset, which changes by `jump` at
// read number `jumpAtRead` (counting from 1): a counter that steps back or
// jumps ahead, as when the thread moves to a core whose counter differs.
// From read number `stopAtRead` on, the counter stands still for `stopMicros`
// of true time, then runs on from where it stood: a counter that stops (a
// broken HPET, a virtual machine whose counter freezes). A wait that trusts it
// lasts that long; the test sees it return late instead of hanging.
struct FakeClock {
    int64_t now = 0;
    int64_t sleepShareMicrosPerMs = 1000;  // time passed per millisecond asked
    int64_t yieldMicros = 100;             // time passed by a sleep of 0
    std::vector<unsigned> sleeps;
    int64_t offset = 0;
    int64_t jump = 0;
    int jumpAtRead = 0;
    int stopAtRead = 0;
    int64_t stopMicros = 60 * 1000000;
    int64_t stoppedAt = -1;  // the true time the counter stopped at, once it has
    int reads = 0;
};
FakeClock fake;

void fakeSleep(unsigned ms)
{
    fake.sleeps.push_back(ms);
    fake.now += ms == 0 ? fake.yieldMicros : ms * fake.sleepShareMicrosPerMs;
}

int64_t fakeCounter()
{
    if (++fake.reads == fake.jumpAtRead) {
        fake.offset += fake.jump;
    }
    if (fake.reads == fake.stopAtRead) {
        fake.stoppedAt = fake.now;
    }
    if (fake.stoppedAt >= 0 && fake.now < fake.stoppedAt + fake.stopMicros) {
        return fake.stoppedAt + fake.offset;
    }
    if (fake.stoppedAt >= 0) {
        fake.offset -= fake.stopMicros;  // runs on from where it stood
        fake.stoppedAt = -1;
    }
    return fake.now + fake.offset;
}

const SettleClock clock = {fakeSleep, fakeCounter, 1000000};

TEST(SettleWait, EarlySleepIsToppedUpToTheFullTime)
{
    // Time passed per millisecond asked: on time, late, and three ways early.
    for (int64_t share : {1000, 1300, 500, 100, 10}) {
        fake = FakeClock();
        fake.sleepShareMicrosPerMs = share;
        settleFor(clock, 2);
        ASSERT_FALSE(fake.sleeps.empty());
        EXPECT_EQ(fake.sleeps.front(), 2u) << "sleep share " << share;
        EXPECT_GE(fake.now, 2000) << "sleep share " << share;
        if (share >= 1000) {
            EXPECT_EQ(fake.sleeps.size(), 1u) << "a full sleep needs no top-up, share " << share;
        } else {
            // Topped up in small pieces: never much beyond the settle time.
            EXPECT_LT(fake.now, 2000 + 1000) << "sleep share " << share;
            EXPECT_EQ(fake.sleeps.back(), 0u) << "the last piece is a yield, share " << share;
        }
    }
}

TEST(SettleWait, TimeIsMeasuredFromTheStartOfTheWait)
{
    fake = FakeClock();
    fake.now = 123456789;
    fake.sleepShareMicrosPerMs = 600;
    settleFor(clock, 2);
    EXPECT_GE(fake.now - 123456789, 2000);
}

TEST(SettleWait, ACounterThatStepsBackOrJumpsAheadEndsTheWaitInTime)
{
    const int64_t second = 1000000;
    const struct {
        const char *what;
        int64_t jump;
        int atRead;     // 2: the first look after the sleep; 3 and on: while topping up
        int64_t share;  // time passed per millisecond of sleep asked
    } cases[] = {
        {"back a second after the sleep", -second, 2, 1000},
        {"back a second while topping up", -second, 3, 500},
        {"back a second on the last top-up", -second, 4, 500},
        {"back by less than the settle time", -1500, 2, 500},
        {"ahead a second after the sleep", second, 2, 1000},
        {"ahead a second while topping up", second, 3, 500},
        {"ahead a quarter of the range", INT64_MAX / 4, 3, 500},
    };
    for (const auto &c : cases) {
        fake = FakeClock();
        fake.now = 5 * second;
        fake.sleepShareMicrosPerMs = c.share;
        fake.jump = c.jump;
        fake.jumpAtRead = c.atRead;
        settleFor(clock, 2);
        // The wait lasts no more than a few of its own milliseconds, however
        // far the counter went, and it still began with the full sleep.
        EXPECT_LE(fake.now - 5 * second, 2000 + 3000) << c.what;
        EXPECT_LE(fake.sleeps.size(), 5u) << c.what;
        ASSERT_FALSE(fake.sleeps.empty()) << c.what;
        EXPECT_EQ(fake.sleeps.front(), 2u) << c.what;

        // The counter keeps its new offset: the next wait measures from its
        // own start and lasts its full time again.
        fake.jump = 0;
        int64_t before = fake.now;
        fake.sleeps.clear();
        settleFor(clock, 2);
        EXPECT_GE(fake.now - before, 2000) << c.what << ", the wait after";
        EXPECT_LT(fake.now - before, 2000 + 1000) << c.what << ", the wait after";
    }
}

TEST(SettleWait, ACounterThatStopsEndsTheWaitAfterAFewOfItsOwnMilliseconds)
{
    const int64_t second = 1000000;
    const struct {
        const char *what;
        int atRead;     // 1: before the sleep; 2: the first look after it; 3 and on: while topping up
        int64_t share;  // time passed per millisecond of sleep asked
    } cases[] = {
        {"stopped before the wait began", 1, 1000},
        {"stopped during the first sleep", 2, 500},
        {"stopped while topping up", 3, 500},
        {"stopped with less than a millisecond left", 2, 950},
        {"stopped with sleeps returning early", 4, 100},
    };
    for (const auto &c : cases) {
        fake = FakeClock();
        fake.now = 5 * second;
        fake.sleepShareMicrosPerMs = c.share;
        fake.stopAtRead = c.atRead;
        settleFor(clock, 2);
        EXPECT_LE(fake.now - 5 * second, 2000 + 3000) << c.what;
        ASSERT_FALSE(fake.sleeps.empty()) << c.what;
        EXPECT_EQ(fake.sleeps.front(), 2u) << c.what;
        unsigned asked = 0;
        for (unsigned ms : fake.sleeps) {
            asked += ms;
        }
        // It cannot tell the time any more: it has slept at least its own time
        // and two milliseconds more before it gives up.
        EXPECT_GE(asked, 2u + 2u) << c.what;

        // The counter runs again: the next wait lasts its full time.
        fake.now += fake.stopMicros;
        int64_t before = fake.now;
        fake.sleeps.clear();
        settleFor(clock, 2);
        EXPECT_GE(fake.now - before, 2000) << c.what << ", the wait after";
        EXPECT_LT(fake.now - before, 2000 + 1000) << c.what << ", the wait after";
    }
}

}  // namespace
