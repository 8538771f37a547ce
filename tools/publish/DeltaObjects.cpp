#include "tools/publish/DeltaObjects.h"

#include <fstream>
#include <map>
#include <set>

#include "delta/DeltaFile.h"
#include "delta/DeltaHeader.h"
#include "tools/publish/CIniDocument.h"
#include "tools/publish/CPackageReader.h"
#include "tools/publish/CPublishError.h"
#include "tools/publish/CScratchFolder.h"
#include "tools/publish/CTreeVerifier.h"
#include "tools/publish/OpenSslVerify.h"

namespace fs = std::filesystem;

namespace DeltaObjects {

namespace {

constexpr uint32_t kManifestLimit = 16u << 20;

bool IsSha256Text(const std::string& text) {
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

CIniDocument ReadManifest(const fs::path& tree) {
    CPackageReader reader(tree / (std::string(CTreeVerifier::manifestName) + ".zip"));
    return CIniDocument::Parse(reader.ReadFirst(kManifestLimit), reader.Path().string());
}

std::string KeyValue(const CIniDocument::Section& section, const std::string& name) {
    const CIniDocument::Key* key = section.Find(name);
    return key ? key->value : std::string();
}

// Where each base file can be had: its SHA-256 -> (tree, entry name).
std::map<std::string, std::pair<fs::path, std::string>> Bases(const std::vector<fs::path>& trees) {
    std::map<std::string, std::pair<fs::path, std::string>> bases;
    for (const fs::path& tree : trees) {
        const CIniDocument manifest = ReadManifest(tree);
        for (const CIniDocument::Section& section : manifest.Sections()) {
            const std::string sha = KeyValue(section, "Sha256");
            if (!sha.empty()) bases.emplace(sha, std::make_pair(tree, section.name));
        }
    }
    return bases;
}

uint64_t ResultSizeOf(const fs::path& object) {
    uint8_t bytes[DeltaHeader::size] = {};
    std::ifstream(object, std::ios::binary).read(reinterpret_cast<char*>(bytes), sizeof bytes);
    DeltaHeader header;
    if (ReadDeltaHeader(bytes, fs::file_size(object), header) != DeltaError::none)
        throw CPublishError(object.string() + ": not a delta");
    return header.resultSize;
}

}  // namespace

std::string KeyName(int index) { return "Delta" + std::to_string(index); }

std::string KeyText(const Key& key) {
    return key.baseSha256 + ":" + std::to_string(key.size) + ":" + key.sha256;
}

std::optional<Key> ParseKey(const std::string& text) {
    const size_t first = text.find(':');
    const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos) return std::nullopt;
    Key key{text.substr(0, first), 0, text.substr(second + 1)};
    const std::string size = text.substr(first + 1, second - first - 1);
    if (!IsSha256Text(key.baseSha256) || !IsSha256Text(key.sha256) || size.empty() ||
        size.size() > 19 || size.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    key.size = std::stoull(size);
    return key;
}

fs::path ObjectPath(const fs::path& tree, const std::string& sha256) {
    return tree / folder / (sha256 + ".pdelta");
}

size_t Verify(const fs::path& tree, const std::vector<fs::path>& baseTrees) {
    const auto bases = Bases(baseTrees);
    const CScratchFolder scratch;
    std::set<fs::path> listed;
    size_t applied = 0;
    const CIniDocument manifest = ReadManifest(tree);
    for (const CIniDocument::Section& section : manifest.Sections()) {
        for (int i = 1; i <= mostPerEntry + 1; ++i) {
            const std::string name = KeyName(i);
            const std::string where = "[" + section.name + "] " + name + ": ";
            if (!section.Find(name)) continue;
            if (i > mostPerEntry) throw CPublishError(where + "more deltas than clients read");
            const std::optional<Key> key = ParseKey(KeyValue(section, name));
            if (!key) throw CPublishError(where + "not <base sha256>:<size>:<sha256>");
            const fs::path object = ObjectPath(tree, key->sha256);
            if (!fs::is_regular_file(object)) throw CPublishError(where + "object is missing");
            if (fs::file_size(object) != key->size ||
                ToHex(OpenSslVerify::Sha256OfFile(object)) != key->sha256)
                throw CPublishError(where + "object has another size or SHA-256");
            if (std::to_string(ResultSizeOf(object)) != KeyValue(section, "FileSize"))
                throw CPublishError(where + "makes a file of another size than FileSize");
            listed.insert(object);
            const auto base = bases.find(key->baseSha256);
            if (base == bases.end()) continue;
            CPackageReader reader(base->second.first / CTreeVerifier::packageFolder /
                                  (base->second.second + ".zip"));
            const fs::path baseFile = scratch.Path() / "base";
            const fs::path result = scratch.Path() / "result";
            fs::remove(baseFile);
            fs::remove(result);
            reader.ExtractFirst(scratch.Path());
            fs::rename(scratch.Path() / base->second.second, baseFile);
            const DeltaError error =
                ApplyDeltaFile(baseFile.wstring(), object.wstring(), result.wstring());
            if (error != DeltaError::none) throw CPublishError(where + DeltaErrorText(error));
            if (ToHex(OpenSslVerify::Sha256OfFile(result)) != KeyValue(section, "Sha256"))
                throw CPublishError(where + "the result's SHA-256 differs from Sha256");
            ++applied;
        }
    }
    if (fs::is_directory(tree / folder))
        for (const fs::directory_entry& item : fs::directory_iterator(tree / folder))
            if (item.path().extension() == ".pdelta" && listed.count(item.path()) == 0)
                throw CPublishError(item.path().string() + " belongs to no entry's deltas");
    return applied;
}

}  // namespace DeltaObjects
