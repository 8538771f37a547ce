#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/publish/CClientClock.h"
#include "tools/publish/CPackageReader.h"
#include "tools/publish/CPublishDescription.h"
#include "tools/publish/CReleaseSigner.h"
#include "tools/publish/DeltaObjects.h"
#include "tools/publish/WallClock.h"
#include "update/ManifestDate.h"

// Builds the update tree of a release: RudovuZado.ini.zip at the top and one package per
// file in RudovuZado/. Everything is checked before anything is written; the tree is built
// beside the output folder, verified with the clients' reader and then swapped in. A signed
// tree also holds each package as objects/<its SHA-256>.zip, named by its section's Object,
// and keeps the objects the last tree's manifest named, for clients still fetching them.
class CPublisher {
public:
    struct Summary {
        size_t files = 0;
        size_t written = 0;  // packages made anew; the others were kept from the last tree
        std::vector<std::string> warnings;  // entries no client installs, objects not kept
    };

    // With a signer, each section carries its file's Sha256 and the manifest package a signed
    // statement as its second entry.
    explicit CPublisher(CClientClock clock, std::optional<CReleaseSigner> signer = std::nullopt)
        : clock(std::move(clock)), signer(std::move(signer)) {}

    // Strict: an entry no client installs (its Type is not "Common") refuses the build.
    void SetStrict(bool value) { strict = value; }
    // Earlier signed trees to make deltas from (signed builds only).
    void SetDeltaFrom(std::vector<std::filesystem::path> trees) { deltaFrom = std::move(trees); }

    Summary Build(const std::filesystem::path& release, const std::filesystem::path& description,
                  const std::filesystem::path& output);

private:
    struct Planned {
        const PublishEntry* entry = nullptr;
        WallClock stamp;
        std::filesystem::path kept;  // the last tree's package when its file is unchanged
        std::string sha256;          // hexadecimal, when signing
        std::vector<DeltaObjects::Key> deltas;
    };
    // What the last tree published: its folder, its manifest and the ModifyDate of each
    // section.
    struct Previous {
        std::filesystem::path tree;
        std::string manifest;
        WallClock manifestStamp;
        std::map<std::string, ManifestDate> dates;
        uint64_t serial = 0;  // of its statement; 0 when it was not signed
        std::optional<ReleaseRollout> rollout;  // of its statement
        std::vector<std::string> objects;  // the Object values of its manifest
    };

    // With a signer the last tree counts only when its statement verifies with the signer's
    // key, names the signer's product, covers its manifest and has a serial not too far ahead;
    // otherwise it is taken as no last tree, with a warning (strict: refused).
    Previous ReadPrevious(const std::filesystem::path& output,
                          std::vector<std::string>& warnings) const;
    std::optional<std::string> PreviousProblem(CPackageReader& reader,
                                               const std::string& manifest) const;
    // A package kept from the last tree keeps the date the last manifest gave it, never its
    // entry's own time, which nothing signs.
    Planned Plan(const PublishEntry& entry, const Previous& previous,
                 std::vector<std::string>& warnings) const;
    // objects[i] is plan[i]'s Object value, or empty.
    static std::string ManifestText(const std::vector<Planned>& plan,
                                    const std::vector<std::string>& objects);
    static WallClock ManifestStamp(const std::vector<Planned>& plan, const std::string& text,
                                   const Previous& previous);
    // Warnings for the last tree's objects that could not be kept, and for files that got no
    // delta.
    std::vector<std::string> Stage(std::vector<Planned>& plan, const Previous& previous,
                                   const std::filesystem::path& staged) const;
    static std::vector<std::string> KeepPreviousObjects(const Previous& previous,
                                                        const std::filesystem::path& staged);
    void MakeDeltas(std::vector<Planned>& plan, const std::filesystem::path& staged,
                    std::vector<std::string>& warnings) const;

    // Warnings for the entries no client installs; with strict, the first refuses the build.
    // Build adds one for an unsigned tree and one for a tree signed with the test key, which
    // with strict refuse the build too.
    std::vector<std::string> TypeWarnings(const std::vector<PublishEntry>& entries,
                                          const std::filesystem::path& description) const;
    // Adds text to warnings; with strict, refuses the build with it instead.
    void Warn(std::vector<std::string>& warnings, const std::string& text) const;

    CClientClock clock;
    bool strict = false;
    std::optional<CReleaseSigner> signer;
    std::vector<std::filesystem::path> deltaFrom;
};
