#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "zip/CZipAutoBuffer.h"
#include "zip/CZipExtraField.h"
#include "zip/CZipStringSettings.h"

class CZipStorage;

// One entry record: the central record, and the local header once it was read.
class CZipFileHeader {
public:
    static constexpr uint8_t notEncrypted = 0xFF;
    static constexpr uint8_t traditionalEncryption = 0;
    static constexpr uint16_t nameEncodingId = 0x5A4C;

    virtual ~CZipFileHeader() = default;

    // False when the record is malformed (the caller reports 101).
    bool ReadCentralRecord(CZipStorage& storage, const CZipStringSettings& archiveSettings);
    // Reads and checks the local header at the storage's position against this record.
    // Checks whose bit is set in ignoredChecks are skipped. Throws 120 for WinZip AES.
    bool ReadLocalHeader(CZipStorage& storage, int ignoredChecks);
    // Applies the name-encoding block (ID 0x5A4C); false when it is malformed.
    bool ReadNameEncoding(const CZipAutoBuffer& block);

    // The name with "/" turned into "\" (a name from the name-encoding block as it is).
    const std::wstring& GetName();
    void ReleaseRawName() { rawName.Release(); }
    uint8_t GetSystemOrigin() const { return static_cast<uint8_t>(versionMadeBy >> 8); }
    uint32_t GetSystemAttributes();
    bool IsFolder() { return (GetSystemAttributes() & 0x10) != 0; }
    bool IsEncrypted() const { return encryptionMethod != notEncrypted; }
    // The DOS date and time as local calendar time; -1 when it cannot be represented.
    int64_t GetModTime() const;

    // The platform attributes of an entry made on system with the stored attributes.
    static uint32_t ConvertAttributes(uint8_t system, uint32_t externalAttributes,
                                      const std::wstring& name);
    static int64_t DosTimeToCalendar(uint16_t modDate, uint16_t modTime);

    uint16_t versionMadeBy = 0;
    uint16_t versionNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 8;
    uint16_t modTime = 0;
    uint16_t modDate = 0;
    uint32_t crc32 = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint16_t volumeStart = 0;
    uint16_t internalAttributes = 0;
    uint32_t localCompressedSize = 0;
    uint32_t localUncompressedSize = 0;
    uint32_t localHeaderOffset = 0;
    // Only the name-encoding block is ever used; the local field is only checked.
    CZipExtraField localExtra;
    CZipExtraField centralExtra{nameEncodingId};
    uint32_t externalAttributes = 0;
    uint16_t localNameSize = 0;
    uint8_t encryptionMethod = notEncrypted;
    bool ignoreCrc = false;
    CZipAutoBuffer rawName;
    std::optional<std::wstring> name;
    CZipStringSettings stringSettings;
    CZipAutoBuffer comment;
};
