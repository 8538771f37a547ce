#include "zip/CZipArchive.h"

#include <algorithm>
#include <vector>

#include "framework/FileSystem.h"
#include "zip/CDeflateCompressor.h"
#include "zip/CZipException.h"
#include "zip/CZipPathComponent.h"
#include "zip/CZipTargetFile.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring WithoutTrailingSeparators(std::wstring text) {
    while (!text.empty() && IsSeparator(text.back())) text.pop_back();
    return text;
}

bool IsParentPart(std::wstring_view part) {
    size_t dots = 0;
    for (wchar_t c : part) {
        if (c == L'.')
            ++dots;
        else if (c != L' ')
            return false;
    }
    return dots >= 2;
}

// A part the platform reads as the folder it is in, or as nothing: only spaces and at most
// one dot ("", ".", " ", ". " ...).
bool IsCurrentPart(std::wstring_view part) {
    return std::all_of(part.begin(), part.end(),
                       [](wchar_t c) { return c == L'.' || c == L' '; }) &&
           std::count(part.begin(), part.end(), L'.') <= 1;
}

// True when every part of the relative path is the current folder or nothing, so the path
// names the folder it is appended to.
bool NamesItsFolder(const std::wstring& below) {
    size_t start = 0;
    for (size_t i = 0; i <= below.size(); ++i) {
        if (i < below.size() && !IsSeparator(below[i])) continue;
        if (!IsCurrentPart(std::wstring_view(below).substr(start, i - start))) return false;
        start = i + 1;
    }
    return true;
}

// The length of the path's root, which is never created: a "\\?\" or "\\" prefix, a drive
// and the separators after them.
size_t RootLength(const std::wstring& path) {
    CZipPathComponent split;
    split.SetFullPath(path.substr(0, std::min<size_t>(path.size(), 10)));
    size_t root = split.prefix.size() + split.drive.size();
    while (root < path.size() && IsSeparator(path[root])) ++root;
    return root;
}

// The end of the parent of the level that ends at end: the start of the separators before the
// level's last part; root when the level is the first below it.
size_t ParentEnd(const std::wstring& path, size_t end, size_t root) {
    while (end > root && !IsSeparator(path[end - 1])) --end;
    while (end > root && IsSeparator(path[end - 1])) --end;
    return end;
}

bool IsKnownSystem(uint8_t system) {
    return system == 0 || system == 3 || system == 6 || system == 7 || system == 10;
}

}  // namespace

CZipArchive::CZipArchive() = default;

CZipArchive::~CZipArchive() = default;

bool CZipArchive::OpenArchive(const std::wstring& path, int mode, uint64_t volumeSize) {
    if (storage.IsOpen()) return false;
    storage.Open(path, mode, volumeSize);
    ReadArchive();
    return true;
}

bool CZipArchive::OpenArchive(CZipAbstractFile& memoryFile, int mode) {
    if (storage.IsOpen()) return false;
    storage.Open(memoryFile, mode);
    ReadArchive();
    return true;
}

void CZipArchive::ReadArchive() {
    openedEntry = entryClosed;
    archiveSystem = 0;
    centralDir.Init(&storage, &stringSettings);
    centralDir.Read();
    if (const CZipFileHeader* first = GetEntry(0)) {
        if (IsKnownSystem(first->GetSystemOrigin())) archiveSystem = first->GetSystemOrigin();
    }
}

void CZipArchive::CloseArchive(int afterError, bool stampNewestTime) {
    if (!storage.IsOpen() && (afterError == 0 || !storage.file || storage.file->IsClosed())) return;
    if (openedEntry == entryExtracting) CloseEntry(nullptr, afterError != 0);
    // The directory on disk is current (nothing is ever written), so closing writes nothing.
    const bool fileOpen = storage.file && !storage.file->IsClosed();
    const bool afterErrorMode = afterError == 1 || !fileOpen;
    int64_t newest = -1;
    if (stampNewestTime) {
        for (size_t i = 0; i < centralDir.GetCount(); ++i)
            newest = std::max(newest, centralDir[i]->GetModTime());
    }
    centralDir.Close();
    stringSettings.Reset();
    const std::wstring path = storage.archivePath;
    const bool onDisk = !storage.inMemory;
    storage.Close(afterErrorMode);
    if (stampNewestTime && onDisk && newest != -1) FileSystem::SetFileTimes(path, newest);
}

