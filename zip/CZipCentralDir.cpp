#include "zip/CZipCentralDir.h"

#include <algorithm>

#include "zip/CZipException.h"
#include "zip/CZipStorage.h"
#include "zip/ZipBytes.h"

namespace {

constexpr uint8_t endSignature[4] = {0x50, 0x4B, 0x05, 0x06};
constexpr uint8_t zip64LocatorSignature[4] = {0x50, 0x4B, 0x06, 0x07};
// The largest comment and the record's fixed size.
constexpr uint64_t endRecordSearchDepth = 65535 + 22;

}  // namespace

void CZipCentralDir::Init(CZipStorage* zipStorage, const CZipStringSettings* settings) {
    storage = zipStorage;
    stringSettings = settings;
    openedEntry = nullptr;
    ignoredChecks = checkDataDescriptor;
    headers.clear();
    info = Info();
}

void CZipCentralDir::Read() {
    ReadEndRecord();
    storage->UpdateSegmMode(info.lastVolume);
    const uint64_t directoryEnd = uint64_t(info.directoryOffset) + info.directorySize;
    if (storage->segmentMode == CZipStorage::noSegments && info.endOffset < directoryEnd)
        storage->ThrowError(CZipException::badZipFile);
    if (storage->bytesBeforeZip == 0 && info.lastVolume == 0)
        storage->bytesBeforeZip = info.endOffset - info.directorySize - info.directoryOffset;
    if ((info.directorySize == 0) != (info.entries == 0))
        storage->ThrowError(CZipException::badZipFile);
    info.inArchive = true;
    storage->ChangeVolume(info.volumeWithDirectory);
    if (info.directorySize != 0) ReadHeaders();
}

void CZipCentralDir::ReadEndRecord() {
    CZipAbstractFile& file = *storage->file;
    file.SeekToEnd();
    const uint64_t endOffset = storage->FindSignatureBackward(endSignature, endRecordSearchDepth);
    if (endOffset == CZipStorage::signatureNotFound)
        storage->ThrowError(CZipException::cdirNotFound);
    info.endOffset = static_cast<uint32_t>(endOffset);
    file.Seek(static_cast<int64_t>(endOffset + 4), CZipAbstractFile::begin);
    uint8_t record[18];
    if (file.Read(record, sizeof record) != sizeof record)
        storage->ThrowError(CZipException::badZipFile);
    info.lastVolume = ZipBytes::Get16(record);
    info.volumeWithDirectory = ZipBytes::Get16(record + 2);
    info.volumeEntries = ZipBytes::Get16(record + 4);
    info.entries = ZipBytes::Get16(record + 6);
    info.directorySize = ZipBytes::Get32(record + 8);
    info.directoryOffset = ZipBytes::Get32(record + 12);
    const uint16_t commentSize = ZipBytes::Get16(record + 16);
    if (commentSize != 0 &&
        file.Read(info.comment.Allocate(commentSize), commentSize) != commentSize)
        storage->ThrowError(CZipException::badZipFile);

    const bool mayBeZip64 = info.lastVolume == 0xFFFF || info.volumeWithDirectory == 0xFFFF ||
                            info.volumeEntries == 0xFFFF || info.entries == 0xFFFF ||
                            info.directorySize == 0xFFFFFFFF || info.directoryOffset == 0xFFFFFFFF;
    if (mayBeZip64) {
        file.Seek(static_cast<int64_t>(endOffset), CZipAbstractFile::begin);
        if (storage->FindSignatureBackward(zip64LocatorSignature, 0xFFFFFFFF) !=
            CZipStorage::signatureNotFound)
            storage->ThrowError(CZipException::noZip64);
    }
}

void CZipCentralDir::ReadHeaders() {
    storage->Seek(info.directoryOffset, CZipAbstractFile::begin);
    headers.clear();
    for (unsigned i = 0; i < info.entries; ++i) {
        headers.push_back(std::make_unique<CZipFileHeader>());
        if (!headers.back()->ReadCentralRecord(*storage, *stringSettings))
            storage->ThrowError(CZipException::badZipFile);
    }
    SortHeaders();
}

void CZipCentralDir::SortHeaders() {
    const auto key = [](const std::unique_ptr<CZipFileHeader>& h) {
        return std::pair(h->volumeStart, h->localHeaderOffset);
    };
    std::sort(headers.begin(), headers.end(),
              [&key](const auto& a, const auto& b) { return key(a) < key(b); });
    const auto same =
        std::adjacent_find(headers.begin(), headers.end(),
                           [&key](const auto& a, const auto& b) { return key(a) == key(b); });
    if (same != headers.end()) CZipException::Throw(CZipException::badZipFile);
}

void CZipCentralDir::OpenFile(uint16_t index) {
    CZipFileHeader* record = headers[index].get();
    storage->ChangeVolume(record->volumeStart);
    storage->Seek(record->localHeaderOffset, CZipAbstractFile::begin);
    if (!record->ReadLocalHeader(*storage, ignoredChecks))
        storage->ThrowError(CZipException::badZipFile);
    openedEntry = record;
}

void CZipCentralDir::CloseFile(bool) {
    // The data descriptor would be compared here, but that check is off by default.
    openedEntry = nullptr;
}

void CZipCentralDir::Close() {
    openedEntry = nullptr;
    headers.clear();
    info = Info();
}
