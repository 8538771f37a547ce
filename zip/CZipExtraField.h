#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "zip/CZipExtraData.h"

class CZipStorage;

// The blocks of a local or central extra field.
class CZipExtraField {
public:
    // Reads size bytes from the storage and splits them. A size of 0 keeps the list.
    bool Read(CZipStorage& storage, uint16_t size);
    // Splits a field into blocks of a 4-byte head and its data; false when a block overruns
    // the field or stray bytes (fewer than 4) are left at its end.
    bool Parse(const uint8_t* bytes, uint16_t size);

    const CZipExtraData* Lookup(uint16_t headerId) const;
    size_t GetCount() const { return blocks.size(); }
    const CZipExtraData& operator[](size_t i) const { return *blocks[i]; }

private:
    std::vector<std::unique_ptr<CZipExtraData>> blocks;
};
