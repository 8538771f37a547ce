#include "verify/ReleaseStatement.h"

#include <vector>

namespace {

constexpr std::string_view kFirstLine = "PelkoWebLoader release 1";
constexpr std::string_view kProductFirstLine = "PelkoWebLoader release 2";
constexpr std::string_view kRolloutFirstLine = "PelkoWebLoader release 3";
constexpr size_t kRolloutLines = 3;
constexpr std::string_view kProductKey = "Product=";
constexpr size_t kLongestProduct = 64;
constexpr std::string_view kNever = "never";
constexpr std::string_view kNone = "none";
constexpr size_t kLongestNumber = 19;  // below 2^63

std::optional<uint64_t> ParseNumber(std::string_view text) {
    if (text.empty() || text.size() > kLongestNumber) return std::nullopt;
    if (text.size() > 1 && text[0] == '0') return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

// The lines of text, each without its LF; nothing when the text does not end with one.
std::optional<std::vector<std::string_view>> Lines(std::string_view text) {
    if (text.empty() || text.back() != '\n') return std::nullopt;
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The value of "Key: value"; nothing when the line is another key.
std::optional<std::string_view> Value(std::string_view line, std::string_view key) {
    if (line.size() < key.size() + 2 || line.substr(0, key.size()) != key ||
        line.substr(key.size(), 2) != ": ")
        return std::nullopt;
    return line.substr(key.size() + 2);
}

// The three rollout lines; the reason when they are not what a statement may say.
const char* ReadRollout(const std::string_view* line, ReleaseStatement& statement) {
    const auto start = Value(line[0], "Rollout-Start");
    const auto days = Value(line[1], "Rollout-Days");
    const auto cap = Value(line[2], "Rollout-Cap");
    if (!start || !days || !cap) return "the statement lacks a line or has them out of order";
    const auto startValue = ParseNumber(*start);
    const auto daysValue = ParseNumber(*days);
    if (!startValue || !daysValue || *daysValue < 1 || *daysValue > ReleaseRollout::longestDays)
        return "the statement's rollout is malformed";
    ReleaseRollout rollout;
    rollout.start = static_cast<int64_t>(*startValue);
    rollout.days = static_cast<uint32_t>(*daysValue);
    if (*cap != kNone) {
        const auto capValue = ParseNumber(*cap);
        if (!capValue || *capValue > ReleaseRollout::wholeShare)
            return "the statement's rollout is malformed";
        rollout.cap = static_cast<uint32_t>(*capValue);
    }
    statement.rollout = rollout;
    return nullptr;
}

std::optional<ParsedStatement> Refuse(std::string* why, const char* reason) {
    if (why) *why = reason;
    return std::nullopt;
}

}  // namespace

bool IsProductName(std::string_view text) {
    if (text.empty() || text.size() > kLongestProduct) return false;
    for (char c : text) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!plain) return false;
    }
    return true;
}

std::string SignedPart(const ReleaseStatement& s) {
    // A rollout needs a product: the first form has no room for it.
    const bool rollout = s.product && s.rollout;
    std::string text(rollout ? kRolloutFirstLine : s.product ? kProductFirstLine : kFirstLine);
    if (s.product) text += "\n" + std::string(kProductKey) + *s.product;
    text += "\nManifest-Size: " + std::to_string(s.manifestSize);
    text += "\nManifest-Sha256: " + ToHex(s.manifestDigest);
    text += "\nSerial: " + std::to_string(s.serial);
    text += "\nExpires: " + (s.expires ? std::to_string(*s.expires) : std::string(kNever));
    if (rollout) {
        text += "\nRollout-Start: " + std::to_string(s.rollout->start);
        text += "\nRollout-Days: " + std::to_string(s.rollout->days);
        text += "\nRollout-Cap: " +
                (s.rollout->cap ? std::to_string(*s.rollout->cap) : std::string(kNone));
    }
    return text + "\n";
}

std::string StatementText(const ReleaseStatement& statement, const RawSignature& signature) {
    return SignedPart(statement) + "Signature: " + ToHex(signature) + "\n";
}

std::optional<ParsedStatement> ParseStatement(std::string_view text, std::string* why) {
    if (text.size() > ReleaseStatement::longestText)
        return Refuse(why, "the statement is too long");
    auto lines = Lines(text);
    if (!lines || lines->empty()) return Refuse(why, "the statement is not in the known form");
    ParsedStatement parsed;
    std::string_view* line = lines->data();
    const bool rollout = line[0] == kRolloutFirstLine;
    if (line[0] == kProductFirstLine || rollout) {
        if (lines->size() != 7 + (rollout ? kRolloutLines : 0) || !line[1].starts_with(kProductKey))
            return Refuse(why, "the statement lacks a line or has them out of order");
        const std::string_view product = line[1].substr(kProductKey.size());
        if (!IsProductName(product)) return Refuse(why, "the statement's product is malformed");
        parsed.statement.product = std::string(product);
        line += 1;
    } else if (line[0] != kFirstLine || lines->size() != 6) {
        return Refuse(why, "the statement is not in the known form");
    }
    const auto size = Value(line[1], "Manifest-Size");
    const auto digest = Value(line[2], "Manifest-Sha256");
    const auto serial = Value(line[3], "Serial");
    const auto expires = Value(line[4], "Expires");
    const std::string_view* last = line + 5;
    if (rollout) {
        auto problem = ReadRollout(line + 5, parsed.statement);
        if (problem) return Refuse(why, problem);
        last += kRolloutLines;
    }
    const auto signature = Value(*last, "Signature");
    if (!size || !digest || !serial || !expires || !signature)
        return Refuse(why, "the statement lacks a line or has them out of order");

    const auto sizeValue = ParseNumber(*size);
    const auto serialValue = ParseNumber(*serial);
    const auto digestValue = FromHex<32>(*digest);
    const auto signatureValue = FromHex<64>(*signature);
    if (!sizeValue || !serialValue || !digestValue || !signatureValue)
        return Refuse(why, "a value of the statement is malformed");
    parsed.statement.manifestSize = *sizeValue;
    parsed.statement.serial = *serialValue;
    parsed.statement.manifestDigest = *digestValue;
    parsed.signature = *signatureValue;
    if (*expires != kNever) {
        const auto expiry = ParseNumber(*expires);
        if (!expiry) return Refuse(why, "the statement's expiry is malformed");
        parsed.statement.expires = static_cast<int64_t>(*expiry);
    }
    // Only the one exact form is read (lower-case digits, no leading zeros), so the bytes
    // signed are exactly the ones written from what was read.
    if (StatementText(parsed.statement, parsed.signature) != text)
        return Refuse(why, "the statement is not in the known form");
    parsed.signedPart = SignedPart(parsed.statement);
    return parsed;
}
