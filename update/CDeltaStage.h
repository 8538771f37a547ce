#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "update/DeltaChoice.h"

// Makes an entry's staged file from its installed file and a fetched delta, checking on the
// way what a signed manifest promises: the delta's size and SHA-256 before it is decoded, the
// result's size and SHA-256 after. Nothing is left at the staged path when any check fails.
class CDeltaStage {
public:
    struct Expected {
        DeltaOffer offer;
        uint64_t fileSize = 0;
        std::wstring sha256;  // of the result, lower-case hexadecimal
    };

    // Nothing on success, else why the delta was not used (for the one log line; the caller
    // then fetches the full package).
    static std::optional<std::wstring> Make(const std::wstring& installed,
                                            const std::wstring& delta, const Expected& expected,
                                            const std::wstring& staged);
};
