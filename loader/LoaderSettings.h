#pragma once

#include <windows.h>

#include <string>

#include "update/UpdateOutcome.h"

// PelkoWebLoader.ini in the install folder.
std::wstring LoaderSettingsPath(const std::wstring& installFolder);

// Writes section "PelkoWebLoader" of the install folder's settings file: Server, Enc, EntID,
// EntName, then how the update ended (UpdateResult) and the installed release's serial
// (ReleaseSerial), in this order, empty values as empty entries. Other sections and keys of the
// file stay. The file is replaced whole (a copy written beside it, then moved over it), so a
// reader or a second launch never sees one launch's Server with another's Enc; the copy gets the
// list of a record of the folder (FolderSecurity::RecordDescriptorIn). ERROR_SUCCESS when the
// file holds these values; otherwise the platform's error code of the step that failed, with a
// line on the debug output, the file as it was and no temporary file left.
DWORD WriteLoaderSettings(const std::wstring& installFolder, const std::wstring& server,
                          const std::wstring& enc, const std::wstring& entId,
                          const std::wstring& entName, const UpdateOutcome& outcome);
