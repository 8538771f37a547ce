#include "download/TransferRules.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace TransferRules {

namespace {

constexpr uint32_t kErrorTimeout = 12002;
constexpr uint32_t kErrorConnectionAborted = 12030;
constexpr uint32_t kErrorConnectionReset = 12031;
constexpr uint32_t kErrorInvalidServerResponse = 12152;
// The sockets' own codes for the same troubles, as some implementations of the platform pass
// them through.
constexpr uint32_t kSocketAborted = 10053;
constexpr uint32_t kSocketReset = 10054;
constexpr uint32_t kSocketTimedOut = 10060;

std::string Trimmed(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    return text.substr(begin, end - begin);
}

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Reads an unsigned decimal at text[at...]; false when there is none or it overflows.
bool ReadNumber(const std::string& text, size_t& at, uint64_t& value) {
    const size_t start = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        if (value > (UINT64_MAX - 9) / 10) return false;
        value = value * 10 + static_cast<uint64_t>(text[at] - '0');
        ++at;
    }
    return at > start;
}

int MonthOf(const std::string& name) {
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (int i = 0; i < 12; ++i)
        if (lower == kMonths[i]) return i;
    return -1;
}

int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// The pieces of an HTTP date, read as the C library's scanf reads its directives: a number or
// a word skips the white space before it, letters and other characters do not.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

void SkipSpaces(const std::string& text, size_t& at) {
    while (at < text.size() && IsSpace(text[at])) ++at;
}

bool ReadChar(const std::string& text, size_t& at, char c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
}

// One to max letters A-Z or a-z.
bool ReadLetters(const std::string& text, size_t& at, size_t max, std::string& letters) {
    const size_t start = at;
    while (at < text.size() && at - start < max &&
           ((text[at] >= 'A' && text[at] <= 'Z') || (text[at] >= 'a' && text[at] <= 'z')))
        ++at;
    letters = text.substr(start, at - start);
    return at > start;
}

// An optional sign and decimal digits; false when there are none or they do not fit an int.
bool ReadInt(const std::string& text, size_t& at, int& value) {
    SkipSpaces(text, at);
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    uint64_t magnitude = 0;
    if (!ReadNumber(text, at, magnitude) || magnitude > INT32_MAX) return false;
    value = negative ? -static_cast<int>(magnitude) : static_cast<int>(magnitude);
    return true;
}

// One to max characters other than white space.
bool ReadWord(const std::string& text, size_t& at, size_t max, std::string& word) {
    SkipSpaces(text, at);
    const size_t start = at;
    while (at < text.size() && at - start < max && !IsSpace(text[at])) ++at;
    word = text.substr(start, at - start);
    return at > start;
}

// "hh:mm:ss"
bool ReadTime(const std::string& text, size_t& at, int& hour, int& minute, int& second) {
    return ReadInt(text, at, hour) && ReadChar(text, at, ':') && ReadInt(text, at, minute) &&
           ReadChar(text, at, ':') && ReadInt(text, at, second);
}

struct HttpDate {
    std::string month, zone;
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
};

// "Sun, 06 Nov 1994 08:49:37 GMT"
std::optional<HttpDate> ReadRfc1123Date(const std::string& text) {
    HttpDate date;
    size_t at = 0;
    std::string weekday;
    if (!ReadLetters(text, at, 15, weekday) || !ReadChar(text, at, ',') ||
        !ReadInt(text, at, date.day))
        return std::nullopt;
    SkipSpaces(text, at);
    if (!ReadLetters(text, at, 7, date.month) || !ReadInt(text, at, date.year) ||
        !ReadTime(text, at, date.hour, date.minute, date.second) ||
        !ReadWord(text, at, 7, date.zone))
        return std::nullopt;
    return date;
}

// "Sunday, 06-Nov-94 08:49:37 GMT"
std::optional<HttpDate> ReadRfc850Date(const std::string& text) {
    HttpDate date;
    size_t at = 0;
    std::string weekday;
    if (!ReadLetters(text, at, 15, weekday) || !ReadChar(text, at, ',') ||
        !ReadInt(text, at, date.day) || !ReadChar(text, at, '-') ||
        !ReadLetters(text, at, 7, date.month) || !ReadChar(text, at, '-') ||
        !ReadInt(text, at, date.year) || !ReadTime(text, at, date.hour, date.minute, date.second) ||
        !ReadWord(text, at, 7, date.zone))
        return std::nullopt;
    if (date.year < 100) date.year += date.year < 70 ? 2000 : 1900;
    return date;
}

// "Sun Nov  6 08:49:37 1994", in GMT
std::optional<HttpDate> ReadAsctimeDate(const std::string& text) {
    HttpDate date;
    size_t at = 0;
    std::string weekday;
    if (!ReadLetters(text, at, 15, weekday)) return std::nullopt;
    SkipSpaces(text, at);
    if (!ReadLetters(text, at, 7, date.month) || !ReadInt(text, at, date.day) ||
        !ReadTime(text, at, date.hour, date.minute, date.second) || !ReadInt(text, at, date.year))
        return std::nullopt;
    date.zone = "GMT";
    return date;
}