CZipFileHeader* CZipArchive::GetEntry(uint16_t index) {
    if (IsClosed() || index == 0xFFFF || index >= centralDir.GetCount()) return nullptr;
    return centralDir[index];
}

uint16_t CZipArchive::GetCount() const {
    return IsClosed() ? 0 : static_cast<uint16_t>(centralDir.GetCount());
}

bool CZipArchive::ExtractEntry(uint16_t index, const wchar_t* folder, bool keepPath,
                               const wchar_t* newName, unsigned bufferSize) {
    if (bufferSize == 0 && !folder) return false;
    CZipFileHeader* record = GetEntry(index);
    if (!record) return false;
    const std::wstring nameInZip = record->GetName();
    record->ReleaseRawName();
    const std::wstring name = newName ? std::wstring(newName) : nameInZip;
    // A name that climbs out of the destination is refused before anything is touched.
    if (HasParentReference(name)) return false;
    const std::optional<std::wstring> target =
        BuildTargetPath(nameInZip, folder, keepPath, newName);
    if (!target) return false;
    const bool isFolder = record->IsFolder();
    // A target the ordinary file calls cannot reach gets no folders made for it. A folder
    // entry's folder is one to create unless it exists.
    if (!FileSystem::FitsPathLimit(*target, isFolder && !FileSystem::IsExistingFolder(*target)))
        return false;
    if (isFolder) {
        EnsureFolder(*target);
        FileSystem::SetAttributes(*target, record->GetSystemAttributes());
        return true;
    }
    if (!OpenEntry(index)) return false;
    return ExtractFileEntry(*target, bufferSize);
}

bool CZipArchive::ExtractFileEntry(const std::wstring& target, unsigned bufferSize) {
    EnsureFolder(CZipPathComponent(target).FolderPath());
    CZipTargetFile output(target);
    std::vector<uint8_t> buffer(bufferSize);
    while (openedEntry == entryExtracting && !buffer.empty()) {
        const unsigned n = ReadEntryData(buffer.data(), bufferSize);
        if (n == 0) break;
        output.Write(buffer.data(), n);
    }
    output.Close();
    // Only a complete file whose CRC matched (CloseEntry throws otherwise) replaces the target.
    const bool complete = compressor->AllProduced();
    const int result = CloseEntry(complete ? output.TemporaryPath().c_str() : nullptr, false);
    if (!complete) return false;
    if (!output.Commit()) ThrowError(CZipException::notRenamed);
    return result == 1;
}

bool CZipArchive::OpenEntry(uint16_t index) {
    if (IsClosed() || index >= GetCount() || storage.creatingSegments || openedEntry != entryClosed)
        return false;
    centralDir.OpenFile(index);
    CZipFileHeader* record = centralDir.openedEntry;
    if (record->method != CZipCompressor::methodStore &&
        record->method != CZipCompressor::methodDeflate) {
        centralDir.openedEntry = nullptr;
        return false;
    }
    // No password can be set, so an encrypted entry cannot be read.
    if (record->IsEncrypted()) ThrowError(CZipException::badPassword);
    CreateCompressor(record->method);
    compressor->InitReading(record);
    openedEntry = entryExtracting;
    return true;
}

void CZipArchive::CreateCompressor(uint16_t method) {
    if (compressor && compressor->CanHandle(method)) return;
    compressor = std::make_unique<ZipSupport::CDeflateCompressor>(&storage);
}

