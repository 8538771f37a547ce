// The kept manifest's validators file: written and read back with the URL they came from, and
// sent to that URL only.
#include <gtest/gtest.h>

#include "update/KeptValidators.h"

namespace {

const std::wstring kUrl = L"http://a.example.com/Patch/RudovuZado.ini.zip";
const KeptValidators kKept{L"\"65f1a7c0-1d2\"", L"Fri, 01 Mar 2024 10:00:00 GMT", kUrl};

TEST(KeptValidators, ReadsBackWhatItWrote) {
    for (const KeptValidators& kept : {kKept, KeptValidators{L"", kKept.lastModified, kUrl},
                                       KeptValidators{kKept.etag, L"", kUrl}}) {
        const auto text = kept.Text();
        ASSERT_TRUE(text);
        EXPECT_EQ(KeptValidators::FromText(*text), kept);
    }
}

TEST(KeptValidators, OnlyTheUrlTheyCameFromGetsThem) {
    EXPECT_TRUE(kKept.BelongTo(kUrl));
    for (const wchar_t* other : {L"http://b.example.com/Patch/RudovuZado.ini.zip",
                                 L"http://a.example.com/Patch2/RudovuZado.ini.zip", L""})
        EXPECT_FALSE(kKept.BelongTo(other)) << other;
}

TEST(KeptValidators, NothingIsKeptThatWouldNotBeSentBackAsItCame) {
    const struct {
        const char* what;
        KeptValidators kept;
    } rows[] = {
        {"no validators", {L"", L"", kUrl}},
        {"no URL", {kKept.etag, kKept.lastModified, L""}},
        {"a line end in the ETag", {L"\"a\"\nX", kKept.lastModified, kUrl}},
        {"a character beyond ASCII in the URL",
         {kKept.etag, kKept.lastModified, L"http://\u00e9.example/"}},
    };
    for (const auto& row : rows) EXPECT_FALSE(row.kept.Text()) << row.what;
}

TEST(KeptValidators, AFileWithoutItsUrlBelongsToNoUrl) {
    const struct {
        const char* what;
        std::string text;
    } rows[] = {
        {"two lines, as kept before the URL was",
         "\"65f1a7c0-1d2\"\nFri, 01 Mar 2024 10:00:00 GMT\n"},
        {"an empty URL line", "\"x\"\nFri, 01 Mar 2024 10:00:00 GMT\n\n"},
        {"no line end after the URL", "\"x\"\n\n" + std::string(kUrl.begin(), kUrl.end())},
        {"a fourth line", *kKept.Text() + "more\n"},
        {"a control character", "\"x\x01\"\n\nhttp://a/\n"},
        {"empty", ""},
    };
    for (const auto& row : rows) EXPECT_FALSE(KeptValidators::FromText(row.text)) << row.what;
    EXPECT_EQ(KeptValidators::FromText("\"x\"\r\n\r\nhttp://a/\r\n"),
              (KeptValidators{L"\"x\"", L"", L"http://a/"}));
}

}  // namespace
