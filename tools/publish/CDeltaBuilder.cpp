#include "tools/publish/CDeltaBuilder.h"

#include <fstream>
#include <iterator>
#include <set>

#include "tools/publish/CIniDocument.h"
#include "tools/publish/CPackageReader.h"
#include "tools/publish/CPublishError.h"
#include "tools/publish/CTreeVerifier.h"
#include "tools/publish/OpenSslVerify.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kManifestLimit = 16u << 20;

std::vector<uint8_t> ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) throw CPublishError(file.string() + " cannot be written");
}

}  // namespace

CDeltaBuilder::CDeltaBuilder(const std::vector<fs::path>& trees, const std::vector<PublicKey>& keys,
                             DeltaLimits limits)
    : limits(limits) {
    std::set<std::pair<std::string, std::string>> seen;
    for (const fs::path& tree : trees) {
        try {
            CTreeVerifier::Verify(tree, keys);
        } catch (const CPublishError& error) {
            throw CPublishError("--delta-from " + tree.string() + ": " + error.what());
        }
        CPackageReader reader(tree / (std::string(CTreeVerifier::manifestName) + ".zip"));
        const CIniDocument manifest =
            CIniDocument::Parse(reader.ReadFirst(kManifestLimit), reader.Path().string());
        for (const CIniDocument::Section& section : manifest.Sections()) {
            const CIniDocument::Key* sha = section.Find("Sha256");
            if (sha && seen.emplace(section.name, sha->value).second)
                bases.emplace(section.name, Base{tree, sha->value});
        }
    }
}

std::vector<DeltaObjects::Key> CDeltaBuilder::Make(const std::string& name, const fs::path& source,
                                                   const std::string& sha256, uint64_t packageSize,
                                                   const fs::path& tree,
                                                   std::vector<std::string>& warnings) {
    std::vector<DeltaObjects::Key> made;
    const auto [first, last] = bases.equal_range(name);
    if (first == last) return made;
    const std::vector<uint8_t> result = ReadBytes(source);
    for (auto it = first; it != last && made.size() < DeltaObjects::mostPerEntry; ++it) {
        const Base& base = it->second;
        if (base.sha256 == sha256) continue;
        CPackageReader reader(base.tree / CTreeVerifier::packageFolder / (name + ".zip"));
        fs::remove_all(scratch.Path() / name);
        reader.ExtractFirst(scratch.Path());
        const std::vector<uint8_t> baseBytes = ReadBytes(scratch.Path() / name);
        fs::remove_all(scratch.Path() / name);
        const DeltaEncoding encoding = EncodeDelta(baseBytes, result, limits);
        if (encoding.outcome != DeltaOutcome::made) {
            warnings.push_back("[" + name + "] no delta from " + base.tree.string() + ": " +
                               (encoding.outcome == DeltaOutcome::tooSlow
                                    ? "it took longer than the time limit"
                                    : "it would take more memory than the limit"));
            continue;
        }
        // A delta must save most of the package, or the full package is the better fetch.
        if (encoding.delta.size() * 2 > packageSize) continue;
        DeltaObjects::Key key{
            base.sha256, encoding.delta.size(),
            ToHex(OpenSslVerify::Sha256(std::string_view(
                reinterpret_cast<const char*>(encoding.delta.data()), encoding.delta.size())))};
        fs::create_directories(tree / DeltaObjects::folder);
        WriteBytes(DeltaObjects::ObjectPath(tree, key.sha256), encoding.delta);
        made.push_back(key);
    }
    return made;
}
