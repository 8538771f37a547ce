#pragma once

#include <cstdint>

#include "zip/CZipAutoBuffer.h"

class CZipStorage;
class CZipFileHeader;

// Reads the data of one entry from the storage and gives it back uncompressed.
class CZipCompressor {
public:
    enum Method : uint16_t { methodStore = 0, methodDeflate = 8 };

    explicit CZipCompressor(CZipStorage* storage) : storage(storage) {}
    CZipCompressor(const CZipCompressor&) = delete;
    CZipCompressor& operator=(const CZipCompressor&) = delete;
    virtual ~CZipCompressor() = default;

    virtual bool CanHandle(uint16_t method) const = 0;
    virtual void InitReading(CZipFileHeader* record) = 0;
    // Count of bytes produced into buffer; 0 when the entry has ended.
    virtual unsigned ReadData(void* buffer, unsigned size) = 0;
    virtual void FinishReading(bool afterError) = 0;

    bool AllProduced() const { return remainingUncompressed == 0; }
    uint32_t GetCrc() const { return crc; }

protected:
    CZipStorage* storage;
    CZipAutoBuffer inputBuffer;
    CZipFileHeader* record = nullptr;
    uint32_t remainingUncompressed = 0;
    uint32_t remainingCompressed = 0;
    uint32_t crc = 0;
};
