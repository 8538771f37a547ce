#include "zip/CZipFileHeader.h"

#include <algorithm>
#include <ctime>

#include "framework/CodePage.h"
#include "framework/FileSystem.h"
#include "zip/CZipException.h"
#include "zip/CZipStorage.h"
#include "zip/ZipBytes.h"

namespace {

constexpr uint8_t centralSignature[4] = {0x50, 0x4B, 0x01, 0x02};
constexpr uint8_t localSignature[4] = {0x50, 0x4B, 0x03, 0x04};
constexpr uint16_t winZipAesMethod = 99;

bool HasSignature(const uint8_t* bytes, const uint8_t (&signature)[4]) {
    return std::equal(signature, signature + 4, bytes);
}

bool EndsWithSeparator(const std::wstring& name) {
    return !name.empty() && (name.back() == L'\\' || name.back() == L'/');
}

}  // namespace

bool CZipFileHeader::ReadCentralRecord(CZipStorage& storage,
                                       const CZipStringSettings& archiveSettings) {
    uint8_t record[46];
    storage.Read(record, sizeof record, true);
    if (!HasSignature(record, centralSignature)) return false;
    versionMadeBy = ZipBytes::Get16(record + 4);
    versionNeeded = ZipBytes::Get16(record + 6);
    flags = ZipBytes::Get16(record + 8);
    method = ZipBytes::Get16(record + 10);
    modTime = ZipBytes::Get16(record + 12);
    modDate = ZipBytes::Get16(record + 14);
    crc32 = ZipBytes::Get32(record + 16);
    compressedSize = ZipBytes::Get32(record + 20);
    uncompressedSize = ZipBytes::Get32(record + 24);
    const uint16_t nameSize = ZipBytes::Get16(record + 28);
    const uint16_t extraSize = ZipBytes::Get16(record + 30);
    const uint16_t commentSize = ZipBytes::Get16(record + 32);
    volumeStart = ZipBytes::Get16(record + 34);
    internalAttributes = ZipBytes::Get16(record + 36);
    externalAttributes = ZipBytes::Get32(record + 38);
    localHeaderOffset = ZipBytes::Get32(record + 42);
    encryptionMethod = (flags & 1) ? traditionalEncryption : notEncrypted;

    const uint16_t volume = storage.currentVolume;
    storage.Read(rawName.Allocate(nameSize), nameSize, true);

    if (archiveSettings.nameCodePage == CodePage::oem)
        stringSettings.nameCodePage = GetSystemOrigin() == 0 ? CodePage::oem : CodePage::ansi;
    else
        stringSettings.nameCodePage = archiveSettings.nameCodePage;
    if (archiveSettings.commentCodePage != CodePage::ansi)
        stringSettings.commentCodePage = archiveSettings.commentCodePage;

    if (!centralExtra.Read(storage, extraSize)) return false;
    if (const CZipExtraData* block = centralExtra.Lookup(nameEncodingId)) {
        if (!ReadNameEncoding(block->data)) return false;
    }
    if (commentSize != 0) storage.Read(comment.Allocate(commentSize), commentSize, true);
    return storage.currentVolume == volume;
}

bool CZipFileHeader::ReadNameEncoding(const CZipAutoBuffer& block) {
    const uint32_t size = block.GetSize();
    const uint8_t* bytes = block.Data();
    if (size == 0) return false;
    if (static_cast<int8_t>(bytes[0]) > 1) return true;
    if (size < 2) return false;
    const uint8_t blockFlags = bytes[1];
    uint32_t at = 2;
    if (blockFlags & 0x01) {
        if (size < 6) return false;
        stringSettings.nameCodePage = ZipBytes::Get32(bytes + 2);
        at = 6;
    }
    if ((blockFlags & 0x03) == 0x03) {
        stringSettings.nameInExtra = true;
        const int64_t length = int64_t(size) - 6 - ((blockFlags & 0x04) ? 4 : 0);
        if (length < 1 || at + length > size) return false;
        name = CodePage::ToWide(stringSettings.nameCodePage, bytes + at, size_t(length));
        rawName.Release();
        at += uint32_t(length);
    } else {
        stringSettings.nameInExtra = false;
    }
    if (blockFlags & 0x04) {
        if (at + 4 > size) return false;
        stringSettings.commentCodePage = ZipBytes::Get32(bytes + at);
    }
    return true;
}

