#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using Sha256Digest = std::array<uint8_t, 32>;
// A P-256 public key as its two coordinates, x then y (32 bytes each, big-endian).
using PublicKey = std::array<uint8_t, 64>;
// An ECDSA P-256 signature as r then s (32 bytes each, big-endian).
using RawSignature = std::array<uint8_t, 64>;

// Lower-case hexadecimal, two digits per byte.
std::string ToHex(const uint8_t* bytes, size_t count);

template <size_t N>
std::string ToHex(const std::array<uint8_t, N>& bytes) {
    return ToHex(bytes.data(), N);
}

// Exactly 2 * N hexadecimal digits (either case); nothing for any other text.
bool FromHex(std::string_view text, uint8_t* bytes, size_t count);

template <size_t N>
std::optional<std::array<uint8_t, N>> FromHex(std::string_view text) {
    std::array<uint8_t, N> bytes{};
    if (!FromHex(text, bytes.data(), N)) return std::nullopt;
    return bytes;
}
