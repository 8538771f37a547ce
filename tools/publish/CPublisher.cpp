#include "tools/publish/CPublisher.h"

#include <algorithm>
#include <ctime>

#include "tools/publish/CCreatedFolders.h"
#include "tools/publish/CDeltaBuilder.h"
#include "tools/publish/CIniDocument.h"
#include "tools/publish/CPackageReader.h"
#include "tools/publish/CPackageWriter.h"
#include "tools/publish/CPublishError.h"
#include "tools/publish/CScratchFolder.h"
#include "tools/publish/CTreeVerifier.h"
#include "tools/publish/PublishRules.h"
#include "tools/publish/OpenSslVerify.h"
#include "tools/publish/ServedTime.h"
#include "tools/publish/TreeSwap.h"
#include "update/ManifestPaths.h"
#include "verify/HexText.h"
#include "verify/ReleaseRules.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kManifestLimit = 16u << 20;

fs::path ManifestPackage(const fs::path& tree) {
    return tree / (std::string(CTreeVerifier::manifestName) + ".zip");
}

fs::path PackageOf(const fs::path& tree, const std::string& name) {
    return tree / CTreeVerifier::packageFolder / (name + ".zip");
}

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// An output folder is replaced as a whole, so it must hold an update tree and nothing else.
bool IsUpdateTree(const fs::path& output) {
    bool hasManifest = false;
    for (const fs::directory_entry& item : fs::directory_iterator(output)) {
        const std::string name = item.path().filename().string();
        if ((name == CTreeVerifier::packageFolder || name == CTreeVerifier::objectFolder) &&
            item.is_directory())
            continue;
        if (item.path() != ManifestPackage(output)) return false;
        hasManifest = true;
    }
    return hasManifest;
}

// "objects/<SHA-256 of the file>.zip", the Object value of a package.
std::string ObjectOf(const fs::path& package) {
    return std::string(CTreeVerifier::objectFolder) + "/" +
           ToHex(OpenSslVerify::Sha256OfFile(package)) + ".zip";
}

void CopyPackage(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::create_hard_link(from, to, error);
    if (error) fs::copy_file(from, to);
}

// The time of the last tree's package when it holds exactly the entry's file; nothing when
// it differs, is missing or cannot be read (a damaged package is then made anew).
std::optional<WallClock> Unchanged(const PublishEntry& entry, const fs::path& package) {
    if (!fs::is_regular_file(package)) return std::nullopt;
    try {
        CPackageReader reader(package);
        if (reader.FirstName() != entry.name || !reader.FirstEquals(entry.source))
            return std::nullopt;
        return WallClock::FromDos(reader.First().modDate, reader.First().modTime);
    } catch (const CPublishError&) {
        return std::nullopt;
    }
}

}  // namespace

std::optional<std::string> CPublisher::PreviousProblem(CPackageReader& reader,
                                                       const std::string& manifest) const {
    if (reader.Count() < 2) return std::string("it is not signed");
    const auto parsed = ParseStatement(reader.ReadEntry(1, ReleaseStatement::longestText));
    if (!parsed) return std::string("its release statement cannot be read");
    const ReleaseStatement& statement = parsed->statement;
    if (!OpenSslVerify::SignatureValid(signer->Public(),
                                       OpenSslVerify::Sha256(parsed->signedPart),
                                       parsed->signature))
        return std::string("its statement is not signed with this key");
    if (statement.product != signer->Product())
        return "its statement is for another product than " + signer->Product();
    if (statement.manifestSize != manifest.size() ||
        statement.manifestDigest != OpenSslVerify::Sha256(manifest))
        return std::string("its manifest is not the one its statement signs");
    if (ReleaseRules::SerialTooFarAhead(statement.serial, std::time(nullptr)))
        return "its serial " + std::to_string(statement.serial) +
               " lies more than 10 years ahead of the clock";
    return std::nullopt;
}

CPublisher::Previous CPublisher::ReadPrevious(const fs::path& output,
                                              std::vector<std::string>& warnings) const {
    Previous previous;
    if (!fs::exists(output)) return previous;
    if (!fs::is_directory(output)) throw CPublishError(output.string() + " is not a folder");
    if (fs::is_empty(output)) return previous;
    if (!IsUpdateTree(output))
        throw CPublishError(output.string() +
                            " holds other files than an update tree; it is not replaced");
    CPackageReader reader(ManifestPackage(output));
    previous.manifest = reader.ReadFirst(kManifestLimit);
    previous.manifestStamp = WallClock::FromDos(reader.First().modDate, reader.First().modTime);
    if (signer) {
        if (const auto problem = PreviousProblem(reader, previous.manifest)) {
            const std::string text =
                output.string() + ": the last tree is not taken: " + *problem;
            if (strict) throw CPublishError(text + " (--strict)");
            // Nothing of it is signed again: no serial, date, package or object.
            warnings.push_back(text + "; the release is built as a first one");
            return Previous{};
        }
    }
    const CIniDocument manifest = CIniDocument::Parse(previous.manifest, reader.Path().string());
    for (const CIniDocument::Section& section : manifest.Sections()) {
        const CIniDocument::Key* date = section.Find("ModifyDate");
        previous.dates[section.name] = ParseManifestDate(Widen(date ? date->value : ""));
        if (const CIniDocument::Key* object = section.Find("Object"))
            previous.objects.push_back(object->value);
    }
    // The serial goes on growing from the last signed tree's.
    if (reader.Count() > 1) {
        const auto statement = ParseStatement(reader.ReadEntry(1, ReleaseStatement::longestText));
        if (statement) {
            previous.serial = statement->statement.serial;
            previous.rollout = statement->statement.rollout;
        }
    }
    previous.tree = output;
    return previous;
}

