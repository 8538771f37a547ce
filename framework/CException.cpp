#include "framework/CException.h"

#include <algorithm>
#include <cwchar>

bool CException::GetErrorMessage(wchar_t* buffer, size_t size) const {
    return CopyMessage(L"", 0, buffer, size);
}

bool CException::CopyMessage(const wchar_t* text, size_t length, wchar_t* buffer, size_t size) {
    if (!buffer || size == 0 || length == 0) return false;
    const size_t count = std::min(length, size - 1);
    std::wmemcpy(buffer, text, count);
    buffer[count] = L'\0';
    return true;
}