unsigned CZipArchive::ReadEntryData(void* buffer, unsigned size) {
    if (openedEntry != entryExtracting || !buffer || size == 0) return 0;
    return compressor->ReadData(buffer, size);
}

int CZipArchive::CloseEntry(const wchar_t* path, bool afterError) {
    if (openedEntry != entryExtracting) return 0;
    int result = 1;
    if (afterError) {
        compressor->FinishReading(true);
    } else {
        CZipFileHeader* record = centralDir.openedEntry;
        if (compressor->AllProduced()) {
            const bool checkCrc =
                !(centralDir.ignoredChecks & CZipCentralDir::checkCrc) && !record->ignoreCrc;
            if (checkCrc && compressor->GetCrc() != record->crc32)
                ThrowError(CZipException::badCrc);
        } else {
            result = -1;
        }
        compressor->FinishReading(false);
        if (path) {
            if (!FileSystem::SetFileTimes(path, record->GetModTime()) ||
                !FileSystem::SetAttributes(path, record->GetSystemAttributes()))
                result = -2;
        }
    }
    centralDir.CloseFile(afterError);
    openedEntry = entryClosed;
    return result;
}

std::optional<std::wstring> CZipArchive::BuildTargetPath(const std::wstring& nameInZip,
                                                         const wchar_t* folder, bool keepPath,
                                                         const wchar_t* newName) const {
    std::wstring target = folder ? folder : L"";
    std::wstring name = newName ? newName : nameInZip;
    if (!target.empty()) target = WithoutTrailingSeparators(target) + L"\\";
    name = WithoutTrailingSeparators(name);
    CZipPathComponent split;
    if (!split.SetFullPath(name)) return std::nullopt;
    const std::wstring below = !keepPath     ? split.FileName()
                               : removeDrive ? split.PathWithoutDrive()
                                             : name;
    // What is left after the drive is dropped must not climb out of the folder, name the
    // folder itself (its attributes are not the entry's to set), reach a stream (":" after the
    // drive) or hold a NUL, where the platform would cut the path short.
    if (HasParentReference(below) || NamesItsFolder(below) ||
        below.find_first_of(std::wstring_view(L":\0", 2)) != std::wstring::npos)
        return std::nullopt;
    return target + below;
}

bool CZipArchive::EnsureFolder(const std::wstring& path) {
    // Either separator may end a level: names from the name-encoding block keep their "/".
    const std::wstring folder = WithoutTrailingSeparators(path);
    const size_t root = RootLength(folder);
    if (folder.size() <= root || FileSystem::IsExistingFolder(folder)) return true;
    // Nothing is made for a folder the ordinary calls could not create at its full depth.
    if (!FileSystem::FitsPathLimit(folder, true)) return false;
    // Walks up to the first level that exists (or the root), then creates downwards. Only the
    // ends of the missing levels are kept, so memory grows with the path, not its square.
    std::vector<size_t> missing{folder.size()};
    std::wstring level;
    for (size_t end = ParentEnd(folder, folder.size(), root); end > root;
         end = ParentEnd(folder, end, root)) {
        level.assign(folder, 0, end);
        if (FileSystem::IsExistingFolder(level)) break;
        missing.push_back(end);
    }
    for (auto end = missing.rbegin(); end != missing.rend(); ++end) {
        level.assign(folder, 0, *end);
        // A level such as "a\." was made a moment ago as "a"; another process may make one too.
        if (!FileSystem::CreateFolder(level) && !FileSystem::IsExistingFolder(level)) return false;
    }
    return true;
}

bool CZipArchive::HasParentReference(const std::wstring& name) {
    size_t start = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        // The platform ends a path at a NUL, so a part ends there too: "..\0x" is "..".
        if (i == name.size() || IsSeparator(name[i]) || name[i] == L'\0') {
            if (IsParentPart(std::wstring_view(name).substr(start, i - start))) return true;
            start = i + 1;
        }
    }
    return false;
}

void CZipArchive::ThrowError(int cause) const { storage.ThrowError(cause); }
