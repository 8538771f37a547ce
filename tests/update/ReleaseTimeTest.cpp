#include <gtest/gtest.h>

#include "UpdateTestFiles.h"
#include "update/ReleaseTime.h"

namespace {

using updatetest::TestFolder;

constexpr ULONGLONG kOneMinute = 60ULL * 10000000ULL;

TEST(LocalMinuteToFileTime, InvalidDatesGiveTheEarliestTime) {
    const ManifestDate invalid[] = {
        {2013, 0, 2, 7, 5},  {2013, 13, 2, 7, 5},
        {1600, 5, 2, 10, 0}, {2013, 17, 30, 0, 0},  // what "2013/05/02 17:30" parses to
        {0, 0, 0, 0, 0},     {2013, 2, 30, 0, 0},
        {2013, 5, 2, 24, 0}, {2013, 65537, 2, 0, 0},  // would wrap into January
        {-2013, 5, 2, 0, 0},
    };
    for (const auto& date : invalid) {
        EXPECT_EQ(LocalMinuteToFileTime(date), kEarliestFileTime)
            << date.year << "-" << date.month << "-" << date.day << " " << date.hour << ":"
            << date.minute;
    }
    EXPECT_EQ(ReleaseTimeOf(L""), kEarliestFileTime);
    EXPECT_EQ(ReleaseTimeOf(L"2013/05/02 17:30"), kEarliestFileTime);
}

// The test runs with a zone east of UTC (TZ in the test's environment), so that local time and
// UTC differ and a conversion in the wrong direction shows.
TEST(LocalMinuteToFileTime, ConvertsLocalTimeToUtc) {
    TIME_ZONE_INFORMATION zone;
    ASSERT_NE(GetTimeZoneInformation(&zone), TIME_ZONE_ID_INVALID);
    ASSERT_LT(zone.Bias, 0) << "the test expects a time zone east of UTC";
    const SYSTEMTIME utc = {2013, 5, 0, 2, 17, 30, 0, 0};
    FILETIME utcTime;
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &utcTime));
    const ULONGLONG asUtc =
        (static_cast<ULONGLONG>(utcTime.dwHighDateTime) << 32) | utcTime.dwLowDateTime;
    // UTC = local + bias
    EXPECT_EQ(ReleaseTimeOf(L"2013-05-02 17:30"), asUtc + zone.Bias * kOneMinute);
    // Midnight of the first day of 1601 is before file time begins in such a zone.
    EXPECT_EQ(ReleaseTimeOf(L"1601-01-01 00:00"), kEarliestFileTime);
}

TEST(LocalMinuteToFileTime, ValidDatesAreOneMinuteApartPerMinute) {
    const ULONGLONG at1730 = ReleaseTimeOf(L"2013-05-02 17:30");
    ASSERT_NE(at1730, kEarliestFileTime);
    EXPECT_EQ(ReleaseTimeOf(L"2013-5-2 17:31") - at1730, kOneMinute);
    EXPECT_EQ(at1730 - LocalMinuteToFileTime({2013, 5, 2, 17, 29}), kOneMinute);
    EXPECT_EQ(ReleaseTimeOf(L"2013-05-02 17:30:59"), at1730);
}

TEST(GetFileWriteMinute, GivesTheLocalWriteTimeWithoutSeconds) {
    TestFolder folder;
    const std::wstring path = folder / L"a.dat";
    updatetest::WriteTextFile(path, "a");
    updatetest::SetLocalWriteTime(path, 2013, 5, 2, 17, 29, 59);
    const auto minute = GetFileWriteMinute(path.c_str());
    ASSERT_TRUE(minute.has_value());
    EXPECT_EQ(*minute, (ManifestDate{2013, 5, 2, 17, 29}));
    // Back to the same UTC time the manifest's release time would have.
    EXPECT_EQ(LocalMinuteToFileTime(*minute), ReleaseTimeOf(L"2013-05-02 17:29"));

    EXPECT_FALSE(GetFileWriteMinute((folder / L"missing.dat").c_str()).has_value());
}

}  // namespace
