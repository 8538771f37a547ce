#include "update/CCommitJournal.h"

#include <windows.h>

#include "update/JournalText.h"
#include "update/WideTextFile.h"

namespace {

constexpr DWORD kMaxJournalBytes = 64u << 20;

}  // namespace

bool CCommitJournal::Write(const std::vector<JournalEntry>& entries) const {
    const std::wstring temporary = path + L".tmp";
    if (!WideTextFile::Write(temporary, JournalText::Format(entries), CREATE_ALWAYS) ||
        !MoveFileExW(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

std::optional<std::vector<JournalEntry>> CCommitJournal::Read() const {
    const std::optional<std::wstring> text = WideTextFile::Read(path, kMaxJournalBytes);
    if (!text) return std::nullopt;
    return JournalText::Parse(*text);
}

bool CCommitJournal::Exists() const {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CCommitJournal::Remove() const {
    return DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}
