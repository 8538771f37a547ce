#include "support/common/ProcessThreads.h"

#include <tlhelp32.h>

namespace testsupport {

namespace {

constexpr int kThreadQuerySetWin32StartAddress = 9;

// The module whose code a thread started in, or null when it cannot be told.
HMODULE StartModule(DWORD threadId) {
    using QueryThread = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<QueryThread>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    const HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId);
    if (!thread) return nullptr;
    PVOID start = nullptr;
    const bool known =
        query && query(thread, kThreadQuerySetWin32StartAddress, &start, sizeof(start), nullptr) == 0;
    CloseHandle(thread);
    HMODULE module = nullptr;
    if (known)
        GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(start), &module);
    return module;
}

std::set<DWORD> NewThreads(const std::set<DWORD>& before) {
    const HMODULE wininet = GetModuleHandleW(L"wininet.dll");
    std::set<DWORD> started;
    for (DWORD id : ProcessThreads())
        if (!before.count(id) && (!wininet || StartModule(id) != wininet)) started.insert(id);
    return started;
}

}  // namespace

std::set<DWORD> ProcessThreads() {
    std::set<DWORD> threads;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return threads;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) threads.insert(entry.th32ThreadID);
    CloseHandle(snapshot);
    return threads;
}

std::set<DWORD> ThreadsLeftSince(const std::set<DWORD>& before, DWORD waitMs) {
    constexpr DWORD kPollMs = 20;
    std::set<DWORD> left = NewThreads(before);
    for (DWORD waited = 0; !left.empty() && waited < waitMs; waited += kPollMs) {
        Sleep(kPollMs);
        left = NewThreads(before);
    }
    return left;
}

}  // namespace testsupport
