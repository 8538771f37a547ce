#pragma once

#include <cstdint>
#include <optional>
#include <string>

// How a transfer judges an answer and a failure, and when it tries again. Pure rules.
namespace TransferRules {

// What a transfer that did not receive its body met.
enum class FailureKind {
    None,
    Network,    // a platform error (code: the WinINet or system error)
    Status,     // an HTTP status other than 200 and 206 (code: the status)
    ShortBody,  // the body ended before its length, or a chunked body was cut off
    Refused,    // the answer or the local file cannot be kept, whatever a new try brings
};

struct Failure {
    FailureKind kind = FailureKind::None;
    uint32_t code = 0;
};

// Whether another try may bring the body: a reset, a timeout, a body cut short, 408, 429,
// 500, 502, 503, 504. Everything else (other statuses, an unknown host, a refused
// connection, a certificate error, a refused answer) is final.
bool IsTransient(const Failure& failure);

// Retry-After as seconds or as an HTTP date, in milliseconds from now (a date in the past is
// 0), at most capMs; nullopt when the value is neither.
std::optional<uint32_t> RetryAfterMs(const std::string& value, int64_t nowUnixSeconds,
                                     uint32_t capMs);

// Full-jitter exponential backoff before retry number `retry` (1 for the first): a value in
// [0, min(capMs, baseMs * 2^(retry-1))], chosen by random.
uint32_t BackoffMs(int retry, uint32_t baseMs, uint32_t capMs, uint32_t random);

// The pause before the next try: the server's Retry-After when it gave one it may, else the
// backoff.
uint32_t NextTryDelayMs(int retry, const std::optional<uint32_t>& retryAfterMs, uint32_t random);

constexpr int kRetries = 3;                // more tries per package after the first
constexpr uint32_t kBackoffBaseMs = 1000;
constexpr uint32_t kBackoffCapMs = 30000;
constexpr uint32_t kRetryAfterCapMs = 60000;

// The least a transfer must move: fewer than minBytes over windowMs is a stall, however
// steadily the bytes drip, and fails the try as a timeout would.
struct SpeedFloor {
    uint32_t windowMs = 60000;
    uint64_t minBytes = 60 * 1024;  // 1 KiB/s
};

// The window a transfer is judged over, fed between reads. Windows follow one another: each
// starts where the last one was judged.
struct SpeedWindow {
    uint32_t startMs = 0;
    uint64_t startBytes = 0;
};

// Whether the transfer fell below the floor: at nowMs (a wrapping millisecond clock), with
// bytes moved so far, a full window that moved fewer than floor.minBytes. A full window that
// moved enough starts the next one.
bool BelowFloor(SpeedWindow& window, const SpeedFloor& floor, uint32_t nowMs, uint64_t bytes);

// A 206 may be appended to a part only when a range was asked for, and its Content-Range
// ("bytes first-last/total") starts at the asked offset, runs to the end of the total, and
// names the expected total (0: not known yet, any consistent total).
bool MayAppendPartial(bool rangeAsked, uint64_t askedStart, uint64_t expectedTotal,
                      const std::string& contentRange);

// Whether a body sent with this Content-Encoding is the bytes themselves: none or "identity".
bool IsIdentityEncoding(const std::string& contentEncoding);

enum class ZipStart { Yes, No, NeedMore };
// Whether the first bytes of a body are those of a ZIP archive (a local header, or the end
// record of an empty archive).
ZipStart LooksLikeZip(const uint8_t* bytes, size_t size);

// The most a ZIP's end can span: its end record and the longest comment.
constexpr size_t kZipEndSpan = 22 + 65535;
// Whether the last bytes of a body (up to kZipEndSpan of them) end a ZIP archive: an end
// record whose comment runs exactly to the last byte. A body of unknown length that does not
// was cut off.
bool EndsAsZip(const uint8_t* tail, size_t size);

}  // namespace TransferRules
