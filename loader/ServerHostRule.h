#pragma once

#include <string>
#include <string_view>

// Which servers a start operation may serve.
namespace ServerHostRule {

// The host of a URL: the text after an optional "scheme://", up to the first "/", "\", "?"
// or "#", without "userinfo@" and without ":port".
std::wstring_view HostOf(std::wstring_view url);

// True when the URL's host equals one of the domains or ends with "." and one of them,
// compared case-sensitively. An empty domain allows nothing.
bool IsAllowedServer(std::wstring_view url, std::wstring_view domain1, std::wstring_view domain2);

// Whole-string comparison that ignores the case of the letters A to Z only.
bool SameServerText(std::wstring_view a, std::wstring_view b);

}  // namespace ServerHostRule
