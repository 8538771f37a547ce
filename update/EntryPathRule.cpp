#include "update/EntryPathRule.h"

#include <algorithm>
#include <array>

namespace EntryPathRule {

namespace {

constexpr std::size_t kMaxComponent = 255;
constexpr std::wstring_view kForbidden = L"<>:\"/\\|?*";

wchar_t AsciiUpper(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool SameFolded(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return AsciiUpper(x) == AsciiUpper(y); });
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Digits the platform takes after COM and LPT: 0-9 and the superscripts 1, 2, 3.
bool IsPortDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || c == 0x00B9 || c == 0x00B2 || c == 0x00B3;
}

// The platform reads a device name before the first dot, trailing blanks ignored.
bool IsDeviceName(std::wstring_view name) {
    std::wstring_view stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
    static constexpr std::array<std::wstring_view, 6> kDevices = {L"CON", L"PRN",    L"AUX",
                                                                  L"NUL", L"CONIN$", L"CONOUT$"};
    if (std::any_of(kDevices.begin(), kDevices.end(),
                    [&](std::wstring_view device) { return SameFolded(stem, device); }))
        return true;
    return stem.size() == 4 &&
           (SameFolded(stem.substr(0, 3), L"COM") || SameFolded(stem.substr(0, 3), L"LPT")) &&
           IsPortDigit(stem[3]);
}

}  // namespace

bool IsPlainFileName(std::wstring_view name) {
    if (name.empty() || name.size() > kMaxComponent) return false;
    if (std::any_of(name.begin(), name.end(), [](wchar_t c) {
            return c < 0x20 || c == 0x7F || kForbidden.find(c) != std::wstring_view::npos;
        }))
        return false;
    if (name.back() == L'.' || name.back() == L' ') return false;
    return !IsDeviceName(name);
}

bool IsRelativeFolder(std::wstring_view targetDir) {
    if (!targetDir.empty() && IsSeparator(targetDir.back())) targetDir.remove_suffix(1);
    if (targetDir.empty()) return true;
    for (;;) {
        const auto end = std::find_if(targetDir.begin(), targetDir.end(), IsSeparator);
        const std::size_t length = static_cast<std::size_t>(end - targetDir.begin());
        if (!IsPlainFileName(targetDir.substr(0, length))) return false;
        if (length == targetDir.size()) return true;
        targetDir.remove_prefix(length + 1);
    }
}

bool IsLocalBase(std::wstring_view base) {
    if (base.size() < 3) return false;
    const wchar_t drive = AsciiUpper(base[0]);
    return drive >= L'A' && drive <= L'Z' && base[1] == L':' && base[2] == L'\\';
}

bool LiesInside(std::wstring_view fullFolder, std::wstring_view fullPath) {
    if (fullFolder.empty()) return false;
    const std::size_t prefix = fullFolder.size() - (IsSeparator(fullFolder.back()) ? 1 : 0);
    return fullPath.size() > prefix + 1 &&
           SameFolded(fullPath.substr(0, prefix), fullFolder.substr(0, prefix)) &&
           fullPath[prefix] == L'\\';
}

std::optional<std::vector<int>> ParseFolderTypes(std::string_view text) {
    constexpr int kLongestNumber = 9;
    std::vector<int> types;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ';' || c == ',' || c == ' ' || c == '\t') {
            ++i;
            continue;
        }
        const bool negative = c == '-';
        size_t end = negative ? i + 1 : i;
        const size_t digits = end;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        if (end == digits || end - digits > kLongestNumber) return std::nullopt;
        if (end < text.size() && text[end] != ';' && text[end] != ',' && text[end] != ' ' &&
            text[end] != '\t')
            return std::nullopt;
        int value = 0;
        for (size_t d = digits; d < end; ++d) value = value * 10 + (text[d] - '0');
        if (value == 0) return std::nullopt;
        types.push_back(negative ? -value : value);
        i = end;
    }
    return types;
}

}  // namespace EntryPathRule
