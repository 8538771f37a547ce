#include "update/InstallRecordText.h"

namespace InstallRecordText {

namespace {

constexpr wchar_t kHeader[] = L"PelkoWebLoader installed files 1";
constexpr wchar_t kEnd[] = L"end";
// Sizes are decimal without leading zeros and fit 64 bits.
constexpr size_t kLongestSize = 19;

std::optional<uint64_t> ParseSize(const std::wstring& text) {
    if (text.empty() || text.size() > kLongestSize || (text.size() > 1 && text[0] == L'0'))
        return std::nullopt;
    uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - L'0');
    }
    return value;
}

std::optional<Entry> ParseLine(const std::wstring& line) {
    const size_t first = line.find(L'\t');
    if (first == std::wstring::npos) return std::nullopt;
    const size_t second = line.find(L'\t', first + 1);
    if (second == std::wstring::npos) return std::nullopt;
    const std::wstring digest = line.substr(0, first);
    const auto size = ParseSize(line.substr(first + 1, second - first - 1));
    const std::wstring path = line.substr(second + 1);
    if (!size || path.empty() || path.find(L'\t') != std::wstring::npos) return std::nullopt;
    const auto content = ContentRule::SignedContent(0, digest);
    // Written in lower case only.
    if (!content || content->sha256 != digest) return std::nullopt;
    return Entry{path, ContentRule::Content{*size, digest}};
}

}  // namespace

std::wstring Format(const std::vector<Entry>& entries) {
    std::wstring text = std::wstring(kHeader) + L"\n";
    for (const auto& [path, content] : entries)
        text += content.sha256 + L"\t" + std::to_wstring(content.size) + L"\t" + path + L"\n";
    return text + kEnd + L"\n";
}

std::optional<std::vector<Entry>> Parse(const std::wstring& text) {
    const std::wstring header = std::wstring(kHeader) + L"\n";
    const std::wstring endLine = std::wstring(kEnd) + L"\n";
    if (text.size() < header.size() + endLine.size() || !text.starts_with(header) ||
        !text.ends_with(endLine))
        return std::nullopt;
    const size_t last = text.size() - endLine.size();  // where the end line starts
    std::vector<Entry> entries;
    for (size_t begin = header.size(); begin < last;) {
        const size_t lineEnd = text.find(L'\n', begin);
        if (lineEnd >= last) return std::nullopt;
        auto entry = ParseLine(text.substr(begin, lineEnd - begin));
        if (!entry) return std::nullopt;
        entries.push_back(std::move(*entry));
        begin = lineEnd + 1;
    }
    return entries;
}

}  // namespace InstallRecordText
