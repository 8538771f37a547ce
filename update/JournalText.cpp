#include "update/JournalText.h"

#include <algorithm>

namespace JournalText {

namespace {

constexpr wchar_t kFirstHeader[] = L"PelkoWebLoader commit 1";
constexpr wchar_t kSecondHeader[] = L"PelkoWebLoader commit 2";
constexpr wchar_t kHeader[] = L"PelkoWebLoader commit 3";
constexpr wchar_t kEnd[] = L"end";
constexpr size_t kDigestDigits = 64;

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    size_t begin = 0;
    for (;;) {
        const size_t end = text.find(separator, begin);
        parts.push_back(text.substr(begin, end == std::wstring::npos ? end : end - begin));
        if (end == std::wstring::npos) return parts;
        begin = end + 1;
    }
}

bool IsDigest(const std::wstring& text) {
    return text.size() == kDigestDigits && std::all_of(text.begin(), text.end(), [](wchar_t c) {
               return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f');
           });
}

// The first form has no digest field, the first two no base folder.
std::optional<JournalEntry> ParseLine(const std::wstring& line, int form) {
    const std::vector<std::wstring> fields = Split(line, L'\t');
    const size_t count = form == 1 ? 5u : form == 2 ? 6u : 7u;
    if (fields.size() != count || fields[0] != L"F") return std::nullopt;
    if (fields[1] != L"0" && fields[1] != L"1") return std::nullopt;
    if (fields[2].empty() || fields[3].empty() || fields[4].empty()) return std::nullopt;
    const std::wstring digest = form == 1 ? std::wstring() : fields[5];
    if (!digest.empty() && !IsDigest(digest)) return std::nullopt;
    const std::wstring base = form == 3 ? fields[6] : std::wstring();
    return JournalEntry{fields[2], fields[3], fields[4], fields[1] == L"1", digest, base};
}

}  // namespace

std::wstring Format(const std::vector<JournalEntry>& entries) {
    std::wstring text = std::wstring(kHeader) + L"\n";
    for (const JournalEntry& entry : entries)
        text += L"F\t" + std::wstring(entry.registerDll ? L"1" : L"0") + L"\t" + entry.target +
                L"\t" + entry.staged + L"\t" + entry.aside + L"\t" + entry.sha256 + L"\t" +
                entry.base + L"\n";
    return text + kEnd + L"\n";
}

std::optional<std::vector<JournalEntry>> Parse(const std::wstring& text) {
    std::vector<std::wstring> lines = Split(text, L'\n');
    if (lines.size() < 3 || !lines.back().empty()) return std::nullopt;
    lines.pop_back();
    const int form = lines.front() == kFirstHeader    ? 1
                     : lines.front() == kSecondHeader ? 2
                     : lines.front() == kHeader       ? 3
                                                      : 0;
    if (form == 0 || lines.back() != kEnd) return std::nullopt;
    std::vector<JournalEntry> entries;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        std::optional<JournalEntry> entry = ParseLine(lines[i], form);
        if (!entry) return std::nullopt;
        entries.push_back(std::move(*entry));
    }
    return entries;
}

}  // namespace JournalText
