// A separate process that runs one whole update and ends itself at a chosen commit step, as a
// crash or a power cut would: CommitProbe <update URL> <install folder> <step>.
// CommitProbe hold <seconds> only waits, so that its own file is a running program's.
#include <windows.h>

#include <cwchar>
#include <memory>
#include <string>

#include "update/CRudovuZadoNotify.h"
#include "update/CommitStepSeam.h"
#include "update/IUpdateManagerLite.h"

namespace {

constexpr UINT kKilledExitCode = 77;
unsigned g_killStep = ~0u;

class EndOfDownload : public CRudovuZadoNotify {
public:
    EndOfDownload() : ended(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~EndOfDownload() override { CloseHandle(ended); }
    void OnUpdateComplete() override { Set(true); }
    void OnUpdateError(const wchar_t*) override { Set(false); }
    void OnUpdateStopped() override { Set(false); }
    bool Wait() const { return WaitForSingleObject(ended, 60000) == WAIT_OBJECT_0 && complete; }

private:
    void Set(bool done) {
        complete = done;
        SetEvent(ended);
    }
    HANDLE ended;
    bool complete = false;
};

}  // namespace

// Takes the place of the component's empty seam in this program only.
void CommitStepReached(unsigned step) {
    if (step == g_killStep) TerminateProcess(GetCurrentProcess(), kKilledExitCode);
}

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"hold") {
        Sleep(static_cast<DWORD>(_wtoi(argv[2])) * 1000);
        return 0;
    }
    if (argc != 4) return 2;
    g_killStep = static_cast<unsigned>(wcstoul(argv[3], nullptr, 10));
    std::unique_ptr<IUpdateManagerLite> manager(CreateUpdateManagerLite(argv[1], argv[2]));
    manager->UseDirectConnection();
    EndOfDownload notify;
    if (manager->CheckForUpdates() <= 0) return 3;
    if (manager->StartDownload(&notify, false) != 1 || !notify.Wait()) return 4;
    manager->StartInstall(nullptr);
    return 0;
}
