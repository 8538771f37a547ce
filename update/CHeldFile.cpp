#include "update/CHeldFile.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "verify/CSha256.h"

namespace {

constexpr DWORD kChunk = 1 << 20;

HANDLE OpenShared(const std::wstring& path, CHeldFile::Use use) {
    const DWORD access = GENERIC_READ | (use == CHeldFile::Use::Move ? DELETE : 0);
    const HANDLE file = CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

bool Rewind(HANDLE file) {
    LARGE_INTEGER start{};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != 0;
}

// The rename takes a path of the object manager's namespace: "\??\C:\..." or "\??\UNC\...".
std::wstring ObjectPath(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\", 0) == 0) return L"\\??\\" + path.substr(4);
    if (path.rfind(L"\\\\", 0) == 0) return L"\\??\\UNC\\" + path.substr(2);
    return L"\\??\\" + path;
}

}  // namespace

CHeldFile::CHeldFile(const std::wstring& path, Use use) : handle(OpenShared(path, use)) {}

std::wstring CHeldFile::Sha256Hex() const {
    if (!IsOpen() || !Rewind(handle.get())) return std::wstring();
    try {
        CSha256 sha;
        std::vector<char> buffer(kChunk);
        for (;;) {
            DWORD read = 0;
            if (!ReadFile(handle.get(), buffer.data(), kChunk, &read, nullptr))
                return std::wstring();
            if (read == 0) break;
            sha.Update(buffer.data(), read);
        }
        const std::string hex = ToHex(sha.Finish());
        return std::wstring(hex.begin(), hex.end());
    } catch (...) {
        return std::wstring();
    }
}

bool CHeldFile::MoveTo(const std::wstring& target) const {
    if (!IsOpen()) return false;
    if (RenameTo(target)) return true;
    if (GetLastError() != ERROR_NOT_SAME_DEVICE) return false;
    return CopyTo(target) && Remove();
}

bool CHeldFile::RenameTo(const std::wstring& target) const {
    const std::wstring name = ObjectPath(target);
    const size_t nameBytes = name.size() * sizeof(wchar_t);
    std::vector<std::byte> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    // The buffer's zeroed tail ends the name.
    memcpy(buffer.data() + offsetof(FILE_RENAME_INFO, FileName), name.c_str(), nameBytes);
    return SetFileInformationByHandle(handle.get(), FileRenameInfo, info,
                                      static_cast<DWORD>(buffer.size())) != 0;
}

bool CHeldFile::CopyTo(const std::wstring& target) const {
    const std::wstring copy = target + L".~new";
    {
        const UniqueHandle out(CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        if (out.get() == INVALID_HANDLE_VALUE) return false;
        bool copied = Rewind(handle.get());
        std::vector<char> buffer(kChunk);
        while (copied) {
            DWORD read = 0;
            DWORD written = 0;
            copied = ReadFile(handle.get(), buffer.data(), kChunk, &read, nullptr) != 0;
            if (!copied || read == 0) break;
            copied =
                WriteFile(out.get(), buffer.data(), read, &written, nullptr) && written == read;
        }
        copied = copied && FlushFileBuffers(out.get());
        if (!copied) {
            const DWORD error = GetLastError();
            DeleteFileW(copy.c_str());
            SetLastError(error);
            return false;
        }
    }
    if (MoveFileExW(copy.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    const DWORD error = GetLastError();
    DeleteFileW(copy.c_str());
    SetLastError(error);
    return false;
}

bool CHeldFile::Remove() const {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    // The target holds the bytes already; a held file that stays is only removed later.
    SetFileInformationByHandle(handle.get(), FileDispositionInfo, &disposition,
                               sizeof(disposition));
    return true;
}
