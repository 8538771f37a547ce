// The date invariant: a client that installs a package (its reader stamps the file with the
// entry's DOS time, read as the client's local time) and then compares the file's last-write
// minute with ModifyDate finds the file current. Each case publishes for clients in a zone
// unlike the publisher's own (this test runs with TZ=America/Los_Angeles) and then plays the
// client in its zone with the component's own reader and the same comparison.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>

#include "PublishTestSupport.h"
#include "tools/publish/CPackageReader.h"
#include "tools/publish/CScopedZone.h"

namespace fs = std::filesystem;
using namespace PublishTest;

namespace {

struct DateCase {
    const char* clientZone;  // empty: the publisher's own zone
    const char* modified;    // the file's time on the clients' wall clock
    const char* modifyDate;  // expected manifest value
};

// What the client compares: both minutes turned into times by its local-time rule.
int64_t LocalMinute(const ManifestDate& m) {
    std::tm fields{};
    fields.tm_year = m.year - 1900;
    fields.tm_mon = m.month - 1;
    fields.tm_mday = m.day;
    fields.tm_hour = m.hour;
    fields.tm_min = m.minute;
    fields.tm_isdst = -1;
    return static_cast<int64_t>(mktime(&fields));
}

ManifestDate FileWriteMinute(const fs::path& file) {
    struct stat facts {};
    stat(file.c_str(), &facts);
    std::tm local{};
    localtime_r(&facts.st_mtim.tv_sec, &local);
    return ManifestDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min};
}

ManifestDate Parse(const std::string& text) {
    return ParseManifestDate(std::wstring(text.begin(), text.end()));
}

class PublishDateTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(PublishDateTest, InstalledFileIsCurrentForTheClient) {
    const DateCase& c = GetParam();
    const std::string zone = *c.clientZone ? c.clientZone : "America/Los_Angeles";
    Workspace space("date");
    space.WriteFile("bin/a.dll", "payload", ZoneTime(zone, c.modified));
    space.Describe("[a.dll]\nTargetDir=bin\nCheckDate=1\n");
    std::vector<std::string> options;
    if (*c.clientZone) options = {"--clients-tz", c.clientZone};
    ASSERT_EQ(0, space.Build(options).code);
    const std::string modifyDate = space.ManifestKey("a.dll", "ModifyDate");
    EXPECT_EQ(c.modifyDate, modifyDate);

    // The client, in its own zone: install the package next to the target, then check.
    const CScopedZone client(zone);
    const fs::path target = space.Root() / "client" / "bin";
    fs::create_directories(target);
    fs::copy_file(space.Output() / "RudovuZado" / "a.dll.zip", target / "a.dll.zip");
    CPackageReader(target / "a.dll.zip").ExtractFirst(target);
    const ManifestDate installed = FileWriteMinute(target / "a.dll");
    EXPECT_EQ(Parse(modifyDate), installed) << modifyDate;
    EXPECT_FALSE(LocalMinute(installed) < LocalMinute(Parse(modifyDate)));
}

INSTANTIATE_TEST_SUITE_P(
    Zones, PublishDateTest,
    ::testing::Values(
        // Asia/Seoul: nine hours ahead of UTC, sixteen or seventeen ahead of the publisher.
        DateCase{"Asia/Seoul", "2026-01-15 17:29:59", "2026-01-15 17:29"},
        DateCase{"Asia/Seoul", "2026-01-15 17:30:00", "2026-01-15 17:30"},
        DateCase{"Asia/Seoul", "2026-07-15 17:30:59", "2026-07-15 17:30"},
        // Late evening in Seoul is another day in UTC and for the publisher.
        DateCase{"Asia/Seoul", "2026-03-01 08:59:30", "2026-03-01 08:59"},
        // Daylight saving on the clients' side, in both seasons and both hemispheres.
        DateCase{"America/New_York", "2026-01-15 17:29:59", "2026-01-15 17:29"},
        DateCase{"America/New_York", "2026-07-15 17:30:59", "2026-07-15 17:30"},
        DateCase{"Europe/Berlin", "2026-03-29 03:30:00", "2026-03-29 03:30"},
        DateCase{"Europe/Berlin", "2026-10-25 02:30:01", "2026-10-25 02:30"},
        DateCase{"Australia/Sydney", "2026-01-15 17:30:00", "2026-01-15 17:30"},
        DateCase{"Australia/Sydney", "2026-07-15 17:29:59", "2026-07-15 17:29"},
        // No zone given: the publisher's own.
        DateCase{"", "2026-06-01 09:00:01", "2026-06-01 09:00"},
        // Before what a DOS time can hold: the earliest one, on both sides.
        DateCase{"Asia/Seoul", "1975-05-05 12:00:00", "1980-01-01 00:00"}));

}  // namespace
