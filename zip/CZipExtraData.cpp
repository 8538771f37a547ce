#include "zip/CZipExtraData.h"

#include <cstring>

CZipExtraData::CZipExtraData(uint16_t headerId, const uint8_t* bytes, uint16_t size)
    : headerId(headerId) {
    if (size != 0) std::memcpy(data.Allocate(size), bytes, size);
}
