#pragma once

#include <windows.h>

#include <string>

// The module that holds this code: the component's DLL (or a program linking it statically),
// whatever program loaded it. Its resources are the patch window's.
namespace CodeModule {

HMODULE Handle();
// Its file name without folder and extension, e.g. "PelkoWebLoader": the patch window's
// caption for message boxes.
std::wstring ApplicationName();

}  // namespace CodeModule
