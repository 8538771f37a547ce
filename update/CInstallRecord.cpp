#include "update/CInstallRecord.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "framework/FileSystem.h"
#include "framework/PathText.h"
#include "framework/win32/DebugOutput.h"
#include "update/InstallRecordText.h"
#include "update/UpdateWorkPaths.h"
#include "update/WideTextFile.h"

namespace {

// Some hundred bytes per file: far beyond any manifest's number of entries.
constexpr DWORD kMaxRecordBytes = 256u << 20;

}  // namespace

std::wstring CInstallRecord::KeyOf(const std::wstring& target) {
    std::wstring key = target;
    if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    return key;
}

void CInstallRecord::Load() {
    entries.clear();
    const auto text = WideTextFile::Read(path, kMaxRecordBytes);
    if (!text) return;
    const auto parsed = InstallRecordText::Parse(*text);
    if (!parsed) {
        DebugOutput::DebugLine(L"CInstallRecord, damaged and not used: " + path + L"\n");
        return;
    }
    for (const auto& [target, content] : *parsed) Set(target, content);
}

std::optional<ContentRule::Content> CInstallRecord::Find(const std::wstring& target) const {
    const auto found = entries.find(KeyOf(target));
    if (found == entries.end()) return std::nullopt;
    return found->second.second;
}

void CInstallRecord::Set(const std::wstring& target, const ContentRule::Content& content) {
    entries[KeyOf(target)] = {target, content};
}

void CInstallRecord::Forget(const std::wstring& target) { entries.erase(KeyOf(target)); }

bool CInstallRecord::Save() const {
    std::vector<InstallRecordText::Entry> lines;
    lines.reserve(entries.size());
    for (const auto& entry : entries) lines.push_back(entry.second);
    // The same record gives the same bytes.
    std::sort(lines.begin(), lines.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    const std::wstring temporary = FileSystem::CreateRecordTempFileIn(
        PathText::FolderPart(path), UpdateWorkPaths::InstallFolderOf(PathText::FolderPart(path)));
    if (!temporary.empty() &&
        WideTextFile::Write(temporary, InstallRecordText::Format(lines), TRUNCATE_EXISTING) &&
        FileSystem::MoveOver(temporary, path))
        return true;
    if (!temporary.empty()) FileSystem::RemoveFile(temporary);
    FileSystem::RemoveFile(path);
    DebugOutput::DebugLine(L"CInstallRecord, cannot be written; removed: " + path + L"\n");
    return false;
}
