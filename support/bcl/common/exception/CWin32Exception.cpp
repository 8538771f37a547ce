#include "support/bcl/common/exception/CWin32Exception.h"

#include "framework/SystemError.h"

namespace bcl::common::exception {

CWin32Exception::CWin32Exception(std::wstring location, DWORD errorCode)
    : CException(std::move(location), MessageText(errorCode)), errorCode(errorCode) {}

std::wstring CWin32Exception::MessageText(DWORD errorCode) {
    const std::wstring text = SystemError::Text(errorCode);
    if (!text.empty()) return text;
    // One fallback only: the lookup's own failure code; no further retries.
    return SystemError::Text(GetLastError());
}

}  // namespace bcl::common::exception
