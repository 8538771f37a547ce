#include "loader/ServerHostRule.h"

namespace ServerHostRule {

namespace {

constexpr std::wstring_view kSchemeMark = L"://";
constexpr std::wstring_view kAuthorityEnd = L"/\\?#";

bool HostInDomain(std::wstring_view host, std::wstring_view domain) {
    if (domain.empty() || !host.ends_with(domain)) return false;
    return host.size() == domain.size() || host[host.size() - domain.size() - 1] == L'.';
}

wchar_t FoldAsciiLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

}  // namespace

std::wstring_view HostOf(std::wstring_view url) {
    // A "://" counts as the scheme's end only before the authority could have ended.
    const std::size_t scheme = url.find(kSchemeMark);
    if (scheme != std::wstring_view::npos && scheme < url.find_first_of(kAuthorityEnd))
        url.remove_prefix(scheme + kSchemeMark.size());
    std::wstring_view authority = url.substr(0, url.find_first_of(kAuthorityEnd));
    const std::size_t at = authority.rfind(L'@');
    if (at != std::wstring_view::npos) authority.remove_prefix(at + 1);
    if (authority.starts_with(L'[')) {
        const std::size_t close = authority.find(L']');
        return close == std::wstring_view::npos ? authority : authority.substr(0, close + 1);
    }
    return authority.substr(0, authority.find(L':'));
}

bool IsAllowedServer(std::wstring_view url, std::wstring_view domain1, std::wstring_view domain2) {
    const std::wstring_view host = HostOf(url);
    return HostInDomain(host, domain1) || HostInDomain(host, domain2);
}

bool SameServerText(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAsciiLetter(a[i]) != FoldAsciiLetter(b[i])) return false;
    }
    return true;
}

}  // namespace ServerHostRule
