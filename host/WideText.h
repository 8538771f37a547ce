#pragma once

#include <string>
#include <string_view>

// The portable rules speak UTF-16 as char16_t; Windows calls take the same units as wchar_t.
namespace WideText {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t only");

inline std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

inline std::u16string Utf16(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace WideText
