#include "support/updatetree/CUpdateTree.h"

#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "framework/PathText.h"
#include "support/updatetree/CTreeSigner.h"
#include "support/updatetree/StoredZip.h"
#include "verify/CSha256.h"
#include "verify/ManifestVerification.h"
#include "verify/ReleaseStatement.h"

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
                             const SYSTEMTIME& stored, const std::string& storedName,
                             bool deflated) {
    files[section] = FileFacts{data.size(), CSha256::Of(data.data(), data.size())};
    const ZipEntry entry{storedName.empty() ? section : storedName, data, stored, deflated};
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
    std::vector<ZipEntry> entries{{"RudovuZado.ini", manifestText, now}};
    if (signing.key != Signing::Key::none) {
        entries[0].data = WithFileFacts(manifestText);
        entries.push_back({ReleaseStatement::entryName, Statement(entries[0].data), now});
        if (signing.tamper) signing.tamper(entries[0].data);
    }
    if (!WriteStoredZip(root + L"RudovuZado.ini.zip", entries))
        throw std::runtime_error("cannot write the manifest package");
}

std::string CUpdateTree::WithFileFacts(const std::string& manifestText) const {
    std::string text;
    size_t start = 0;
    while (start < manifestText.size()) {
        size_t end = manifestText.find('\n', start);
        end = end == std::string::npos ? manifestText.size() : end + 1;
        const std::string line = manifestText.substr(start, end - start);
        text += line;
        const size_t close = line.find(']');
        if (!line.empty() && line[0] == '[' && close != std::string::npos) {
            const auto file = files.find(line.substr(1, close - 1));
            if (file != files.end())
                text += "FileSize=" + std::to_string(file->second.size) +
                        "\nSha256=" + ToHex(file->second.sha256) + "\n";
        }
        start = end;
    }
    return text;
}

std::string CUpdateTree::Statement(const std::string& manifest) const {
    ReleaseStatement statement;
    statement.product = signing.product;
    statement.manifestSize = manifest.size();
    statement.manifestDigest = CSha256::Of(manifest.data(), manifest.size());
    statement.serial = signing.serial.value_or(static_cast<uint64_t>(SecondsNow()));
    statement.expires = signing.expires;
    statement.rollout = rollout;
    const CTreeSigner signer =
        signing.key == Signing::Key::test ? CTreeSigner::TestKey() : CTreeSigner::NewKey();
    const std::string signedPart = SignedPart(statement);
    return StatementText(statement, signer.Sign(CSha256::Of(signedPart.data(), signedPart.size())));
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
