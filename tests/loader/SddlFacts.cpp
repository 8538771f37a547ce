#include "loader/SddlFacts.h"

#include <map>
#include <stdexcept>
#include <string>

namespace {

std::wstring SidOf(const std::wstring& text) {
    static const std::map<std::wstring, std::wstring> names = {
        {L"SY", L"S-1-5-18"}, {L"BA", L"S-1-5-32-544"}, {L"BU", L"S-1-5-32-545"},
        {L"WD", L"S-1-1-0"},  {L"AU", L"S-1-5-11"},     {L"CO", L"S-1-3-0"},
    };
    const auto found = names.find(text);
    if (found != names.end()) return found->second;
    if (text.starts_with(L"S-1-")) return text;
    throw std::invalid_argument("unknown SID in SDDL");
}

std::uint32_t RightsOf(const std::wstring& text) {
    if (text.starts_with(L"0x")) return static_cast<std::uint32_t>(std::stoul(text, nullptr, 16));
    static const std::map<std::wstring, std::uint32_t> letters = {
        {L"FA", 0x1f01ff},   {L"FR", 0x120089},   {L"FW", 0x120116},   {L"FX", 0x1200a0},
        {L"GA", 0x10000000}, {L"GX", 0x20000000}, {L"GW", 0x40000000}, {L"GR", 0x80000000},
    };
    std::uint32_t rights = 0;
    for (std::size_t at = 0; at < text.size(); at += 2) {
        const auto found = letters.find(text.substr(at, 2));
        if (found == letters.end()) throw std::invalid_argument("unknown rights in SDDL");
        rights |= found->second;
    }
    return rights;
}

// "A;OICIID;FA;;;SY" as fields.
FolderTrustRule::AccessEntry EntryOf(const std::wstring& ace) {
    std::wstring fields[6];
    std::size_t field = 0;
    for (const wchar_t c : ace) {
        if (c == L';') {
            if (++field == 6) throw std::invalid_argument("too many fields in an SDDL entry");
        } else {
            fields[field] += c;
        }
    }
    if (field != 5 || (fields[0] != L"A" && fields[0] != L"D"))
        throw std::invalid_argument("unreadable SDDL entry");
    FolderTrustRule::AccessEntry entry;
    entry.allows = fields[0] == L"A";
    entry.inherited = fields[1].find(L"ID") != std::wstring::npos;
    entry.mask = RightsOf(fields[2]);
    entry.sid = SidOf(fields[5]);
    return entry;
}

}  // namespace

FolderTrustRule::FolderFacts SddlFacts(std::wstring_view sddl) {
    FolderTrustRule::FolderFacts facts;
    facts.hasAccessList = false;
    std::wstring text(sddl);
    std::size_t at = 0;
    if (text.starts_with(L"O:")) {
        const std::size_t end = text.find(L"D:");
        facts.ownerSid = SidOf(text.substr(2, end - 2));
        at = end == std::wstring::npos ? text.size() : end;
    }
    if (at == text.size()) return facts;
    if (text.compare(at, 2, L"D:") != 0) throw std::invalid_argument("no access list in SDDL");
    facts.hasAccessList = true;
    for (at = text.find(L'(', at); at != std::wstring::npos; at = text.find(L'(', at)) {
        const std::size_t end = text.find(L')', at);
        if (end == std::wstring::npos) throw std::invalid_argument("open SDDL entry");
        facts.entries.push_back(EntryOf(text.substr(at + 1, end - at - 1)));
        at = end;
    }
    return facts;
}