CPublisher::Planned CPublisher::Plan(const PublishEntry& entry, const Previous& previous,
                                     std::vector<std::string>& warnings) const {
    const std::optional<WallClock> stamp = clock.At(entry.modified);
    if (!stamp)
        throw CPublishError(entry.source.string() +
                            ": modified after 2107, which a package cannot record");
    Planned planned{&entry, *stamp, {}, {}, {}};
    if (signer) planned.sha256 = ToHex(OpenSslVerify::Sha256OfFile(entry.source));
    const auto last = previous.dates.find(entry.name);
    if (last == previous.dates.end()) return planned;

    if (std::optional<WallClock> kept = Unchanged(entry, PackageOf(previous.tree, entry.name))) {
        // Same bytes: keep the package and its date, so no client fetches it again. The date
        // is the last manifest's; a package whose entry says otherwise is made anew with it.
        if (kept->Minute() == last->second) {
            planned.stamp = *kept;
            planned.kept = PackageOf(previous.tree, entry.name);
        } else {
            planned.stamp = StartOfMinute(last->second);
            const std::string text = PackageOf(previous.tree, entry.name).string() +
                                     ": its entry's time differs from the last manifest's "
                                     "ModifyDate";
            if (strict) throw CPublishError(text + " (--strict)");
            warnings.push_back(text + "; made anew with that date");
        }
        return planned;
    }
    // Changed bytes must carry a later minute than the clients' copies, or they would keep
    // those.
    if (!MinuteBefore(last->second, planned.stamp.Minute()))
        planned.stamp = StartOfMinute(last->second).NextMinute();
    return planned;
}

std::string CPublisher::ManifestText(const std::vector<Planned>& plan,
                                     const std::vector<std::string>& objects) {
    std::string text;
    for (size_t i = 0; i < plan.size(); ++i) {
        const Planned& p = plan[i];
        const PublishEntry& e = *p.entry;
        text += "[" + e.name + "]\r\n";
        text += "FolderType=" + std::to_string(e.folderType) + "\r\n";
        text += "TargetDir=" + e.targetDir + "\r\n";
        text += "ModifyDate=" + p.stamp.ModifyDateText() + "\r\n";
        text += "FileSize=" + std::to_string(e.size) + "\r\n";
        if (!p.sha256.empty()) text += "Sha256=" + p.sha256 + "\r\n";
        if (!objects[i].empty()) text += "Object=" + objects[i] + "\r\n";
        for (size_t d = 0; d < p.deltas.size(); ++d)
            text += DeltaObjects::KeyName(static_cast<int>(d + 1)) + "=" +
                    DeltaObjects::KeyText(p.deltas[d]) + "\r\n";
        text += std::string("Register=") + (e.registerDll ? "1" : "0") + "\r\n";
        text += std::string("CheckDate=") + (e.checkDate ? "1" : "0") + "\r\n";
        text += "Type=" + e.type + "\r\n\r\n";
    }
    return text;
}

WallClock CPublisher::ManifestStamp(const std::vector<Planned>& plan, const std::string& text,
                                    const Previous& previous) {
    WallClock newest = WallClock::DosEarliest();
    for (const Planned& p : plan) newest = std::max(newest, p.stamp);
    if (previous.tree.empty()) return newest;
    if (text == previous.manifest) return previous.manifestStamp;
    // A new manifest never carries the last one's time: profile readers that cache a file by
    // its name and last-write time (Wine's does) would go on reading the old one.
    return std::min(std::max(newest, previous.manifestStamp.NextDosStep()), WallClock::DosLatest());
}

void CPublisher::MakeDeltas(std::vector<Planned>& plan, const fs::path& staged,
                            std::vector<std::string>& warnings) const {
    if (deltaFrom.empty()) return;
    CDeltaBuilder builder(deltaFrom, {signer->Public()});
    for (Planned& p : plan) {
        // An unchanged file is fetched by no client, so it needs no delta.
        if (!p.kept.empty()) continue;
        p.deltas = builder.Make(p.entry->name, p.entry->source, p.sha256,
                                fs::file_size(PackageOf(staged, p.entry->name)), staged, warnings);
    }
}

