#pragma once

#include <cstdio>
#include <string>

// Registers the pelkoweb: scheme for the current user (no administrator rights needed) and
// removes it again. Each writes one line per change to out.
namespace SchemeRegistration {

// Writes what is missing or different; true when everything is in place afterwards.
bool Register(const std::wstring& programPath, std::FILE* out);

// Removes the values that Register writes for this program, and each of their keys that is
// left empty; values that differ stay, and nothing is removed while the open command belongs
// to another program. True when nothing failed.
bool Unregister(const std::wstring& programPath, std::FILE* out);

}  // namespace SchemeRegistration
