#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "UpdateTestFiles.h"
#include "support/updatetree/StoredZip.h"
#include "update/CInstallLite.h"
#include "update/NeedsUpdate.h"
#include "update/ReleaseTime.h"

// Runs in a zone with summer time (TZ in the test's environment), so that a file dated in one
// season is checked while the other season's offset is in force, whatever the day of the run.
namespace {

using updatetest::TestFolder;

const std::vector<std::wstring> kAnyType;

class SeasonTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        // The run time would read the Unix zone name in its own format; without it, it asks
        // the system, as it does on Windows.
        _putenv("TZ=");
        _tzset();
        TIME_ZONE_INFORMATION zone;
        ASSERT_NE(GetTimeZoneInformation(&zone), TIME_ZONE_ID_INVALID);
        ASSERT_NE(zone.DaylightBias, 0) << "the test expects a zone with summer time";
        ASSERT_NE(zone.DaylightDate.wMonth, 0) << "the test expects a zone with summer time";
    }
};

// A package dated at a local minute is installed by the installer; with the same minute as
// ModifyDate its file is current, with one minute later it is not.
TEST_F(SeasonTest, AnInstalledFileIsCurrentAgainstItsPackagesDateInEverySeason) {
    const struct {
        WORD month;
        const wchar_t* modifyDate;
        const wchar_t* minuteLater;
    } seasons[] = {
        {1, L"2013-01-15 17:30", L"2013-01-15 17:31"},
        {7, L"2013-07-15 17:30", L"2013-07-15 17:31"},
    };
    for (const auto& season : seasons) {
        TestFolder folder;
        const std::wstring target = folder / L"A.dat";
        updatetree::ZipEntry entry{"A.dat", "new copy", {}};
        entry.time = SYSTEMTIME{2013, season.month, 0, 15, 17, 30, 58, 0};
        ASSERT_TRUE(updatetree::WriteStoredZip(target + L".zip", {entry}));
        ASSERT_TRUE(CInstallLite::ExtractPackage(target + L".zip"));

        const auto minute = GetFileWriteMinute(target.c_str());
        ASSERT_TRUE(minute.has_value());
        EXPECT_EQ(*minute, (ManifestDate{2013, season.month, 15, 17, 30}))
            << "month " << season.month << ": " << minute->hour << ":" << minute->minute;
        EXPECT_FALSE(
            NeedsUpdate(target, ReleaseTimeOf(season.modifyDate), FALSE, TRUE, L"", kAnyType))
            << "month " << season.month;
        EXPECT_TRUE(
            NeedsUpdate(target, ReleaseTimeOf(season.minuteLater), FALSE, TRUE, L"", kAnyType))
            << "month " << season.month;
    }
}

// Summer time moves the clock by the daylight bias: the same local minute is that much less
// UTC in summer than in winter.
TEST_F(SeasonTest, ReleaseTimesUseTheOffsetOnTheirDate) {
    TIME_ZONE_INFORMATION zone;
    GetTimeZoneInformation(&zone);
    constexpr LONGLONG kOneMinute = 60LL * 10000000LL;
    constexpr LONGLONG kHalfYearDays = 181;
    const LONGLONG winter = static_cast<LONGLONG>(ReleaseTimeOf(L"2013-01-15 12:00"));
    const LONGLONG summer = static_cast<LONGLONG>(ReleaseTimeOf(L"2013-07-15 12:00"));
    EXPECT_EQ(summer - winter,
              kHalfYearDays * 24 * 60 * kOneMinute + zone.DaylightBias * kOneMinute);
}

}  // namespace
