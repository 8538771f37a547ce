#pragma once

#include <cstdint>

#include "zip/CZipAutoBuffer.h"

// One block of an extra field.
class CZipExtraData {
public:
    CZipExtraData(uint16_t headerId, const uint8_t* bytes, uint16_t size);

    uint16_t headerId;
    CZipAutoBuffer data;
};
