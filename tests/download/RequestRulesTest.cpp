#include <gtest/gtest.h>

#include "download/RequestRules.h"

namespace {

using Types = std::vector<std::wstring>;

TEST(RequestRules, OpenRequestFlagsKeepCertificateChecksForHttps) {
    // Reload and no cache write, but no pragma: a proxy may share what it fetched.
    EXPECT_EQ(RequestRules::OpenRequestFlags(false, false), 0x84400000u);
    EXPECT_EQ(RequestRules::OpenRequestFlags(true, false), 0x84C00000u);
    EXPECT_EQ(RequestRules::OpenRequestFlags(false, true), 0x84600000u);
    EXPECT_EQ(RequestRules::OpenRequestFlags(true, true), 0x84E00000u);
}

TEST(RequestRules, AServers401PromptsOnlyOverHttps) {
    const struct {
        bool proxy, https, promptProxy, promptHttp, prompts;
    } cases[] = {
        {false, false, true, true, false},  // server over http: never
        {false, true, true, true, true},   {false, true, true, false, false},
        {true, false, true, true, true},  // proxy: as its switch says
        {true, true, true, false, true},   {true, false, false, true, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            RequestRules::MayPromptForCredentials(c.proxy, c.https, c.promptProxy, c.promptHttp),
            c.prompts)
            << c.proxy << c.https << c.promptProxy << c.promptHttp;
}

TEST(RequestRules, RangeHeaderOnlyWhenResuming) {
    EXPECT_EQ(RequestRules::RangeHeader(0), L"");
    EXPECT_EQ(RequestRules::RangeHeader(5), L"Range: bytes=5-\r\n");
    EXPECT_EQ(RequestRules::RangeHeader(5000000000ULL), L"Range: bytes=5000000000-\r\n");
}

TEST(RequestRules, RequestHeadersAskForTheBytesThemselvesAndNameTheirValidators) {
    const struct {
        uint64_t start;
        const wchar_t *ifRange, *ifNoneMatch, *ifModifiedSince, *headers;
    } cases[] = {
        {0, L"", L"", L"", L"Accept-Encoding: identity\r\n"},
        {0, L"\"v1\"", L"", L"", L"Accept-Encoding: identity\r\n"},  // no range, no If-Range
        {7, L"", L"", L"", L"Accept-Encoding: identity\r\nRange: bytes=7-\r\n"},
        {7, L"\"v1\"", L"", L"",
         L"Accept-Encoding: identity\r\nRange: bytes=7-\r\nIf-Range: \"v1\"\r\n"},
        {0, L"", L"\"m\"", L"Sun, 06 Nov 1994 08:49:37 GMT",
         L"Accept-Encoding: identity\r\nIf-None-Match: \"m\"\r\n"
         L"If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n"},
        {0, L"", L"\"m\"\r\nX-Evil: 1", L"", L"Accept-Encoding: identity\r\n"},
        {7, L"\"v\"\nX: 1", L"", L"", L"Accept-Encoding: identity\r\nRange: bytes=7-\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RequestRules::RequestHeaders(c.start, c.ifRange, c.ifNoneMatch, c.ifModifiedSince),
                  c.headers)
            << c.start << " " << c.ifRange;
}

TEST(RequestRules, SplitAcceptTypesKeepsNonEmptyUntrimmedParts) {
    EXPECT_EQ(RequestRules::SplitAcceptTypes(L"*/*"), Types({L"*/*"}));
    EXPECT_EQ(RequestRules::SplitAcceptTypes(L"text/html, */*"), Types({L"text/html", L" */*"}));
    EXPECT_EQ(RequestRules::SplitAcceptTypes(L"a;b,,c;"), Types({L"a", L"b", L"c"}));
    EXPECT_EQ(RequestRules::SplitAcceptTypes(L",;,"), Types());
    EXPECT_EQ(RequestRules::SplitAcceptTypes(L""), Types());
}

TEST(RequestRules, DisplayNameOfObject) {
    const struct {
        const wchar_t* object;
        const wchar_t* name;
    } cases[] = {
        {L"/files/abc.zip", L"abc.zip"},
        {L"/abc.zip?x=1", L"abc.zip?x=1"},
        {L"dir\\abc.zip", L"abc.zip"},
        {L"/a/b\\c.zip", L"b\\c.zip"},
        {L"abc.zip", L"abc.zip"},
        {L"/", L"/"},
        {L"", L""},
        {L"/files/", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RequestRules::DisplayNameOfObject(c.object), c.name) << c.object;
}

}  // namespace
