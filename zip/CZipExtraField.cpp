#include "zip/CZipExtraField.h"

#include "zip/CZipAutoBuffer.h"
#include "zip/CZipStorage.h"
#include "zip/ZipBytes.h"

bool CZipExtraField::Read(CZipStorage& storage, uint16_t size) {
    if (size == 0) return true;
    CZipAutoBuffer field(size);
    storage.Read(field.Data(), size, true);
    return Parse(field.Data(), size);
}

bool CZipExtraField::Parse(const uint8_t* bytes, uint16_t size) {
    blocks.clear();
    size_t at = 0;
    while (at < size) {
        const size_t left = size - at;
        if (left < 4) return false;
        const uint16_t id = ZipBytes::Get16(bytes + at);
        const uint16_t dataSize = ZipBytes::Get16(bytes + at + 2);
        if (dataSize > left - 4) return false;
        if (id == keptId && blocks.empty())
            blocks.push_back(std::make_unique<CZipExtraData>(id, bytes + at + 4, dataSize));
        at += 4 + size_t(dataSize);
    }
    return true;
}

const CZipExtraData* CZipExtraField::Lookup(uint16_t headerId) const {
    for (const auto& block : blocks) {
        if (block->headerId == headerId) return block.get();
    }
    return nullptr;
}
