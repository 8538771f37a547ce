#include "update/CInstalledRelease.h"

#include "framework/win32/DebugOutput.h"
#include "update/UpdateWorkPaths.h"
#include "verify/UpdateKeys.h"

std::optional<uint64_t> CInstalledRelease::Read() const {
    const CReleaseSerial::Reading reading = record.Read();
    if (reading.damaged || reading.serial == 0) return std::nullopt;
    return reading.serial;
}

void CInstalledRelease::Record(uint64_t serial) const {
    if (Read() == serial || record.Record(serial)) return;
    DebugOutput::DebugLine(L"CInstalledRelease, cannot record release serial in " + record.Path() +
                           L"\n");
}

std::optional<uint64_t> CInstalledRelease::OfInstallFolder(const std::wstring& installFolder) {
    if (BuiltInUpdateKeys().empty()) return std::nullopt;
    return CInstalledRelease(UpdateWorkPaths::WorkFolder(installFolder)).Read();
}
