#include "tools/publish/CTreeVerifier.h"

#include <set>
#include <string>

#include "tools/publish/CIniDocument.h"
#include "tools/publish/CPackageReader.h"
#include "tools/publish/CPublishError.h"
#include "tools/publish/CScratchFolder.h"
#include "tools/publish/OpenSslVerify.h"
#include "tools/publish/PublishRules.h"
#include "tools/publish/WallClock.h"
#include "update/ManifestDate.h"
#include "update/ManifestPaths.h"
#include "verify/ReleaseStatement.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kManifestLimit = 16u << 20;

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string KeyText(const CIniDocument::Section& section, const char* key) {
    const CIniDocument::Key* found = section.Find(key);
    return found ? found->value : std::string();
}

// The statement of the manifest package must be signed by one of keys and name text.
void VerifyStatement(CPackageReader& reader, const std::string& text,
                     const std::vector<PublicKey>& keys) {
    const std::string where = reader.Path().string() + ": ";
    if (reader.Count() != 2 || reader.Name(1) != ReleaseStatement::entryName)
        throw CPublishError(where + "holds no release statement");
    std::string why;
    const auto parsed = ParseStatement(reader.ReadEntry(1, ReleaseStatement::longestText), &why);
    if (!parsed) throw CPublishError(where + why);
    const Sha256Digest digest = OpenSslVerify::Sha256(parsed->signedPart);
    bool signedByKey = false;
    for (const PublicKey& key : keys)
        signedByKey = signedByKey || OpenSslVerify::SignatureValid(key, digest, parsed->signature);
    if (!signedByKey) throw CPublishError(where + "the statement is signed by none of the keys");
    if (parsed->statement.manifestSize != text.size() ||
        parsed->statement.manifestDigest != OpenSslVerify::Sha256(text))
        throw CPublishError(where + "the statement names another manifest");
}

// Extracts entry 0 of the manifest package as the clients do and reads it.
CIniDocument ReadManifest(const fs::path& tree, const fs::path& scratch,
                          const std::vector<PublicKey>& keys) {
    const fs::path package = tree / (std::string(CTreeVerifier::manifestName) + ".zip");
    if (!fs::is_regular_file(package)) throw CPublishError(package.string() + " is missing");
    CPackageReader reader(package);
    if (reader.FirstName() != CTreeVerifier::manifestName)
        throw CPublishError(package.string() + ": entry 0 is not " + CTreeVerifier::manifestName);
    const std::string text = reader.ReadFirst(kManifestLimit);
    if (!keys.empty()) VerifyStatement(reader, text, keys);
    reader.ExtractFirst(scratch);
    return CIniDocument::Parse(text, package.string());
}

void VerifyPackage(const CIniDocument::Section& section, const fs::path& tree,
                   const fs::path& scratch, bool signedTree) {
    const std::string where = "[" + section.name + "]";
    const auto fail = [&](const std::string& why) { throw CPublishError(where + ": " + why); };
    if (auto problem = PublishRules::NameProblem(section.name)) fail("name holds " + *problem);
    if (auto problem = PublishRules::TargetDirProblem(KeyText(section, "TargetDir")))
        fail("TargetDir holds " + *problem);

    const fs::path package = tree / CTreeVerifier::packageFolder / (section.name + ".zip");
    if (!fs::is_regular_file(package)) fail("package " + package.string() + " is missing");
    CPackageReader reader(package);
    if (signedTree && reader.Count() != 1)
        fail(package.string() + " holds more than one entry, which signed clients refuse");
    if (reader.FirstName() != section.name)
        fail(package.string() + ": entry 0 is \"" + reader.FirstName() +
             "\", which the clients would not install as " + section.name);
    const CZipFileHeader& first = reader.First();
    if (std::to_string(first.uncompressedSize) != KeyText(section, "FileSize"))
        fail("FileSize " + KeyText(section, "FileSize") + " but the package holds " +
             std::to_string(first.uncompressedSize) + " bytes");
    const WallClock stamp = WallClock::FromDos(first.modDate, first.modTime);
    if (ParseManifestDate(Widen(KeyText(section, "ModifyDate"))) != stamp.Minute())
        fail("ModifyDate " + KeyText(section, "ModifyDate") + " but the package's file time is " +
             stamp.ModifyDateText() + "; the clients would fetch it at every start");

    reader.ExtractFirst(scratch);
    const fs::path extracted = scratch / section.name;
    if (fs::file_size(extracted) != first.uncompressedSize)
        fail("the extracted file's size differs from the package's record");
    if (signedTree && ToHex(OpenSslVerify::Sha256OfFile(extracted)) != KeyText(section, "Sha256"))
        fail("Sha256 " + KeyText(section, "Sha256") + " differs from the package's file");
    fs::remove(extracted);
}

