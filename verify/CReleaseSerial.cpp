#include "verify/CReleaseSerial.h"

#include "framework/CFile.h"
#include "framework/CFileException.h"
#include "framework/FileSystem.h"
#include "framework/PathText.h"
#include "verify/ReleaseRules.h"

namespace {

// A record is a number and a line end; anything longer is damaged.
constexpr unsigned kLongestRecord = 64;
// The platform's "no such file" and "no such folder" (ENOENT is 2 too).
constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kPathNotFound = 3;

}  // namespace

CReleaseSerial::CReleaseSerial(const std::wstring& installFolder)
    : CReleaseSerial(installFolder, fileName) {}

CReleaseSerial::CReleaseSerial(const std::wstring& recordFolder, const wchar_t* name)
    : CReleaseSerial(recordFolder, name, recordFolder) {}

CReleaseSerial::CReleaseSerial(const std::wstring& recordFolder, const wchar_t* name,
                               const std::wstring& listOf)
    : folder(recordFolder), listOf(listOf), path(PathText::AppendBackslash(recordFolder) + name) {}

CReleaseSerial::Reading CReleaseSerial::Read() const {
    Reading reading;
    std::string text(kLongestRecord + 1, '\0');
    try {
        CFile file;
        file.Open(path, CFile::modeRead | CFile::shareDenyWrite, true);
        text.resize(file.Read(text.data(), kLongestRecord + 1));
    } catch (CFileException* error) {
        // Only a record that is not there reads as no release accepted yet; one that is there
        // but held, locked or refused is damaged.
        const uint32_t cause = error->osError;
        error->Delete();
        if (cause == kFileNotFound || cause == kPathNotFound) return reading;
        text.clear();
    }
    const auto serial = ReleaseRules::ParseSerialRecord(text);
    if (serial) {
        reading.serial = *serial;
        reading.found = true;
    } else {
        reading.damaged = true;
    }
    return reading;
}

bool CReleaseSerial::Record(uint64_t serial) const {
    // Only this user's runs (a prepared folder's members') and the machine's administrators
    // read or change the record.
    const std::wstring temporary = FileSystem::CreateRecordTempFileIn(folder, listOf);
    if (temporary.empty()) return false;
    const std::string text = ReleaseRules::SerialRecord(serial);
    try {
        CFile file;
        file.Open(temporary, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive, true);
        file.Write(text.data(), static_cast<unsigned>(text.size()));
        file.Flush();
        file.Close();
    } catch (CFileException* error) {
        error->Delete();
        FileSystem::RemoveFile(temporary);
        return false;
    }
    if (FileSystem::MoveOver(temporary, path)) return true;
    FileSystem::RemoveFile(temporary);
    return false;
}
