#pragma once

#include <string>

// Writes section "PelkoWebLoader" of PelkoWebLoader.ini in the install folder: Server, Enc,
// EntID and EntName, in this order, empty values as empty entries. Other sections and keys of
// the file stay. The file is replaced whole (a copy written beside it, then moved over it), so
// a reader or a second launch never sees one launch's Server with another's Enc; write
// failures are not reported.
void WriteLoaderSettings(const std::wstring& server, const std::wstring& enc,
                         const std::wstring& entId, const std::wstring& entName);
