#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "download/RedirectRule.h"

class CProxyPrompt;

// One download request: what to fetch, where to store it, and the downloader's settings.
// The update engine fills the first seven texts, nAccessType, nBufferSize, nMaxBodyBytes and
// redirectRule; the rest keep their defaults.
struct DownloadComponentInfo {
    std::wstring strURL;
    std::wstring strLocalFolder;    // created with every missing level before the transfer
    std::wstring strLocalFileName;  // empty: the last segment of strURL
    std::wstring strDisplayName;
    std::wstring strProxyServer;
    std::wstring strProxyUserName;
    std::wstring strProxyPassword;
    std::wstring strUserName;
    std::wstring strPassword;
    std::wstring strUserAgent;  // empty: the application's name
    std::wstring strReferrer;
    int nAccessType = 0;  // 0 preconfigured, 1 direct, 2 named proxy
    BOOL bPromptProxyAuth = TRUE;
    BOOL bPromptHttpAuth = TRUE;
    BOOL bPromptClientCert = TRUE;
    double dMaxBytesPerMs = 0.0;  // 0: no limit
    ULONGLONG nStartPos = 0;
    BOOL bNoAutoRedirect = FALSE;
    int nBufferSize = 1024;
    BOOL bPreAuthProxy = TRUE;
    BOOL bPreAuthHttp = TRUE;
    std::wstring strAcceptTypes = L"*/*";
    ULONGLONG nMaxBodyBytes = 0;  // a longer body is refused, leaving no file; 0: no bound
    RedirectRule redirectRule;    // the default follows no redirect to another host
    // The body must be a ZIP archive: any other answer (a portal's page) fails at once.
    BOOL bExpectZip = FALSE;
    // A failed transfer leaves its part for a later try to resume (a refused body excepted).
    BOOL bKeepPartOnFailure = FALSE;
    // More tries after a transient failure, each resuming from the bytes received; 0: one try.
    int nRetries = 0;
    // Validators of a copy kept from an earlier fetch: sent as If-None-Match and
    // If-Modified-Since, so that an unchanged file is answered 304 without a body.
    std::wstring strIfNoneMatch;
    std::wstring strIfModifiedSince;
    // The run's proxy credentials, shared by its transfers; null: each transfer prompts alone.
    std::shared_ptr<CProxyPrompt> proxyPrompt;
};
