#include "download/ServerHostRule.h"

#include <algorithm>

namespace ServerHostRule {

namespace {

constexpr std::wstring_view kSchemes[] = {L"http://", L"https://"};
constexpr std::size_t kMaxPortDigits = 5;
constexpr unsigned kMaxPort = 65535;

// C0 and C1 controls, DEL and the Unicode line and paragraph separators.
bool IsControlCharacter(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

wchar_t FoldAsciiLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool StartsWithFolded(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && SameServerText(text.substr(0, prefix.size()), prefix);
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool IsLabelCharacter(wchar_t c) {
    return IsDigit(c) || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'-';
}

// White space of any kind, including the invisible spaces and joiners.
bool IsWhiteSpace(wchar_t c) {
    return c == L' ' || c == 0x00A0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200F) || c == 0x202F ||
           c == 0x205F || c == 0x2060 || c == 0x3000 || c == 0xFEFF;
}

bool IsHostName(std::wstring_view host) {
    std::size_t labelLength = 0;
    for (const wchar_t c : host) {
        if (c == L'.') {
            if (labelLength == 0) return false;
            labelLength = 0;
        } else if (IsLabelCharacter(c)) {
            ++labelLength;
        } else {
            return false;
        }
    }
    return labelLength > 0;
}

bool IsPort(std::wstring_view port) {
    if (port.empty() || port.size() > kMaxPortDigits ||
        !std::all_of(port.begin(), port.end(), IsDigit))
        return false;
    unsigned value = 0;
    for (const wchar_t c : port) value = value * 10 + static_cast<unsigned>(c - L'0');
    return value <= kMaxPort;
}

}  // namespace

std::wstring_view ServerHost(std::wstring_view server) {
    if (std::any_of(server.begin(), server.end(),
                    [](wchar_t c) { return IsControlCharacter(c) || IsWhiteSpace(c); }))
        return {};
    // Any other scheme is not one: the downloader then judges the whole text as the authority
    // and path of an http URL, and so does this rule.
    for (const std::wstring_view scheme : kSchemes) {
        if (StartsWithFolded(server, scheme)) {
            server.remove_prefix(scheme.size());
            break;
        }
    }
    const std::size_t pathStart = server.find(L'/');
    if (pathStart == std::wstring_view::npos) return {};
    const std::wstring_view authority = server.substr(0, pathStart);
    const std::size_t colon = authority.find(L':');
    const std::wstring_view host = authority.substr(0, colon);
    if (!IsHostName(host)) return {};
    if (colon != std::wstring_view::npos && !IsPort(authority.substr(colon + 1))) return {};
    return host;
}

bool HostInDomain(std::wstring_view host, std::wstring_view domain) {
    if (domain.empty() || !host.ends_with(domain)) return false;
    return host.size() == domain.size() || host[host.size() - domain.size() - 1] == L'.';
}

bool IsAllowedServer(std::wstring_view server, std::wstring_view domain1, std::wstring_view domain2,
                     bool requireHttps) {
    if (requireHttps && !IsHttps(server)) return false;
    const std::wstring_view host = ServerHost(server);
    return !host.empty() && (HostInDomain(host, domain1) || HostInDomain(host, domain2));
}

bool IsHttps(std::wstring_view url) { return StartsWithFolded(url, kSchemes[1]); }

namespace {

// The scheme limits of a redirect: "to" names http or https, and never leaves https for http.
bool IsAllowedRedirectScheme(std::wstring_view from, std::wstring_view to, bool requireHttps) {
    // Without its scheme the text would be judged as an http URL of any host it starts with.
    if (!StartsWithFolded(to, kSchemes[0]) && !IsHttps(to)) return false;
    if ((IsHttps(from) || requireHttps) && !IsHttps(to)) return false;
    return true;
}

}  // namespace

bool IsAllowedRedirect(std::wstring_view from, std::wstring_view to, std::wstring_view domain1,
                       std::wstring_view domain2, bool requireHttps) {
    return IsAllowedRedirectScheme(from, to, requireHttps) &&
           IsAllowedServer(to, domain1, domain2, requireHttps);
}

bool IsAllowedRedirect(std::wstring_view from, std::wstring_view to, const RedirectRule& rule) {
    if (!rule.allowedDomain1.empty() || !rule.allowedDomain2.empty())
        return IsAllowedRedirect(from, to, rule.allowedDomain1, rule.allowedDomain2,
                                 rule.requireHttps);
    const std::wstring_view host = ServerHost(to);
    return IsAllowedRedirectScheme(from, to, rule.requireHttps) && !host.empty() &&
           SameServerText(host, ServerHost(from));
}

bool SameServerText(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAsciiLetter(a[i]) != FoldAsciiLetter(b[i])) return false;
    }
    return true;
}

std::wstring WithoutUserInfo(std::wstring_view server) {
    const size_t at = server.rfind(L'@');
    if (at == std::wstring_view::npos) return std::wstring(server);
    const size_t scheme = server.find(L"://");
    const size_t start = scheme != std::wstring_view::npos && scheme < at ? scheme + 3 : 0;
    return std::wstring(server.substr(0, start)) + L"***" + std::wstring(server.substr(at));
}

}  // namespace ServerHostRule
