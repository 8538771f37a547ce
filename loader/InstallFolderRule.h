#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Where the product family lives on this machine, decided from drive facts alone.
namespace InstallFolderRule {

// The platform's drive type numbers (GetDriveTypeW).
enum DriveType : unsigned {
    kDriveUnknown = 0,
    kDriveNoRootDir = 1,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdRom = 5,
    kDriveRamDisk = 6,
};

// The product's folder below a drive root or the user's local application data folder.
inline constexpr wchar_t kProductFolder[] = L"Corvane\\Pelko\\";

// Asked only for present drives, with the root such as L"C:\\".
using DriveTypeQuery = std::function<unsigned(const std::wstring& root)>;

// "C:\Corvane\Pelko\" when C: is a fixed disk, otherwise the system directory's drive followed
// by "\Corvane\Pelko\". Bit 0 of presentDrives is A:.
std::wstring InstallFolderFor(std::uint32_t presentDrives, const DriveTypeQuery& driveTypeOf,
                              std::wstring_view systemDirectory);

// The longest path CreateFolderPath accepts, in characters (its working buffer less the
// terminator).
constexpr std::size_t kMaxFolderPath = 255;

// The folders to create, in order, for every folder along an absolute path: one for each
// separator not preceded by ":", then the whole path. Empty for a path longer than
// kMaxFolderPath.
std::vector<std::wstring> FoldersAlong(std::wstring_view path);

// "C:\" for a path on a drive letter ("C:\..."), else empty.
std::wstring DriveRootOf(std::wstring_view path);

}  // namespace InstallFolderRule
