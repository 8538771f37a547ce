#include "download/RequestRules.h"

namespace RequestRules {

namespace {

constexpr uint32_t kReload = 0x80000000;
constexpr uint32_t kNoCacheWrite = 0x04000000;
constexpr uint32_t kKeepConnection = 0x00400000;
constexpr uint32_t kSecure = 0x00800000;
constexpr uint32_t kNoAutoRedirect = 0x00200000;

}  // namespace

uint32_t OpenRequestFlags(bool https, bool noAutoRedirect) {
    uint32_t flags = kReload | kNoCacheWrite | kKeepConnection;
    if (https) flags |= kSecure;
    if (noAutoRedirect) flags |= kNoAutoRedirect;
    return flags;
}

bool MayPromptForCredentials(bool proxyChallenge, bool https, bool promptProxy, bool promptHttp) {
    return proxyChallenge ? promptProxy : promptHttp && https;
}

std::wstring RangeHeader(uint64_t startPos) {
    if (startPos == 0) return std::wstring();
    return L"Range: bytes=" + std::to_wstring(startPos) + L"-\r\n";
}

std::wstring RequestHeaders(uint64_t startPos, const std::wstring& ifRange,
                            const std::wstring& ifNoneMatch, const std::wstring& ifModifiedSince) {
    auto line = [](const wchar_t* name, const std::wstring& value) {
        if (value.empty() || value.find_first_of(L"\r\n") != std::wstring::npos)
            return std::wstring();
        return std::wstring(name) + L": " + value + L"\r\n";
    };
    std::wstring headers = L"Accept-Encoding: identity\r\n" + RangeHeader(startPos);
    if (startPos > 0) headers += line(L"If-Range", ifRange);
    return headers + line(L"If-None-Match", ifNoneMatch) +
           line(L"If-Modified-Since", ifModifiedSince);
}

std::vector<std::wstring> SplitAcceptTypes(const std::wstring& acceptTypes) {
    std::vector<std::wstring> types;
    size_t begin = 0;
    while (begin <= acceptTypes.size()) {
        size_t end = acceptTypes.find_first_of(L",;", begin);
        if (end == std::wstring::npos) end = acceptTypes.size();
        if (end > begin) types.push_back(acceptTypes.substr(begin, end - begin));
        begin = end + 1;
    }
    return types;
}

std::wstring DisplayNameOfObject(const std::wstring& object) {
    if (object.size() <= 1) return object;
    size_t at = object.rfind(L'/');
    if (at == std::wstring::npos) at = object.rfind(L'\\');
    return at == std::wstring::npos ? object : object.substr(at + 1);
}

}  // namespace RequestRules
