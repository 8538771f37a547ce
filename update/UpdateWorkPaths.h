#pragma once

#include <optional>
#include <string>
#include <string_view>

// Where an update run keeps its own files: one hidden folder in the install folder (so on its
// volume), touched only by the run that holds its lock.
namespace UpdateWorkPaths {

// install folder "\~PelkoUpdate\"
std::wstring WorkFolder(std::wstring_view installFolder);
// The install folder of a work folder (with its final backslash): what its records' lists
// follow.
std::wstring InstallFolderOf(std::wstring_view workFolder);
std::wstring LockFile(std::wstring_view workFolder);
std::wstring JournalFile(std::wstring_view workFolder);
// What the component installed in each place (CInstallRecord).
std::wstring InstallRecordFile(std::wstring_view workFolder);
// How many launches in a row a busy target postponed the commit (PostponedCommits).
std::wstring PostponedFile(std::wstring_view workFolder);
// Manifest copies of the check, when the user has no temporary folder.
std::wstring ManifestFolder(std::wstring_view workFolder);
// A run's folder for its manifest copies in the temporary folder: "PelkoUpdate-<process>-<n>".
std::wstring TempRunFolderName(unsigned processId, unsigned n);
// The process id such a name carries; nullopt for every other name.
std::optional<unsigned> TempRunFolderOwner(std::wstring_view name);
// Downloaded packages; a part left by an interrupted run stays here to be resumed.
std::wstring PartsFolder(std::wstring_view workFolder);
// Files extracted from the packages, waiting for the commit.
std::wstring StagedFolder(std::wstring_view workFolder);

// The package file of one release of one target: the same target (compared without case),
// date and size give the same name; another release another name.
std::wstring PartName(std::wstring_view targetPath, std::wstring_view modifyDate, int fileSize);
// The staged file of the same release of the same target: PartName without ".zip".
std::wstring StagedName(std::wstring_view targetPath, std::wstring_view modifyDate, int fileSize);
// The part of one delta (its SHA-256 in hexadecimal) of the release whose package part is
// partName: resumed only into the same delta, since another installed file takes another one.
std::wstring DeltaPartName(std::wstring_view partName, std::wstring_view deltaSha256);
// Whether a name in the parts folder is a delta's part.
bool IsDeltaPartName(std::wstring_view name);

// Where the commit keeps the old file of a target until the commit ends: beside it, on its
// volume, so that a file a running program holds can still be renamed. Attempt n > 0 names
// another place, for when a program still holds the old file of an earlier commit.
std::wstring AsidePath(std::wstring_view targetPath, unsigned attempt = 0);

}  // namespace UpdateWorkPaths
