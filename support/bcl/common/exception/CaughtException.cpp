#include "support/bcl/common/exception/CaughtException.h"

#include <windows.h>

#include <exception>
#include <string>

#include "framework/CException.h"
#include "framework/win32/DebugOutput.h"
#include "support/bcl/common/exception/CException.h"

namespace bcl::common::exception {

namespace {

constexpr size_t kMessageRoom = 512;

// Names the exception in flight; called inside a catch block only.
std::wstring DescribeCaught() {
    try {
        throw;
    } catch (const CException& e) {
        return e.GetText();
    } catch (::CException* e) {
        // Thrown by pointer: the catcher owns it.
        wchar_t message[kMessageRoom] = {};
        const bool hasText = e != nullptr && e->GetErrorMessage(message, kMessageRoom);
        if (e != nullptr) e->Delete();
        return hasText ? std::wstring(message) : std::wstring(L"a file or archive exception");
    } catch (const std::exception& e) {
        std::wstring text;
        for (const char* c = e.what(); *c != '\0'; ++c)
            text += static_cast<wchar_t>(static_cast<unsigned char>(*c));
        return text;
    } catch (...) {
        return L"an unknown exception";
    }
}

}  // namespace

void ReportCaughtException(const wchar_t* where) noexcept {
    try {
        DebugOutput::DebugFormat(L"%s, caught %s\n", where, DescribeCaught().c_str());
    } catch (...) {
        // Out of memory while describing it: the bare location, without allocating.
        OutputDebugStringW(where);
        OutputDebugStringW(L", caught an exception\n");
    }
}

}  // namespace bcl::common::exception
