#include "download/CHttpDownloader.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "download/ProgressText.h"
#include "download/ReadGather.h"
#include "download/RequestRules.h"
#include "download/ServerHostRule.h"
#include "framework/win32/CodeModule.h"
#include "framework/win32/DebugOutput.h"
#include "support/bcl/common/exception/CWin32Exception.h"

using DebugOutput::DebugFormat;
using DebugOutput::DebugLine;

namespace {

constexpr int kMaxRedirects = 10;
constexpr DWORD kMaxLocationBytes = 16384;
constexpr DWORD kMaxHeaderChars = 8192;
constexpr size_t kMaxErrorText = 4095;
constexpr DWORD kAbortPollMs = 20;
// What a browser allows: 30 s to connect, 60 s for an answer's head and for any silence
// within a body (scanning proxies hold a head that long). A stop does not wait for them: it
// closes the handles, and a worker still blocked is left to end by itself.
constexpr DWORD kConnectTimeoutMs = 30000;
constexpr DWORD kSilenceTimeoutMs = 60000;
// The most of an answer's body thrown away (a redirect's, a challenge's, a misfitting range's)
// that is read to keep its connection.
constexpr ULONGLONG kMaxDrainBytes = 65536;
constexpr DWORD kMaxDrainMs = 5000;

void SetTimeouts(HINTERNET handle) {
    DWORD connect = kConnectTimeoutMs;
    InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
    for (DWORD option : {INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT}) {
        DWORD silence = kSilenceTimeoutMs;
        InternetSetOptionW(handle, option, &silence, sizeof(silence));
    }
}

// Header values are ASCII; anything else cannot match what the rules look for.
std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}
// Longest pause of the bandwidth cap after one read: a tiny cap slows a transfer, never
// stalls it beyond reach of an abort.
constexpr DWORD kMaxThrottlePauseMs = 1000;

const wchar_t kTextAttempt[] = L"An error occurred while attempting to download the file, Error:%s";
const wchar_t kTextConnect[] = L"An error occurred connecting to the server, Error:%s";
const wchar_t kTextDownload[] = L"An error occurred while downloading the file, Error:%s";
const wchar_t kTextSeek[] =
    L"An error occurred while seeking to the end of the file to be downloaded, Error:%s";

class HandleLock {
public:
    explicit HandleLock(CRITICAL_SECTION& section) : section(section) {
        EnterCriticalSection(&section);
    }
    HandleLock(const HandleLock&) = delete;
    HandleLock& operator=(const HandleLock&) = delete;
    ~HandleLock() { LeaveCriticalSection(&section); }

private:
    CRITICAL_SECTION& section;
};

const wchar_t* OrNull(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

std::unique_ptr<BYTE[]> AllocateBuffer(DWORD size) {
    // A zero-sized buffer could never read a byte and would end every transfer as "done".
    if (size == 0) return nullptr;
    return std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[size]);
}

struct LocalText {
    wchar_t* text = nullptr;
    ~LocalText() { LocalFree(text); }
};

}  // namespace

CHttpDownloader::CHttpDownloader() {
    if (!InitializeCriticalSectionAndSpinCount(&m_csHandles, 0))
        throw bcl::common::exception::CWin32Exception(L"CHttpDownloader::CHttpDownloader",
                                                      GetLastError());
}

CHttpDownloader::~CHttpDownloader() {
    CloseHandles();
    DeleteCriticalSection(&m_csHandles);
}

BOOL CHttpDownloader::Download() {
    const bool toFile = !m_strFileName.empty();
    const bool existed =
        toFile && GetFileAttributesW(m_strFileName.c_str()) != INVALID_FILE_ATTRIBUTES;
    m_bBodyRefused = false;
    m_dwStatus = 0;
    m_failure = {};
    m_strRetryAfter.clear();
    m_strETag.clear();
    m_strLastModified.clear();
    const BOOL result = Transfer();
    CloseHandles();
    if (toFile) m_file.Close();
    // A body refused (cut off at its bound, not a ZIP) leaves no file, not even one that was
    // there before; after an abort nothing more changes.
    const bool dropFile = m_bBodyRefused || (!existed && !m_bKeepFileOnFailure);
    if (!result && toFile && !IsAborted() && dropFile &&
        GetFileAttributesW(m_strFileName.c_str()) != INVALID_FILE_ATTRIBUTES)
        DeleteDownloadedFile();
    return result;
}

