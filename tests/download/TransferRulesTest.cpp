#include <gtest/gtest.h>

#include <vector>

#include <string>

#include "download/TransferRules.h"

namespace {

using namespace TransferRules;

TEST(TransferRules, OnlyFailuresANewTryMayMendAreTransient) {
    const struct {
        FailureKind kind;
        uint32_t code;
        bool transient;
    } cases[] = {
        {FailureKind::ShortBody, 0, true},
        {FailureKind::Network, 12002, true},   // timeout
        {FailureKind::Network, 12030, true},   // connection aborted
        {FailureKind::Network, 12031, true},   // connection reset
        {FailureKind::Network, 12152, true},   // a head cut off
        {FailureKind::Network, 10054, true},   // the same, as the sockets name them
        {FailureKind::Network, 10053, true},   {FailureKind::Network, 10060, true},
        {FailureKind::Network, 10061, false},  // refused
        {FailureKind::Network, 12007, false},  // unknown host
        {FailureKind::Network, 12029, false},  // refused connection
        {FailureKind::Network, 12045, false},  // certificate authority unknown
        {FailureKind::Network, 12038, false},  // certificate name
        {FailureKind::Status, 408, true},    {FailureKind::Status, 429, true},
        {FailureKind::Status, 500, true},    {FailureKind::Status, 502, true},
        {FailureKind::Status, 503, true},    {FailureKind::Status, 504, true},
        {FailureKind::Status, 404, false},   {FailureKind::Status, 403, false},
        {FailureKind::Status, 501, false},   {FailureKind::Status, 302, false},
        {FailureKind::Refused, 0, false},    {FailureKind::None, 0, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsTransient({c.kind, c.code}), c.transient)
            << static_cast<int>(c.kind) << " " << c.code;
}

TEST(TransferRules, RetryAfterInSecondsOrAsADateIsCapped) {
    // 1994-11-06 08:49:37 UTC
    const int64_t now = 784111777;
    const struct {
        const char* value;
        std::optional<uint32_t> ms;
    } cases[] = {
        {"0", 0u},
        {"7", 7000u},
        {" 12 ", 12000u},
        {"60", 60000u},
        {"61", 60000u},
        {"99999999999999999999999", 60000u},
        {"Sun, 06 Nov 1994 08:49:47 GMT", 10000u},
        {"Sunday, 06-Nov-94 08:49:57 GMT", 20000u},
        {"Sun Nov  6 08:50:07 1994", 30000u},
        {"Sun, 06 Nov 1994 09:49:37 GMT", 60000u},
        {"Sun, 06 Nov 1994 08:00:00 GMT", 0u},  // past
        {"Sun, 06 Nov 1994 08:49:47 CET", std::nullopt},
        {"-5", std::nullopt},
        {"1.5", std::nullopt},
        {"", std::nullopt},
        {"soon", std::nullopt},
        {"Sun, 06 Foo 1994 08:49:47 GMT", std::nullopt},
        // How the date forms are read: spaces where a number or the zone begins, none
        // inside "06-Nov-94" or the time, and nothing read after the date.
        {"Sun,06 Nov\t1994  08:49:47\nGMT", 10000u},
        {"Sun, 06 Nov 1994 08:49:47 GMT\tlater", 10000u},
        {"Sun Nov  6 08:50:07 1994 GMT", 30000u},
        {"Sun, 06 Nov 1994 08:49:47 GMTX", std::nullopt},
        {"Sun, 06 Nov 1994 08:49 GMT", std::nullopt},
        {"Sun, 06 Nov 1994 08 :49:47 GMT", std::nullopt},
        {"Sun Nov  6 08:49:47", std::nullopt},
        {"Sunday, 06 -Nov-94 08:49:57 GMT", std::nullopt},
        {"Sunday, +06-Nov-94 08:49:57 GMT", 20000u},
        {"Sunday, 06-Nov-70 08:49:57 GMT", 0u},                 // 1970
        {"Sunday, 06-Nov-69 08:49:57 GMT", 60000u},             // 2069
        {"Sun, 06 Nov 4294969290 08:49:47 GMT", std::nullopt},  // a year past int
        {"Sun, 06 Nov 2147483647 08:49:47 GMT", 60000u},
    };
    for (const auto& c : cases) EXPECT_EQ(RetryAfterMs(c.value, now, 60000), c.ms) << c.value;
}

TEST(TransferRules, BackoffIsFullJitterUnderADoublingCeiling) {
    const struct {
        int retry;
        uint32_t random;
        uint32_t ms;
    } cases[] = {
        {1, 0, 0},          {1, 1000, 1000},   {1, 1001, 0},        {2, 2000, 2000},
        {2, 2001, 0},       {3, 4000, 4000},   {5, 16000, 16000},   {6, 30000, 30000},
        {6, 30001, 0},      {40, 30000, 30000}, {40, 0xFFFFFFFFu, 0xFFFFFFFFu % 30001},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BackoffMs(c.retry, 1000, 30000, c.random), c.ms) << c.retry << " " << c.random;
}

TEST(TransferRules, NextTryTakesTheServersWordUpToItsCap) {
    EXPECT_EQ(NextTryDelayMs(1, 5000u, 123), 5000u);
    EXPECT_EQ(NextTryDelayMs(1, 0u, 123), 0u);
    EXPECT_EQ(NextTryDelayMs(1, 90000u, 123), 60000u);
    EXPECT_EQ(NextTryDelayMs(2, std::nullopt, 1500), 1500u);
    EXPECT_EQ(NextTryDelayMs(2, std::nullopt, 2001), 0u);
}

// Fed between reads: a transfer is judged once a window is full, each window on its own.
TEST(TransferRules, ATransferBelowTheSpeedFloorOverAWholeWindowStalls) {
    struct Feed {
        uint32_t nowMs;
        uint64_t bytes;
        bool below;
    };
    const TransferRules::SpeedFloor floor{60000, 61440};
    const struct {
        const char* name;
        uint32_t startMs;
        std::vector<Feed> feeds;
    } cases[] = {
        {"a drip is judged when its window is full",
         0,
         {{1000, 100, false}, {59999, 61000, false}, {60000, 61439, true}}},
        {"exactly the floor passes", 0, {{60000, 61440, false}}},
        {"a fast window, then a dripping one",
         0,
         {{60000, 10000000, false}, {119999, 10000001, false}, {120000, 10061439, true}}},
        {"a fast window, then a fast one",
         0,
         {{60000, 10000000, false}, {120000, 10061440, false}, {180000, 10061440, true}}},
        {"a silent start within the window", 0, {{30000, 0, false}}},
        {"nothing at all over the window", 0, {{60000, 0, true}}},
        {"the clock wraps within a window",
         0xFFFFF000u,
         {{0x00000100u, 10, false}, {0xFFFFF000u + 60000u, 61439, true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TransferRules::SpeedWindow window{c.startMs, 0};
        for (const Feed& feed : c.feeds) {
            SCOPED_TRACE(feed.nowMs);
            EXPECT_EQ(TransferRules::BelowFloor(window, floor, feed.nowMs, feed.bytes), feed.below);
        }
    }
}

TEST(TransferRules, APartialAnswerIsAppendedOnlyWhereItWasAskedFor) {
    const struct {
        bool asked;
        uint64_t start, total;
        const char* range;
        bool appended;
    } cases[] = {
        {true, 100, 0, "bytes 100-999/1000", true},
        {true, 100, 1000, "bytes 100-999/1000", true},
        {true, 100, 1001, "bytes 100-999/1000", false},  // another total
        {true, 100, 0, "bytes 0-999/1000", false},       // from the start
        {true, 100, 0, "bytes 101-999/1000", false},
        {true, 100, 0, "bytes 100-499/1000", false},  // stops short of the end
        {true, 100, 0, "bytes 100-999/*", false},
        {true, 100, 0, "bytes */1000", false},
        {true, 100, 0, "", false},
        {true, 100, 0, "items 100-999/1000", false},
        {true, 100, 0, "bytes 100-999/1000x", false},
        {true, 100, 0, "bytes 100-99/100", false},
        {false, 0, 0, "bytes 0-999/1000", false},  // a range nobody asked for
        {true, 0, 0, "bytes 0-0/1", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MayAppendPartial(c.asked, c.start, c.total, c.range), c.appended)
            << c.range << " at " << c.start;
}

TEST(TransferRules, OnlyIdentityBodiesAreTheBytes) {
    EXPECT_TRUE(IsIdentityEncoding(""));
    EXPECT_TRUE(IsIdentityEncoding(" Identity "));
    EXPECT_FALSE(IsIdentityEncoding("gzip"));
    EXPECT_FALSE(IsIdentityEncoding("br"));
    EXPECT_FALSE(IsIdentityEncoding("identity, gzip"));
}

TEST(TransferRules, ABodyStartsAsAZipOrNot) {
    const struct {
        std::string bytes;
        ZipStart start;
    } cases[] = {
        {std::string("PK\x03\x04rest", 8), ZipStart::Yes},
        {std::string("PK\x05\x06", 4), ZipStart::Yes},
        {"PK", ZipStart::NeedMore},
        {"", ZipStart::NeedMore},
        {"<!DOCTYPE html>", ZipStart::No},
        {"<", ZipStart::No},
        {std::string("PK\x01\x02", 4), ZipStart::No},
        {"\x1f\x8b\x08", ZipStart::No},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LooksLikeZip(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()),
                  c.start)
            << c.bytes;
}

TEST(TransferRules, ABodyOfUnknownLengthMustEndAsAZip) {
    const std::string end("PK\x05\x06" + std::string(16, '\0') + std::string("\0\0", 2));
    const std::string withComment("PK\x05\x06" + std::string(16, '\0') + std::string("\x03\0", 2) +
                                  "abc");
    const struct {
        std::string tail;
        bool ends;
    } cases[] = {
        {end, true},
        {"data" + end, true},
        {"data" + withComment, true},
        {"data" + withComment + "x", false},  // past its comment
        {"data" + withComment.substr(0, withComment.size() - 1), false},
        {end.substr(0, 21), false},  // cut within the record
        {"data" + end + "more", false},
        {"PK\x03\x04 cut in the middle of an entry", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EndsAsZip(reinterpret_cast<const uint8_t*>(c.tail.data()), c.tail.size()),
                  c.ends)
            << c.tail.size();
}

}  // namespace
