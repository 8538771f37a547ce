#include "framework/CFileException.h"

#include "framework/SystemError.h"

void CFileException::ThrowOsError(uint32_t osError, const std::wstring& fileName) {
    throw new CFileException(generic, osError, fileName);
}

void CFileException::Throw(int cause, const std::wstring& fileName) {
    throw new CFileException(cause, 0, fileName);
}

bool CFileException::GetErrorMessage(wchar_t* buffer, size_t size) const {
    std::wstring text = osError != 0 ? SystemError::Text(osError) : std::wstring();
    if (text.empty()) text = L"File error with " + fileName + L".";
    return CopyMessage(text.c_str(), text.size(), buffer, size);
}
