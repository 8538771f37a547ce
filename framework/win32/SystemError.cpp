#include "framework/SystemError.h"

#include <windows.h>

#include <memory>

namespace SystemError {

uint32_t Last() { return GetLastError(); }

void SetLast(uint32_t code) { SetLastError(code); }

namespace {

struct LocalFreer {
    void operator()(wchar_t* buffer) const { LocalFree(buffer); }
};

}  // namespace

std::wstring Text(uint32_t code) {
    wchar_t* buffer = nullptr;
    // Inserts are ignored: no values are at hand for them, and texts that have inserts would
    // otherwise make the call read arguments that were never given.
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length =
        FormatMessageW(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                       reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    // Owned at once, so that a failing copy does not leak the system's buffer; on failure the
    // thread's last error still tells why the lookup failed.
    const std::unique_ptr<wchar_t, LocalFreer> owner(buffer);
    return length == 0 || !owner ? std::wstring() : std::wstring(owner.get(), length);
}

}  // namespace SystemError
