#pragma once

#include <windows.h>

#include <string>

// The module that holds this code: the component's DLL (or a program linking it statically),
// whatever program loaded it: where the component's resources are, and whose name it shows.
namespace CodeModule {

HMODULE Handle();
// Its full file name, however long; empty when it cannot be had.
std::wstring FilePath();
// Its file name without folder and extension, e.g. "PelkoWebLoader": the application's name.
std::wstring ApplicationName();
// The build id the linker derived from the module's contents, as the CodeView record of its
// debug directory holds it, in the digits objdump -p shows ("signature"): 32 hex digits. Empty
// when the module has none.
std::wstring BuildId();

}  // namespace CodeModule
