#include "support/updatetree/CUpdateTree.h"

#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "framework/PathText.h"
#include "support/updatetree/StoredZip.h"

namespace updatetree {

namespace {

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

CUpdateTree::CUpdateTree(std::wstring folder) : root(PathText::AppendBackslash(folder)) {
    SHCreateDirectoryExW(nullptr, (root + L"RudovuZado").c_str(), nullptr);
}

std::wstring CUpdateTree::PackagePath(const std::string& section) const {
    return root + L"RudovuZado\\" + Widen(section) + L".zip";
}

void CUpdateTree::AddPackage(const std::string& section, const std::string& data,
                             const SYSTEMTIME& stored, const std::string& storedName) {
    const ZipEntry entry{storedName.empty() ? section : storedName, data, stored};
    if (!WriteStoredZip(PackagePath(section), {entry}))
        throw std::runtime_error("cannot write the package of " + section);
}

void CUpdateTree::AddRawPackage(const std::string& section, const std::string& bytes) {
    std::ofstream file(std::filesystem::path(PackagePath(section)),
                       std::ios::binary | std::ios::trunc);
    file << bytes;
    if (!file.flush()) throw std::runtime_error("cannot write the package of " + section);
}

void CUpdateTree::PublishManifest(const std::string& manifestText) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (!WriteStoredZip(root + L"RudovuZado.ini.zip", {{"RudovuZado.ini", manifestText, now}}))
        throw std::runtime_error("cannot write the manifest package");
}

SYSTEMTIME LocalTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    return time;
}

}  // namespace updatetree
