#include "support/CIniText.h"

#include <algorithm>
#include <numeric>

namespace {

// The profile functions' white space: C's isspace in ASCII, and the DOS end-of-file mark.
bool IsBlank(wchar_t c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20; }

bool IsLineEnd(wchar_t c) { return c == L'\r' || c == L'\n'; }

wchar_t FoldAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; }

bool IsQuote(wchar_t c) { return c == L'"' || c == L'\''; }

std::wstring_view Trimmed(std::wstring_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::wstring FoldedName(std::wstring_view name) {
    std::wstring folded(Trimmed(name));
    std::transform(folded.begin(), folded.end(), folded.begin(), FoldAscii);
    return folded;
}

std::wstring_view WithoutQuotes(std::wstring_view value) {
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

}  // namespace

void CIniText::Clear() {
    m_text.clear();
    m_folded.clear();
    m_sections.clear();
    m_byName.clear();
    m_keys.clear();
    m_sectionNames.clear();
}

std::wstring_view CIniText::Text(Span span) const {
    return std::wstring_view(m_text).substr(span.begin, span.size);
}

std::wstring_view CIniText::Folded(Span span) const {
    return std::wstring_view(m_folded).substr(span.begin, span.size);
}

bool CIniText::Parse(std::wstring_view text) {
    Clear();
    if (text.find(L'\0') != std::wstring_view::npos) return false;
    m_text.assign(text);
    m_folded = m_text;
    std::transform(m_folded.begin(), m_folded.end(), m_folded.begin(), FoldAscii);
    m_sections.push_back({});

    size_t pos = 0;
    while (pos < m_text.size()) {
        size_t end = pos;
        while (end < m_text.size() && !IsLineEnd(m_text[end])) ++end;
        if (!ReadLine(pos, end)) {
            Clear();
            return false;
        }
        pos = end;
        while (pos < m_text.size() && IsLineEnd(m_text[pos])) ++pos;
    }

    // Stable sorts keep file order among equal names: the first one answers.
    m_byName.resize(m_sections.size());
    std::iota(m_byName.begin(), m_byName.end(), size_t{0});
    std::stable_sort(m_byName.begin(), m_byName.end(), [this](size_t a, size_t b) {
        return Folded(m_sections[a]) < Folded(m_sections[b]);
    });
    std::stable_sort(m_keys.begin(), m_keys.end(), [this](const Key& a, const Key& b) {
        if (a.section != b.section) return a.section < b.section;
        return Folded(a.name) < Folded(b.name);
    });
    return true;
}

bool CIniText::ReadLine(size_t begin, size_t end) {
    const auto spanOf = [this](std::wstring_view part) {
        return Span{static_cast<size_t>(part.data() - m_text.data()), part.size()};
    };
    const auto isAscii = [](std::wstring_view name) {
        return std::all_of(name.begin(), name.end(), [](wchar_t c) { return c < 0x80; });
    };
    const std::wstring_view line = Trimmed(std::wstring_view(m_text).substr(begin, end - begin));
    if (line.empty()) return true;

    if (line.front() == L'[') {
        const size_t close = line.rfind(L']');
        if (close != std::wstring_view::npos) {
            const std::wstring_view name = Trimmed(line.substr(1, close - 1));
            if (!isAscii(name)) return false;
            m_sections.push_back(spanOf(name));
            if (!name.empty()) m_sectionNames.emplace_back(name);
            return true;
        }
    }

    Key key;
    key.section = m_sections.size() - 1;
    const size_t equals = line.find(L'=');
    if (equals == std::wstring_view::npos) {
        key.name = spanOf(line);
    } else {
        const std::wstring_view name = Trimmed(line.substr(0, equals));
        const std::wstring_view value = Trimmed(line.substr(equals + 1));
        if (!value.empty() && IsQuote(value.front()) && value.size() > kLongestQuotedValue)
            return false;
        key.name = spanOf(name);
        key.value = spanOf(value);
    }
    if (!isAscii(Text(key.name))) return false;
    m_keys.push_back(key);
    return true;
}

std::optional<size_t> CIniText::FindSection(std::wstring_view foldedName) const {
    const auto it = std::lower_bound(
        m_byName.begin(), m_byName.end(), foldedName,
        [this](size_t index, std::wstring_view name) { return Folded(m_sections[index]) < name; });
    if (it == m_byName.end() || Folded(m_sections[*it]) != foldedName) return std::nullopt;
    return *it;
}

std::optional<std::wstring_view> CIniText::Find(std::wstring_view section,
                                                std::wstring_view key) const {
    if (m_sections.empty()) return std::nullopt;
    const std::optional<size_t> found = FindSection(FoldedName(section));
    if (!found) return std::nullopt;
    const std::wstring foldedKey = FoldedName(key);
    const auto it = std::lower_bound(m_keys.begin(), m_keys.end(), foldedKey,
                                     [&](const Key& k, std::wstring_view name) {
                                         if (k.section != *found) return k.section < *found;
                                         return Folded(k.name) < name;
                                     });
    if (it == m_keys.end() || it->section != *found || Folded(it->name) != foldedKey)
        return std::nullopt;
    if (!it->value) return std::nullopt;
    return WithoutQuotes(Text(*it->value));
}
