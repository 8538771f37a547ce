#include "framework/PathText.h"

namespace PathText {

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

size_t LastSeparator(std::wstring_view path) {
    return path.find_last_of(L"\\/");
}

}  // namespace

std::wstring FolderPart(std::wstring_view path) {
    const size_t at = LastSeparator(path);
    return at == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, at));
}

std::wstring FileNamePart(std::wstring_view path) {
    const size_t at = LastSeparator(path);
    return std::wstring(at == std::wstring_view::npos ? path : path.substr(at + 1));
}

std::wstring Join(std::wstring_view folder, std::wstring_view name) {
    std::wstring joined(folder);
    if (joined.empty() || !IsSeparator(joined.back()))
        joined += L'\\';
    joined += name;
    return joined;
}

std::wstring AppendBackslash(std::wstring_view text) {
    std::wstring result(text);
    if (result.empty() || result.back() != L'\\')
        result += L'\\';
    return result;
}

}  // namespace PathText
