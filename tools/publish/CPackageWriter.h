#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tools/publish/WallClock.h"

// Writes a package: one deflated entry, stamped with a DOS time in the clients' wall clock,
// made on "Windows NTFS" with the archive attribute only. Nothing else varies from run to
// run (no extra fields, no Unix times), so the same input gives the same bytes.
class CPackageWriter {
public:
    // Throws CPublishError; a half-written archive is removed.
    static void WriteFile(const std::filesystem::path& archive, const std::string& entryName,
                          const std::filesystem::path& source, const WallClock& stamp);
    static void WriteText(const std::filesystem::path& archive, const std::string& entryName,
                          const std::string& text, const WallClock& stamp);
    // Several texts, entry 0 first: name and bytes of each.
    using NamedText = std::pair<std::string, std::string>;
    static void WriteTexts(const std::filesystem::path& archive,
                           const std::vector<NamedText>& entries, const WallClock& stamp);
};
