#pragma once

class CHttpDownloader;

// Optional companion of IDownloadCallback. A callback object that also derives from this is
// told which transfer is running, so that a stop can abort a send or a read that blocks
// instead of waiting for it to return. Both calls come from the thread that starts the
// component; OnTransferEnd comes only after the transfer's worker has ended.
class ITransferWatch {
public:
    virtual void OnTransferBegin(CHttpDownloader& transfer) = 0;
    virtual void OnTransferEnd(CHttpDownloader& transfer) = 0;

protected:
    ~ITransferWatch() = default;
};
