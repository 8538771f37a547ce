#pragma once

#include <cstdint>
#include <memory>

// An owned byte array and its size.
class CZipAutoBuffer {
public:
    CZipAutoBuffer() = default;
    explicit CZipAutoBuffer(uint32_t size) { Allocate(size); }
    CZipAutoBuffer(const CZipAutoBuffer& other);
    CZipAutoBuffer& operator=(const CZipAutoBuffer& other);
    virtual ~CZipAutoBuffer() = default;

    // The same size keeps the array (zeroed if asked); another size replaces it; 0 empties.
    uint8_t* Allocate(uint32_t size, bool zero = false);
    void Release();

    uint8_t* Data() { return data.get(); }
    const uint8_t* Data() const { return data.get(); }
    uint32_t GetSize() const { return size; }
    bool IsAllocated() const { return size != 0; }

private:
    std::unique_ptr<uint8_t[]> data;
    uint32_t size = 0;
};
