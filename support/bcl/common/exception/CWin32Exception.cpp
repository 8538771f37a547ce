#include "support/bcl/common/exception/CWin32Exception.h"

#include <memory>

namespace bcl::common::exception {

namespace {

struct LocalFreeDeleter {
    void operator()(wchar_t* buffer) const { LocalFree(buffer); }
};

bool LookUpSystemText(DWORD code, std::wstring& text) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&buffer),
        511, nullptr);
    // Owned at once, so that a failing copy below does not leak the system's buffer.
    const std::unique_ptr<wchar_t, LocalFreeDeleter> owned(buffer);
    if (length == 0 || !owned) return false;
    text.assign(owned.get(), length);
    return true;
}

}  // namespace

CWin32Exception::CWin32Exception(std::wstring location, DWORD errorCode)
    : CException(std::move(location), MessageText(errorCode)), errorCode(errorCode) {}

std::wstring CWin32Exception::MessageText(DWORD errorCode) {
    std::wstring text;
    if (LookUpSystemText(errorCode, text)) return text;
    // One fallback only: the lookup's own failure code; no further retries.
    if (LookUpSystemText(GetLastError(), text)) return text;
    return std::wstring();
}

}  // namespace bcl::common::exception
