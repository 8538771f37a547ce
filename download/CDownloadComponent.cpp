#include "download/CDownloadComponent.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "download/CComponentThread.h"
#include "download/ProgressText.h"
#include "download/RequestRules.h"
#include "framework/FileSystem.h"
#include "framework/PathText.h"
#include "framework/win32/DebugOutput.h"
#include "framework/win32/UniqueHandle.h"
#include "support/bcl/common/exception/CException.h"
#include "support/bcl/common/exception/CaughtException.h"

using DebugOutput::DebugFormat;
using DebugOutput::DebugLine;

namespace {

constexpr DWORD kErrorDialogFlags = FLAGS_ERROR_UI_FILTER_FOR_ERRORS |
                                    FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                                    FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;
constexpr DWORD kRateSampleMs = 1000;

// Text of a connection notification: UTF-16 when it looks like it, else the thread's ANSI code
// page. Never reads past infoLength.
std::wstring NotificationText(const void* info, DWORD infoLength) {
    if (!info || infoLength == 0) return std::wstring();
    if (infoLength >= sizeof(wchar_t) &&
        IsTextUnicode(info, static_cast<int>(infoLength), nullptr)) {
        const auto* text = static_cast<const wchar_t*>(info);
        return std::wstring(text, wcsnlen(text, infoLength / sizeof(wchar_t)));
    }
    const auto* bytes = static_cast<const char*>(info);
    const int length = static_cast<int>(strnlen(bytes, infoLength));
    if (length == 0) return std::wstring();
    const int wide = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, length, nullptr, 0);
    std::wstring text(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, length, text.data(), wide);
    return text;
}

std::wstring LocalPath(const DownloadComponentInfo& info) {
    const std::wstring name =
        info.strLocalFileName.empty() ? PathText::FileNamePart(info.strURL) : info.strLocalFileName;
    return info.strLocalFolder.empty() ? name : PathText::Join(info.strLocalFolder, name);
}

// The validator of the answer a part's bytes came in, kept beside the part for a later run.
std::wstring ValidatorPath(const std::wstring& part) { return part + L".validator"; }

constexpr DWORD kMaxValidatorBytes = 1024;

// ASCII, as header values are; empty when there is none to read.
std::wstring ReadSavedValidator(const std::wstring& part) {
    const UniqueHandle file(CreateFileW(ValidatorPath(part).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return std::wstring();
    char bytes[kMaxValidatorBytes];
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes, sizeof(bytes), &read, nullptr) || read == sizeof(bytes))
        return std::wstring();
    std::wstring validator;
    for (DWORD i = 0; i < read; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x20 || c >= 0x7F) return std::wstring();
        validator += static_cast<wchar_t>(c);
    }
    return validator;
}

