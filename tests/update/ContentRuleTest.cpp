// What a signed release decides of an installed file it checks, and the install record's text.
#include <gtest/gtest.h>

#include "update/ContentRule.h"
#include "update/InstallRecordText.h"

namespace {

using ContentRule::Content;
using ContentRule::Verdict;

const Content kRelease{2048, std::wstring(64, L'a')};
const Content kBefore{1024, std::wstring(64, L'b')};
const Content kEdited{2048, std::wstring(64, L'c')};

TEST(ContentRule, TheRecordDecidesAndAFileWithoutOneIsJudgedByItsBytesOnce) {
    const struct {
        const char* name;
        std::optional<Content> recorded, present, before;
        bool olderByDate;
        Verdict verdict;
    } cases[] = {
        // The record holds what the component installed; the file's time never counts.
        {"recorded as the release", kRelease, {}, {}, true, Verdict::Keep},
        {"recorded as another release", kBefore, {}, {}, false, Verdict::Fetch},
        {"changed in place, same release", kRelease, kEdited, {}, true, Verdict::Keep},
        {"changed in place, the release changes it", kBefore, kEdited, {}, false, Verdict::Fetch},
        {"same digest, other size in the record",
         Content{1, kRelease.sha256},
         {},
         {},
         false,
         Verdict::Fetch},
        // No record: hashed once.
        {"no record, the release's bytes", {}, kRelease, kBefore, true, Verdict::KeepAndRecord},
        {"no record, the release before's bytes", {}, kBefore, kBefore, false, Verdict::Fetch},
        {"no record, other bytes, older by date", {}, kEdited, kBefore, true, Verdict::Fetch},
        {"no record, other bytes, not older", {}, kEdited, kBefore, false, Verdict::Keep},
        {"no record, none before, not older", {}, kBefore, {}, false, Verdict::Keep},
        {"no record, unreadable, older by date", {}, {}, kBefore, true, Verdict::Fetch},
        {"no record, unreadable, not older", {}, {}, kBefore, false, Verdict::Keep},
    };
    for (const auto& c : cases) {
        const ContentRule::Facts facts{kRelease, c.recorded, c.present, c.before, c.olderByDate};
        EXPECT_EQ(ContentRule::Judge(facts), c.verdict) << c.name;
    }
}

TEST(ContentRule, ASignedEntryNamesContentOnlyWithASizeAndAWholeDigest) {
    const std::wstring upper = L"AB" + std::wstring(62, L'0');
    EXPECT_EQ(ContentRule::SignedContent(7, upper), (Content{7, L"ab" + std::wstring(62, L'0')}));
    EXPECT_EQ(ContentRule::SignedContent(0, kRelease.sha256), (Content{0, kRelease.sha256}));
    for (const std::wstring& bad : {std::wstring(), std::wstring(63, L'a'), std::wstring(65, L'a'),
                                    L"g" + std::wstring(63, L'a')})
        EXPECT_FALSE(ContentRule::SignedContent(7, bad)) << std::string(bad.begin(), bad.end());
    EXPECT_FALSE(ContentRule::SignedContent(-1, kRelease.sha256));
}

const std::vector<InstallRecordText::Entry> kEntries = {{L"C:\\P\\A.dll", kRelease},
                                                        {L"C:\\P\\sub dir\\B.txt", kBefore},
                                                        {L"C:\\T\\0", {0, kEdited.sha256}}};

TEST(InstallRecordText, ReadsBackWhatItWrote) {
    EXPECT_EQ(InstallRecordText::Parse(InstallRecordText::Format(kEntries)), kEntries);
    EXPECT_EQ(InstallRecordText::Parse(InstallRecordText::Format({})),
              std::vector<InstallRecordText::Entry>{});
}

// A damaged record is no record: every file it named is hashed once, nothing is taken from it.
TEST(InstallRecordText, ARecordCutShortOrDamagedIsNoRecord) {
    const std::wstring whole = InstallRecordText::Format(kEntries);
    for (size_t length = 0; length < whole.size(); ++length)
        EXPECT_FALSE(InstallRecordText::Parse(whole.substr(0, length))) << length;
    const std::wstring header = L"PelkoWebLoader installed files 1\n";
    const std::wstring digest = kRelease.sha256;
    const std::wstring damaged[] = {
        L"PelkoWebLoader installed files 2\nend\n",
        header + digest + L"\t12\tC:\\a\nend",
        header + digest + L"\t12\tC:\\a\nend\nend\n",
        header + digest + L"\t12\nend\n",
        header + digest + L"\t\tC:\\a\nend\n",
        header + digest + L"\t012\tC:\\a\nend\n",
        header + digest + L"\t-1\tC:\\a\nend\n",
        header + digest + L"\t99999999999999999999\tC:\\a\nend\n",
        header + digest + L"\t12\t\nend\n",
        header + digest + L"\t12\tC:\\a\tb\nend\n",
        header + digest.substr(1) + L"\t12\tC:\\a\nend\n",
        header + L"A" + digest.substr(1) + L"\t12\tC:\\a\nend\n",
    };
    for (const std::wstring& text : damaged)
        EXPECT_FALSE(InstallRecordText::Parse(text)) << std::string(text.begin(), text.end());
}

}  // namespace
