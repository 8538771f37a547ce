#pragma once

#include <string>

// Splits a path into prefix (\\?\unc\ and its shorter forms), drive, folder, title and
// extension, the way the run time's path splitter does.
class CZipPathComponent {
public:
    static constexpr size_t maxDrive = 2;
    static constexpr size_t maxDirectory = 32766;
    static constexpr size_t maxTitle = 255;
    static constexpr size_t maxExtension = 255;

    CZipPathComponent() = default;
    explicit CZipPathComponent(const std::wstring& path) { SetFullPath(path); }
    virtual ~CZipPathComponent() = default;

    // False, and every part empty, when a part is longer than the splitter's room.
    bool SetFullPath(const std::wstring& path);

    // The title, then "." and the extension when there is one.
    std::wstring FileName() const;
    std::wstring PathWithoutDrive() const;
    std::wstring FolderPath() const;

    std::wstring directory;
    std::wstring title;
    std::wstring extension;
    std::wstring drive;
    std::wstring prefix;
};
