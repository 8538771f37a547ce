#include "framework/SddlFacts.h"

#include <cstdint>
#include <cwchar>
#include <string_view>
#include <vector>

namespace {

struct Name {
    std::wstring_view letters;
    std::wstring_view value;
};

constexpr Name kSidNames[] = {
    {L"SY", L"S-1-5-18"},     {L"BA", L"S-1-5-32-544"}, {L"BU", L"S-1-5-32-545"},
    {L"BG", L"S-1-5-32-546"}, {L"AU", L"S-1-5-11"},     {L"WD", L"S-1-1-0"},
    {L"IU", L"S-1-5-4"},      {L"NU", L"S-1-5-2"},      {L"AN", L"S-1-5-7"},
    {L"CO", L"S-1-3-0"},      {L"CG", L"S-1-3-1"},      {L"AC", L"S-1-15-2-1"},
};

struct Right {
    std::wstring_view letters;
    std::uint32_t mask;
};

constexpr Right kRights[] = {
    {L"GA", 0x10000000}, {L"GX", 0x20000000}, {L"GW", 0x40000000}, {L"GR", 0x80000000},
    {L"SD", 0x00010000}, {L"RC", 0x00020000}, {L"WD", 0x00040000}, {L"WO", 0x00080000},
    {L"FA", 0x001F01FF}, {L"FR", 0x00120089}, {L"FW", 0x00120116}, {L"FX", 0x001200A0},
    {L"CC", 0x00000001}, {L"DC", 0x00000002}, {L"LC", 0x00000004}, {L"SW", 0x00000008},
    {L"RP", 0x00000010}, {L"WP", 0x00000020}, {L"DT", 0x00000040}, {L"LO", 0x00000080},
    {L"CR", 0x00000100},
};

std::optional<std::wstring> SidOf(std::wstring_view text) {
    if (text.starts_with(L"S-")) return std::wstring(text);
    for (const Name& name : kSidNames)
        if (text == name.letters) return std::wstring(name.value);
    return std::nullopt;
}

std::optional<std::uint32_t> MaskOf(std::wstring_view text) {
    if (text.starts_with(L"0x")) {
        const std::wstring digits(text.substr(2));
        wchar_t* end = nullptr;
        const unsigned long mask = std::wcstoul(digits.c_str(), &end, 16);
        if (digits.empty() || *end != L'\0') return std::nullopt;
        return static_cast<std::uint32_t>(mask);
    }
    std::uint32_t mask = 0;
    for (; text.size() >= 2; text.remove_prefix(2)) {
        bool known = false;
        for (const Right& right : kRights)
            if (text.substr(0, 2) == right.letters) mask |= right.mask, known = true;
        if (!known) return std::nullopt;
    }
    if (!text.empty()) return std::nullopt;
    return mask;
}

std::vector<std::wstring_view> Fields(std::wstring_view ace) {
    std::vector<std::wstring_view> fields;
    for (std::size_t end = ace.find(L';'); end != std::wstring_view::npos; end = ace.find(L';')) {
        fields.push_back(ace.substr(0, end));
        ace.remove_prefix(end + 1);
    }
    fields.push_back(ace);
    return fields;
}

std::optional<FolderTrustRule::AccessEntry> EntryOf(std::wstring_view ace) {
    const std::vector<std::wstring_view> fields = Fields(ace);
    if (fields.size() != 6 || (fields[0] != L"A" && fields[0] != L"D")) return std::nullopt;
    FolderTrustRule::AccessEntry entry;
    entry.allows = fields[0] == L"A";
    for (std::wstring_view flags = fields[1]; !flags.empty(); flags.remove_prefix(2)) {
        const std::wstring_view flag = flags.substr(0, 2);
        if (flag == L"ID")
            entry.inherited = true;
        else if (flag == L"IO")
            entry.inheritOnly = true;
        else if (flag != L"OI" && flag != L"CI" && flag != L"NP")
            return std::nullopt;
    }
    const auto mask = MaskOf(fields[2]);
    const auto sid = SidOf(fields[5]);
    if (!mask || !sid) return std::nullopt;
    entry.mask = *mask;
    entry.sid = *sid;
    return entry;
}

}  // namespace

std::optional<FolderTrustRule::FolderFacts> SddlFacts(const std::wstring& sddl) {
    FolderTrustRule::FolderFacts facts;
    std::wstring_view text = sddl;
    if (text.starts_with(L"O:")) {
        const std::size_t end = text.find(L"D:");
        const auto owner = SidOf(text.substr(2, end == std::wstring_view::npos ? end : end - 2));
        if (!owner) return std::nullopt;
        facts.ownerSid = *owner;
        text.remove_prefix(end == std::wstring_view::npos ? text.size() : end);
    }
    if (!text.starts_with(L"D:")) return text.empty() ? std::optional(facts) : std::nullopt;
    text.remove_prefix(2);
    while (!text.empty() && text.front() != L'(') {
        if (!text.starts_with(L"P") && !text.starts_with(L"AI") && !text.starts_with(L"AR"))
            return std::nullopt;
        text.remove_prefix(text.front() == L'P' ? 1 : 2);
    }
    while (!text.empty()) {
        const std::size_t close = text.find(L')');
        if (text.front() != L'(' || close == std::wstring_view::npos) return std::nullopt;
        const auto entry = EntryOf(text.substr(1, close - 1));
        if (!entry) return std::nullopt;
        facts.entries.push_back(*entry);
        text.remove_prefix(close + 1);
    }
    return facts;
}
