#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "update/ContentRule.h"

// What the component installed in each place of one install folder: for every file a commit
// put in place, its size and SHA-256 (the signed ones). It lives in the work folder
// (UpdateWorkPaths::InstallRecordFile), private like the settings, and is always written whole.
// An entry is only ever true or absent: a commit forgets its targets before it moves anything
// and learns them once they are in place, so a record that is damaged, missing or behind
// costs a file one hashing, never a wrong decision. Paths compare without case.
class CInstallRecord {
public:
    explicit CInstallRecord(std::wstring path) : path(std::move(path)) {}

    // A missing or damaged record reads as empty.
    void Load();
    std::optional<ContentRule::Content> Find(const std::wstring& target) const;
    void Set(const std::wstring& target, const ContentRule::Content& content);
    void Forget(const std::wstring& target);
    // Writes the record whole: a private temporary file in its folder, flushed, then moved over
    // it. When that fails the old record is removed instead, since it may no longer be true;
    // false then.
    bool Save() const;

    const std::wstring& Path() const { return path; }

private:
    static std::wstring KeyOf(const std::wstring& target);

    std::wstring path;
    // By KeyOf(target): the target as written, and its content.
    std::unordered_map<std::wstring, std::pair<std::wstring, ContentRule::Content>> entries;
};