BOOL CHttpDownloader::Transfer() {
    CloseHandles();
    if (!SplitURL()) {
        DebugFormat(L"CHttpDownloader::Transfer, Failed to parse the URL: %s\n", m_strURL.c_str());
        return FALSE;
    }
    if (!m_strFileName.empty() && !OpenFile()) return FALSE;
    if (!CreateSession() || !CreateConnection() || !CreateRequest()) return FALSE;

    bool proxyCredentialsUsed = false;
    bool runProxyAnswerUsed = false;
    bool httpCredentialsUsed = false;
    bool certificateSupplied = false;
    if (PreAuthenticatesProxy()) {
        if (!DoProxyAuthentication()) return FALSE;
        proxyCredentialsUsed = true;
    }
    if (m_bPreAuthHttp) {
        if (!DoHTTPAuthentication()) return FALSE;
        httpCredentialsUsed = true;
    }

    int redirects = 0;
    bool restarted = false;
    for (;;) {
        if (!SendRequest(certificateSupplied)) return FALSE;
        DWORD status = 0;
        if (!QueryStatusCode(status)) return FALSE;
        m_dwStatus = status;
        if (IsRedirect(status) && !m_bNoAutoRedirect) {
            if (!FollowRedirect(status, ++redirects)) return FALSE;
            continue;
        }
        const bool conditional = !m_strIfNoneMatch.empty() || !m_strIfModifiedSince.empty();
        if (status == HTTP_STATUS_NOT_MODIFIED && conditional) {
            RecordAnswerHeaders();
            return TRUE;
        }
        if (status == HTTP_STATUS_OK || status == HTTP_STATUS_PARTIAL_CONTENT) {
            bool retry = false;
            if (!AcceptAnswer(status, retry)) return FALSE;
            if (!retry) return ReadBody();
            // Once only: a server that answers every request with a misfitting range is broken.
            if (!restarted) {
                restarted = true;
                if (!ReopenRequest()) return FALSE;
                continue;
            }
        }
        // A 407 from an origin server is no proxy's question: nothing is asked or sent for it.
        const bool proxyAsks = status == HTTP_STATUS_PROXY_AUTH_REQ && WentThroughProxy();
        if (status == HTTP_STATUS_DENIED || proxyAsks) {
            if (!DrainResponse()) return FALSE;
            const bool proxy = status == HTTP_STATUS_PROXY_AUTH_REQ;
            const std::wstring& user = proxy ? m_strProxyUserName : m_strUserName;
            bool& used = proxy ? proxyCredentialsUsed : httpCredentialsUsed;
            if (!user.empty() && !used) {
                if (!(proxy ? DoProxyAuthentication() : DoHTTPAuthentication())) return FALSE;
                used = true;
                continue;
            }
            if (proxy && m_proxyPrompt && m_bPromptProxyAuth) {
                // The run prompts once; credentials its proxy refuses again fail the transfer.
                CProxyPrompt::Credentials answer;
                if (runProxyAnswerUsed || !m_proxyPrompt->Answer(Request(), answer))
                    return FailWith(TransferRules::FailureKind::Refused, L"Aborting transfer",
                                    ERROR_CANCELLED);
                m_strProxyUserName = answer.user;
                m_strProxyPassword = answer.password;
                if (!DoProxyAuthentication()) return FALSE;
                runProxyAnswerUsed = true;
                continue;
            }
            if (RequestRules::MayPromptForCredentials(proxy, m_nServiceType == kServiceHttps,
                                                      m_bPromptProxyAuth, m_bPromptHttpAuth)) {
                DWORD error = 0;
                if (PromptForCredentials(error)) continue;
                // A prompt answered with cancel fails the transfer; it is no stop.
                return FailWith(TransferRules::FailureKind::Refused, L"Aborting transfer",
                                error != 0 ? error : ERROR_CANCELLED);
            }
        }
        DebugFormat(
            L"CHttpDownloader::Transfer, Failed to retrieve a HTTP OK or partial content status, "
            L"Status Code:%d\n",
            status);
        m_failure = {TransferRules::FailureKind::Status, status};
        m_strRetryAfter = Narrow(QueryHeader(L"Retry-After"));
        ReportStatusCode(
            L"Failed to receive a valid HTTP response from the server, Response Code:%s", status);
        return FALSE;
    }
}

bool CHttpDownloader::PreAuthenticatesProxy() const {
    // Only a named proxy is known to carry the request before it is sent: proxy credentials
    // given to a request that goes elsewhere would answer an origin server's 407.
    return m_bPreAuthProxy && m_nAccessType == 2;
}

bool CHttpDownloader::WentThroughProxy() {
    // The platform knows whether this request went through a proxy: a named one, or the
    // system's for this URL.
    DWORD flags = 0;
    DWORD size = sizeof(flags);
    return InternetQueryOptionW(Request(), INTERNET_OPTION_REQUEST_FLAGS, &flags, &size) &&
           (flags & INTERNET_REQFLAG_VIA_PROXY) != 0;
}

bool CHttpDownloader::IsRedirect(DWORD status) {
    return status == HTTP_STATUS_MOVED || status == HTTP_STATUS_REDIRECT ||
           status == HTTP_STATUS_REDIRECT_METHOD || status == HTTP_STATUS_REDIRECT_KEEP_VERB ||
           status == HTTP_STATUS_PERMANENT_REDIRECT;
}

BOOL CHttpDownloader::AcceptRedirect(const std::wstring& from, const std::wstring& to) {
    return ServerHostRule::IsAllowedRedirect(from, to, m_redirectRule);
}