// The three date forms of HTTP; what follows the date is not read.
std::optional<int64_t> ParseHttpDate(const std::string& text) {
    auto date = ReadRfc1123Date(text);
    if (!date) date = ReadRfc850Date(text);
    if (!date) date = ReadAsctimeDate(text);
    if (!date) return std::nullopt;
    const auto& [month, zone, day, year, hour, minute, second] = *date;
    const int monthIndex = MonthOf(month);
    if (monthIndex < 0 || zone != "GMT" || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 60 || year < 1970 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    return DaysFromCivil(year, static_cast<unsigned>(monthIndex + 1), static_cast<unsigned>(day)) *
               86400 +
           hour * 3600 + minute * 60 + second;
}

}  // namespace

bool BelowFloor(SpeedWindow& window, const SpeedFloor& floor, uint32_t nowMs, uint64_t bytes) {
    if (nowMs - window.startMs < floor.windowMs) return false;
    if (bytes - window.startBytes < floor.minBytes) return true;
    window = {nowMs, bytes};
    return false;
}

bool IsTransient(const Failure& failure) {
    switch (failure.kind) {
        case FailureKind::ShortBody:
            return true;
        case FailureKind::Network:
            return failure.code == kErrorTimeout || failure.code == kErrorConnectionAborted ||
                   failure.code == kErrorConnectionReset ||
                   failure.code == kErrorInvalidServerResponse || failure.code == kSocketAborted ||
                   failure.code == kSocketReset || failure.code == kSocketTimedOut;
        case FailureKind::Status:
            return failure.code == 408 || failure.code == 429 || failure.code == 500 ||
                   failure.code == 502 || failure.code == 503 || failure.code == 504;
        default:
            return false;
    }
}

std::optional<uint32_t> RetryAfterMs(const std::string& value, int64_t nowUnixSeconds,
                                     uint32_t capMs) {
    const std::string text = Trimmed(value);
    if (AllDigits(text)) {
        size_t at = 0;
        uint64_t seconds = 0;
        // Too many digits to read is longer than any cap.
        if (!ReadNumber(text, at, seconds) || seconds > capMs / 1000) return capMs;
        return static_cast<uint32_t>(seconds * 1000);
    }
    const auto date = ParseHttpDate(text);
    if (!date) return std::nullopt;
    if (*date <= nowUnixSeconds) return 0u;
    const int64_t seconds = *date - nowUnixSeconds;
    if (seconds > static_cast<int64_t>(capMs / 1000)) return capMs;
    return static_cast<uint32_t>(seconds * 1000);
}

uint32_t BackoffMs(int retry, uint32_t baseMs, uint32_t capMs, uint32_t random) {
    uint64_t ceiling = baseMs;
    for (int i = 1; i < retry && ceiling < capMs; ++i) ceiling *= 2;
    ceiling = std::min<uint64_t>(ceiling, capMs);
    return static_cast<uint32_t>(random % (ceiling + 1));
}

uint32_t NextTryDelayMs(int retry, const std::optional<uint32_t>& retryAfterMs, uint32_t random) {
    if (retryAfterMs) return std::min(*retryAfterMs, kRetryAfterCapMs);
    return BackoffMs(retry, kBackoffBaseMs, kBackoffCapMs, random);
}

bool MayAppendPartial(bool rangeAsked, uint64_t askedStart, uint64_t expectedTotal,
                      const std::string& contentRange) {
    if (!rangeAsked) return false;
    const std::string text = Trimmed(contentRange);
    if (text.compare(0, 6, "bytes ") != 0) return false;
    size_t at = 6;
    while (at < text.size() && text[at] == ' ') ++at;
    uint64_t first = 0, last = 0, total = 0;
    if (!ReadNumber(text, at, first) || at >= text.size() || text[at++] != '-') return false;
    if (!ReadNumber(text, at, last) || at >= text.size() || text[at++] != '/') return false;
    if (!ReadNumber(text, at, total) || at != text.size()) return false;
    if (first != askedStart || last < first || last + 1 != total) return false;
    return expectedTotal == 0 || total == expectedTotal;
}

bool IsIdentityEncoding(const std::string& contentEncoding) {
    std::string text = Trimmed(contentEncoding);
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text.empty() || text == "identity";
}

ZipStart LooksLikeZip(const uint8_t* bytes, size_t size) {
    static const uint8_t kLocalHeader[4] = {'P', 'K', 3, 4};
    static const uint8_t kEndRecord[4] = {'P', 'K', 5, 6};
    const size_t compared = std::min<size_t>(size, 4);
    const bool local = std::memcmp(bytes, kLocalHeader, compared) == 0;
    const bool end = std::memcmp(bytes, kEndRecord, compared) == 0;
    if (!local && !end) return ZipStart::No;
    return size < 4 ? ZipStart::NeedMore : ZipStart::Yes;
}

bool EndsAsZip(const uint8_t* tail, size_t size) {
    if (size < 22) return false;
    for (size_t at = size - 22;; --at) {
        if (tail[at] == 'P' && tail[at + 1] == 'K' && tail[at + 2] == 5 && tail[at + 3] == 6) {
            const size_t comment = tail[at + 20] | (size_t(tail[at + 21]) << 8);
            if (at + 22 + comment == size) return true;
        }
        if (at == 0 || size - at >= kZipEndSpan) return false;
    }
}

}  // namespace TransferRules
