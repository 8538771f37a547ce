#include "update/CCommitJournal.h"

#include <windows.h>

#include "framework/win32/UniqueHandle.h"
#include "update/JournalText.h"
#include "update/WideTextFile.h"

namespace {

constexpr DWORD kMaxJournalBytes = 64u << 20;

bool WriteWhole(const std::wstring& path, const std::wstring& text) {
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    const auto bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD written = 0;
    return WriteFile(file.get(), text.data(), bytes, &written, nullptr) && written == bytes &&
           FlushFileBuffers(file.get());
}

}  // namespace

bool CCommitJournal::Write(const std::vector<JournalEntry>& entries) const {
    const std::wstring temporary = path + L".tmp";
    if (!WriteWhole(temporary, JournalText::Format(entries)) ||
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
