#include "zip/CZipStorage.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "framework/CFile.h"
#include "framework/FileSystem.h"
#include "framework/PathText.h"
#include "zip/CZipException.h"

namespace {

constexpr unsigned readOpenFlags = CFile::modeRead | CFile::shareDenyWrite | CFile::modeNoTruncate;

std::wstring ExtensionOf(const std::wstring& path) {
    const std::wstring name = PathText::FileNamePart(path);
    const size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? std::wstring() : name.substr(dot + 1);
}

std::wstring WithoutExtension(const std::wstring& path) {
    const std::wstring name = PathText::FileNamePart(path);
    const size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? path : path.substr(0, path.size() - (name.size() - dot));
}

}  // namespace

void CZipStorage::Open(const std::wstring& path, int mode, uint64_t volumeSize) {
    currentVolume = noVolume;
    file = &ownFile;
    inMemory = false;
    archivePath = path;
    readOnly = mode == 1;
    const unsigned access = readOnly ? CFile::modeRead : CFile::modeReadWrite;
    file->Open(path, access | CFile::shareDenyWrite | CFile::modeNoTruncate, true);
    segmentMode = volumeSize == 0 ? undecided : splitExpected;
}

void CZipStorage::Open(CZipAbstractFile& memoryFile, int mode) {
    currentVolume = noVolume;
    file = &memoryFile;
    inMemory = true;
    archivePath.clear();
    readOnly = mode == 1;
    segmentMode = noSegments;
}

void CZipStorage::Close(bool afterError) {
    if (!afterError && file && !readOnly && !inMemory) file->Flush();
    if (!inMemory) ownFile.Close();
    currentVolume = noVolume;
    segmentMode = noSegments;
    file = nullptr;
    bytesBeforeZip = 0;
}

void CZipStorage::ThrowError(int cause) const { CZipException::Throw(cause, archivePath.c_str()); }

unsigned CZipStorage::Read(void* buffer, unsigned count, bool atOnce) {
    if (count == 0) return 0;
    uint8_t* bytes = static_cast<uint8_t*>(buffer);
    unsigned read = file->Read(bytes, count);
    while (read == 0) {
        if (!IsSegmented()) ThrowError(CZipException::badZipFile);
        ChangeVolume(static_cast<uint16_t>(currentVolume + 1));
        read = file->Read(bytes, count);
    }
    if (read == count) return count;
    if (atOnce || !IsSegmented()) ThrowError(CZipException::badZipFile);
    while (read < count) {
        ChangeVolume(static_cast<uint16_t>(currentVolume + 1));
        const unsigned n = file->Read(bytes + read, count - read);
        if (n == 0) ThrowError(CZipException::badZipFile);
        read += n;
    }
    return count;
}

void CZipStorage::Seek(int64_t offset, int origin) {
    if (origin == CZipAbstractFile::current) {
        if (IsSegmented()) {
            uint64_t position = file->GetPosition();
            uint64_t length = file->GetLength();
            while (offset > 0 && position + uint64_t(offset) >= length) {
                offset -= static_cast<int64_t>(length - position);
                ChangeVolume(static_cast<uint16_t>(currentVolume + 1));
                position = 0;
                length = file->GetLength();
            }
        }
        file->Seek(offset, CZipAbstractFile::current);
        return;
    }
    if (currentVolume == 0) offset += bytesBeforeZip;
    file->Seek(offset, origin);
}

void CZipStorage::ChangeVolume(uint16_t volume) {
    if (volume == currentVolume || segmentMode == noSegments) return;
    currentVolume = volume;
    const std::wstring name = SplitVolumeName(archivePath, volume, lastVolume, splitExtension);
    file->Close();
    file->Open(name, readOpenFlags, true);
}

uint64_t CZipStorage::FindSignatureBackward(const uint8_t signature[4], uint64_t maxDepth) {
    const uint32_t bufferSize = static_cast<uint32_t>(locateBufferSize);
    std::vector<uint8_t> buffer(bufferSize);
    const uint64_t length = file->GetLength();
    const uint64_t limit = std::min(length, maxDepth);
    uint64_t distance = length - std::min(length, file->GetPosition());
    uint32_t start = 0;
    uint32_t chunk = bufferSize;
    int matchIndex = 3;
    bool partial = false;
    while (distance < limit) {
        distance += chunk;
        if (distance > limit) {
            const uint32_t excess = static_cast<uint32_t>(distance - limit);
            chunk -= excess;
            start = excess;
            distance = limit;
        }
        Seek(-static_cast<int64_t>(distance), CZipAbstractFile::end);
        if (file->Read(buffer.data() + start, chunk) != chunk)
            ThrowError(CZipException::badZipFile);
        // The match state carries over, so a signature split between two chunks is found.
        for (int64_t pos = int64_t(bufferSize) - 1; pos >= int64_t(start);) {
            if (buffer[size_t(pos)] == signature[matchIndex]) {
                if (matchIndex == 0) return length - (distance - uint64_t(pos - start));
                partial = true;
                --matchIndex;
                --pos;
            } else if (partial) {
                matchIndex = 3;
                partial = false;
            } else {
                --pos;
            }
        }
    }
    return signatureNotFound;
}

void CZipStorage::UpdateSegmMode(uint16_t lastDisk) {
    currentVolume = lastDisk;
    if (lastDisk == 0) {
        segmentMode = noSegments;
        return;
    }
    // An archive in memory has no other volumes to read.
    if (inMemory) ThrowError(CZipException::badZipFile);
    if (segmentMode == undecided)
        segmentMode = FileSystem::IsOnRemovableDrive(archivePath) ? spanned : split;
    else if (segmentMode == splitExpected)
        segmentMode = split;
    if (segmentMode == spanned) ThrowError(CZipException::noCallback);
    lastVolume = lastDisk;
    splitExtension = ExtensionOf(archivePath);
    // Volumes are opened for reading only, so there is nothing to flush at close.
    readOnly = true;
}

std::wstring CZipStorage::SplitVolumeName(const std::wstring& archivePath, uint16_t volume,
                                          uint32_t lastVolume, const std::wstring& extension) {
    const std::wstring stem = WithoutExtension(archivePath);
    if (volume == lastVolume) return extension.empty() ? stem : stem + L"." + extension;
    wchar_t number[16];
    const unsigned n = unsigned(volume) + 1;
    std::swprintf(number, 16, n <= 99 ? L"z%.2u" : L"z%u", n);
    return stem + L"." + number;
}
