#include "update/NeedsUpdate.h"

#include "update/ManifestPaths.h"
#include "update/ReRegistrationSeam.h"
#include "update/RegisterServer.h"
#include "update/ReleaseTime.h"

namespace {

// Both sides are compared to the minute in local time. An unreadable write time counts as
// current, so that the date check cannot force a download on account of it.
bool OlderThanRelease(const std::wstring& targetPath, ULONGLONG releaseTime) {
    if (releaseTime == kEarliestFileTime) return false;
    const auto written = GetFileWriteMinute(targetPath.c_str());
    if (!written) return false;
    const ULONGLONG writtenTime = LocalMinuteToFileTime(*written);
    return writtenTime != kEarliestFileTime && writtenTime < releaseTime;
}

}  // namespace

bool NeedsUpdate(const std::wstring& targetPath, ULONGLONG releaseTime, BOOL registerDll,
                 BOOL checkDate, const std::wstring& type,
                 const std::vector<std::wstring>& typeFilter,
                 const std::wstring& registerSha256) {
    if (!ManifestPaths::TypeAccepted(typeFilter, type)) return false;
    if (GetFileAttributesW(targetPath.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    if (checkDate) return OlderThanRelease(targetPath, releaseTime);
    if (registerDll) {
        ReRegistrationReached();
        (void)RegisterServer(targetPath.c_str(), L"DllRegisterServer", registerSha256);
    }
    return false;
}
