#include "verify/ReleaseRules.h"

namespace ReleaseRules {

namespace {

constexpr size_t kLongestSerial = 19;
constexpr int64_t kSecondsPerDay = 86400;

bool IsSeparator(char c) { return c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::optional<std::vector<PublicKey>> ParseKeyList(std::string_view text) {
    std::vector<PublicKey> keys;
    size_t i = 0;
    while (i < text.size()) {
        if (IsSeparator(text[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < text.size() && !IsSeparator(text[end])) ++end;
        const auto key = FromHex<64>(text.substr(i, end - i));
        if (!key) return std::nullopt;
        keys.push_back(*key);
        i = end;
    }
    if (keys.empty() || keys.size() > 2) return std::nullopt;
    return keys;
}

bool SerialTooFarAhead(uint64_t serial, int64_t now) {
    const int64_t latest = now + kLongestSerialLead;
    return latest < 0 || serial > static_cast<uint64_t>(latest);
}

std::optional<std::string> StatementProblem(const ReleaseStatement& statement, uint64_t lastSerial,
                                            int64_t now, const Acceptance& acceptance) {
    if (!statement.product) {
        if (!acceptance.acceptUnnamed) return "the statement names no product";
    } else if (*statement.product != acceptance.product) {
        return "the statement is for the product " + *statement.product + ", not " +
               acceptance.product;
    }
    if (!statement.expires && acceptance.requireExpiry) return "the statement never expires";
    if (statement.serial < lastSerial)
        return "release serial " + std::to_string(statement.serial) +
               " is older than the installed release's " + std::to_string(lastSerial);
    if (SerialTooFarAhead(statement.serial, now))
        return "release serial " + std::to_string(statement.serial) +
               " lies more than 10 years ahead of the clock (now " + std::to_string(now) + ")";
    if (statement.expires && *statement.expires <= now)
        return "the release statement expired at " + std::to_string(*statement.expires) + " (now " +
               std::to_string(now) + ")";
    // The publisher's clock may be a little ahead of this one.
    const int64_t furthest = now + (int64_t{acceptance.maxReleaseDays} + 1) * kSecondsPerDay;
    if (statement.expires && *statement.expires > furthest)
        return "the release statement expires at " + std::to_string(*statement.expires) +
               ", more than " + std::to_string(acceptance.maxReleaseDays) +
               " days after now (" + std::to_string(now) + ")";
    return std::nullopt;
}

std::optional<uint64_t> ParseSerialRecord(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    if (text.empty() || text.size() > kLongestSerial) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

std::string SerialRecord(uint64_t serial) { return std::to_string(serial) + "\r\n"; }

}  // namespace ReleaseRules
