#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "update/IUpdateManagerLite.h"

// What a fake update manager was asked, kept by the test beyond the manager's life.
struct ManagerRecord {
    std::mutex lock;
    std::wstring updateUrl;
    std::wstring installFolder;
    std::vector<std::wstring> typeFilters;
    int checks = 0;
    int downloads = 0;
    bool installWhenDone = true;
    int installs = 0;
    bool destroyed = false;
    // What ChangingInstalledFiles answers.
    std::atomic<bool> changingFiles{false};
};

// A scripted update manager. Each phase's script runs on a thread of its own, as the engine's
// notifications do; the destructor asks them to stop and waits for them, as the engine does.
class FakeUpdateManager : public IUpdateManagerLite {
public:
    struct Script {
        Script() = default;
        explicit Script(std::function<int()> check, std::wstring errorText = L"",
                        int downloadStarts = 1)
            : check(std::move(check)),
              errorText(std::move(errorText)),
              downloadStarts(downloadStarts) {}

        std::function<int()> check = [] { return 0; };
        std::wstring errorText;
        int downloadStarts = 1;
        std::function<void(CRudovuZadoNotify*, FakeUpdateManager&)> download;
        std::function<void(CInstallLiteNotify*, FakeUpdateManager&)> install;
    };

    FakeUpdateManager(Script script, std::shared_ptr<ManagerRecord> record,
                      const std::wstring& updateUrl, const std::wstring& installFolder);
    ~FakeUpdateManager() override;

    // Set by the destructor (and StopDownload): a script that waits should end.
    HANDLE StopEvent() const { return m_stop; }

    int CheckForUpdates() override;
    int StartDownload(CRudovuZadoNotify* notify, bool installWhenDone) override;
    void StopDownload() override { SetEvent(m_stop); }
    bool ChangingInstalledFiles() override { return m_record->changingFiles; }
    int StartInstall(CInstallLiteNotify* notify) override;
    void StopInstall() override { SetEvent(m_stop); }
    const wchar_t* GetLastErrorText() override { return m_script.errorText.c_str(); }
    unsigned GetLastErrorCode() override { return 0; }
    void AddTypeFilter(const wchar_t* type) override;
    void SetProxyServer(const wchar_t*) override {}
    void SetProxyUserName(const wchar_t*) override {}
    void SetProxyPassword(const wchar_t*) override {}
    void UsePreconfiguredProxy() override {}
    void UseDirectConnection() override {}
    void UseNamedProxy() override {}

private:
    void Spawn(std::function<void()> work);

    Script m_script;
    std::shared_ptr<ManagerRecord> m_record;
    HANDLE m_stop;
    std::mutex m_threadsLock;
    std::vector<std::thread> m_threads;
};
