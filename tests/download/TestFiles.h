#pragma once

#include <cstddef>
#include <string>

namespace downloadtest {

std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
// Bytes that differ from block to block, so misplaced blocks show.
std::string Pattern(size_t size);

}  // namespace downloadtest
