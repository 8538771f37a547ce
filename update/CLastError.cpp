#include "update/CLastError.h"

#include "framework/win32/DebugOutput.h"

void CLastError::Set(std::wstring text, unsigned newCode) {
    DebugOutput::DebugFormat(L"CUpdateManagerLite, error 0x%08x: %s\n", newCode, text.c_str());
    std::lock_guard<std::mutex> guard(lock);
    texts.push_back(std::move(text));
    code = newCode;
}

void CLastError::SetText(std::wstring text) {
    DebugOutput::DebugFormat(L"CUpdateManagerLite, download error: %s\n", text.c_str());
    std::lock_guard<std::mutex> guard(lock);
    texts.push_back(std::move(text));
}

const wchar_t* CLastError::Text() const {
    std::lock_guard<std::mutex> guard(lock);
    return texts.back().c_str();
}

unsigned CLastError::Code() const {
    std::lock_guard<std::mutex> guard(lock);
    return code;
}
