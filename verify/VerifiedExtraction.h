#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "verify/HexText.h"

class CZipArchive;

// What a signed manifest says a package holds.
struct ExpectedEntry {
    std::wstring name;  // entry 0's name, exactly
    uint64_t size = 0;
    Sha256Digest sha256{};
};

// Extracts entry 0 of the package at packagePath into exactly the file destination, with the
// entry's time and attributes. Refused when the package holds more than one entry, when entry
// 0 is not a file named expected.name, or when the bytes written differ from expected.size or
// expected.sha256 (both computed while writing; the file is not read again). On refusal
// destination is deleted and the reason returned; nothing when the file is verified. Nothing
// is thrown.
std::optional<std::wstring> ExtractVerified(const std::wstring& packagePath,
                                            const std::wstring& destination,
                                            const ExpectedEntry& expected);

// The same from an archive opened already, which must hold exactly entryCount entries.
std::optional<std::wstring> ExtractVerified(CZipArchive& archive, uint16_t entryCount,
                                            const std::wstring& destination,
                                            const ExpectedEntry& expected);

// The expected entry of a manifest section: its name, FileSize and Sha256 keys; nothing when
// the size is negative or the digest is not 64 hexadecimal digits.
std::optional<ExpectedEntry> ExpectedFromManifest(const std::wstring& name, int fileSize,
                                                  const std::wstring& sha256);
