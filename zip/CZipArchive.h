#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "zip/CZipAbstractFile.h"
#include "zip/CZipCentralDir.h"
#include "zip/CZipCompressor.h"
#include "zip/CZipFileHeader.h"
#include "zip/CZipStorage.h"
#include "zip/CZipStringSettings.h"

// Reads a ZIP archive and writes its entries to disk. Failures the reader detects throw
// CZipException*, failures of the file class CFileException*.
class CZipArchive {
public:
    enum OpenMode { zipOpen = 0, zipOpenReadOnly = 1 };
    enum EntryState { entryClosed = 0, entryExtracting = -1 };

    CZipArchive();
    CZipArchive(const CZipArchive&) = delete;
    CZipArchive& operator=(const CZipArchive&) = delete;
    virtual ~CZipArchive();

    // False only when an archive is already open; every other failure throws.
    bool OpenArchive(const std::wstring& path, int mode = zipOpen, uint64_t volumeSize = 0);
    // Reads an archive from the caller's file object (kept by the caller, never split).
    bool OpenArchive(CZipAbstractFile& memoryFile, int mode = zipOpenReadOnly);
    void CloseArchive(int afterError = 0, bool stampNewestTime = false);
    bool IsClosed() const { return !storage.IsOpen(); }

    // The record at index, in local-header order; null when there is none.
    CZipFileHeader* GetEntry(uint16_t index);
    uint16_t GetCount() const;
    uint32_t GetBytesBeforeZip() const { return storage.bytesBeforeZip; }

    // Writes the entry below folder. True when every byte was written, the CRC matched and
    // the time and attributes were set. The data goes to a temporary file beside the target
    // that replaces it only when complete and correct. Refused (false, nothing written or
    // changed): names BuildTargetPath gives nothing for, and targets longer than the
    // platform's ordinary file calls take (for a folder entry: than they can create).
    bool ExtractEntry(uint16_t index, const wchar_t* folder, bool keepPath = true,
                      const wchar_t* newName = nullptr, unsigned bufferSize = 65536);

    bool OpenEntry(uint16_t index);
    unsigned ReadEntryData(void* buffer, unsigned size);
    // 1 done, -1 not every byte was produced, -2 the time or attributes could not be set,
    // 0 no entry was open. Throws 102 on a CRC mismatch.
    int CloseEntry(const wchar_t* path, bool afterError = false);

    // Where an entry goes: folder, then the name's drive-less path (or the name as it is
    // without removeDrive, or only its file name without keepPath). Nothing when a part of
    // the name is too long for the path splitter, or when what is appended has a ".." part,
    // comes down to the folder itself (only ".", spaces and separators, or nothing), or holds
    // a ":" (a stream) or a NUL.
    std::optional<std::wstring> BuildTargetPath(const std::wstring& nameInZip,
                                                const wchar_t* folder, bool keepPath,
                                                const wchar_t* newName) const;
    // Creates the folder and every missing parent; true when it exists afterwards. Nothing is
    // made when the folder is longer than the platform's calls can create. Memory grows with
    // the path's length.
    static bool EnsureFolder(const std::wstring& path);
    // True when a part of the name (either separator, or a NUL, where the platform ends the
    // path) is "..", or only dots and spaces with more than one dot, which the platform would
    // read as the parent folder.
    static bool HasParentReference(const std::wstring& name);

    bool removeDrive = true;
    bool scanPastDirectory = false;
    bool caseSensitive = false;

protected:
    virtual void CreateCompressor(uint16_t method);

private:
    void ReadArchive();
    bool ExtractFileEntry(const std::wstring& target, unsigned bufferSize);
    [[noreturn]] void ThrowError(int cause) const;

    CZipStorage storage;
    CZipCentralDir centralDir;
    int openedEntry = entryClosed;
    int archiveSystem = 0;
    std::unique_ptr<CZipCompressor> compressor;
    CZipStringSettings stringSettings;
};
