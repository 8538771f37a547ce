#pragma once

#include <set>
#include <string>
#include <string_view>

// The folders an update run fills and empties: its manifest folder in the user's temporary
// folder, and the parts and staged folders of the install folder's work folder.
namespace RunFolders {

// Deletes every file directly in the folder, then the folder when it is empty. An empty path
// is never taken for the current folder.
void EmptyFolder(const std::wstring& folder);
// Deletes every file directly in the folder whose name is not in kept (and, when a rule is
// given, is one the rule names).
void RemoveFilesExcept(const std::wstring& folder, const std::set<std::wstring>& kept,
                       bool (*only)(std::wstring_view name) = nullptr);

// Makes a folder of the run's own in the temporary folder, first removing the ones that runs
// of ended processes left there (a run that crashed or was killed). In the work folder when
// there is no temporary folder to be had.
std::wstring MakeManifestFolder(const std::wstring& workFolder);

// Removes the run folders in tempFolder whose process has ended: its id names no process, or
// a process started after the folder was made (the id was given again). Folders of running
// processes, including this one, and every other name are left alone.
void RemoveEndedRunFolders(const std::wstring& tempFolder);

}  // namespace RunFolders
