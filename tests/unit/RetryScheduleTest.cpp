#include <gtest/gtest.h>

#include <set>

#include "server/RetrySchedule.h"

namespace {

CRetrySchedule::Rule Rule(int immediate, DWORD first, DWORD cap, int pauses, double jitter) {
    CRetrySchedule::Rule rule;
    rule.immediateTries = immediate;
    rule.firstPauseMs = first;
    rule.capMs = cap;
    rule.pauses = pauses;
    rule.jitter = jitter;
    return rule;
}

// The program's rule: two tries at once after a lost connection, then pauses of about 2, 4, 8
// and 16 seconds, then none.
TEST(RetrySchedule, ALostConnectionIsTriedAgainAtOnceThenAfterPausesThatDoubleUpToTheCap) {
    CRetrySchedule schedule(CRetrySchedule::Rule{}, 7);
    EXPECT_EQ(schedule.AfterLostConnection(), 0u);
    EXPECT_EQ(schedule.AfterLostConnection(), 0u);
    for (const DWORD plain : {2000u, 4000u, 8000u, 16000u}) {
        const std::optional<DWORD> pause = schedule.AfterLostConnection();
        ASSERT_TRUE(pause) << plain;
        EXPECT_GE(*pause, plain * 8 / 10) << plain;
        // The cap holds whatever the spread.
        EXPECT_LE(*pause, std::min<DWORD>(plain * 12 / 10, 16000u)) << plain;
    }
    EXPECT_FALSE(schedule.AfterLostConnection());
    EXPECT_FALSE(schedule.AfterBusyAnswer(std::nullopt)) << "the tries stay spent";
    EXPECT_EQ(schedule.PausesTaken(), 4);
}

TEST(RetrySchedule, ABusyServerIsNeverAskedAgainAtOnceAndItsRetryAfterCountsUpToTheCap) {
    CRetrySchedule schedule(Rule(2, 1000, 8000, 3, 0.0), 1);
    EXPECT_EQ(schedule.AfterBusyAnswer(std::nullopt), 1000u);
    EXPECT_EQ(schedule.AfterBusyAnswer(5000u), 5000u) << "longer than the schedule's 2 s";
    EXPECT_EQ(schedule.AfterBusyAnswer(3600000u), 8000u) << "never past the cap";
    EXPECT_FALSE(schedule.AfterBusyAnswer(std::nullopt));
}

TEST(RetrySchedule, ThePausesOfManyPCsSpreadAndHeadwayStartsTheCountAnew) {
    std::set<DWORD> firstPauses;
    for (unsigned seed = 0; seed < 20; ++seed) {
        CRetrySchedule schedule(Rule(0, 10000, 60000, 1, 0.2), seed);
        firstPauses.insert(*schedule.AfterLostConnection());
    }
    EXPECT_GT(firstPauses.size(), 10u) << "PCs turned away together come back at different times";
    EXPECT_GE(*firstPauses.begin(), 8000u);
    EXPECT_LE(*firstPauses.rbegin(), 12000u);

    CRetrySchedule schedule(Rule(1, 100, 1000, 1, 0.0), 3);
    EXPECT_EQ(schedule.AfterLostConnection(), 0u);
    EXPECT_EQ(schedule.AfterLostConnection(), 100u);
    EXPECT_FALSE(schedule.AfterLostConnection());
    schedule.StartAnew();
    EXPECT_EQ(schedule.AfterLostConnection(), 0u);
    EXPECT_EQ(schedule.AfterLostConnection(), 100u);
}

}  // namespace
