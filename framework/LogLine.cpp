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

bool ShouldRotate(std::uint64_t fileBytes, std::uint64_t lineBytes, std::uint64_t limit) {
    return fileBytes > 0 && fileBytes + lineBytes > limit;
}

}  // namespace LogLine