std::vector<std::string> CPublisher::Stage(std::vector<Planned>& plan, const Previous& previous,
                                           const fs::path& staged) const {
    fs::create_directory(staged / CTreeVerifier::packageFolder);
    // Objects are named by the signed manifest only: clients trust no other Object.
    std::vector<std::string> objects(plan.size());
    std::vector<std::string> warnings;
    if (signer) {
        fs::create_directory(staged / CTreeVerifier::objectFolder);
        warnings = KeepPreviousObjects(previous, staged);
    }
    for (size_t i = 0; i < plan.size(); ++i) {
        const Planned& p = plan[i];
        const fs::path package = PackageOf(staged, p.entry->name);
        if (p.kept.empty())
            CPackageWriter::WriteFile(package, p.entry->name, p.entry->source, p.stamp);
        else
            CopyPackage(p.kept, package);
        if (!signer) continue;
        objects[i] = ObjectOf(package);
        if (!fs::exists(staged / objects[i])) CopyPackage(package, staged / objects[i]);
    }
    MakeDeltas(plan, staged, warnings);
    const std::string text = ManifestText(plan, objects);
    std::vector<CPackageWriter::NamedText> entries{{CTreeVerifier::manifestName, text}};
    if (signer)
        entries.emplace_back(
            ReleaseStatement::entryName,
            signer->Statement(text, previous.serial, std::time(nullptr),
                              text == previous.manifest ? previous.rollout : std::nullopt));
    CPackageWriter::WriteTexts(ManifestPackage(staged), entries,
                               ManifestStamp(plan, text, previous));
    if (!previous.tree.empty())
        ServedTime::FollowPrevious(ManifestPackage(staged), ManifestPackage(previous.tree));
    return warnings;
}

std::vector<std::string> CPublisher::KeepPreviousObjects(const Previous& previous,
                                                         const fs::path& staged) {
    std::vector<std::string> warnings;
    for (const std::string& object : previous.objects) {
        const fs::path kept = previous.tree / object;
        // Only an object of the one shape, holding the bytes its name says, is carried over.
        const bool sound = ManifestPaths::IsObjectName(Widen(object)) &&
                           fs::is_regular_file(fs::symlink_status(kept)) && ObjectOf(kept) == object;
        if (sound) {
            if (!fs::exists(staged / object)) CopyPackage(kept, staged / object);
            continue;
        }
        warnings.push_back(previous.tree.string() + ": " + object +
                           " of the last manifest is missing or damaged; not kept");
    }
    return warnings;
}

CPublisher::Summary CPublisher::Build(const fs::path& release, const fs::path& description,
                                      const fs::path& outputGiven) {
    const fs::path output = fs::weakly_canonical(fs::absolute(outputGiven));
    const std::vector<PublishEntry> entries = CPublishDescription::Read(description, release);
    std::vector<std::string> warnings = TypeWarnings(entries, description);
    // A component built with update keys refuses an unsigned tree without a word to its user.
    if (!signer)
        Warn(warnings,
             "the tree is unsigned: a component built with update keys refuses it (give "
             "--sign-key)");
    // Anyone can sign with the committed test key: only builds for the tests trust it.
    if (signer && signer->Public() == FromHex<64>(PELKO_TEST_PUBLIC_KEY))
        Warn(warnings,
             "the tree is signed with the test key of keys/test-only/, which anyone can sign "
             "with: only test builds take it (give your own key to --sign-key)");
    const Previous previous = ReadPrevious(output, warnings);
    std::vector<Planned> plan;
    for (const PublishEntry& entry : entries) plan.push_back(Plan(entry, previous, warnings));

    // Parents are made as users expect of an output folder, and removed again on a refusal.
    CCreatedFolders parents(output.parent_path());
    const CScratchFolder staged(output, "publish");
    // What staging found (an object of the last tree not kept, a delta not made) is refused
    // with --strict like every other warning; the scratch folder goes with the refusal.
    for (const std::string& warning : Stage(plan, previous, staged.Path())) Warn(warnings, warning);
    std::vector<PublicKey> keys;
    if (signer) keys.push_back(signer->Public());
    CTreeVerifier::Verify(staged.Path(), keys);
    DeltaObjects::Verify(staged.Path(), deltaFrom);
    // mkdtemp makes the folder private; the tree is for a web server to read.
    fs::permissions(staged.Path(), fs::perms::owner_all | fs::perms::group_read |
                                       fs::perms::group_exec | fs::perms::others_read |
                                       fs::perms::others_exec);
    TreeSwap::Replace(staged.Path(), output);
    parents.Keep();

    Summary summary{plan.size(), 0, std::move(warnings)};
    for (const Planned& p : plan) summary.written += p.kept.empty() ? 1 : 0;
    return summary;
}

std::vector<std::string> CPublisher::TypeWarnings(const std::vector<PublishEntry>& entries,
                                                  const fs::path& description) const {
    std::vector<std::string> warnings;
    for (const PublishEntry& entry : entries) {
        const auto problem = PublishRules::TypeProblem(entry.type);
        if (!problem) continue;
        Warn(warnings, description.string() + ": [" + entry.name + "] " + *problem);
    }
    return warnings;
}

void CPublisher::Warn(std::vector<std::string>& warnings, const std::string& text) const {
    if (strict) throw CPublishError(text + " (--strict)");
    warnings.push_back(text);
}