bool CZipFileHeader::ReadLocalHeader(CZipStorage& storage, int ignoredChecks) {
    uint8_t header[30];
    storage.Read(header, sizeof header, true);
    if (!HasSignature(header, localSignature)) return false;
    const uint16_t localFlags = ZipBytes::Get16(header + 6);
    const uint16_t localMethod = ZipBytes::Get16(header + 8);
    const uint32_t localCrc = ZipBytes::Get32(header + 14);
    const uint32_t localCompressed = ZipBytes::Get32(header + 18);
    const uint32_t localUncompressed = ZipBytes::Get32(header + 22);
    const bool descriptor = (localFlags & 0x0008) != 0;
    if (!(ignoredChecks & 0x0010) && (localFlags & 0xF) != (flags & 0xF)) return false;
    localNameSize = ZipBytes::Get16(header + 26);
    const uint16_t extraSize = ZipBytes::Get16(header + 28);
    const uint16_t volume = storage.currentVolume;
    storage.Seek(localNameSize, CZipAbstractFile::current);
    if (!localExtra.Read(storage, extraSize)) return false;
    localCompressedSize = localCompressed;
    localUncompressedSize = localUncompressed;
    if (localMethod == winZipAesMethod && IsEncrypted()) CZipException::Throw(CZipException::noAes);
    if (!(ignoredChecks & 0x0002) && localMethod != method) return false;
    if (!descriptor && !(ignoredChecks & 0x0004) && !(ignoredChecks & 0x0008)) {
        if (localCrc != crc32 || (localCompressed != 0 && localCompressed != compressedSize) ||
            localUncompressed != uncompressedSize)
            return false;
    }
    return storage.currentVolume == volume;
}

const std::wstring& CZipFileHeader::GetName() {
    if (!name) {
        std::wstring converted;
        if (rawName.IsAllocated())
            converted =
                CodePage::ToWide(stringSettings.nameCodePage, rawName.Data(), rawName.GetSize());
        std::replace(converted.begin(), converted.end(), L'/', L'\\');
        name = std::move(converted);
    }
    return *name;
}

uint32_t CZipFileHeader::GetSystemAttributes() {
    return ConvertAttributes(GetSystemOrigin(), externalAttributes, GetName());
}

uint32_t CZipFileHeader::ConvertAttributes(uint8_t system, uint32_t externalAttributes,
                                           const std::wstring& name) {
    const uint32_t folder = FileSystem::attributeFolder;
    switch (system) {
        case 0:
        case 3:
        case 6:
        case 7:
        case 10:
            break;
        default:
            return EndsWithSeparator(name) ? folder : FileSystem::attributeArchive;
    }
    const uint32_t a = system == 3 ? (externalAttributes >> 16) : (externalAttributes & 0xFFFF);
    if (a == 0 && EndsWithSeparator(name)) return folder;
    if (system == 7) return a & 0x11;
    if (system != 3) return a;
    uint32_t attributes = (a & 0x4000) ? folder : 0;
    const uint32_t owner = (a >> 6) & 7;
    if (!(a & 0x4000) && !(owner & 1)) attributes |= FileSystem::attributeArchive;
    if (!(owner & 2)) attributes |= FileSystem::attributeReadOnly;
    if (!(owner & 4)) attributes |= FileSystem::attributeHidden;
    return attributes;
}

int64_t CZipFileHeader::GetModTime() const { return DosTimeToCalendar(modDate, modTime); }

int64_t CZipFileHeader::DosTimeToCalendar(uint16_t modDate, uint16_t modTime) {
    std::tm fields{};
    fields.tm_sec = (modTime & 0x1F) * 2;
    fields.tm_min = (modTime >> 5) & 0x3F;
    fields.tm_hour = modTime >> 11;
    fields.tm_mday = modDate & 0x1F;
    fields.tm_mon = ((modDate >> 5) & 0x0F) - 1;
    fields.tm_year = (modDate >> 9) + 80;
    fields.tm_isdst = -1;
    return FileSystem::MakeLocalTime(fields);
}
