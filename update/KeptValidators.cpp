#include "update/KeptValidators.h"

namespace {

bool Printable(wchar_t c) { return c >= 0x20 && c <= 0x7E; }

bool AppendLine(std::string& text, const std::wstring& value) {
    for (wchar_t c : value) {
        if (!Printable(c)) return false;
        text += static_cast<char>(c);
    }
    text += '\n';
    return true;
}

// The next line of text from `at`, without its "\r\n" or "\n"; nothing when no line end follows
// or the line holds other characters than printable ASCII.
std::optional<std::wstring> NextLine(const std::string& text, size_t& at) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) return std::nullopt;
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::wstring value;
    for (char c : line) {
        if (!Printable(static_cast<unsigned char>(c))) return std::nullopt;
        value += static_cast<wchar_t>(c);
    }
    return value;
}

}  // namespace

std::optional<std::string> KeptValidators::Text() const {
    if ((etag.empty() && lastModified.empty()) || url.empty()) return std::nullopt;
    std::string text;
    for (const std::wstring* value : {&etag, &lastModified, &url})
        if (!AppendLine(text, *value)) return std::nullopt;
    return text;
}

std::optional<KeptValidators> KeptValidators::FromText(const std::string& text) {
    size_t at = 0;
    const auto etag = NextLine(text, at);
    const auto lastModified = NextLine(text, at);
    const auto url = NextLine(text, at);
    if (!etag || !lastModified || !url || url->empty() || at != text.size()) return std::nullopt;
    return KeptValidators{*etag, *lastModified, *url};
}
