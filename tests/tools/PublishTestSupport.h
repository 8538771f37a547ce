#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "update/ManifestDate.h"

namespace PublishTest {

struct ToolRun {
    int code = -1;
    std::string out;
    std::string err;
};

// Seconds since 1970 (UTC) of a wall-clock time "YYYY-MM-DD hh:mm:ss" in zone.
int64_t ZoneTime(const std::string& zone, const std::string& wallClock);

// A release folder, a description and an output folder below the build tree, for one test.
class Workspace {
public:
    explicit Workspace(const std::string& name);
    ~Workspace();

    const std::filesystem::path& Root() const { return root; }
    std::filesystem::path Release() const { return root / "release"; }
    std::filesystem::path Description() const { return root / "publish.ini"; }
    std::filesystem::path Output() const { return root / "www" / "PelkoPatch"; }

    // Writes a file of the release (path relative to it) with the given modification time.
    void WriteFile(const std::string& path, const std::string& bytes, int64_t modified);
    void Describe(const std::string& ini);

    // Runs the real program.
    ToolRun Build(const std::vector<std::string>& options = {}) const;
    ToolRun Verify() const;

    // Every file below the output folder (relative path, "/" as separator) and its bytes.
    std::map<std::string, std::string> Tree() const;
    // Everything in the output folder's parent, so a left-over staging folder shows.
    std::vector<std::string> OutputSiblings() const;
    // Manifest text and one section's key, read with the component's reader.
    std::string Manifest() const;
    std::string ManifestKey(const std::string& section, const std::string& key) const;

private:
    std::filesystem::path root;
};

std::string ReadAll(const std::filesystem::path& path);
ToolRun RunTool(const std::vector<std::string>& args, const std::filesystem::path& logs);
// A table case's description as a test name: letters and digits, "_" for the rest.
std::string CaseName(const std::string& what);
// Lines of one-line output: the count of "\n".
size_t LineCount(const std::string& text);
// Replaces the first `from` in a published tree's manifest by `to`, as a tamperer would.
void RewriteManifest(const std::filesystem::path& tree, const std::string& from,
                     const std::string& to);

}  // namespace PublishTest
