#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "zip/CZipExtraData.h"

class CZipStorage;

// The blocks of a local or central extra field. Every block is checked, but only the first
// block with the ID the field is made for is kept: a field of thousands of tiny blocks must
// not cost more memory than its bytes.
class CZipExtraField {
public:
    // Keeps no block at all without an ID.
    explicit CZipExtraField(std::optional<uint16_t> keptId = std::nullopt) : keptId(keptId) {}

    // Reads size bytes from the storage and splits them. A size of 0 keeps the list.
    bool Read(CZipStorage& storage, uint16_t size);
    // Splits a field into blocks of a 4-byte head and its data; false when a block overruns
    // the field or stray bytes (fewer than 4) are left at its end.
    bool Parse(const uint8_t* bytes, uint16_t size);

    const CZipExtraData* Lookup(uint16_t headerId) const;
    size_t GetCount() const { return blocks.size(); }
    const CZipExtraData& operator[](size_t i) const { return *blocks[i]; }

private:
    std::optional<uint16_t> keptId;
    std::vector<std::unique_ptr<CZipExtraData>> blocks;
};
