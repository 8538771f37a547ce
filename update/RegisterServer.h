#pragma once

#include <string>

// Loads the DLL and calls its registration entry point (no arguments, HRESULT result) with OLE
// initialised on the calling thread; the file is held without write or delete sharing from
// before its load until the call ends. With expectedSha256 (lower-case hexadecimal), the file is
// hashed through that held handle first and loaded only when it has that digest. A file another
// user may change (FolderTrustRule::JudgeFile, through the same handle) is not loaded. True when
// the entry point returns a success code.
bool RegisterServer(const wchar_t* dllPath, const wchar_t* entryPoint,
                    const std::wstring& expectedSha256 = std::wstring());

// Calls DllRegisterServer of the file when its extension is ".dll" in any case; the outcome is
// not reported, the result is always true.
bool RegisterIfDll(const wchar_t* path);
