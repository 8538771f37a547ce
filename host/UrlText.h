#pragma once

#include <optional>
#include <string>
#include <string_view>

// Text rules of the values a pelkoweb: URL carries.
namespace UrlText {

// Replaces every "%XX" (two hexadecimal digits, either case) by its byte, once: "%2541" gives
// "%41". Every other character is taken as it is and must be ASCII. Nothing when a "%" is not
// followed by two hexadecimal digits or a character is not ASCII.
std::optional<std::string> PercentDecode(std::u16string_view text);

// Strict UTF-8 to UTF-16: overlong forms, surrogates, code points above U+10FFFF and cut
// sequences give nothing.
std::optional<std::u16string> Utf16FromUtf8(std::string_view bytes);

}  // namespace UrlText
