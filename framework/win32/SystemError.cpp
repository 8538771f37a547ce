#include "framework/SystemError.h"

#include <windows.h>

namespace SystemError {

uint32_t Last() { return GetLastError(); }

void SetLast(uint32_t code) { SetLastError(code); }

std::wstring Text(uint32_t code) {
    wchar_t* buffer = nullptr;
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length =
        FormatMessageW(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                       reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::wstring text;
    if (length != 0 && buffer) text.assign(buffer, length);
    if (buffer) LocalFree(buffer);
    return text;
}

}  // namespace SystemError