BOOL CHttpDownloader::FollowRedirect(DWORD status, int redirects) {
    const std::wstring target = RedirectTarget();
    if (redirects > kMaxRedirects || target.empty() || !AcceptRedirect(m_strURL, target)) {
        DebugFormat(L"CHttpDownloader::Transfer, Redirect #%d to \"%s\" refused\n", redirects,
                    target.c_str());
        m_failure = {TransferRules::FailureKind::Refused, status};
        ReportStatusCode(
            L"Failed to receive a valid HTTP response from the server, Response Code:%s", status);
        return FALSE;
    }
    if (!DrainResponse()) return FALSE;
    {
        HandleLock guard(m_csHandles);
        for (HINTERNET* handle : {&m_hRequest, &m_hConnection}) {
            if (*handle) InternetCloseHandle(*handle);
            *handle = nullptr;
        }
    }
    // What WinINet would have told of a redirect it followed itself.
    OnStatusCallback(Request(), INTERNET_STATUS_REDIRECT, target.c_str(),
                     static_cast<DWORD>((target.size() + 1) * sizeof(wchar_t)));
    m_strURL = target;
    if (!SplitURL() || !CreateConnection() || !CreateRequest()) return FALSE;
    if (PreAuthenticatesProxy() && !DoProxyAuthentication()) return FALSE;
    return !m_bPreAuthHttp || DoHTTPAuthentication();
}

