#include "download/CDetachedWorker.h"

#include "support/bcl/common/exception/CaughtException.h"

struct CDetachedWorker::Shared {
    std::function<void()> job;
    HANDLE ended = nullptr;
    HMODULE module = nullptr;

    ~Shared() {
        if (ended) CloseHandle(ended);
    }
};

bool CDetachedWorker::Start(std::function<void()> job) {
    auto state = std::make_shared<Shared>();
    state->job = std::move(job);
    state->ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!state->ended) return false;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&CDetachedWorker::Entry), &state->module))
        return false;
    auto* handOver = new std::shared_ptr<Shared>(state);
    const HANDLE thread = CreateThread(nullptr, 0, &CDetachedWorker::Entry, handOver, 0, nullptr);
    if (!thread) {
        FreeLibrary(state->module);
        delete handOver;
        return false;
    }
    CloseHandle(thread);
    shared = std::move(state);
    return true;
}

bool CDetachedWorker::Wait(DWORD ms, HANDLE wake) const {
    if (!shared) return true;
    const HANDLE handles[] = {shared->ended, wake};
    return WaitForMultipleObjects(wake ? 2 : 1, handles, FALSE, ms) == WAIT_OBJECT_0;
}

DWORD WINAPI CDetachedWorker::Entry(void* param) {
    auto* state = static_cast<std::shared_ptr<Shared>*>(param);
    const HMODULE module = (*state)->module;
    try {
        (*state)->job();
    } catch (...) {
        bcl::common::exception::ReportCaughtException(L"CDetachedWorker");
    }
    // What the job held (a run lock among it) goes before anyone hears of the end.
    try {
        (*state)->job = nullptr;
    } catch (...) {
        bcl::common::exception::ReportCaughtException(L"CDetachedWorker, release");
    }
    SetEvent((*state)->ended);
    delete state;
    FreeLibraryAndExitThread(module, 0);
}
