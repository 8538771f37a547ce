#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "verify/HexText.h"
#include "verify/ReleaseStatement.h"

namespace ReleaseRules {

// The update keys a build takes: one or two public keys of 128 hexadecimal digits (x then y),
// separated by ";" or white space. Nothing for any other text, also for none or three keys.
std::optional<std::vector<PublicKey>> ParseKeyList(std::string_view text);

// The most days a signed release may be taken (the build option PELKO_MAX_RELEASE_DAYS): the
// publisher signs no longer expiry, and a component refuses a statement expiring further ahead.
inline constexpr int kMaxReleaseDays = PELKO_MAX_RELEASE_DAYS;

// What a build accepts of an authentic statement besides its serial and expiry.
struct Acceptance {
    std::string product;            // the build's product, which a statement must name
    bool acceptUnnamed = false;     // statements that name no product (tests only)
    bool requireExpiry = true;      // statements that never expire are refused
    int maxReleaseDays = kMaxReleaseDays;
};

// Serials are seconds since 1970. One further ahead of the clock than this would refuse every
// later release (a serial only grows), so neither the publisher nor a client takes it.
inline constexpr int64_t kLongestSerialLead = 10LL * 366 * 24 * 60 * 60;

// Whether serial lies more than kLongestSerialLead ahead of now (seconds since 1970, UTC).
bool SerialTooFarAhead(uint64_t serial, int64_t now);

// Why an authentic statement must not be used: another product (or none, unless accepted), no
// expiry where one is required, a serial below the last one the install folder accepted (no
// way back to an older release) or too far ahead of now (SerialTooFarAhead), an expiry at or
// before now (seconds since 1970, UTC), or one more than maxReleaseDays ahead of now (and a day
// for clocks that differ). Nothing when it may be used.
std::optional<std::string> StatementProblem(const ReleaseStatement& statement, uint64_t lastSerial,
                                            int64_t now, const Acceptance& acceptance);

// The serial kept in the install folder: decimal digits, optionally followed by a line end.
// Nothing for anything else (a damaged record).
std::optional<uint64_t> ParseSerialRecord(std::string_view text);
std::string SerialRecord(uint64_t serial);

}  // namespace ReleaseRules
