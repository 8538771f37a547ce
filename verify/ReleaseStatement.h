#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "verify/HexText.h"

// The signed statement of a release: the product it is for, which manifest (its size and
// SHA-256), the release serial (only grows from one release of a tree to the next) and an
// expiry. It travels as the second entry of the manifest package, which clients that read only
// entry 0 never see.
//
//   PelkoWebLoader release 2
//   Product=<name>               (letters, digits, ".", "_", "-"; at most 64)
//   Manifest-Size: 1234
//   Manifest-Sha256: <64 hexadecimal digits>
//   Serial: 1733800000
//   Expires: 1736400000          (seconds since 1970, UTC; or "never")
//   Signature: <128 hexadecimal digits: r then s over SHA-256 of every line above>
//
// Lines end with LF; hexadecimal digits are lower case; nothing may follow the signature line.
// Statements written before products were named ("PelkoWebLoader release 1", no Product line)
// are read too, with no product.
//
// A release rolled out in stages says so in a third form, "PelkoWebLoader release 3", with
// three more lines after Expires:
//
//   Rollout-Start: 1733800000    (seconds since 1970, UTC: when its content was first built)
//   Rollout-Days: 30             (1 to 30)
//   Rollout-Cap: none            (or the share of installs it is held at, in millionths)
//
// A release without a rollout keeps the second form byte for byte. Components that read only
// the first two forms refuse the third as a whole: they stay on what they have, never taking a
// staged release early.
struct ReleaseRollout {
    static constexpr uint32_t longestDays = 30;
    static constexpr uint32_t wholeShare = 1000000;  // millionths

    int64_t start = 0;  // seconds since 1970, UTC
    uint32_t days = 1;
    std::optional<uint32_t> cap;  // at most wholeShare; none: not held

    bool operator==(const ReleaseRollout&) const = default;
};

struct ReleaseStatement {
    static constexpr const char* entryName = "RudovuZado.sig";
    // A statement is a few hundred bytes; a longer entry is refused unread.
    static constexpr uint32_t longestText = 1024;

    std::optional<std::string> product;  // none in a statement of the first form
    uint64_t manifestSize = 0;
    Sha256Digest manifestDigest{};
    uint64_t serial = 0;
    std::optional<int64_t> expires;  // seconds since 1970, UTC
    std::optional<ReleaseRollout> rollout;  // only with a product

    bool operator==(const ReleaseStatement&) const = default;
};

// Whether a text may name a product: 1 to 64 letters, digits, ".", "_" or "-".
bool IsProductName(std::string_view text);

// The lines a signature covers.
std::string SignedPart(const ReleaseStatement& statement);
// The whole text: the signed part and the signature line.
std::string StatementText(const ReleaseStatement& statement, const RawSignature& signature);

struct ParsedStatement {
    ReleaseStatement statement;
    std::string signedPart;  // the bytes the signature covers, as they came
    RawSignature signature{};
};

// Reads a statement written exactly as above (decimal numbers without sign or leading zeros,
// at most 19 digits); nothing for any other text, with the reason in why when given.
std::optional<ParsedStatement> ParseStatement(std::string_view text, std::string* why = nullptr);
