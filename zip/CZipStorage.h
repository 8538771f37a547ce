#pragma once

#include <cstdint>
#include <string>

#include "zip/CZipAbstractFile.h"
#include "zip/CZipAutoBuffer.h"
#include "zip/CZipFile.h"

// The archive's bytes: one file, or the volumes of a split archive read as one stream.
class CZipStorage {
public:
    enum SegmentMode { noSegments = 0, spanned = 1, split = 2, undecided = 3, splitExpected = 4 };
    static constexpr uint16_t noVolume = 0xFFFF;
    static constexpr uint64_t signatureNotFound = ~uint64_t(0);

    CZipStorage() = default;
    CZipStorage(const CZipStorage&) = delete;
    CZipStorage& operator=(const CZipStorage&) = delete;
    virtual ~CZipStorage() = default;

    // Opens the archive file (mode 0 read-write, 1 read-only), throwing CFileException*.
    void Open(const std::wstring& path, int mode, uint64_t volumeSize);
    // Reads an archive held by the caller's file object; it is never split.
    void Open(CZipAbstractFile& memoryFile, int mode);
    void Close(bool afterError);

    // Reads count bytes, continuing into the next volume of a split archive unless atOnce;
    // a read that cannot be completed throws 101.
    unsigned Read(void* buffer, unsigned count, bool atOnce);
    // From the beginning or the end, bytesBeforeZip is added on volume 0.
    void Seek(int64_t offset, int origin);
    void ChangeVolume(uint16_t volume);
    // Absolute offset of the last occurrence of the 4-byte signature within maxDepth bytes
    // before the current position's distance from the end; signatureNotFound otherwise.
    uint64_t FindSignatureBackward(const uint8_t signature[4], uint64_t maxDepth);
    // Decides the segment mode from the number of the disk that holds the end record.
    void UpdateSegmMode(uint16_t lastDisk);

    bool IsOpen() const { return currentVolume != noVolume; }
    bool IsSegmented() const { return segmentMode == spanned || segmentMode == split; }
    [[noreturn]] void ThrowError(int cause) const;

    // Name of a volume of a split archive: the archive itself for its last volume, else its
    // extension replaced by z01 ... z99, z100 ...
    static std::wstring SplitVolumeName(const std::wstring& archivePath, uint16_t volume,
                                        uint32_t lastVolume, const std::wstring& extension);

    CZipAbstractFile* file = nullptr;
    uint32_t lastVolume = 0;
    std::wstring splitExtension = L"zip";
    bool creatingSegments = false;
    uint16_t currentVolume = noVolume;
    bool inMemory = false;
    bool readOnly = false;
    uint32_t bytesBeforeZip = 0;
    int locateBufferSize = 32768;
    int segmentMode = noSegments;
    std::wstring archivePath;
    CZipFile ownFile;
};