bool SameBytes(const fs::path& a, const fs::path& b) {
    return fs::file_size(a) == fs::file_size(b) &&
           OpenSslVerify::Sha256OfFile(a) == OpenSslVerify::Sha256OfFile(b);
}

// A section's Object names a file of objects/ with its package's very bytes, as a signed client
// would fetch it in place of the package.
void VerifyObject(const CIniDocument::Section& section, const fs::path& tree) {
    const CIniDocument::Key* object = section.Find("Object");
    if (!object) return;
    const std::string where = "[" + section.name + "]: Object " + object->value;
    if (!ManifestPaths::IsObjectName(Widen(object->value)))
        throw CPublishError(where + " is not objects/<SHA-256 of the package>.zip");
    const fs::path file = tree / object->value;
    if (!fs::is_regular_file(fs::symlink_status(file))) throw CPublishError(where + " is missing");
    const fs::path package = tree / CTreeVerifier::packageFolder / (section.name + ".zip");
    if (!SameBytes(file, package))
        throw CPublishError(where + " differs from " + package.string());
}

// Every file of objects/ is named by its own SHA-256, so no name ever serves other bytes.
void CheckObjectNames(const fs::path& tree) {
    const fs::path folder = tree / CTreeVerifier::objectFolder;
    if (!fs::exists(folder)) return;
    for (const fs::directory_entry& item : fs::directory_iterator(folder)) {
        const std::string file = item.path().filename().string();
        const size_t dot = file.find('.');
        const std::string extension = dot == std::string::npos ? "" : file.substr(dot);
        const bool shaped = fs::is_regular_file(fs::symlink_status(item.path())) &&
                            dot == 64 && (extension == ".zip" || extension == ".pdelta");
        if (!shaped || ToHex(OpenSslVerify::Sha256OfFile(item.path())) != file.substr(0, dot))
            throw CPublishError(item.path().string() + " is not named by its SHA-256");
    }
}

void CheckNoStrayPackages(const fs::path& tree, const std::set<std::string>& names) {
    const fs::path folder = tree / CTreeVerifier::packageFolder;
    if (!fs::exists(folder)) return;
    for (const fs::directory_entry& item : fs::directory_iterator(folder)) {
        const std::string file = item.path().filename().string();
        const bool known = file.size() > 4 && file.ends_with(".zip") &&
                           names.count(file.substr(0, file.size() - 4)) != 0;
        if (!known)
            throw CPublishError(item.path().string() + " belongs to no section of the manifest");
    }
}

}  // namespace

size_t CTreeVerifier::Verify(const fs::path& tree, const std::vector<PublicKey>& keys) {
    if (!fs::is_directory(tree)) throw CPublishError(tree.string() + " is not a folder");
    const CScratchFolder scratch;
    const CIniDocument manifest = ReadManifest(tree, scratch.Path(), keys);
    std::set<std::string> names;
    for (const CIniDocument::Section& section : manifest.Sections()) {
        for (const std::string& earlier : names)
            if (EqualsIgnoringCase(earlier, section.name))
                throw CPublishError("[" + section.name + "] is in the manifest twice");
        VerifyPackage(section, tree, scratch.Path(), !keys.empty());
        VerifyObject(section, tree);
        names.insert(section.name);
    }
    CheckNoStrayPackages(tree, names);
    CheckObjectNames(tree);
    return names.size();
}
