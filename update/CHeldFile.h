#pragma once

#include <windows.h>

#include <string>

#include "framework/win32/UniqueHandle.h"

// A file opened so that nobody else writes, renames or deletes it while it is held (readers
// may share it): what was hashed through the handle is what is then loaded or moved.
class CHeldFile {
public:
    enum class Use { Read, Move };

    CHeldFile(const std::wstring& path, Use use);

    bool IsOpen() const { return handle != nullptr; }
    // The held file's handle, to read more of it (its security) through.
    HANDLE Handle() const { return handle.get(); }
    // Lower-case hexadecimal SHA-256 of the whole file, read through the handle; empty when it
    // cannot be read.
    std::wstring Sha256Hex() const;
    // Renames the held file (opened for Use::Move) to the target, replacing it. Across volumes
    // its bytes are copied through the handle beside the target and renamed in, and the held
    // file is removed. False with the thread's last error set when nothing was replaced.
    bool MoveTo(const std::wstring& target) const;

private:
    bool RenameTo(const std::wstring& target) const;
    bool CopyTo(const std::wstring& target) const;
    bool Remove() const;

    UniqueHandle handle;
};
