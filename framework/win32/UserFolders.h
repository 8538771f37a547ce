#pragma once

#include <string>

// Folders of the user this process runs as, as the environment names them (the platform's
// when it names none); empty when there is none.
namespace UserFolders {

// %LOCALAPPDATA%, e.g. C:\Users\me\AppData\Local.
std::wstring LocalAppData();
// %USERPROFILE%, e.g. C:\Users\me.
std::wstring Profile();

}  // namespace UserFolders
