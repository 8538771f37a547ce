#include <gtest/gtest.h>

#include <cerrno>

#include "framework/SystemError.h"
#include "zip/CZipException.h"

namespace {

std::wstring DescribeWith(int code, uint32_t lastError, int errnoValue) {
    SystemError::SetLast(lastError);
    errno = errnoValue;
    return CZipException::DescribeCode(code, false);
}

TEST(CZipException, TableCodesDescribeThemselvesWithTheirTexts) {
    const struct {
        int code;
        const wchar_t* text;
    } cases[] = {
        {2, L"No such file or directory."},
        {30, L"Read-only file system."},
        {101, L"Damaged or not a zip file."},
        {102, L"Crc is mismatched."},
        {112, L"An incorrect password set for the file being decrypted."},
        {118,
         L"The central directory was not found in the archive (or you were trying to open "
         L"not the last volume of a segmented archive)."},
        {119,
         L"The Zip64 format has not been enabled for the library, but is required to use "
         L"the archive."},
        {504, L"Zlib library error (data error)."},
        {507, L"Zlib library error (version error)."},
    };
    for (const auto& c : cases) EXPECT_EQ(DescribeWith(c.code, 0, 0), c.text) << c.code;
}

TEST(CZipException, OtherCodesFallBackToTheSystemThenErrnoWithoutLooping) {
    EXPECT_EQ(DescribeWith(501, 0, 0), L"Unknown error");
    EXPECT_EQ(DescribeWith(100, 0, 13), L"Permission denied.");
    EXPECT_EQ(DescribeWith(9999, 0, 9999), L"Unknown error");
    // 502 describes errno; errno 502 itself, or a built code, ends in "Unknown error".
    EXPECT_EQ(DescribeWith(502, 0, 2), L"No such file or directory.");
    EXPECT_EQ(DescribeWith(502, 0, 502), L"Unknown error");
    EXPECT_EQ(DescribeWith(100, 0, 115), L"Unknown error");
    EXPECT_EQ(DescribeWith(115, 0, 115), L"Error while removing a file (Unknown error).");
}

TEST(CZipException, RemoveAndRenameTextsCarryTheSystemText) {
    EXPECT_EQ(DescribeWith(115, 0, 13), L"Error while removing a file (Permission denied.).");
    EXPECT_EQ(DescribeWith(116, 0, 2),
              L"Error while renaming a file (No such file or directory.).");
#ifdef _WIN32
    const std::wstring denied = SystemError::Text(5);
    ASSERT_FALSE(denied.empty());
    EXPECT_EQ(DescribeWith(115, 5, 0), L"Error while removing a file (" + denied + L").");
    EXPECT_EQ(DescribeWith(501, 5, 0), denied);
#endif
}

TEST(CZipException, ThrowCarriesCodeAndPathAndCopiesItsText) {
    CZipException* caught = nullptr;
    try {
        CZipException::Throw(101, nullptr);
    } catch (CZipException* e) {
        caught = e;
    }
    ASSERT_NE(caught, nullptr);
    EXPECT_EQ(caught->cause, 101);
    EXPECT_EQ(caught->archivePath, L"");

    wchar_t buffer[10];
    EXPECT_TRUE(caught->GetErrorMessage(buffer, 10));
    EXPECT_EQ(std::wstring(buffer), L"Damaged o");
    EXPECT_FALSE(caught->GetErrorMessage(nullptr, 10));
    buffer[0] = L'x';
    EXPECT_FALSE(caught->GetErrorMessage(buffer, 0));
    EXPECT_EQ(buffer[0], L'x');
    caught->Delete();

    try {
        CZipException::Throw(118, L"C:\\p\\pkg.zip");
    } catch (CZipException* e) {
        EXPECT_EQ(e->archivePath, L"C:\\p\\pkg.zip");
        e->Delete();
    }
}

}  // namespace
