#include <gtest/gtest.h>

#include <vector>

#include "radio/settle_wait.h"

namespace {

// A clock whose sleep advances time by a chosen share of what was asked: the
// platform's sleep returning early or late. Counter ticks are microseconds.
struct FakeClock {
    int64_t now = 0;
    int64_t sleepShareMicrosPerMs = 1000;  // time passed per millisecond asked
    int64_t yieldMicros = 100;             // time passed by a sleep of 0
    std::vector<unsigned> sleeps;
};
FakeClock fake;

void fakeSleep(unsigned ms)
{
    fake.sleeps.push_back(ms);
    fake.now += ms == 0 ? fake.yieldMicros : ms * fake.sleepShareMicrosPerMs;
}

int64_t fakeCounter()
{
    return fake.now;
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

}  // namespace
