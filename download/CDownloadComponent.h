#pragma once

#include <memory>
#include <string>

#include "download/CHttpDownloader.h"
#include "download/IDownloadCallback.h"

class CComponentThread;

// Downloads one update component (on a worker thread of its own unless the starter waits for
// it), turns the downloader's reports into one error text and passes progress to the update
// engine's callback.
class CDownloadComponent : public CHttpDownloader {
public:
    // callback may be null: then nothing is reported and no stop is seen.
    CDownloadComponent(IDownloadCallback* callback, DownloadComponentInfo* info, int index,
                       int count);

    BOOL SetClientCertificate() override;
    void OnStatusCallback(HINTERNET handle, DWORD status, const void* info,
                          DWORD infoLength) override;
    void ReportError(const wchar_t* format, DWORD error) override;
    void ReportStatusCode(const wchar_t* format, DWORD code) override;
    void ReportAnswer(const std::wstring& text) override;
    BOOL PromptForCredentials(DWORD& error) override;
    void SetStatus(const wchar_t* text) override;
    void OnContentLength(ULONGLONG length) override;
    // Saves the validator of the answer beside a part kept for a later run before a byte of it
    // is written, so that a run ended at any moment leaves a part it vouches for.
    void OnAnswerAccepted() override;
    void OnTransferProgress(ULONGLONG bytesRead, BOOL gotContentLength, ULONGLONG total) override;

    // Waits for a worker still running, so that it never outlives its component.
    virtual ~CDownloadComponent();
    virtual void Run();
    virtual void OnPercentChanged(int percent);
    virtual void OnTimeLeft(DWORD seconds, ULONGLONG done, ULONGLONG total);
    virtual void OnTransferRate(double bytesPerMs);
    virtual void CancelTransfer();

    // wait TRUE runs the download of the record on the calling thread and returns when it
    // ended; FALSE runs it on a new worker thread.
    void Start(BOOL wait);
    bool IsCancelled() const { return m_bCancelled; }
    // Whether the last run received the whole body: not failed, not aborted.
    bool IsReceived() const { return m_bReceived; }
    BOOL IsFinished() const { return m_bFinished; }
    const std::wstring& GetErrorText() const { return m_strError; }

    static unsigned ComponentThreadProc(void* param);

protected:
    IDownloadCallback* m_pCallback;
    DownloadComponentInfo* m_pInfo;
    int m_nIndex;
    int m_nCount;
    bool m_bCancelled = false;
    std::wstring m_strDisplayName;
    std::wstring m_strError;
    BOOL m_bFinished = FALSE;
    std::unique_ptr<CComponentThread> m_pThread;
    ULONGLONG m_nLastBytes = 0;
    int m_nLastPercent = -1;
    DWORD m_dwLastTick = 0;
    DWORD m_dwStartTick = 0;
    int m_nPercent = 0;
    int m_nSecondsLeft = 0;
    double m_dRate = 0.0;

private:
    // Whether the last try's failure is one a new try may mend, and no stop came.
    bool MayTryAgain();
    // The next try resumes from the bytes held, with the validator of the answer they came in.
    void PrepareResume();
    // The strong ETag or Last-Modified of the answer the bytes held came in; empty: none.
    std::wstring ValidatorOfBytesHeld() const;
    // A part from an earlier run is resumed only with the validator saved beside it (If-Range);
    // without one it is fetched whole.
    void TakeSavedValidator();
    // Removes the saved validator of a part received whole, or of none.
    void DropValidatorOfWholePart();
    bool KeepsParts() const { return m_bKeepFileOnFailure && !m_strFileName.empty(); }
    static int64_t UnixSecondsNow();
    static uint32_t JitterRandom();
    void WaitForWorker();
    int m_nRetries = 0;
    void RunOnCallingThread();
    bool m_bReceived = false;
    std::wstring m_strProgressName;
    std::wstring m_strTotalText;
    ULONGLONG m_nTextTotal = 0;
    std::wstring ProgressName() const;
};
