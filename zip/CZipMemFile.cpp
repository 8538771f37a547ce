#include "zip/CZipMemFile.h"

#include <algorithm>
#include <cstring>

#include "framework/CFileException.h"

CZipMemFile::CZipMemFile(const void* bytes, size_t size)
    : data(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + size) {}

bool CZipMemFile::Open(const std::wstring&, unsigned, bool) {
    closed = false;
    position = 0;
    return true;
}

uint64_t CZipMemFile::Seek(int64_t offset, int origin) {
    const int64_t base = origin == end       ? static_cast<int64_t>(data.size())
                         : origin == current ? static_cast<int64_t>(position)
                                             : 0;
    if (offset < 0 && -offset > base) CFileException::Throw(CFileException::badSeek, GetFilePath());
    position = static_cast<uint64_t>(base + offset);
    return position;
}

void CZipMemFile::SetLength(uint64_t length) { data.resize(static_cast<size_t>(length)); }

unsigned CZipMemFile::Read(void* buffer, unsigned count) {
    if (position >= data.size()) return 0;
    const uint64_t left = data.size() - position;
    const unsigned n = static_cast<unsigned>(std::min<uint64_t>(count, left));
    std::memcpy(buffer, data.data() + position, n);
    position += n;
    return n;
}

void CZipMemFile::Write(const void* buffer, unsigned count) {
    if (position + count > data.size()) data.resize(static_cast<size_t>(position + count));
    std::memcpy(data.data() + position, buffer, count);
    position += count;
}
