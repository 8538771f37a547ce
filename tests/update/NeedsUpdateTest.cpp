#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "UpdateTestFiles.h"
#include "update/CHeldFile.h"
#include "update/NeedsUpdate.h"
#include "update/ReleaseTime.h"

// Set by a test: called just before a DLL in place is registered again.
std::function<void()> g_onReRegistration;

void ReRegistrationReached() {
    if (g_onReRegistration) g_onReRegistration();
}

namespace {

using updatetest::RegistrationCount;
using updatetest::SetLocalWriteTime;
using updatetest::TestFolder;

const std::vector<std::wstring> kCommon{L"Common"};

TEST(NeedsUpdate, DateCheckComparesWholeMinutesInLocalTime) {
    TestFolder folder;
    const std::wstring path = folder / L"A.dat";
    updatetest::WriteTextFile(path, "old copy");
    const ULONGLONG release = ReleaseTimeOf(L"2013-05-02 17:30");
    const struct {
        WORD year, month, day, hour, minute, second;
        bool outdated;
    } cases[] = {
        {2013, 5, 2, 17, 29, 59, true},  {2013, 5, 2, 17, 30, 0, false},
        {2013, 5, 2, 17, 30, 59, false}, {2013, 5, 2, 17, 31, 0, false},
        {2013, 5, 1, 23, 59, 59, true},  {2014, 1, 1, 0, 0, 0, false},
    };
    for (const auto& c : cases) {
        SetLocalWriteTime(path, c.year, c.month, c.day, c.hour, c.minute, c.second);
        EXPECT_EQ(NeedsUpdate(path, release, FALSE, TRUE, L"Common", kCommon), c.outdated)
            << c.hour << ":" << c.minute << ":" << c.second << " on day " << c.day;
        // Without the date check an existing copy stays.
        EXPECT_FALSE(NeedsUpdate(path, release, FALSE, FALSE, L"Common", kCommon));
    }
}

TEST(NeedsUpdate, AReleaseTimeThatCannotBeFormedNeverForcesADownload) {
    TestFolder folder;
    const std::wstring path = folder / L"A.dat";
    updatetest::WriteTextFile(path, "old copy");
    SetLocalWriteTime(path, 1990, 1, 1, 0, 0, 0);
    ASSERT_TRUE(NeedsUpdate(path, ReleaseTimeOf(L"2100-01-01 00:00"), FALSE, TRUE, L"", {}));
    for (const wchar_t* date :
         {L"", L"2013/05/02 17:30", L"2013-0-2 7:05", L"2013-13-2 7:05", L"1600-05-02 10:00"}) {
        EXPECT_FALSE(NeedsUpdate(path, ReleaseTimeOf(date), FALSE, TRUE, L"", {}))
            << testing::PrintToString(std::wstring(date));
    }
}

TEST(NeedsUpdate, TypeFilterComesFirstThenAMissingFileIsAlwaysOutdated) {
    TestFolder folder;
    const std::wstring missing = folder / L"missing.dll";
    const ULONGLONG release = ReleaseTimeOf(L"2013-05-02 17:30");
    const struct {
        std::vector<std::wstring> filter;
        const wchar_t* type;
        bool outdated;
    } cases[] = {
        {{}, L"", true},
        {{}, L"anything", true},
        {kCommon, L"Common", true},
        {{L"Agent", L"Common"}, L"Common", true},
        {kCommon, L"common", false},
        {kCommon, L"", false},
    };
    for (const auto& c : cases) {
        for (BOOL flags : {FALSE, TRUE}) {
            EXPECT_EQ(NeedsUpdate(missing, release, flags, flags, c.type, c.filter), c.outdated)
                << testing::PrintToString(std::wstring(c.type)) << " flags " << flags;
        }
    }
}

TEST(NeedsUpdate, AnExistingRegisteredFileIsRegisteredAgainOnEveryCheckAndNeverQueued) {
    TestFolder folder;
    const std::wstring dll = folder / L"bin\\Comp.dll";
    updatetest::CopyTestDll(L"testreg_ok.dll", dll);
    const ULONGLONG release = ReleaseTimeOf(L"2100-01-01 00:00");

    EXPECT_FALSE(NeedsUpdate(dll, release, TRUE, FALSE, L"Common", kCommon));
    EXPECT_FALSE(NeedsUpdate(dll, release, TRUE, FALSE, L"Common", kCommon));
    EXPECT_EQ(RegistrationCount(dll), 2);

    // Filtered out: no registration either. Without Register, or with the date check, none.
    EXPECT_FALSE(NeedsUpdate(dll, release, TRUE, FALSE, L"common", kCommon));
    EXPECT_FALSE(NeedsUpdate(dll, release, FALSE, FALSE, L"Common", kCommon));
    SetLocalWriteTime(dll, 2100, 1, 1, 0, 0, 30);
    EXPECT_FALSE(NeedsUpdate(dll, release, TRUE, TRUE, L"Common", kCommon));
    EXPECT_EQ(RegistrationCount(dll), 2);
}

TEST(NeedsUpdate, RegistrationFailuresAreSwallowed) {
    TestFolder folder;
    const std::wstring failing = folder / L"Failing.dll";
    const std::wstring noEntry = folder / L"NoEntry.dll";
    const std::wstring text = folder / L"Text.dll";
    updatetest::CopyTestDll(L"testreg_fail.dll", failing);
    updatetest::CopyTestDll(L"testreg_noentry.dll", noEntry);
    updatetest::WriteTextFile(text, "not a DLL");
    for (const std::wstring& path : {failing, noEntry, text})
        EXPECT_FALSE(NeedsUpdate(path, kEarliestFileTime, TRUE, FALSE, L"", {}));
    EXPECT_EQ(RegistrationCount(failing), 1);
}

// A DLL in place is registered again only when the file loaded is the one the signed manifest
// names: hashed through the handle it is loaded from, after the last moment it could be
// swapped.
TEST(NeedsUpdate, ADllRegisteredAgainIsHashedThroughTheHandleItIsLoadedFrom) {
    TestFolder folder;
    const std::wstring dll = folder / L"A.dll";
    const std::wstring other = folder / L"Other.dll";
    updatetest::CopyTestDll(L"testreg_ok.dll", dll);
    updatetest::CopyTestDll(L"testreg_sfalse.dll", other);
    const std::wstring signedDigest = CHeldFile(dll, CHeldFile::Use::Read).Sha256Hex();
    ASSERT_EQ(signedDigest.size(), 64u);

    EXPECT_FALSE(NeedsUpdate(dll, kEarliestFileTime, TRUE, FALSE, L"", {}, signedDigest));
    EXPECT_EQ(RegistrationCount(dll), 1);

    // Swapped after the check judged it: the swapped DLL would log beside it.
    g_onReRegistration = [&] { CopyFileW(other.c_str(), dll.c_str(), FALSE); };
    EXPECT_FALSE(NeedsUpdate(dll, kEarliestFileTime, TRUE, FALSE, L"", {}, signedDigest));
    g_onReRegistration = nullptr;
    EXPECT_EQ(RegistrationCount(dll), 1);
    EXPECT_NE(CHeldFile(dll, CHeldFile::Use::Read).Sha256Hex(), signedDigest) << "not swapped";
}

}  // namespace
