#pragma once

// Receiver of the installation phase's reports, made on the installer's own thread; texts are
// valid only during the call. Override what you need.
class CInstallLiteNotify {
public:
    virtual ~CInstallLiteNotify() = default;

    virtual void OnInstallProgress(const wchar_t* /*packagePath*/, int /*done*/, int /*total*/) {}
    virtual void OnInstallComplete() {}
    // Never called by the installer, which reports no errors; kept for receivers.
    virtual void OnInstallError(const wchar_t* /*message*/) {}
    virtual void OnInstallStopped() {}
};
