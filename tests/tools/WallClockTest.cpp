// Calendar steps of the clients' wall clock, and what a DOS time can hold.
#include <gtest/gtest.h>

#include "tools/publish/CClientClock.h"
#include "tools/publish/WallClock.h"

namespace {

TEST(WallClockTest, StepsCarryIntoTheNextDayMonthAndYear) {
    const struct {
        WallClock from, nextMinute, nextDosStep;
    } cases[] = {
        {{2026, 5, 2, 17, 30, 59}, {2026, 5, 2, 17, 31, 0}, {2026, 5, 2, 17, 31, 0}},
        {{2026, 5, 2, 17, 30, 57}, {2026, 5, 2, 17, 31, 0}, {2026, 5, 2, 17, 30, 58}},
        {{2026, 12, 31, 23, 59, 58}, {2027, 1, 1, 0, 0, 0}, {2027, 1, 1, 0, 0, 0}},
        {{2028, 2, 28, 23, 59, 0}, {2028, 2, 29, 0, 0, 0}, {2028, 2, 28, 23, 59, 2}},
        {{2026, 2, 28, 23, 59, 0}, {2026, 3, 1, 0, 0, 0}, {2026, 2, 28, 23, 59, 2}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.nextMinute, c.from.NextMinute()) << c.from.ModifyDateText();
        EXPECT_EQ(c.nextDosStep, c.from.NextDosStep()) << c.from.ModifyDateText();
    }
}

TEST(WallClockTest, DosFieldsKeepTheMinute) {
    for (const WallClock clock : {WallClock{2026, 5, 2, 17, 29, 59}, WallClock{1980, 1, 1, 0, 0, 0},
                                  WallClock{2107, 12, 31, 23, 59, 59}}) {
        const WallClock back = WallClock::FromDos(clock.DosDate(), clock.DosTime());
        EXPECT_EQ(clock.Minute(), back.Minute());
        EXPECT_EQ(clock.second / 2 * 2, back.second);
    }
}

TEST(WallClockTest, ClientClockKeepsWithinWhatADosTimeHolds) {
    const CClientClock seoul("Asia/Seoul");
    EXPECT_EQ(WallClock::DosEarliest(), seoul.At(0));                  // 1970: too early
    EXPECT_EQ((WallClock{1980, 1, 1, 9, 0, 0}), seoul.At(315532800));  // 1980-01-01 00:00 UTC
    EXPECT_FALSE(seoul.At(4354819200).has_value());                    // 2108-01-01 UTC
    EXPECT_EQ((WallClock{2026, 5, 2, 17, 29, 59}), seoul.At(1777710599));
}

}  // namespace
