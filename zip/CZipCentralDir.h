#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "zip/CZipAutoBuffer.h"
#include "zip/CZipFileHeader.h"
#include "zip/CZipStringSettings.h"

class CZipStorage;

// The end record and the entry records of the open archive.
class CZipCentralDir {
public:
    enum Checks : int {
        checkCrc = 0x0001,
        checkLocalMethod = 0x0002,
        checkLocalSizes = 0x0004,
        checkLocalCrc = 0x0008,
        checkLocalFlags = 0x0010,
        checkDataDescriptor = 0x0100,
    };

    struct Info {
        uint32_t endOffset = 0;
        uint16_t lastVolume = 0;
        uint16_t volumeWithDirectory = 0;
        uint16_t volumeEntries = 0;
        uint16_t entries = 0;
        uint32_t directorySize = 0;
        uint32_t directoryOffset = 0;
        bool inArchive = false;
        CZipAutoBuffer comment;
    };

    CZipCentralDir() = default;
    CZipCentralDir(const CZipCentralDir&) = delete;
    CZipCentralDir& operator=(const CZipCentralDir&) = delete;
    virtual ~CZipCentralDir() = default;

    void Init(CZipStorage* storage, const CZipStringSettings* stringSettings);
    // Finds and checks the end record, then reads the entry records (throws on failure).
    void Read();
    // Seeks to the entry's local header and checks it (throws 101 when it disagrees).
    void OpenFile(uint16_t index);
    void CloseFile(bool afterError);
    void Close();

    size_t GetCount() const { return headers.size(); }
    CZipFileHeader* operator[](size_t index) const { return headers[index].get(); }
    const Info& GetInfo() const { return info; }

    CZipFileHeader* openedEntry = nullptr;
    int ignoredChecks = checkDataDescriptor;

private:
    void ReadEndRecord();
    void ReadHeaders();
    void SortHeaders();

    CZipStorage* storage = nullptr;
    const CZipStringSettings* stringSettings = nullptr;
    std::vector<std::unique_ptr<CZipFileHeader>> headers;
    Info info;
};
