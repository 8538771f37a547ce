#include "framework/LogLine.h"

#include <cwchar>

namespace LogLine {

namespace {

std::wstring_view WithoutLineEnd(std::wstring_view text) {
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.remove_suffix(1);
    return text;
}

bool IsControl(wchar_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029;
}

// The authority of a URL ends at its path, query or fragment, or where the text around it goes on.
bool IsAuthorityEnd(wchar_t c) {
    return c == L'/' || c == L'?' || c == L'#' || c == L'\\' || c == L' ' || IsControl(c);
}

// A URL written in a line ends where the text around it goes on.
bool IsUrlEnd(wchar_t c) {
    return c == L' ' || c == L'"' || c == L'\'' || c == L'<' || c == L'>' || IsControl(c);
}

}  // namespace

std::wstring Format(const Stamp& stamp, std::wstring_view text) {
    wchar_t prefix[80];
    std::swprintf(prefix, sizeof(prefix) / sizeof(prefix[0]),
                  L"%04d-%02d-%02d %02d:%02d:%02d.%03d [pid %lu tid %lu] ", stamp.year, stamp.month,
                  stamp.day, stamp.hour, stamp.minute, stamp.second, stamp.millisecond,
                  static_cast<unsigned long>(stamp.processId),
                  static_cast<unsigned long>(stamp.threadId));
    std::wstring line(prefix);
    for (const wchar_t c : WithoutLineEnd(text)) line.push_back(IsControl(c) ? L' ' : c);
    line += L"\r\n";
    return line;
}

std::wstring WithoutUrlSecrets(std::wstring_view text) {
    std::wstring result;
    size_t done = 0;
    for (size_t scheme = text.find(L"://"); scheme != std::wstring_view::npos;
         scheme = text.find(L"://", done)) {
        const size_t start = scheme + 3;
        size_t end = start;
        while (end < text.size() && !IsAuthorityEnd(text[end])) ++end;
        const size_t at = text.substr(start, end - start).rfind(L'@');
        result.append(text.substr(done, start - done));
        size_t from = start;
        if (at != std::wstring_view::npos) {
            result += L"***";
            from = start + at;
        }
        size_t urlEnd = end;
        while (urlEnd < text.size() && !IsUrlEnd(text[urlEnd])) ++urlEnd;
        // The path stays; a query or a fragment may carry a token, and goes.
        const std::wstring_view rest = text.substr(from, urlEnd - from);
        const size_t secret = rest.find_first_of(L"?#");
        result.append(rest.substr(0, secret));
        if (secret != std::wstring_view::npos) result += std::wstring(1, rest[secret]) + L"***";
        done = urlEnd;
    }
    result.append(text.substr(done));
    return result;
}

bool ShouldRotate(std::uint64_t fileBytes, std::uint64_t lineBytes, std::uint64_t limit) {
    return fileBytes > 0 && fileBytes + lineBytes > limit;
}

}  // namespace LogLine
