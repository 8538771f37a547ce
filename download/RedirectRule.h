#pragma once

#include <string>

// Which redirects a download follows, judged by ServerHostRule::IsAllowedRedirect. A rule
// without domains (the default) follows a redirect only to the host that answered.
struct RedirectRule {
    std::wstring allowedDomain1;
    std::wstring allowedDomain2;
    bool requireHttps = false;  // never to http://, not even on the same host
};