bool SaveValidator(const std::wstring& part, const std::wstring& validator) {
    std::string bytes;
    for (const wchar_t c : validator) {
        if (c < 0x20 || c >= 0x7F) return false;
        bytes += static_cast<char>(c);
    }
    const UniqueHandle file(CreateFileW(ValidatorPath(part).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

}  // namespace

CDownloadComponent::CDownloadComponent(IDownloadCallback* callback, DownloadComponentInfo* info,
                                       int index, int count)
    : m_pCallback(callback), m_pInfo(info), m_nIndex(index), m_nCount(count) {
    if (!info) return;
    m_strProxyServer = info->strProxyServer;
    m_strProxyUserName = info->strProxyUserName;
    m_strProxyPassword = info->strProxyPassword;
    m_proxyPrompt = info->proxyPrompt;
    m_strUserName = info->strUserName;
    m_strPassword = info->strPassword;
    m_strUserAgent = info->strUserAgent;
    m_strReferrer = info->strReferrer;
    m_nAccessType = info->nAccessType;
    m_bPromptProxyAuth = info->bPromptProxyAuth;
    m_bPromptHttpAuth = info->bPromptHttpAuth;
    m_bPromptClientCert = info->bPromptClientCert;
    m_dMaxBytesPerMs = info->dMaxBytesPerMs;
    m_nStartPos = info->nStartPos;
    m_bNoAutoRedirect = info->bNoAutoRedirect;
    m_nBufferSize = static_cast<DWORD>(info->nBufferSize);
    m_bPreAuthProxy = info->bPreAuthProxy;
    m_bPreAuthHttp = info->bPreAuthHttp;
    m_strAcceptTypes = info->strAcceptTypes;
    m_nMaxBodyBytes = info->nMaxBodyBytes;
    m_redirectRule = info->redirectRule;
    m_bExpectZip = info->bExpectZip;
    m_bKeepFileOnFailure = info->bKeepPartOnFailure;
    m_nRetries = std::max(0, info->nRetries);
    m_strIfNoneMatch = info->strIfNoneMatch;
    m_strIfModifiedSince = info->strIfModifiedSince;
}

CDownloadComponent::~CDownloadComponent() { WaitForWorker(); }

void CDownloadComponent::Start(BOOL wait) {
    if (!m_pInfo) return;
    // The worker of an earlier start reads the fields set below: it ends first.
    WaitForWorker();
    const std::wstring path = LocalPath(*m_pInfo);
    // Asked first: making a folder that is there costs every package of a run a server call.
    if (!m_pInfo->strLocalFolder.empty() && !FileSystem::IsExistingFolder(m_pInfo->strLocalFolder))
        SHCreateDirectoryExW(nullptr, m_pInfo->strLocalFolder.c_str(), nullptr);
    m_strURL = m_pInfo->strURL;
    m_strFileName = path;
    m_strError.clear();
    m_bReceived = false;
    m_nLastPercent = -1;
    m_nLastBytes = 0;
    m_strProgressName.clear();
    m_strTotalText.clear();
    if (!SplitURL()) {
        DebugFormat(L"Failed to parse the URL: %s\n", m_strURL.c_str());
        return;
    }
    m_strDisplayName = RequestRules::DisplayNameOfObject(m_strObject);
    if (wait) {
        // A worker the starter only waits for buys nothing and costs each package a thread.
        RunOnCallingThread();
        return;
    }
    m_pThread = std::make_unique<CComponentThread>(*this);
    try {
        m_pThread->Start();
    } catch (const bcl::common::exception::CException&) {
        DebugLine(L"Failed to create download thread\n");
        m_pThread.reset();
    }
}

void CDownloadComponent::RunOnCallingThread() {
    // As on a worker: nothing thrown by the transfer reaches the starter.
    try {
        Run();
    } catch (...) {
        bcl::common::exception::ReportCaughtException(L"CDownloadComponent::Start");
    }
}

void CDownloadComponent::WaitForWorker() {
    if (m_pThread) m_pThread->Wait();
    m_pThread.reset();
}

unsigned CDownloadComponent::ComponentThreadProc(void* param) {
    static_cast<CDownloadComponent*>(param)->Run();
    return 0;
}

void CDownloadComponent::Run() {
    const ULONGLONG started = GetTickCount64();
    DebugFormat(L"CDownloadComponent, requested %s\n", m_strURL.c_str());
    TakeSavedValidator();
    BOOL received = Download();
    for (int retry = 1; !received && retry <= m_nRetries && MayTryAgain(); ++retry) {
        const DWORD pause = TransferRules::NextTryDelayMs(
            retry,
            TransferRules::RetryAfterMs(m_strRetryAfter, UnixSecondsNow(),
                                        TransferRules::kRetryAfterCapMs),
            JitterRandom());
        DebugFormat(L"CDownloadComponent, %s: try %d failed, the next in %u ms\n", m_strURL.c_str(),
                    retry, pause);
        PauseUnlessAborted(pause);
        if (IsAborted()) break;
        PrepareResume();
        m_strError.clear();
        received = Download();
    }
    m_bReceived = received && !IsAborted();
    DropValidatorOfWholePart();
    DebugFormat(received && !IsAborted()
                    ? L"CDownloadComponent, received %s: %I64u bytes, %I64u ms\n"
                    : L"CDownloadComponent, not received %s: %I64u bytes, %I64u ms\n",
                m_strURL.c_str(), FileSystem::FileSize(m_strFileName), GetTickCount64() - started);
    m_bFinished = TRUE;
    if (!m_strError.empty() && m_pCallback) m_pCallback->OnError(m_strError.c_str());
}

// Both reports only record the text and write it once; the callback hears it from Run, once
// the transfer has ended, and decides itself whether the other transfers stop.
void CDownloadComponent::ReportError(const wchar_t* format, DWORD error) {
    m_strError = ErrorText(format, error);
    DebugLine(m_strError);
}

void CDownloadComponent::ReportAnswer(const std::wstring& text) {
    m_strError = text;
    DebugLine(m_strError + L"\n");
}

bool CDownloadComponent::MayTryAgain() {
    return !IsAborted() && TransferRules::IsTransient(m_failure);
}

std::wstring CDownloadComponent::ValidatorOfBytesHeld() const {
    // A try without a body's answer wrote nothing: the bytes held are those validated before.
    if (m_dwStatus != HTTP_STATUS_OK && m_dwStatus != HTTP_STATUS_PARTIAL_CONTENT)
        return m_strIfRange;
    // Only a strong validator says the bytes held are of the same file.
    const bool strongTag = !m_strETag.empty() && m_strETag.compare(0, 2, L"W/") != 0;
    return strongTag ? m_strETag : m_strLastModified;
}

void CDownloadComponent::PrepareResume() {
    const uint64_t held = m_bKeepFileOnFailure ? FileSystem::FileSize(m_strFileName) : 0;
    m_nStartPos = held;
    const std::wstring validator = ValidatorOfBytesHeld();
    if (held == 0)
        m_strIfRange.clear();
    else if (!validator.empty())
        m_strIfRange = validator;
    m_nLastPercent = -1;
    m_nLastBytes = 0;
}

void CDownloadComponent::TakeSavedValidator() {
    if (m_nStartPos == 0 || !m_strIfRange.empty() || !KeepsParts()) return;
    m_strIfRange = ReadSavedValidator(m_strFileName);
    if (!m_strIfRange.empty()) return;
    // Without it, nothing tells whether the bytes held are of the object asked for now.
    DebugFormat(L"CDownloadComponent, the part %s has no validator: fetched whole\n",
                m_strFileName.c_str());
    m_nStartPos = 0;
}

void CDownloadComponent::OnAnswerAccepted() {
    if (!KeepsParts()) return;
    const std::wstring validator = ValidatorOfBytesHeld();
    if (validator.empty() || !SaveValidator(m_strFileName, validator))
        DeleteFileW(ValidatorPath(m_strFileName).c_str());
}

void CDownloadComponent::DropValidatorOfWholePart() {
    if (KeepsParts() && (m_bReceived || FileSystem::FileSize(m_strFileName) == 0))
        DeleteFileW(ValidatorPath(m_strFileName).c_str());
}

int64_t CDownloadComponent::UnixSecondsNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = (uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000ULL) - 11644473600LL;
}

uint32_t CDownloadComponent::JitterRandom() {
    // Spread only, no secret: the counter and the thread, mixed.
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    uint64_t x = static_cast<uint64_t>(counter.QuadPart) ^ (uint64_t(GetCurrentThreadId()) << 32);
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<uint32_t>(x ^ (x >> 31));
}

void CDownloadComponent::ReportStatusCode(const wchar_t* format, DWORD code) {
    m_strError = StatusText(format, code);
    DebugLine(m_strError);
}

BOOL CDownloadComponent::PromptForCredentials(DWORD& error) {
    error = InternetErrorDlg(GetDesktopWindow(), Request(), ERROR_INTERNET_INCORRECT_PASSWORD,
                             kErrorDialogFlags, nullptr);
    // Cancel fails this transfer (the caller reports it); it stops no other.
    return error == ERROR_INTERNET_FORCE_RETRY;
}

BOOL CDownloadComponent::SetClientCertificate() {
    const DWORD answer =
        InternetErrorDlg(GetDesktopWindow(), Request(), ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED,
                         kErrorDialogFlags, nullptr);
    return answer == ERROR_SUCCESS || answer == ERROR_INTERNET_FORCE_RETRY;
}

void CDownloadComponent::SetStatus(const wchar_t* text) {
    CHttpDownloader::SetStatus(text);
    DebugOutput::ProgressLine(text);
}

void CDownloadComponent::OnStatusCallback(HINTERNET, DWORD status, const void* info,
                                          DWORD infoLength) {
    const wchar_t* format = ProgressText::StatusFormat(status);
    if (format) SetStatusFormatted(format, NotificationText(info, infoLength).c_str());
}

void CDownloadComponent::OnContentLength(ULONGLONG length) {
    CHttpDownloader::OnContentLength(length);
}

void CDownloadComponent::OnTransferProgress(ULONGLONG bytesRead, BOOL gotContentLength,
                                            ULONGLONG total) {
    CHttpDownloader::OnTransferProgress(bytesRead, gotContentLength, total);
    if (m_nLastPercent == -1) m_dwStartTick = m_dwLastTick = GetTickCount();
    if (gotContentLength) {
        m_nPercent = ProgressText::FilePercent(m_nStartPos, bytesRead, total);
        if (m_nPercent != m_nLastPercent) {
            OnPercentChanged(m_nPercent);
            m_nLastPercent = m_nPercent;
        }
    }
    const DWORD now = GetTickCount();
    if (now - m_dwLastTick > kRateSampleMs) {
        m_dRate = static_cast<double>(bytesRead - m_nLastBytes) / (now - m_dwLastTick);
        OnTransferRate(m_dRate);
        m_dwLastTick = now;
        m_nLastBytes = bytesRead;
        if (gotContentLength && bytesRead != 0) {
            m_nSecondsLeft = static_cast<int>(
                ProgressText::SecondsLeft(now - m_dwStartTick, bytesRead, total - m_nStartPos));
            OnTimeLeft(static_cast<DWORD>(m_nSecondsLeft), m_nStartPos + bytesRead, total);
        }
    }
    if (!m_pCallback) return;
    if (m_pCallback->IsStopped()) {
        m_bCancelled = true;
        CancelTransfer();
        return;
    }
    // Name and total stay the same over a transfer; made once, not on every 1 KiB read.
    if (m_strProgressName.empty()) m_strProgressName = ProgressName();
    if (m_strTotalText.empty() || total != m_nTextTotal) {
        m_strTotalText = ProgressText::SizeText(total);
        m_nTextTotal = total;
    }
    const std::wstring& name = m_strProgressName;
    const std::wstring& totalText = m_strTotalText;
    const std::wstring doneText = ProgressText::SizeText(m_nStartPos + bytesRead);
    m_pCallback->OnProgress(name.c_str(), m_nPercent,
                            ProgressText::ListPercent(m_nIndex, m_nCount, m_nPercent), m_nIndex,
                            m_nCount, doneText.c_str(), totalText.c_str());
}

std::wstring CDownloadComponent::ProgressName() const {
    if (!m_pInfo) return std::wstring();
    return PathText::AppendBackslash(m_pInfo->strLocalFolder) + m_pInfo->strDisplayName;
}

void CDownloadComponent::OnPercentChanged(int percent) {
    DebugOutput::ProgressLine(ProgressText::PercentLine(percent, m_strDisplayName));
}

void CDownloadComponent::OnTimeLeft(DWORD seconds, ULONGLONG done, ULONGLONG total) {
    DebugOutput::ProgressLine(ProgressText::TimeLeftLine(seconds, done, total));
}

void CDownloadComponent::OnTransferRate(double bytesPerMs) {
    DebugOutput::ProgressLine(ProgressText::TransferRateLine(bytesPerMs));
}

void CDownloadComponent::CancelTransfer() {
    Abort();
    CHttpDownloader::SetStatus(L"Aborting transfer");
}
