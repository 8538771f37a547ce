#include "patchui/FakeUpdateManager.h"

FakeUpdateManager::FakeUpdateManager(Script script, std::shared_ptr<ManagerRecord> record,
                                     const std::wstring& updateUrl,
                                     const std::wstring& installFolder)
    : m_script(std::move(script)),
      m_record(std::move(record)),
      m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    std::lock_guard<std::mutex> guard(m_record->lock);
    m_record->updateUrl = updateUrl;
    m_record->installFolder = installFolder;
}

FakeUpdateManager::~FakeUpdateManager() {
    SetEvent(m_stop);
    // A script may start the next phase while earlier ones are joined.
    for (;;) {
        std::thread thread;
        {
            std::lock_guard<std::mutex> guard(m_threadsLock);
            if (m_threads.empty()) break;
            thread = std::move(m_threads.back());
            m_threads.pop_back();
        }
        thread.join();
    }
    CloseHandle(m_stop);
    std::lock_guard<std::mutex> guard(m_record->lock);
    m_record->destroyed = true;
}

int FakeUpdateManager::CheckForUpdates() {
    {
        std::lock_guard<std::mutex> guard(m_record->lock);
        ++m_record->checks;
    }
    return m_script.check();
}

int FakeUpdateManager::StartDownload(CRudovuZadoNotify* notify, bool installWhenDone) {
    {
        std::lock_guard<std::mutex> guard(m_record->lock);
        ++m_record->downloads;
        m_record->installWhenDone = installWhenDone;
    }
    if (m_script.downloadStarts == 0) return 0;
    if (m_script.download) Spawn([this, notify] { m_script.download(notify, *this); });
    return 1;
}

int FakeUpdateManager::StartInstall(CInstallLiteNotify* notify) {
    {
        std::lock_guard<std::mutex> guard(m_record->lock);
        ++m_record->installs;
    }
    if (m_script.install) Spawn([this, notify] { m_script.install(notify, *this); });
    return 0;
}

void FakeUpdateManager::AddTypeFilter(const wchar_t* type) {
    std::lock_guard<std::mutex> guard(m_record->lock);
    m_record->typeFilters.push_back(type);
}

void FakeUpdateManager::Spawn(std::function<void()> work) {
    std::lock_guard<std::mutex> guard(m_threadsLock);
    m_threads.emplace_back(std::move(work));
}
