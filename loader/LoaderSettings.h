#pragma once

#include <string>

// Writes section "PelkoWebLoader" of PelkoWebLoader.ini in the install folder: Server, Enc,
// EntID and EntName, in this order, empty values as empty entries. Other sections and keys of
// the file stay; write failures are not reported.
void WriteLoaderSettings(const std::wstring& server, const std::wstring& enc,
                         const std::wstring& entId, const std::wstring& entName);
