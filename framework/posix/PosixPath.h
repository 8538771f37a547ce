#pragma once

#include <string>

// Paths reach the POSIX calls with "\" turned into "/" and encoded as UTF-8.
namespace PosixPath {

std::string Native(const std::wstring& path);

}  // namespace PosixPath
