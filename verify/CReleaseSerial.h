#pragma once

#include <cstdint>
#include <string>

// The serial of the last release an install folder accepted, kept in a small file there
// (PelkoRelease.serial). A release with a lower serial is refused, so a server cannot bring
// back an older signed release.
class CReleaseSerial {
public:
    static constexpr const wchar_t* fileName = L"PelkoRelease.serial";

    struct Reading {
        uint64_t serial = 0;   // 0 when no record exists or it is damaged
        bool damaged = false;  // a record exists but cannot be opened, read or understood
        bool found = false;    // a record exists and was read
    };

    explicit CReleaseSerial(const std::wstring& installFolder);
    // A record of the same form under another name; its list as a record of listOf has it
    // (FileSystem::CreateRecordTempFileIn), by default as one of its own folder.
    CReleaseSerial(const std::wstring& recordFolder, const wchar_t* name);
    CReleaseSerial(const std::wstring& recordFolder, const wchar_t* name,
                   const std::wstring& listOf);

    Reading Read() const;
    // Writes the record whole: a temporary file beside it, then moved over it. False, with the
    // old record unchanged, when that fails.
    bool Record(uint64_t serial) const;

    const std::wstring& Path() const { return path; }

private:
    std::wstring folder;
    std::wstring listOf;
    std::wstring path;
};
