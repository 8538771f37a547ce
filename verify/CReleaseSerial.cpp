#include "verify/CReleaseSerial.h"

#include "framework/CFile.h"
#include "framework/CFileException.h"
#include "framework/FileSystem.h"
#include "framework/PathText.h"
#include "verify/ReleaseRules.h"

namespace {

// A record is a number and a line end; anything longer is damaged.
constexpr unsigned kLongestRecord = 64;

}  // namespace

CReleaseSerial::CReleaseSerial(const std::wstring& installFolder)
    : folder(installFolder), path(PathText::AppendBackslash(installFolder) + fileName) {}

CReleaseSerial::Reading CReleaseSerial::Read() const {
    Reading reading;
    if (!FileSystem::Exists(path)) return reading;
    std::string text(kLongestRecord + 1, '\0');
    try {
        CFile file;
        if (file.Open(path, CFile::modeRead | CFile::shareDenyWrite, false))
            text.resize(file.Read(text.data(), kLongestRecord + 1));
        else
            text.clear();
    } catch (CFileException* error) {
        error->Delete();
        text.clear();
    }
    const auto serial = ReleaseRules::ParseSerialRecord(text);
    if (serial)
        reading.serial = *serial;
    else
        reading.damaged = true;
    return reading;
}

bool CReleaseSerial::Record(uint64_t serial) const {
    const std::wstring temporary = FileSystem::CreateTempFileIn(folder);
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
