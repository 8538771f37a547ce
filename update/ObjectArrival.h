#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "update/UpdatePlan.h"

// Objects (objects/<sha256>.zip, objects/<sha256>.pdelta) are named by their own SHA-256, which
// the signed manifest gives. A received object is checked against its name before any ZIP or
// delta code reads a byte of it: bytes that are not what they claim are never parsed.
namespace ObjectArrival {

struct Expected {
    std::wstring part;             // where the transfer put it
    std::wstring sha256;           // from its name, lower-case hexadecimal
    std::optional<uint64_t> size;  // a delta's signed size; a package object has none
};

// What the file's current request fetches: its delta while one is being fetched, else its
// package object; nothing for a classic package (checked after extraction, as always).
std::optional<Expected> OfRequest(const PlannedFile& file, bool fetchingDelta);

// Nothing when the part holds exactly the object's bytes, else why not. The part is hashed
// once, whole.
std::optional<std::wstring> Refusal(const Expected& expected);

}  // namespace ObjectArrival
