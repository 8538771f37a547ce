#include "zip/CZipAutoBuffer.h"

#include <cstring>

CZipAutoBuffer::CZipAutoBuffer(const CZipAutoBuffer& other) { *this = other; }

CZipAutoBuffer& CZipAutoBuffer::operator=(const CZipAutoBuffer& other) {
    if (this != &other) {
        Allocate(other.size);
        if (size != 0) std::memcpy(data.get(), other.data.get(), size);
    }
    return *this;
}

uint8_t* CZipAutoBuffer::Allocate(uint32_t newSize, bool zero) {
    if (newSize != size) {
        Release();
        if (newSize != 0) {
            data.reset(new uint8_t[newSize]);
            size = newSize;
        }
    }
    if (zero && size != 0) std::memset(data.get(), 0, size);
    return data.get();
}

void CZipAutoBuffer::Release() {
    data.reset();
    size = 0;
}
