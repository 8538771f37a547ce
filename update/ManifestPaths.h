#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Text rules that turn a manifest entry into a local path and a package URL.
namespace ManifestPaths {

// Where a FolderType value puts the base folder.
enum class BaseFolderKind {
    Install,       // 0: the install folder the caller works for
    Windows,       // 36
    System,        // 37
    ProgramFiles,  // 38: drive of the Windows folder + "\Program Files"
    Temp,          // 60
    Shell,         // any other value from 1 to 59: a CSIDL number
    Drive,         // above 60 or negative: a drive letter
};
BaseFolderKind BaseFolderKindOf(int folderType);

// The value taken as a character code followed by ":" (68 gives "D:"). A code of 0 gives empty
// text rather than a path with a NUL inside it.
std::wstring DriveFolder(int folderType);

// The drive of the Windows folder ("C:" of "C:\Windows"; none for a UNC path) + "\Program Files".
std::wstring ProgramFilesFolder(std::wstring_view windowsFolder);

// base "\" targetDir "\" name, with a "\" added only where the text does not already end with one.
std::wstring ComposeTargetPath(std::wstring_view baseFolder, std::wstring_view targetDir,
                               std::wstring_view name);

// updateUrl "/RudovuZado/" name ".zip", every "\" turned into "/".
std::wstring BuildPackageUrl(std::wstring_view updateUrl, std::wstring_view name);

// An entry's content-addressed package as a signed manifest names it: exactly "objects/", the
// package's SHA-256 as 64 lower-case hexadecimal digits, and ".zip". Nothing else is taken, so
// the URL below can only ever name a file of that one folder.
bool IsObjectName(std::wstring_view object);

// updateUrl "/" object, for an object IsObjectName accepts.
std::wstring BuildObjectUrl(std::wstring_view updateUrl, std::wstring_view object);

// The package URL of an entry: its object when it names one, else the classic package.
std::wstring PackageUrlOf(std::wstring_view updateUrl, std::wstring_view name,
                          std::wstring_view object);

// Largest file an entry's FileSize lets a package bring: exactly FileSize when the manifest is
// signed; an unsigned manifest's FileSize, written by hand or by older tools, gets some slack
// (1/16 more, at least 64 KiB). A size of 0 or less gives no bound (0).
std::uint64_t FileBound(long long fileSize, bool signedManifest);

// Longest package body for a file of fileSize bytes: the file stored, with room for the
// records around it and for deflate's worst growth (FileSize + 1/4096 + 256 KiB). A size of 0
// or less gives no bound (0).
std::uint64_t PackageBodyBound(long long fileSize);

// The manifest's own bounds: a larger file or more sections is an unreadable manifest.
inline constexpr std::uint64_t kMaxManifestBytes = 32u << 20;
inline constexpr std::size_t kMaxManifestEntries = 250000;

// An empty filter takes every type; otherwise the type must equal one value exactly.
bool TypeAccepted(const std::vector<std::wstring>& typeFilter, std::wstring_view type);

// The extension of the last path component, compared in lower case with ".dll".
bool HasDllExtension(std::wstring_view path);

}  // namespace ManifestPaths
