#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A delta an entry of a signed manifest offers: "Delta1" .. "Delta5" =
// "<base sha256>:<delta size>:<delta sha256>", the delta at objects/<delta sha256>.pdelta.
struct DeltaOffer {
    std::wstring baseSha256;
    uint64_t size = 0;
    std::wstring sha256;

    bool operator==(const DeltaOffer&) const = default;
};

namespace DeltaChoice {

constexpr int mostOffers = 5;

// The key of offer index (from 1): "Delta1" .. "Delta5".
std::wstring KeyName(int index);

// One key's value, or nothing unless it has exactly that shape: 64 lower-case hexadecimal
// digits, a size of 1 to 10 decimal digits that fits in 32 bits, 64 more digits.
std::optional<DeltaOffer> ParseOffer(std::wstring_view text);

// The offer to fetch in place of the package: only in a signed manifest, the first (in key
// order) whose base is the installed file's SHA-256 (lower-case hexadecimal).
std::optional<DeltaOffer> Choose(const std::vector<std::wstring>& values, bool signedManifest,
                                 std::wstring_view installedSha256);

// The delta's path below the folder of the manifest: "objects/<sha256>.pdelta".
std::wstring ObjectName(const DeltaOffer& offer);

}  // namespace DeltaChoice
