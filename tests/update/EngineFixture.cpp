#include "EngineFixture.h"

#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "framework/PathText.h"

namespace updatetest {

EngineFixture::EngineFixture() { RecreateManager(server.Url()); }

void EngineFixture::RecreateManager(const std::wstring& updateUrl, std::vector<PublicKey> keys) {
    manager.reset();
    manager.reset(new CUpdateManagerLite(updateUrl, install.Path(), std::move(keys)));
    manager->UseDirectConnection();
    manager->AddTypeFilter(L"Common");
}

bool EngineFixture::DownloadAll(bool installWhenDone) {
    return manager->StartDownload(&notify, installWhenDone) == 1 && notify.WaitForDownloadEnd();
}

std::wstring EngineFixture::CacheFolder() const {
    wchar_t path[MAX_PATH] = L"";
    SHGetSpecialFolderPathW(nullptr, path, CSIDL_INTERNET_CACHE, FALSE);
    return PathText::AppendBackslash(path);
}

std::string FileBytes(const std::wstring& path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

SYSTEMTIME LocalWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    FILETIME local{};
    SYSTEMTIME time{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
    FileTimeToSystemTime(&local, &time);
    time.wMilliseconds = 0;
    time.wDayOfWeek = 0;
    return time;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string TestDllBytes(const wchar_t* name) {
    wchar_t program[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    return FileBytes(PathText::Join(PathText::FolderPart(program), name));
}

}  // namespace updatetest
