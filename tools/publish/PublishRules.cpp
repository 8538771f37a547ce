#include "tools/publish/PublishRules.h"

#include <zlib.h>

#include <array>
#include <charconv>

#include "tools/publish/CIniDocument.h"

namespace PublishRules {

namespace {

constexpr std::string_view kForbiddenInNames = "<>:\"|?*";

bool IsPrintableAscii(std::string_view text) {
    for (char c : text)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

// Names the platform takes as devices, with or without an extension.
bool IsDeviceName(std::string_view name) {
    const std::string_view stem = name.substr(0, name.find('.'));
    static constexpr std::array<std::string_view, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
    for (std::string_view device : kPlain)
        if (EqualsIgnoringCase(stem, device)) return true;
    if (stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9')
        return EqualsIgnoringCase(stem.substr(0, 3), "COM") ||
               EqualsIgnoringCase(stem.substr(0, 3), "LPT");
    return false;
}

// A part the platform reads as a parent folder (dots and blanks only, more than one dot) or
// changes (trailing dots and blanks are dropped by the platform).
std::optional<std::string> PartProblem(std::string_view part) {
    if (part.find_first_not_of(". ") == std::string_view::npos &&
        part.find("..") != std::string_view::npos)
        return std::string("a \"..\" part");
    if (part == ".") return std::string("a \".\" part");
    if (!part.empty() && (part.back() == '.' || part.back() == ' '))
        return std::string("a part ending in a dot or blank, which the clients would drop");
    return std::nullopt;
}

}  // namespace

std::optional<std::string> NameProblem(std::string_view name) {
    if (name.empty()) return std::string("an empty file name");
    if (!IsPrintableAscii(name))
        return std::string("not plain ASCII; the clients decode names in their own code page");
    if (name.find_first_of("\\/") != std::string_view::npos)
        return std::string("a folder separator; put folders in TargetDir");
    if (name.find_first_of(kForbiddenInNames) != std::string_view::npos)
        return std::string("a character file names cannot hold (<>:\"|?*)");
    if (name.find_first_of("#%") != std::string_view::npos)
        return std::string("\"#\" or \"%\", which would change the package URL");
    if (name.find_first_of("[]") != std::string_view::npos)
        return std::string("\"[\" or \"]\", which a manifest section name cannot hold");
    if (auto problem = PartProblem(name)) return problem;
    if (IsDeviceName(name)) return std::string("a device name");
    return std::nullopt;
}

std::optional<std::string> TargetDirProblem(std::string_view dir) {
    if (!IsPrintableAscii(dir))
        return std::string("not plain ASCII; the clients decode it in their own code page");
    if (dir.find(':') != std::string_view::npos) return std::string("a drive");
    if (!dir.empty() && (dir.front() == '\\' || dir.front() == '/'))
        return std::string("not relative to the base folder");
    if (dir.find_first_of(kForbiddenInNames) != std::string_view::npos)
        return std::string("a character folder names cannot hold (<>:\"|?*)");
    // One trailing separator is allowed, as the clients allow it.
    if (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.remove_suffix(1);
    size_t start = 0;
    while (!dir.empty() && start <= dir.size()) {
        const size_t end = std::min(dir.find_first_of("\\/", start), dir.size());
        const std::string_view part = dir.substr(start, end - start);
        if (part.empty()) return std::string("an empty part (a doubled separator)");
        if (auto problem = PartProblem(part)) return problem;
        if (IsDeviceName(part)) return std::string("a device name");
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<std::string> SourceProblem(std::string_view source) {
    if (source.empty()) return std::string("empty");
    if (source.front() == '/')
        return std::string("absolute; give a path relative to the release folder");
    size_t start = 0;
    while (start <= source.size()) {
        const size_t end = std::min(source.find_first_of("\\/", start), source.size());
        if (source.substr(start, end - start) == "..")
            return std::string("a \"..\" part, which leaves the release folder");
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<std::string> TypeProblem(std::string_view type) {
    if (type == "Common") return std::nullopt;
    if (type.empty()) return std::string("has no Type; the clients install only Type=Common");
    return "has Type=" + std::string(type) + "; the clients install only Type=Common";
}

std::optional<std::string> ValueProblem(std::string_view value) {
    if (!IsPrintableAscii(value))
        return std::string("not plain ASCII; the clients read the manifest in their own code page");
    return std::nullopt;
}

bool FitsPlainArchive(uint64_t size, size_t nameLength) {
    constexpr uint64_t kLimit = 0xFFFFFFFFu;  // a field of all ones means "see Zip64"
    if (size >= kLimit) return false;
    const uint64_t deflated = compressBound(static_cast<uLong>(size));
    const uint64_t records = 30 + 46 + 22 + 2 * static_cast<uint64_t>(nameLength);
    return deflated + records < kLimit;
}

std::optional<int> ParseFolderType(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

std::optional<bool> ParseTruth(std::string_view text) {
    if (text == "1" || EqualsIgnoringCase(text, "true") || EqualsIgnoringCase(text, "yes"))
        return true;
    if (text == "0" || EqualsIgnoringCase(text, "false") || EqualsIgnoringCase(text, "no"))
        return false;
    return std::nullopt;
}

}  // namespace PublishRules
