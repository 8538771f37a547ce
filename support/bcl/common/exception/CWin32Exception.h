#pragma once

#include <windows.h>

#include "support/bcl/common/exception/CException.h"

namespace bcl::common::exception {

// A CException whose description is the system's message text for a platform error code.
class CWin32Exception : public CException {
public:
    CWin32Exception(std::wstring location, DWORD errorCode);
    ~CWin32Exception() override = default;

    DWORD GetErrorCode() const { return errorCode; }

    // The system's text for the code, line end included. When the system has none, the text
    // of the error that lookup reported; when that fails too, empty text.
    static std::wstring MessageText(DWORD errorCode);

private:
    DWORD errorCode;
};

}  // namespace bcl::common::exception