std::wstring CHttpDownloader::RedirectTarget() {
    DWORD size = 0;
    HttpQueryInfoW(Request(), HTTP_QUERY_LOCATION, nullptr, &size, nullptr);
    if (size == 0 || size > kMaxLocationBytes) return std::wstring();
    std::wstring location(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(location.size() * sizeof(wchar_t));
    if (!HttpQueryInfoW(Request(), HTTP_QUERY_LOCATION, location.data(), &size, nullptr))
        return std::wstring();
    location.resize(size / sizeof(wchar_t));
    // A relative location is read against the URL that answered.
    DWORD length = static_cast<DWORD>(m_strURL.size() + location.size() + 64);
    std::wstring combined(length, L'\0');
    if (!InternetCombineUrlW(m_strURL.c_str(), location.c_str(), combined.data(), &length,
                             ICU_BROWSER_MODE))
        return std::wstring();
    combined.resize(length);
    return combined;
}

BOOL CHttpDownloader::SplitURL() {
    auto split = [this](const std::wstring& url) {
        DWORD length = static_cast<DWORD>(url.size() * 3 + 64);
        std::vector<wchar_t> canonical(length);
        if (!InternetCanonicalizeUrlW(url.c_str(), canonical.data(), &length, ICU_BROWSER_MODE)) {
            // The length now holds what the canonical form needs.
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
            canonical.resize(length + 1);
            length = static_cast<DWORD>(canonical.size());
            if (!InternetCanonicalizeUrlW(url.c_str(), canonical.data(), &length, ICU_BROWSER_MODE))
                return false;
        }
        URL_COMPONENTSW parts{};
        parts.dwStructSize = sizeof(parts);
        parts.dwHostNameLength = 1;
        parts.dwUrlPathLength = 1;
        parts.dwExtraInfoLength = 1;
        if (!InternetCrackUrlW(canonical.data(), 0, 0, &parts) || parts.dwHostNameLength == 0)
            return false;
        if (parts.nScheme == INTERNET_SCHEME_HTTP)
            m_nServiceType = kServiceHttp;
        else if (parts.nScheme == INTERNET_SCHEME_HTTPS)
            m_nServiceType = kServiceHttps;
        else
            return false;
        m_strServer.assign(parts.lpszHostName, parts.dwHostNameLength);
        m_strObject.assign(parts.lpszUrlPath ? parts.lpszUrlPath : L"", parts.dwUrlPathLength);
        if (parts.lpszExtraInfo) m_strObject.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
        if (m_strObject.empty()) m_strObject = L"/";
        m_nPort = parts.nPort;
        return true;
    };
    if (split(m_strURL)) return TRUE;
    m_strURL = L"http://" + m_strURL;
    return split(m_strURL) ? TRUE : FALSE;
}

BOOL CHttpDownloader::AcceptAnswer(DWORD status, bool& retry) {
    const std::wstring encoding = QueryHeader(L"Content-Encoding");
    if (!TransferRules::IsIdentityEncoding(Narrow(encoding))) {
        m_failure = {TransferRules::FailureKind::Refused, status};
        ReportAnswer(L"The server sent " + m_strURL + L" with Content-Encoding " + encoding +
                     L", not as the file's own bytes");
        return FALSE;
    }
    if (status == HTTP_STATUS_PARTIAL_CONTENT) {
        const std::wstring range = QueryHeader(L"Content-Range");
        if (!TransferRules::MayAppendPartial(m_nStartPos > 0, m_nStartPos, m_nExpectedTotal,
                                             Narrow(range))) {
            DebugFormat(
                L"CHttpDownloader::Transfer, a 206 with Content-Range \"%s\" does not fit byte "
                L"%I64u: fetched again from byte 0\n",
                range.c_str(), m_nStartPos);
            if (!DrainResponse() || !RestartFileAtZero()) return FALSE;
            m_strIfRange.clear();
            m_nExpectedTotal = 0;
            retry = true;
            return TRUE;
        }
    } else if (m_nStartPos > 0 && !RestartFileAtZero()) {
        return FALSE;
    }
    RecordAnswerHeaders();
    OnAnswerAccepted();
    m_zipStart.clear();
    m_bZipChecked = !m_bExpectZip || m_nStartPos > 0;
    return TRUE;
}

BOOL CHttpDownloader::ReopenRequest() {
    {
        HandleLock guard(m_csHandles);
        if (m_hRequest) InternetCloseHandle(m_hRequest);
        m_hRequest = nullptr;
    }
    if (!CreateRequest()) return FALSE;
    if (PreAuthenticatesProxy() && !DoProxyAuthentication()) return FALSE;
    return !m_bPreAuthHttp || DoHTTPAuthentication();
}

std::wstring CHttpDownloader::QueryHeader(const wchar_t* name) {
    std::wstring value(std::max<size_t>(wcslen(name) + 1, 256), L'\0');
    for (int tries = 0; tries < 2; ++tries) {
        wcscpy(value.data(), name);
        DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        if (HttpQueryInfoW(Request(), HTTP_QUERY_CUSTOM, value.data(), &size, nullptr)) {
            value.resize(size / sizeof(wchar_t));
            return value;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size / sizeof(wchar_t) > kMaxHeaderChars)
            break;
        value.assign(size / sizeof(wchar_t) + wcslen(name) + 1, L'\0');
    }
    return std::wstring();
}

void CHttpDownloader::RecordAnswerHeaders() {
    m_strETag = QueryHeader(L"ETag");
    m_strLastModified = QueryHeader(L"Last-Modified");
}

BOOL CHttpDownloader::RefuseNonZip(const BYTE* data, DWORD length) {
    m_zipStart.append(reinterpret_cast<const char*>(data), std::min<size_t>(length, 4));
    const auto start = TransferRules::LooksLikeZip(
        reinterpret_cast<const uint8_t*>(m_zipStart.data()), m_zipStart.size());
    if (start == TransferRules::ZipStart::Yes) m_bZipChecked = true;
    // A body that ends before four bytes told is no package either.
    if (start == TransferRules::ZipStart::No || (length == 0 && !m_bZipChecked)) {
        m_bBodyRefused = true;
        m_failure = {TransferRules::FailureKind::Refused, m_dwStatus};
        ReportAnswer(L"The answer from " + m_strURL + L" is not an update package (HTTP " +
                     std::to_wstring(m_dwStatus) + L", Content-Type: " +
                     QueryHeader(L"Content-Type") + L")");
        return TRUE;
    }
    return FALSE;
}

BOOL CHttpDownloader::FailWith(TransferRules::FailureKind kind, const wchar_t* format,
                               DWORD error) {
    if (error == 0) error = GetLastError();
    m_failure = {kind, error};
    ReportError(format, error);
    return FALSE;
}

void CHttpDownloader::ReportAnswer(const std::wstring& text) { DebugLine(text + L"\n"); }

BOOL CHttpDownloader::OpenFile() {
    const DWORD openError = m_file.Open(m_strFileName, m_nStartPos > 0);
    if (openError != 0) {
        DebugFormat(
            L"CHttpDownloader::Transfer, Failed to open the file to download into, Error:%d\n",
            openError);
        return FailWith(TransferRules::FailureKind::Refused,
                        L"An error occured while opening the file to be downloaded, Error:%s",
                        openError);
    }
    // A file opened without its contents is empty already.
    const DWORD seekError = m_nStartPos > 0 ? m_file.SetLength(m_nStartPos) : 0;
    if (seekError != 0) {
        DebugFormat(
            L"CHttpDownloader::Transfer, An exception occured while set file pointer position, "
            L"Error:%d\n",
            seekError);
        return FailWith(TransferRules::FailureKind::Refused, kTextSeek, seekError);
    }
    return TRUE;
}

// One send: whether a failure is worth another try is the caller's rule, not a loop here.
BOOL CHttpDownloader::SendRequest(bool& certificateSupplied) {
    for (;;) {
        const std::wstring headers = FormRequestHeaders();
        if (HttpSendRequestW(Request(), OrNull(headers), static_cast<DWORD>(headers.size()),
                             nullptr, 0))
            return TRUE;
        const DWORD lastError = GetLastError();
        // Abort closed the request under the send: nothing to report, nothing to retry.
        if (IsAborted()) return FALSE;
        if (lastError == ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED && !certificateSupplied &&
            m_bPromptClientCert && SetClientCertificate()) {
            certificateSupplied = true;
            continue;
        }
        DebugFormat(L"CHttpDownloader::Transfer, Failed in call to HttpSendRequest, Error:%d\n",
                    lastError);
        return FailWith(TransferRules::FailureKind::Network, kTextConnect, lastError);
    }
}

BOOL CHttpDownloader::QueryStatusCode(DWORD& status) {
    DWORD size = sizeof(status);
    if (HttpQueryInfoW(Request(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                       nullptr))
        return TRUE;
    const DWORD error = GetLastError();
    if (IsAborted()) return FALSE;
    DebugFormat(
        L"CHttpDownloader::Transfer, Failed in call to HttpQueryInfo for HTTP query status code, "
        L"Error:%d\n",
        error);
    return FailWith(TransferRules::FailureKind::Network,
                    L"Failed to receive a valid response from the server, Error:%s", error);
}

namespace {

BOOL ReportNoBuffer(CHttpDownloader& downloader) {
    DebugLine(L"CHttpDownloader::Transfer, Failed in allocate read buffer\n");
    downloader.m_failure = {TransferRules::FailureKind::Refused, ERROR_OUTOFMEMORY};
    downloader.ReportError(kTextAttempt, ERROR_OUTOFMEMORY);
    return FALSE;
}

}  // namespace

BOOL CHttpDownloader::DrainResponse() {
    const auto buffer = AllocateBuffer(m_nBufferSize);
    if (!buffer) return ReportNoBuffer(*this);
    // A body thrown away may be as long and as slow as its server likes: past the bound the
    // connection is given up, and the request opened anew on another.
    DWORD silence = kMaxDrainMs;
    InternetSetOptionW(Request(), INTERNET_OPTION_RECEIVE_TIMEOUT, &silence, sizeof(silence));
    const DWORD startTick = GetTickCount();
    ULONGLONG drained = 0;
    for (;;) {
        DWORD read = 0;
        InternetReadFile(Request(), buffer.get(), m_nBufferSize, &read);
        drained += read;
        if (read == 0) break;
        if (drained > kMaxDrainBytes || GetTickCount() - startTick > kMaxDrainMs) {
            DebugFormat(L"CHttpDownloader::Transfer, stopped draining an answer after %I64u "
                        L"bytes\n",
                        drained);
            return ReopenRequest();
        }
    }
    silence = kSilenceTimeoutMs;
    InternetSetOptionW(Request(), INTERNET_OPTION_RECEIVE_TIMEOUT, &silence, sizeof(silence));
    return TRUE;
}

BOOL CHttpDownloader::RestartFileAtZero() {
    DebugLine(
        L"CHttpDownloader::Transfer, Resumed request answered with the whole file, "
        L"restarting at 0\n");
    m_nStartPos = 0;
    if (m_strFileName.empty()) return TRUE;
    const DWORD error = m_file.SetLength(0);
    if (error == 0) return TRUE;
    DebugFormat(
        L"CHttpDownloader::Transfer, An exception occured while set file pointer position, "
        L"Error:%d\n",
        error);
    return FailWith(TransferRules::FailureKind::Refused, kTextSeek, error);
}

BOOL CHttpDownloader::ReadBody() {
    SetStatus(L"Getting file information");
    ULONGLONG length = 0;
    const BOOL gotLength = QueryContentLength(Request(), length);
    if (gotLength && BeyondBound(length)) return RefuseLongBody();
    if (gotLength) {
        OnContentLength(length);
        if (m_nExpectedTotal == 0) m_nExpectedTotal = m_nStartPos + length;
    } else {
        DebugLine(
            L"CHttpDownloader::Transfer, failed to get content length for request, continuing\n");
        length = 0;
    }
    SetStatus(L"Retrieving the file");
    // A chunked or close-delimited body cut off may read as a whole one: its end tells.
    m_bWatchZipEnd = m_bExpectZip && !gotLength && m_nStartPos == 0;
    m_zipTail.clear();

    const auto buffer = AllocateBuffer(m_nBufferSize);
    if (!buffer) return ReportNoBuffer(*this);
    ULONGLONG bytesRead = 0;
    if (!ReadBlocks(buffer.get(), bytesRead, gotLength, length)) return FALSE;
    // The connection may close before the announced length: that is a broken transfer,
    // not a complete file. A HEAD answer announces the length of a body it never carries.
    const bool bodyExpected = _wcsicmp(m_strVerb.c_str(), L"HEAD") != 0;
    if (m_bWatchZipEnd && !IsAborted() &&
        !TransferRules::EndsAsZip(reinterpret_cast<const uint8_t*>(m_zipTail.data()),
                                  m_zipTail.size())) {
        DebugFormat(L"CHttpDownloader::Transfer, body of %I64u bytes cut off before its end\n",
                    bytesRead);
        return FailWith(TransferRules::FailureKind::ShortBody, kTextDownload,
                        ERROR_INTERNET_CONNECTION_ABORTED);
    }
    if (gotLength && bodyExpected && bytesRead < length && !IsAborted()) {
        DebugFormat(L"CHttpDownloader::Transfer, Connection closed after %I64u of %I64u bytes\n",
                    bytesRead, length);
        return FailWith(TransferRules::FailureKind::ShortBody, kTextDownload,
                        ERROR_INTERNET_CONNECTION_ABORTED);
    }
    return TRUE;
}

BOOL CHttpDownloader::RefuseLongBody() {
    m_bBodyRefused = true;
    DebugFormat(L"CHttpDownloader::Transfer, Body longer than %I64u bytes refused\n",
                m_nMaxBodyBytes);
    return FailWith(TransferRules::FailureKind::Refused, kTextDownload, ERROR_FILE_TOO_LARGE);
}

BOOL CHttpDownloader::ReadBlocks(BYTE* buffer, ULONGLONG& bytesRead, BOOL gotLength,
                                 ULONGLONG length) {
    const DWORD startTick = GetTickCount();
    m_dwDeferredReadError = 0;
    TransferRules::SpeedWindow window{startTick, 0};
    // A cap of the caller's below the floor is no stall.
    const bool judgeSpeed =
        m_dMaxBytesPerMs <= 0 || m_dMaxBytesPerMs * m_speedFloor.windowMs >= m_speedFloor.minBytes;
    for (;;) {
        DWORD read = 0;
        if (!ReadArrived(buffer, read)) {
            const DWORD error = GetLastError();
            // An abort from another thread closes the request under the read: the part
            // written so far stays, as after an abort seen between reads.
            if (IsAborted()) return TRUE;
            DebugFormat(
                L"CHttpDownloader::Transfer, Failed in call to InternetReadFile, Error:%d\n",
                error);
            return FailWith(TransferRules::FailureKind::Network, kTextDownload, error);
        }
        if (read > 0 && BeyondBound(bytesRead + read)) return RefuseLongBody();
        if (!m_bZipChecked && RefuseNonZip(buffer, read)) return FALSE;
        if (m_bWatchZipEnd && read > 0) {
            m_zipTail.append(reinterpret_cast<const char*>(buffer), read);
            if (m_zipTail.size() > 2 * TransferRules::kZipEndSpan)
                m_zipTail.erase(0, m_zipTail.size() - TransferRules::kZipEndSpan);
        }
        if (read > 0) {
            // Data refused because of an abort ends the transfer the way an abort does.
            if (!OnDownloadData(buffer, read)) return IsAborted() ? TRUE : FALSE;
            bytesRead += read;
            if (m_dMaxBytesPerMs > 0) ThrottleTo(bytesRead, startTick);
        }
        OnTransferProgress(bytesRead, gotLength, m_nStartPos + length);
        if (read == 0 || IsAborted()) return TRUE;
        if (judgeSpeed &&
            TransferRules::BelowFloor(window, m_speedFloor, GetTickCount(), bytesRead))
            return FailStalled(bytesRead);
    }
}

BOOL CHttpDownloader::FailStalled(ULONGLONG bytesRead) {
    DebugFormat(
        L"CHttpDownloader::Transfer, fewer than %I64u bytes in %lu ms after %I64u "
        L"bytes: stalled\n",
        m_speedFloor.minBytes, static_cast<unsigned long>(m_speedFloor.windowMs), bytesRead);
    return FailWith(TransferRules::FailureKind::Network, kTextDownload, ERROR_INTERNET_TIMEOUT);
}

BOOL CHttpDownloader::ReadArrived(BYTE* buffer, DWORD& read) {
    read = 0;
    if (m_dwDeferredReadError != 0) {
        SetLastError(std::exchange(m_dwDeferredReadError, 0));
        return FALSE;
    }
    for (;;) {
        DWORD arrived = 0, got = 0;
        const bool ok =
            InternetQueryDataAvailable(Request(), &arrived, 0, 0) &&
            InternetReadFile(Request(), buffer + read,
                             ReadGather::Wanted(arrived, m_nBufferSize - read), &got);
        if (!ok) {
            if (read == 0) return FALSE;
            // The bytes gathered before a reset are kept: a resumed request starts after them.
            m_dwDeferredReadError = GetLastError();
            if (m_dwDeferredReadError == 0) m_dwDeferredReadError = ERROR_INTERNET_CONNECTION_RESET;
            return TRUE;
        }
        read += got;
        if (!ReadGather::ReadOn(got, read, m_nBufferSize)) return TRUE;
    }
}

void CHttpDownloader::ThrottleTo(ULONGLONG bytesRead, DWORD startTick) {
    PauseUnlessAborted(ProgressText::ThrottlePauseMs(bytesRead, GetTickCount() - startTick,
                                                     m_dMaxBytesPerMs, kMaxThrottlePauseMs));
}

void CHttpDownloader::PauseUnlessAborted(DWORD ms) {
    for (DWORD paused = 0; paused < ms && !IsAborted(); paused += kAbortPollMs)
        Sleep(std::min(kAbortPollMs, ms - paused));
}

HINTERNET CHttpDownloader::Request() {
    HandleLock guard(m_csHandles);
    return m_hRequest;
}

BOOL CHttpDownloader::CreateSession() {
    HINTERNET session = nullptr;
    {
        HandleLock guard(m_csHandles);
        // An abort that came first has nothing to close yet: no new handle may outlive it.
        if (IsAborted()) return FALSE;
        if (!m_hSession) {
            const std::wstring agent =
                m_strUserAgent.empty() ? CodeModule::ApplicationName() : m_strUserAgent;
            if (m_nAccessType == 0)
                m_hSession =
                    InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
            else if (m_nAccessType == 1)
                m_hSession =
                    InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
            else if (m_nAccessType == 2)
                m_hSession = InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PROXY,
                                           m_strProxyServer.c_str(), nullptr, 0);
            else
                SetLastError(ERROR_INVALID_PARAMETER);
        }
        if (m_hSession) SetTimeouts(m_hSession);
        session = m_hSession;
    }
    if (!session) {
        const DWORD error = GetLastError();
        DebugFormat(L"CHttpDownloader::CreateSession, Failed in call to InternetOpen, Error:%d\n",
                    error);
        return FailWith(TransferRules::FailureKind::Refused, kTextAttempt, error);
    }
    if (InternetSetStatusCallbackW(session, &CHttpDownloader::StatusCallback) ==
        INTERNET_INVALID_STATUS_CALLBACK) {
        const DWORD error = GetLastError();
        DebugFormat(
            L"CHttpDownloader::Download, Failed in call to InternetSetStatusCallback, Error:%d\n",
            error);
        return FailWith(TransferRules::FailureKind::Refused, kTextAttempt, error);
    }
    return TRUE;
}

BOOL CHttpDownloader::CreateConnection() {
    {
        HandleLock guard(m_csHandles);
        if (IsAborted() || !m_hSession) return FALSE;
        const bool withUser = !m_strUserName.empty();
        m_hConnection = InternetConnectW(
            m_hSession, m_strServer.c_str(), m_nPort, withUser ? m_strUserName.c_str() : nullptr,
            withUser ? m_strPassword.c_str() : nullptr, INTERNET_SERVICE_HTTP, 0,
            reinterpret_cast<DWORD_PTR>(this));
        if (m_hConnection) return TRUE;
    }
    const DWORD error = GetLastError();
    DebugFormat(L"CHttpDownloader::CreateConnection, Failed in call to InternetConnect, Error:%d\n",
                error);
    return FailWith(TransferRules::FailureKind::Network, kTextConnect, error);
}

BOOL CHttpDownloader::CreateRequest() {
    std::vector<std::wstring> types;
    std::vector<const wchar_t*> typeArray;
    try {
        types = RequestRules::SplitAcceptTypes(m_strAcceptTypes);
        for (const auto& type : types) typeArray.push_back(type.c_str());
        typeArray.push_back(nullptr);
    } catch (const std::bad_alloc&) {
        DebugLine(L"CHttpDownloader::CreateRequest, Failed in allocate AcceptTypes buffer\n");
        return FailWith(TransferRules::FailureKind::Refused, kTextAttempt, ERROR_OUTOFMEMORY);
    }
    const DWORD flags = GetOpenRequestFlags();
    {
        HandleLock guard(m_csHandles);
        if (IsAborted() || !m_hConnection) return FALSE;
        m_hRequest = HttpOpenRequestW(m_hConnection, OrNull(m_strVerb), m_strObject.c_str(),
                                      OrNull(m_strHttpVersion), OrNull(m_strReferrer),
                                      typeArray.data(), flags, reinterpret_cast<DWORD_PTR>(this));
        if (m_hRequest) {
            SetTimeouts(m_hRequest);
            return TRUE;
        }
    }
    const DWORD error = GetLastError();
    DebugFormat(L"CHttpDownloader::CreateRequest, Failed in call to HttpOpenRequest, Error:%d\n",
                error);
    return FailWith(TransferRules::FailureKind::Network, kTextConnect, error);
}

BOOL CHttpDownloader::DoHTTPAuthentication() {
    return SetCredentials(
        INTERNET_OPTION_USERNAME, m_strUserName, INTERNET_OPTION_PASSWORD, m_strPassword,
        L"CHttpDownloader::DoHTTPAuthentication, Failed to set HTTP server username details, "
        L"Error:%d\n",
        L"CHttpDownloader::DoHTTPAuthentication, Failed to set HTTP server password details, "
        L"Error:%d\n");
}

BOOL CHttpDownloader::DoProxyAuthentication() {
    return SetCredentials(
        INTERNET_OPTION_PROXY_USERNAME, m_strProxyUserName, INTERNET_OPTION_PROXY_PASSWORD,
        m_strProxyPassword,
        L"CHttpDownloader::DoProxyAuthentication, Failed to set Proxy username details, Error:%d\n",
        L"CHttpDownloader::DoProxyAuthentication, Failed to set Proxy password details, "
        L"Error:%d\n");
}

BOOL CHttpDownloader::SetCredentials(DWORD userOption, const std::wstring& user,
                                     DWORD passwordOption, const std::wstring& password,
                                     const wchar_t* userLine, const wchar_t* passwordLine) {
    if (user.empty()) return TRUE;
    const struct {
        DWORD option;
        const std::wstring& text;
        const wchar_t* line;
    } steps[] = {{userOption, user, userLine}, {passwordOption, password, passwordLine}};
    for (const auto& step : steps) {
        if (InternetSetOptionW(Request(), step.option, const_cast<wchar_t*>(step.text.c_str()),
                               static_cast<DWORD>((step.text.size() + 1) * sizeof(wchar_t))))
            continue;
        const DWORD error = GetLastError();
        DebugFormat(step.line, error);
        return FailWith(TransferRules::FailureKind::Refused, kTextAttempt, error);
    }
    return TRUE;
}

// No certificate of its own: only a prompt (a derived class) can supply one.
BOOL CHttpDownloader::SetClientCertificate() { return FALSE; }

void CHttpDownloader::OnStatusCallback(HINTERNET, DWORD, const void*, DWORD) {}

void CHttpDownloader::ReportError(const wchar_t* format, DWORD error) {
    DebugLine(ErrorText(format, error));
}

void CHttpDownloader::ReportStatusCode(const wchar_t* format, DWORD code) {
    DebugLine(StatusText(format, code));
}

std::wstring CHttpDownloader::ErrorText(const wchar_t* format, DWORD error) {
    if (error == 0) error = GetLastError();
    return FormatText(format, GetWinInetErrorText(error).c_str());
}

std::wstring CHttpDownloader::StatusText(const wchar_t* format, DWORD code) {
    return FormatText(format, std::to_wstring(code).c_str());
}

DWORD CHttpDownloader::GetOpenRequestFlags() {
    // Redirects are followed by Transfer, which judges each target first.
    return RequestRules::OpenRequestFlags(m_nServiceType == kServiceHttps, true);
}

std::wstring CHttpDownloader::FormRequestHeaders() {
    return RequestRules::RequestHeaders(m_nStartPos, m_strIfRange, m_strIfNoneMatch,
                                        m_strIfModifiedSince);
}

BOOL CHttpDownloader::PromptForCredentials(DWORD&) { return FALSE; }

void CHttpDownloader::SetStatus(const wchar_t* text) {
    DebugOutput::ProgressFormat(L"CHttpDownloader::SetStatus, %s\n", text);
}

void CHttpDownloader::SetStatusFormatted(const wchar_t* format, const wchar_t* argument) {
    SetStatus(FormatText(format, argument).c_str());
}

BOOL CHttpDownloader::IsAborted() { return InterlockedCompareExchange(&m_lAbort, 0, 0) != 0; }

void CHttpDownloader::OnContentLength(ULONGLONG length) {
    DebugOutput::ProgressFormat(L"Got a Content-Length header value of %I64u\n", length);
}

void CHttpDownloader::OnTransferProgress(ULONGLONG, BOOL, ULONGLONG) {}

BOOL CHttpDownloader::OnDownloadData(const BYTE* data, DWORD length) {
    // A transfer stopped while it read writes nothing more.
    if (IsAborted()) return FALSE;
    if (!m_strFileName.empty()) {
        const DWORD error = m_file.Write(data, length);
        if (error != 0) {
            DebugLine(
                L"CHttpDownloader::OnDownloadData, An exception occured while writing to the "
                L"download file\n");
            return FailWith(TransferRules::FailureKind::Refused, kTextDownload, error);
        }
    }
    return !IsAborted();
}

void CHttpDownloader::Abort() {
    InterlockedExchange(&m_lAbort, 1);
    CloseHandles();
}

void CHttpDownloader::CloseHandles() {
    HandleLock guard(m_csHandles);
    for (HINTERNET* handle : {&m_hRequest, &m_hConnection, &m_hSession}) {
        if (*handle) {
            InternetCloseHandle(*handle);
            *handle = nullptr;
        }
    }
}

BOOL CHttpDownloader::DeleteDownloadedFile() {
    if (DeleteFileW(m_strFileName.c_str())) return TRUE;
    DebugFormat(
        L"CHttpDownloader::DeleteDownloadedFile, Failed to delete failed downloaded file, "
        L"Error:%d\n",
        GetLastError());
    return FALSE;
}

std::wstring CHttpDownloader::GetWinInetErrorText(DWORD error) {
    LocalText message;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
            FORMAT_MESSAGE_IGNORE_INSERTS,
        GetModuleHandleW(L"wininet.dll"), error, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT),
        reinterpret_cast<LPWSTR>(&message.text), 0, nullptr);
    if (length == 0 || !message.text) return std::wstring();
    return std::wstring(message.text, std::min<size_t>(length, kMaxErrorText));
}

BOOL CHttpDownloader::QueryContentLength(HINTERNET request, ULONGLONG& length) {
    wchar_t text[32] = L"";
    DWORD size = sizeof(text);
    if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return FALSE;
    const LONGLONG value = _wcstoi64(text, nullptr, 10);
    // A negative length would read as an enormous one; it is no length at all.
    if (value < 0) return FALSE;
    length = static_cast<ULONGLONG>(value);
    return TRUE;
}

std::wstring CHttpDownloader::FormatText(const wchar_t* format, const wchar_t* argument) {
    const int length = _scwprintf(format, argument);
    if (length <= 0) return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    _snwprintf(buffer.data(), buffer.size(), format, argument);
    return std::wstring(buffer.data(), static_cast<size_t>(length));
}

void CALLBACK CHttpDownloader::StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status,
                                              LPVOID info, DWORD infoLength) {
    if (context)
        reinterpret_cast<CHttpDownloader*>(context)->OnStatusCallback(handle, status, info,
                                                                      infoLength);
}
