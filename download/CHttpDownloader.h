#pragma once

#include <windows.h>

// After windows.h, which it builds on.
#include <wininet.h>

#include <memory>
#include <string>

#include "download/CDownloadFile.h"
#include "download/CProxyPrompt.h"
#include "download/RedirectRule.h"
#include "download/TransferRules.h"

// Fetches one URL over HTTP or HTTPS with WinINet into a local file. Every step reports its
// failure once, through ReportError (system errors) or ReportStatusCode (HTTP status codes),
// beside one diagnostic line; Download itself returns only success or failure. Derive to hook
// progress, data, prompts and reports.
class CHttpDownloader {
public:
    CHttpDownloader();
    CHttpDownloader(const CHttpDownloader&) = delete;
    CHttpDownloader& operator=(const CHttpDownloader&) = delete;
    virtual ~CHttpDownloader();

    virtual BOOL CreateSession();
    virtual BOOL CreateConnection();
    virtual BOOL CreateRequest();
    virtual BOOL DoHTTPAuthentication();
    virtual BOOL DoProxyAuthentication();
    virtual BOOL SetClientCertificate();
    virtual void OnStatusCallback(HINTERNET handle, DWORD status, const void* info,
                                  DWORD infoLength);
    // error 0 stands for the calling thread's last error.
    virtual void ReportError(const wchar_t* format, DWORD error);
    virtual void ReportStatusCode(const wchar_t* format, DWORD code);
    virtual DWORD GetOpenRequestFlags();
    virtual std::wstring FormRequestHeaders();
    virtual BOOL PromptForCredentials(DWORD& error);
    virtual void SetStatus(const wchar_t* text);
    virtual void SetStatusFormatted(const wchar_t* format, const wchar_t* argument);
    virtual BOOL IsAborted();
    virtual void OnContentLength(ULONGLONG length);
    // The answer whose body is now written is accepted: m_dwStatus, m_strETag and
    // m_strLastModified are its own, and a part it does not continue has been emptied.
    virtual void OnAnswerAccepted() {}
    virtual void OnTransferProgress(ULONGLONG bytesRead, BOOL gotContentLength,
                                    ULONGLONG totalSize);
    virtual BOOL OnDownloadData(const BYTE* data, DWORD length);
    // Whether a redirect from the URL "from" to the absolute URL "to" is followed: as
    // m_redirectRule judges it.
    virtual BOOL AcceptRedirect(const std::wstring& from, const std::wstring& to);
    // An answer that cannot be kept, told in a text of its own.
    virtual void ReportAnswer(const std::wstring& text);

    BOOL Download();
    // One transfer of Download, without its clean-up.
    BOOL Transfer();
    // May be called from any thread, also before or during Download: a send or read that
    // blocks returns at once, nothing is reported for it, the part written so far stays. The
    // flag stays set for the life of the object.
    void Abort();
    void CloseHandles();
    BOOL DeleteDownloadedFile();

    // System message text of a WinINet or system error; empty when the code has none.
    static std::wstring GetWinInetErrorText(DWORD error);
    static BOOL QueryContentLength(HINTERNET request, ULONGLONG& length);
    // printf-style formatting of a template with one argument.
    static std::wstring FormatText(const wchar_t* format, const wchar_t* argument);

    std::wstring m_strURL;
    std::wstring m_strFileName;  // empty: the body is read and discarded
    std::wstring m_strProxyServer;
    std::wstring m_strProxyUserName;
    std::wstring m_strProxyPassword;
    std::shared_ptr<CProxyPrompt> m_proxyPrompt;
    std::wstring m_strUserName;
    std::wstring m_strPassword;
    std::wstring m_strUserAgent;  // empty: the application's name
    std::wstring m_strReferrer;
    std::wstring m_strVerb;         // empty: GET
    std::wstring m_strHttpVersion;  // empty: the client's default
    int m_nAccessType = 0;          // 0 preconfigured, 1 direct, 2 m_strProxyServer
    BOOL m_bPromptProxyAuth = TRUE;
    BOOL m_bPromptHttpAuth = TRUE;
    BOOL m_bPromptClientCert = TRUE;
    double m_dMaxBytesPerMs = 0.0;  // 0 or less: no cap
    ULONGLONG m_nStartPos = 0;
    BOOL m_bNoAutoRedirect = FALSE;  // TRUE: a redirect fails as an unexpected status
    DWORD m_nBufferSize = 1024;
    BOOL m_bPreAuthProxy = TRUE;
    BOOL m_bPreAuthHttp = TRUE;
    std::wstring m_strAcceptTypes = L"*/*";
    DWORD m_nServiceType = 0;  // 3 HTTP, 4107 HTTPS
    // A body (or announced length) above this is refused and its file deleted; 0: no bound.
    ULONGLONG m_nMaxBodyBytes = 0;
    // Which redirects are followed; the default follows none to another host.
    RedirectRule m_redirectRule;
    // The body must start as a ZIP archive; another answer fails at once and leaves no file.
    BOOL m_bExpectZip = FALSE;
    // A failed transfer keeps the bytes it wrote (a refused body excepted).
    BOOL m_bKeepFileOnFailure = FALSE;
    // Sent with a range: the answer's validator of the bytes already held (If-Range).
    std::wstring m_strIfRange;
    // Sent as If-None-Match / If-Modified-Since; a 304 then ends the transfer with success
    // and no body (m_dwStatus tells it).
    std::wstring m_strIfNoneMatch;
    std::wstring m_strIfModifiedSince;
    // The whole size of the file, when an earlier answer told it: a 206 must name it.
    ULONGLONG m_nExpectedTotal = 0;
    // A body slower than this fails the try as a timeout (transient: tried again, resumed).
    TransferRules::SpeedFloor m_speedFloor;

