#include <gtest/gtest.h>
#include <windows.h>

#include "support/bcl/common/exception/CWin32Exception.h"

namespace {

using bcl::common::exception::CException;
using bcl::common::exception::CWin32Exception;

std::wstring SystemText(DWORD code) {
    wchar_t buffer[1024] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, buffer, 1024, nullptr);
    return std::wstring(buffer, length);
}

TEST(CException, CarriesLocationAndDescriptionThroughCopies) {
    const CException original(L"Loc::Op()", L"went wrong");
    const CException copy = original;
    EXPECT_EQ(copy.GetLocation(), L"Loc::Op()");
    EXPECT_EQ(copy.GetDescription(), L"went wrong");
    EXPECT_EQ(copy.GetText(), L"Exception - Loc::Op() went wrong");
}

TEST(CWin32Exception, DescriptionIsTheSystemTextOfTheCode) {
    const CWin32Exception e(L"CThread::Start() - _beginthreadex", ERROR_FILE_NOT_FOUND);
    const std::wstring expected = SystemText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(e.GetDescription(), expected);
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(e.GetText(), L"Exception - CThread::Start() - _beginthreadex " + expected);
    // Caught through the base, by value.
    try {
        throw e;
    } catch (const CException& caught) {
        EXPECT_EQ(caught.GetDescription(), expected);
    }
}

TEST(CWin32Exception, UnknownCodeFallsBackToTheLookupFailureOnce) {
    // No message table has this application-defined code, so the lookup's own failure is described.
    SetLastError(0);
    ASSERT_EQ(SystemText(0x2000ABCD), L"");
    const DWORD failure = GetLastError();
    ASSERT_NE(failure, 0u);
    EXPECT_EQ(CWin32Exception::MessageText(0x2000ABCD), SystemText(failure));
}

}  // namespace
