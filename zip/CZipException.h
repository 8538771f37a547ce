#pragma once

#include <string>

#include "framework/CException.h"

// An error the ZIP reader detects itself: a code and the path of the archive concerned.
// Thrown by pointer; the catcher owns it and ends it with Delete().
class CZipException : public CException {
public:
    enum : int {
        genericError = 100,
        badZipFile = 101,
        badCrc = 102,
        noCallback = 103,
        aborted = 104,
        abortedAction = 105,
        abortedSafely = 106,
        nonRemovable = 107,
        tooManyVolumes = 108,
        tooManyFiles = 109,
        tooLongData = 110,
        tooBigSize = 111,
        badPassword = 112,
        dirWithSize = 113,
        internalError = 114,
        notRemoved = 115,
        notRenamed = 116,
        platformNotSupported = 117,
        cdirNotFound = 118,
        noZip64 = 119,
        noAes = 120,
        streamEnd = 500,
        needDict = 501,
        errNo = 502,
        streamError = 503,
        dataError = 504,
        memError = 505,
        bufError = 506,
        versionError = 507,
    };

    CZipException(int cause, std::wstring archivePath)
        : archivePath(std::move(archivePath)), cause(cause) {}

    // Never returns: throws a new CZipException; a null path gives an empty one.
    [[noreturn]] static void Throw(int cause, const wchar_t* archivePath = nullptr);

    std::wstring Describe() const { return DescribeCode(cause, false); }
    static std::wstring DescribeCode(int code, bool noLoop);
    // The platform's text for its last error; the run time's errno when there is none.
    static std::wstring DescribeSystemError();

    bool GetErrorMessage(wchar_t* buffer, size_t size) const override;

    std::wstring archivePath;
    int cause;
};
