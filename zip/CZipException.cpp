#include "zip/CZipException.h"

#include <cerrno>

#include "framework/SystemError.h"

namespace {

struct CodeText {
    int code;
    const wchar_t* text;
};

const CodeText codeTexts[] = {
    {1, L"Not super-user."},
    {2, L"No such file or directory."},
    {4, L"Interrupted system call."},
    {5, L"I/O error."},
    {6, L"No such device or address."},
    {9, L"Bad file number."},
    {12, L"Not enough space."},
    {13, L"Permission denied."},
    {14, L"Bad address."},
    {17, L"File exists."},
    {18, L"Cross-device link."},
    {19, L"No such device."},
    {20, L"Not a directory."},
    {21, L"Is a directory."},
    {22, L"Invalid argument."},
    {23, L"File table overflow."},
    {24, L"Too many open files."},
    {27, L"File too large."},
    {28, L"No space left on device."},
    {29, L"Illegal seek."},
    {30, L"Read-only file system."},
    {101, L"Damaged or not a zip file."},
    {102, L"Crc is mismatched."},
    {103, L"There is no spanned archive callback object set."},
    {104, L"Volume change aborted in a segmented archive."},
    {105, L"Action aborted."},
    {106, L"Action aborted safely."},
    {107, L"The device selected for the spanned archive is not removable."},
    {108, L"The limit of the maximum volumes reached."},
    {109, L"The limit of the maximum files in an archive reached."},
    {110,
     L"The filename, the comment or the local or central extra field of the file added to "
     L"the archive is too long."},
    {111, L"The file size is too large to be supported."},
    {112, L"An incorrect password set for the file being decrypted."},
    {113, L"The directory with a non-zero size found while testing."},
    {114, L"An internal error."},
    {117, L"Cannot create a file for the specified platform."},
    {118,
     L"The central directory was not found in the archive (or you were trying to open not "
     L"the last volume of a segmented archive)."},
    {119,
     L"The Zip64 format has not been enabled for the library, but is required to use the "
     L"archive."},
    {120,
     L"WinZip AES encryption has not been enabled for the library, but is required to "
     L"decompress the archive."},
    {500, L"Zlib library error (end of stream)."},
    {503, L"Zlib library error (stream error)."},
    {504, L"Zlib library error (data error)."},
    {505, L"Not enough memory."},
    {506, L"Zlib library error (buffer error)."},
    {507, L"Zlib library error (version error)."},
};

const wchar_t* TableText(int code) {
    for (const CodeText& entry : codeTexts) {
        if (entry.code == code) return entry.text;
    }
    return nullptr;
}

std::wstring WithSystemText(const wchar_t* what) {
    return std::wstring(what) + L" (" + CZipException::DescribeSystemError() + L").";
}

}  // namespace

void CZipException::Throw(int cause, const wchar_t* archivePath) {
    throw new CZipException(cause, archivePath ? archivePath : L"");
}

std::wstring CZipException::DescribeCode(int code, bool noLoop) {
    if (const wchar_t* text = TableText(code)) return text;
    // A fallback describes errno with noLoop set: then only the plain texts of the table
    // apply, so no description can come back to where it started.
    if (noLoop) return L"Unknown error";
    switch (code) {
        case notRemoved:
            return WithSystemText(L"Error while removing a file");
        case notRenamed:
            return WithSystemText(L"Error while renaming a file");
        case errNo: {
            const int e = errno;
            return DescribeCode(e == errNo ? genericError : e, false);
        }
        default:
            return DescribeSystemError();
    }
}

std::wstring CZipException::DescribeSystemError() {
    const uint32_t last = SystemError::Last();
    if (last != 0) return SystemError::Text(last);
    const int e = errno;
    return DescribeCode(e != 0 ? e : genericError, true);
}

bool CZipException::GetErrorMessage(wchar_t* buffer, size_t size) const {
    const std::wstring text = Describe();
    return CopyMessage(text.c_str(), text.size(), buffer, size);
}
