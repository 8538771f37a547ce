#include "framework/FileSystem.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "framework/posix/PosixPath.h"

namespace FileSystem {

namespace {

// The latest time the Windows run time's 64-bit calendar functions accept.
constexpr int64_t latestTime = 32535215999;

uint32_t AttributesOf(const struct stat& info) {
    uint32_t attributes = S_ISDIR(info.st_mode) ? attributeFolder : attributeArchive;
    if (!(info.st_mode & S_IWUSR)) attributes |= attributeReadOnly;
    return attributes;
}

}  // namespace

bool SetAttributes(const std::wstring& path, uint32_t attributes) {
    const std::string native = PosixPath::Native(path);
    struct stat info;
    if (stat(native.c_str(), &info) != 0) return false;
    mode_t mode = info.st_mode & 07777;
    mode = (attributes & attributeReadOnly) ? (mode & ~0222) : (mode | S_IWUSR);
    return chmod(native.c_str(), mode) == 0;
}

uint32_t GetAttributes(const std::wstring& path) {
    struct stat info;
    if (stat(PosixPath::Native(path).c_str(), &info) != 0) return invalidAttributes;
    return AttributesOf(info);
}

bool Exists(const std::wstring& path) { return access(PosixPath::Native(path).c_str(), F_OK) == 0; }

uint64_t FileSize(const std::wstring& path) {
    struct stat info;
    if (stat(PosixPath::Native(path).c_str(), &info) != 0) return 0;
    return static_cast<uint64_t>(info.st_size);
}

bool IsExistingFolder(const std::wstring& path) {
    struct stat info;
    return stat(PosixPath::Native(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CreateFolder(const std::wstring& path) {
    return mkdir(PosixPath::Native(path).c_str(), 0777) == 0;
}

bool RemoveFile(const std::wstring& path) { return unlink(PosixPath::Native(path).c_str()) == 0; }

bool SetFileTimes(const std::wstring& path, int64_t t) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    if (t == -1) {
        times[1] = times[0];
    } else {
        times[1].tv_sec = static_cast<time_t>(t);
        times[1].tv_nsec = 0;
    }
    return utimensat(AT_FDCWD, PosixPath::Native(path).c_str(), times, 0) == 0;
}

int64_t MakeLocalTime(std::tm fields) {
    errno = 0;
    const time_t t = mktime(&fields);
    if (t == static_cast<time_t>(-1) && errno != 0) return -1;
    if (t < 0 || static_cast<int64_t>(t) > latestTime) return -1;
    return static_cast<int64_t>(t);
}

namespace {

std::wstring MakeTempFileIn(const std::wstring& folder, bool isPrivate) {
    std::string pattern = PosixPath::Native(folder.empty() ? std::wstring(L".") : folder);
    if (pattern.back() != '/') pattern += '/';
    pattern += "pkzXXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return std::wstring();
    // mkstemp makes the file private; else give it the mode a newly created file would have.
    if (!isPrivate) {
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }
    close(fd);
    const std::wstring name(pattern.begin() + static_cast<long>(pattern.rfind('/') + 1),
                            pattern.end());
    std::wstring result = folder.empty() ? std::wstring(L".") : folder;
    if (result.back() != L'\\' && result.back() != L'/') result += L'\\';
    return result + name;
}

}  // namespace

std::wstring CreateTempFileIn(const std::wstring& folder) { return MakeTempFileIn(folder, false); }

std::wstring CreateRecordTempFileIn(const std::wstring& folder) {
    return MakeTempFileIn(folder, true);
}

std::wstring CreateRecordTempFileIn(const std::wstring& folder, const std::wstring&) {
    return MakeTempFileIn(folder, true);
}

bool CreateNewFile(const std::wstring& path) {
    const int fd =
        open(PosixPath::Native(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    close(fd);
    return true;
}

bool MoveOver(const std::wstring& from, const std::wstring& to) {
    return std::rename(PosixPath::Native(from).c_str(), PosixPath::Native(to).c_str()) == 0;
}

bool IsOnRemovableDrive(const std::wstring&) { return false; }

size_t PathLength(const std::wstring& path) { return PosixPath::Native(path).size(); }

size_t LongestPath(const std::wstring&, bool) { return PATH_MAX - 1; }

}  // namespace FileSystem
