#include "framework/CFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "framework/CFileException.h"
#include "framework/posix/PosixPath.h"

namespace {

int PosixOpenFlags(unsigned flags) {
    int result = O_CLOEXEC;
    switch (flags & 3) {
        case CFile::modeWrite:
            result |= O_WRONLY;
            break;
        case CFile::modeReadWrite:
            result |= O_RDWR;
            break;
        default:
            result |= O_RDONLY;
    }
    if (flags & CFile::modeCreate)
        result |= (flags & CFile::modeNoTruncate) ? O_CREAT : (O_CREAT | O_TRUNC);
    return result;
}

}  // namespace

CFile::~CFile() { Close(); }

bool CFile::Open(const std::wstring& filePath, unsigned flags, bool throwOnError) {
    Close();
    path = filePath;
    const int fd = open(PosixPath::Native(filePath).c_str(), PosixOpenFlags(flags), 0666);
    if (fd < 0) {
        if (throwOnError) ThrowLastError();
        return false;
    }
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        errno = EISDIR;
        if (throwOnError) ThrowLastError();
        return false;
    }
    handle = fd;
    return true;
}

void CFile::Close() {
    if (IsOpen()) close(static_cast<int>(handle));
    handle = invalidHandle;
}

uint64_t CFile::Seek(int64_t offset, int origin) {
    const int whence = origin == end ? SEEK_END : origin == current ? SEEK_CUR : SEEK_SET;
    const off_t position = lseek(static_cast<int>(handle), static_cast<off_t>(offset), whence);
    if (position < 0) ThrowLastError();
    return static_cast<uint64_t>(position);
}

uint64_t CFile::GetPosition() const {
    const off_t position = lseek(static_cast<int>(handle), 0, SEEK_CUR);
    if (position < 0) ThrowLastError();
    return static_cast<uint64_t>(position);
}

uint64_t CFile::GetLength() const {
    struct stat info;
    if (fstat(static_cast<int>(handle), &info) != 0) ThrowLastError();
    return static_cast<uint64_t>(info.st_size);
}

void CFile::SetLength(uint64_t length) {
    if (ftruncate(static_cast<int>(handle), static_cast<off_t>(length)) != 0) ThrowLastError();
}

unsigned CFile::Read(void* buffer, unsigned count) {
    unsigned total = 0;
    while (total < count) {
        const ssize_t n =
            read(static_cast<int>(handle), static_cast<char*>(buffer) + total, count - total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ThrowLastError();
        if (n == 0) break;
        total += static_cast<unsigned>(n);
    }
    return total;
}

void CFile::Write(const void* buffer, unsigned count) {
    unsigned total = 0;
    while (total < count) {
        const ssize_t n = write(static_cast<int>(handle), static_cast<const char*>(buffer) + total,
                                count - total);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ThrowLastError();
        total += static_cast<unsigned>(n);
    }
}

void CFile::Flush() {
    if (IsOpen() && fsync(static_cast<int>(handle)) != 0 && errno != EINVAL) ThrowLastError();
}

void CFile::ThrowLastError() const {
    CFileException::ThrowOsError(errno != 0 ? static_cast<uint32_t>(errno) : EIO, path);
}
