#pragma once

#include <string>
#include <string_view>

#include "download/RedirectRule.h"

// Which servers a start operation may serve.
namespace ServerHostRule {

// The host that the server text makes the downloader contact, or empty when the text is not
// one this component serves. Served: "http://" or "https://" in any letter case, or no scheme
// (then the downloader puts "http://" in front); an authority of a host name (labels of
// letters, digits and "-", joined by ".") and an optional ":port" of up to five digits; then a
// "/" starting the path, so that appending to the text never extends the host. No white
// space or control character anywhere.
std::wstring_view ServerHost(std::wstring_view server);

// True when the host equals the domain or ends with "." and the domain, compared
// case-sensitively. An empty domain allows nothing.
bool HostInDomain(std::wstring_view host, std::wstring_view domain);

// True when ServerHost of the text lies in one of the domains; with requireHttps the text
// must also start with "https://".
bool IsAllowedServer(std::wstring_view server, std::wstring_view domain1, std::wstring_view domain2,
                     bool requireHttps = false);

// True when the text starts with "https://", in any letter case.
bool IsHttps(std::wstring_view url);

// True when a redirect from the URL "from" to the absolute URL "to" may be followed: "to"
// names its scheme, http or https, is served by ServerHost and lies in one of the domains,
// and does not leave https for http (nor goes to http at all with requireHttps).
bool IsAllowedRedirect(std::wstring_view from, std::wstring_view to, std::wstring_view domain1,
                       std::wstring_view domain2, bool requireHttps = false);

// As above with the rule's domains; a rule without domains allows only a redirect to the host
// of "from" itself (any port), with the same limits on the scheme.
bool IsAllowedRedirect(std::wstring_view from, std::wstring_view to, const RedirectRule& rule);

// Whole-string comparison that ignores the case of the letters A to Z only.
bool SameServerText(std::wstring_view a, std::wstring_view b);

// The text fit for the log: everything between the scheme and the last "@" (user name and
// password of a refused text) becomes "***".
std::wstring WithoutUserInfo(std::wstring_view server);

}  // namespace ServerHostRule
