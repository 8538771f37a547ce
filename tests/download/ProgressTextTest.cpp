#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "download/ProgressText.h"

namespace {

TEST(ProgressText, SizeTextSwitchesUnitsAtKilobyteAndMegabyte) {
    const struct {
        uint64_t bytes;
        const wchar_t* text;
    } cases[] = {
        {0, L"0 Bytes"},       {1023, L"1023 Bytes"},   {1024, L"1.0 KB"},
        {1536, L"1.5 KB"},     {1048575, L"1024.0 KB"}, {1048576, L"1.00 MB"},
        {1572864, L"1.50 MB"}, {3355443, L"3.20 MB"},   {5368709120ULL, L"5120.00 MB"},
    };
    for (const auto& c : cases) EXPECT_EQ(ProgressText::SizeText(c.bytes), c.text) << c.bytes;
}

TEST(ProgressText, TimeTextAndTimeLeftLine) {
    const struct {
        uint32_t seconds;
        const wchar_t* text;
    } cases[] = {{0, L"0 sec"},        {59, L"59 sec"},       {60, L"1 min"},
                 {61, L"1 min 1 sec"}, {125, L"2 min 5 sec"}, {3600, L"60 min"}};
    for (const auto& c : cases) EXPECT_EQ(ProgressText::TimeText(c.seconds), c.text) << c.seconds;
    EXPECT_EQ(ProgressText::TimeLeftLine(125, 1572864, 3355443),
              L"2 min 5 sec (1.50 MB of 3.20 MB copied)");
}

TEST(ProgressText, TransferRateLineTreatsBytesPerMillisecondAsKilobytesPerSecond) {
    const struct {
        double rate;
        const wchar_t* text;
    } cases[] = {{0.0, L"0 Bytes/Sec"},    {0.5, L"512 Bytes/Sec"}, {1.0, L"1.00 KB/Sec"},
                 {9.999, L"10.00 KB/Sec"}, {10.0, L"10 KB/Sec"},    {123.4, L"123 KB/Sec"}};
    for (const auto& c : cases) EXPECT_EQ(ProgressText::TransferRateLine(c.rate), c.text) << c.rate;
}

TEST(ProgressText, PercentLine) {
    EXPECT_EQ(ProgressText::PercentLine(45, L"abc.zip"), L"45 of abc.zip Completed");
}

TEST(ProgressText, FilePercentCountsTheResumeOffsetAndNeverDividesByZero) {
    EXPECT_EQ(ProgressText::FilePercent(0, 0, 200), 0);
    EXPECT_EQ(ProgressText::FilePercent(0, 199, 200), 99);
    EXPECT_EQ(ProgressText::FilePercent(100, 50, 200), 75);
    EXPECT_EQ(ProgressText::FilePercent(0, 300, 200), 150);  // longer than announced
    EXPECT_EQ(ProgressText::FilePercent(0, 0, 0), 100);      // empty body announced as such
    // A server announcing 1 byte and sending gigabytes: the figure saturates, never negative.
    EXPECT_EQ(ProgressText::FilePercent(0, 1ull << 32, 1), INT_MAX);
    EXPECT_EQ(ProgressText::FilePercent(UINT64_MAX - 5, 5, 1), INT_MAX);
    EXPECT_EQ(ProgressText::FilePercent(0, 300000000000000000ull, 1000000000000000000ull), 30);
    EXPECT_EQ(ProgressText::FilePercent(0, 3000000000000000000ull, 1000000000000000000ull), 300);
}

TEST(ProgressText, ListPercentMovesInWholeStepsPerRecord) {
    EXPECT_EQ(ProgressText::ListPercent(1, 4, 7), 25);
    EXPECT_EQ(ProgressText::ListPercent(2, 4, 7), 50);
    EXPECT_EQ(ProgressText::ListPercent(3, 4, 7), 75);
    EXPECT_EQ(ProgressText::ListPercent(4, 4, 7), 100);
    EXPECT_EQ(ProgressText::ListPercent(1, 3, 7), 33);
    EXPECT_EQ(ProgressText::ListPercent(1, 1, 42), 42);
    EXPECT_EQ(ProgressText::ListPercent(0, 0, 42), 100);
}

TEST(ProgressText, SecondsLeftFromAverageRate) {
    // 2000 ms for 1000 of 11000 bytes: 10000 bytes left at 0.5 bytes/ms.
    EXPECT_EQ(ProgressText::SecondsLeft(2000, 1000, 11000), 20u);
    EXPECT_EQ(ProgressText::SecondsLeft(2000, 0, 11000), 0u);
    EXPECT_EQ(ProgressText::SecondsLeft(2000, 12000, 11000), 0u);  // ran past the length
    // An announced length near 2^64 at one byte per second: bounded, not undefined.
    EXPECT_EQ(ProgressText::SecondsLeft(1000, 1, UINT64_MAX), ProgressText::kMaxSecondsLeft);
}

TEST(ProgressText, ThrottlePauseKeepsToTheCapAndStaysBounded) {
    // 1000 bytes at 1 byte/ms should take 1000 ms; 400 ms went by.
    EXPECT_EQ(ProgressText::ThrottlePauseMs(1000, 400, 1.0, 5000), 600u);
    EXPECT_EQ(ProgressText::ThrottlePauseMs(1000, 1000, 1.0, 5000), 0u);  // on time
    EXPECT_EQ(ProgressText::ThrottlePauseMs(1000, 0, 0.0, 5000), 0u);     // no cap
    EXPECT_EQ(ProgressText::ThrottlePauseMs(1000, 0, -3.0, 5000), 0u);
    // A tiny cap wants far more than any integer holds: the pause is cut to the bound.
    EXPECT_EQ(ProgressText::ThrottlePauseMs(1000, 0, 1e-300, 5000), 5000u);
    EXPECT_EQ(ProgressText::ThrottlePauseMs(1024, 0, 4.9e-324, 250), 250u);
}

TEST(ProgressText, StatusFormatsOfTheShownNotifications) {
    EXPECT_STREQ(ProgressText::StatusFormat(10), L"Resolving name: %s");
    EXPECT_STREQ(ProgressText::StatusFormat(11), L"Resolved name to %s");
    EXPECT_STREQ(ProgressText::StatusFormat(20), L"Connecting to %s");
    EXPECT_STREQ(ProgressText::StatusFormat(21), L"Connected to %s");
    EXPECT_STREQ(ProgressText::StatusFormat(110), L"Redirecting to %s");
    for (unsigned long other : {0ul, 30ul, 31ul, 40ul, 41ul, 70ul, 100ul})
        EXPECT_EQ(ProgressText::StatusFormat(other), nullptr) << other;
}

}  // namespace
