#include "ZipFuzzWatch.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>

namespace ZipFuzz {

namespace {

// The resolved watched folder; empty while nothing is watched.
std::string watched;

template <class F>
F Real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

std::string Absolute(int folder, const char* path) {
    if (path[0] == '/') return path;
    char base[PATH_MAX];
    if (folder == AT_FDCWD) {
        if (!getcwd(base, sizeof base)) return std::string();
    } else {
        const std::string link = "/proc/self/fd/" + std::to_string(folder);
        const ssize_t n = readlink(link.c_str(), base, sizeof base - 1);
        if (n < 0) return std::string();
        base[n] = '\0';
    }
    return std::string(base) + "/" + path;
}

// The object the path names: its folder resolved (links, "." and ".."), then its last part.
// Empty when that folder cannot be reached, so that the call fails by itself.
std::string Resolved(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const size_t slash = path.rfind('/');
    std::string last = path.substr(slash + 1);
    std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    if (last == "." || last == "..") folder = path, last.clear();
    char real[PATH_MAX];
    if (!realpath(folder.c_str(), real)) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG) return std::string();
        fprintf(stderr, "cannot resolve %s\n", path.c_str());
        abort();
    }
    std::string result = real;
    if (!last.empty()) result += (result == "/" ? "" : "/") + last;
    return result;
}

void Check(int folder, const char* path, const char* call) {
    if (watched.empty() || !path || !*path) return;
    const std::string absolute = Absolute(folder, path);
    const std::string object = Resolved(absolute.empty() ? path : absolute);
    if (object.empty()) return;
    if (object.size() > watched.size() && object.compare(0, watched.size(), watched) == 0 &&
        object[watched.size()] == '/')
        return;
    fprintf(stderr, "%s outside the destination: %s (%s)\n", call, path, object.c_str());
    abort();
}

bool Writes(int flags) {
    return (flags & (O_CREAT | O_WRONLY | O_RDWR | O_TRUNC)) != 0 ||
           (flags & O_TMPFILE) == O_TMPFILE;
}

mode_t ModeOf(int flags, va_list arguments) {
    const bool hasMode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
    return hasMode ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

}  // namespace

void WatchWrites(const std::string& folder, const std::function<void()>& use) {
    char real[PATH_MAX];
    if (!realpath(folder.c_str(), real)) abort();
    watched = real;
    try {
        use();
    } catch (...) {
        watched.clear();
        throw;
    }
    watched.clear();
}

}  // namespace ZipFuzz

using ZipFuzz::Check;
using ZipFuzz::Real;

// The calls that change the file system, as the C library declares them, each checked and
// then passed on.
extern "C" {

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ZipFuzz::ModeOf(flags, arguments);
    va_end(arguments);
    if (ZipFuzz::Writes(flags)) Check(AT_FDCWD, path, "open");
    static const auto real = Real<int (*)(const char*, int, ...)>("open");
    return real(path, flags, mode);
}

// On 64-bit systems the same call as open.
int open64(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ZipFuzz::ModeOf(flags, arguments);
    va_end(arguments);
    return open(path, flags, mode);
}

int openat(int folder, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ZipFuzz::ModeOf(flags, arguments);
    va_end(arguments);
    if (ZipFuzz::Writes(flags)) Check(folder, path, "openat");
    static const auto real = Real<int (*)(int, const char*, int, ...)>("openat");
    return real(folder, path, flags, mode);
}

int creat(const char* path, mode_t mode) {
    Check(AT_FDCWD, path, "creat");
    static const auto real = Real<int (*)(const char*, mode_t)>("creat");
    return real(path, mode);
}

int mkstemp(char* pattern) {
    Check(AT_FDCWD, pattern, "mkstemp");
    static const auto real = Real<int (*)(char*)>("mkstemp");
    return real(pattern);
}

int mkdir(const char* path, mode_t mode) __THROW {
    Check(AT_FDCWD, path, "mkdir");
    static const auto real = Real<int (*)(const char*, mode_t)>("mkdir");
    return real(path, mode);
}

int mkdirat(int folder, const char* path, mode_t mode) __THROW {
    Check(folder, path, "mkdirat");
    static const auto real = Real<int (*)(int, const char*, mode_t)>("mkdirat");
    return real(folder, path, mode);
}

int rename(const char* from, const char* to) __THROW {
    Check(AT_FDCWD, from, "rename");
    Check(AT_FDCWD, to, "rename");
    static const auto real = Real<int (*)(const char*, const char*)>("rename");
    return real(from, to);
}

int renameat(int fromFolder, const char* from, int toFolder, const char* to) __THROW {
    Check(fromFolder, from, "renameat");
    Check(toFolder, to, "renameat");
    static const auto real = Real<int (*)(int, const char*, int, const char*)>("renameat");
    return real(fromFolder, from, toFolder, to);
}

int unlink(const char* path) __THROW {
    Check(AT_FDCWD, path, "unlink");
    static const auto real = Real<int (*)(const char*)>("unlink");
    return real(path);
}

int unlinkat(int folder, const char* path, int flags) __THROW {
    Check(folder, path, "unlinkat");
    static const auto real = Real<int (*)(int, const char*, int)>("unlinkat");
    return real(folder, path, flags);
}

int rmdir(const char* path) __THROW {
    Check(AT_FDCWD, path, "rmdir");
    static const auto real = Real<int (*)(const char*)>("rmdir");
    return real(path);
}

int chmod(const char* path, mode_t mode) __THROW {
    Check(AT_FDCWD, path, "chmod");
    static const auto real = Real<int (*)(const char*, mode_t)>("chmod");
    return real(path, mode);
}

int fchmodat(int folder, const char* path, mode_t mode, int flags) __THROW {
    Check(folder, path, "fchmodat");
    static const auto real = Real<int (*)(int, const char*, mode_t, int)>("fchmodat");
    return real(folder, path, mode, flags);
}

int utimensat(int folder, const char* path, const struct timespec times[2], int flags) __THROW {
    Check(folder, path, "utimensat");
    static const auto real =
        Real<int (*)(int, const char*, const struct timespec*, int)>("utimensat");
    return real(folder, path, times, flags);
}

}  // extern "C"
