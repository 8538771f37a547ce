#pragma once

#include <string>
#include <string_view>

// Path text rules shared by every subsystem. Either "\" or "/" separates folders.
namespace PathText {

// Text before the last separator; empty when there is none.
std::wstring FolderPart(std::wstring_view path);
// Text after the last separator; the whole text when there is none.
std::wstring FileNamePart(std::wstring_view path);
// Inserts "\" only when the folder does not already end with a separator.
std::wstring Join(std::wstring_view folder, std::wstring_view name);
// Adds "\" unless the text ends with one (also to empty text).
std::wstring AppendBackslash(std::wstring_view text);

}  // namespace PathText
