#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How a download request is formed from the downloader's settings. Pure rules.
namespace RequestRules {

// Reload, no cache write, keep-alive (no pragma, so that a proxy may share a package); HTTPS adds the secure flag and keeps
// certificate name and date checks; noAutoRedirect adds the flag that stops redirects.
uint32_t OpenRequestFlags(bool https, bool noAutoRedirect);

// Whether a 401 or 407 answer opens the credentials prompt: as the switch for its kind says,
// but a server's 401 over plain HTTP never does, since what the user types would travel in
// the clear. Proxy prompts and HTTPS servers keep theirs.
bool MayPromptForCredentials(bool proxyChallenge, bool https, bool promptProxy, bool promptHttp);

// "Range: bytes=N-\r\n" when resuming at N > 0, else empty.
std::wstring RangeHeader(uint64_t startPos);

// The headers of a request: identity encoding always; the range when resuming, with If-Range
// when the validator of the bytes held is known; If-None-Match and If-Modified-Since when
// given. A value holding a line break is left out.
std::wstring RequestHeaders(uint64_t startPos, const std::wstring& ifRange,
                            const std::wstring& ifNoneMatch, const std::wstring& ifModifiedSince);

// Every non-empty part between ',' and ';' separators, untrimmed, in order.
std::vector<std::wstring> SplitAcceptTypes(const std::wstring& acceptTypes);

// Last part of an object path: after the last '/', or after the last '\' when there is no
// '/'; the whole path when it has neither or is at most one character long.
std::wstring DisplayNameOfObject(const std::wstring& object);

}  // namespace RequestRules
