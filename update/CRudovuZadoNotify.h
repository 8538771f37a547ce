#pragma once

// Receiver of the download phase's reports. All calls arrive on the update manager's event
// thread, one at a time; texts are valid only during the call. Override what you need.
class CRudovuZadoNotify {
public:
    virtual ~CRudovuZadoNotify() = default;

    virtual void OnUpdateProgress(const wchar_t* /*filePath*/, int /*filePercent*/,
                                  int /*overallPercent*/, int /*fileIndex*/, int /*fileCount*/,
                                  const wchar_t* /*receivedText*/, const wchar_t* /*totalText*/) {}
    virtual void OnUpdateComplete() {}
    virtual void OnUpdateError(const wchar_t* /*message*/) {}
    virtual void OnUpdateStopped() {}
};