    // What the last transfer met: the status of its last answer, the failure (kind None when
    // it received its body or was aborted), the answer's Retry-After, and its validators.
    DWORD m_dwStatus = 0;
    TransferRules::Failure m_failure;
    std::string m_strRetryAfter;
    std::wstring m_strETag;
    std::wstring m_strLastModified;

protected:
    static constexpr DWORD kServiceHttp = 3;
    static constexpr DWORD kServiceHttps = 4107;

    // Splits m_strURL into service, server, object and port; a URL that does not split is
    // tried again with "http://" in front, kept in m_strURL.
    BOOL SplitURL();
    // The request handle as it is now; Abort may close it from another thread at any moment,
    // and a call on a closed handle fails.
    HINTERNET Request();
    // Sleeps up to ms, returning early once the transfer is aborted.
    void PauseUnlessAborted(DWORD ms);
    // The user texts of the two reports: the template filled with the message text of error
    // (0: the calling thread's last error), or with the status code as a number.
    static std::wstring ErrorText(const wchar_t* format, DWORD error);
    static std::wstring StatusText(const wchar_t* format, DWORD code);

    HINTERNET m_hSession = nullptr;
    HINTERNET m_hConnection = nullptr;
    HINTERNET m_hRequest = nullptr;
    std::wstring m_strServer;
    std::wstring m_strObject;
    INTERNET_PORT m_nPort = 0;
    volatile LONG m_lAbort = 0;
    CDownloadFile m_file;
    CRITICAL_SECTION m_csHandles;
    bool m_bBodyRefused = false;
    // First bytes of a body that must be a ZIP, until they show it is one.
    std::string m_zipStart;
    bool m_bZipChecked = true;
    // The last bytes of a ZIP body of unknown length, to see that it ended as a ZIP.
    std::string m_zipTail;
    DWORD m_dwDeferredReadError = 0;  // ReadArrived's failure after a gathered block
    bool m_bWatchZipEnd = false;

private:
    BOOL OpenFile();
    // Marks the failure, then reports it as ReportError does; always FALSE.
    BOOL FailWith(TransferRules::FailureKind kind, const wchar_t* format, DWORD error);
    // Judges a 200 or 206 before any byte is kept. FALSE ends the transfer; retry set asks
    // for the file again from byte 0 (a 206 that does not fit).
    BOOL AcceptAnswer(DWORD status, bool& retry);
    BOOL ReopenRequest();
    // The answer's header of this name; empty when it has none.
    std::wstring QueryHeader(const wchar_t* name);
    void RecordAnswerHeaders();
    // TRUE (and reported) when the body's first bytes show it is no ZIP archive.
    BOOL RefuseNonZip(const BYTE* data, DWORD length);
    BOOL SendRequest(bool& certificateSupplied);
    BOOL QueryStatusCode(DWORD& status);
    // Reads and drops the answer's body, bounded in bytes and time; past the bound the request
    // is opened anew.
    BOOL DrainResponse();
    // Fails the try as a timeout: the body came slower than m_speedFloor.
    BOOL FailStalled(ULONGLONG bytesRead);
    static bool IsRedirect(DWORD status);
    // Whether the answer came through a proxy (so that a 407 is its question).
    bool WentThroughProxy();
    // Whether proxy credentials go with the first send.
    bool PreAuthenticatesProxy() const;
    // Judges the answer's Location and, when accepted, opens the request for it.
    BOOL FollowRedirect(DWORD status, int redirects);
    // The answer's Location as an absolute URL; empty when it has none.
    std::wstring RedirectTarget();
    BOOL RestartFileAtZero();
    BOOL ReadBody();
    bool BeyondBound(ULONGLONG bytes) const {
        return m_nMaxBodyBytes > 0 && bytes > m_nMaxBodyBytes;
    }
    BOOL RefuseLongBody();
    BOOL ReadBlocks(BYTE* buffer, ULONGLONG& bytesRead, BOOL gotLength, ULONGLONG length);
    // Gathers arrived bytes into the buffer (ReadGather); a failure after some were gathered
    // hands those on and is reported by the next call.
    BOOL ReadArrived(BYTE* buffer, DWORD& read);
    void ThrottleTo(ULONGLONG bytesRead, DWORD startTick);
    BOOL SetCredentials(DWORD userOption, const std::wstring& user, DWORD passwordOption,
                        const std::wstring& password, const wchar_t* userLine,
                        const wchar_t* passwordLine);
    static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status,
                                        LPVOID info, DWORD infoLength);
};
