#include "tools/publish/CPublishDescription.h"

#include <sys/stat.h>

#include <fstream>
#include <optional>
#include <sstream>

#include "tools/publish/CIniDocument.h"
#include "tools/publish/CPublishError.h"
#include "tools/publish/PublishRules.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CPublishError("cannot read the description " + path.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class SectionReader {
public:
    SectionReader(const CIniDocument::Section& section, const fs::path& origin)
        : section(section), origin(origin.string()) {}

    [[noreturn]] void Fail(const std::string& why) const {
        throw CPublishError(origin + ":" + std::to_string(section.line) + ": [" + section.name +
                            "]: " + why);
    }

    std::string Text(const char* key) const {
        const CIniDocument::Key* found = section.Find(key);
        if (!found) return {};
        if (auto problem = PublishRules::ValueProblem(found->value))
            Fail(std::string(key) + " is " + *problem);
        return found->value;
    }

    template <class T, class Parse>
    T Value(const char* key, T fallback, Parse parse, const char* expected) const {
        const CIniDocument::Key* found = section.Find(key);
        if (!found) return fallback;
        const std::optional<T> value = parse(found->value);
        if (!value) Fail(std::string(key) + " must be " + expected);
        return *value;
    }

    void CheckKeys() const {
        static const char* const kKnown[] = {"FolderType", "TargetDir", "Register",
                                             "CheckDate",  "Type",      "Source"};
        for (const CIniDocument::Key& key : section.keys) {
            if (EqualsIgnoringCase(key.name, "ModifyDate") ||
                EqualsIgnoringCase(key.name, "FileSize"))
                Fail(key.name + " is computed by pelko-publish; remove it");
            bool known = false;
            for (const char* name : kKnown) known = known || EqualsIgnoringCase(key.name, name);
            if (!known) Fail("unknown key " + key.name);
        }
    }

private:
    const CIniDocument::Section& section;
    std::string origin;
};

// The source relative to the release folder: Source, or TargetDir ("\\" read as "/") and name.
fs::path RelativeSource(const PublishEntry& entry, const CIniDocument::Key* sourceKey,
                        const SectionReader& reader) {
    if (sourceKey) {
        if (auto problem = PublishRules::SourceProblem(sourceKey->value))
            reader.Fail("Source is " + *problem);
        return sourceKey->value;
    }
    std::string folder = entry.targetDir;
    for (char& c : folder)
        if (c == '\\') c = '/';
    return fs::path(folder) / entry.name;
}

// Every part from the release folder down is looked at with lstat: a symbolic link could
// lead anywhere, so none is followed.
void ReadSource(PublishEntry& entry, const fs::path& release, const fs::path& relative,
                const SectionReader& reader) {
    entry.source = release;
    struct stat facts {};
    for (const fs::path& part : relative) {
        if (part.empty() || part == ".") continue;
        entry.source /= part;
        if (lstat(entry.source.c_str(), &facts) != 0)
            reader.Fail("source file " + entry.source.string() + " is missing");
        if (S_ISLNK(facts.st_mode))
            reader.Fail(entry.source.string() + " is a symbolic link, which is not followed");
    }
    if (!S_ISREG(facts.st_mode)) reader.Fail(entry.source.string() + " is not a file");
    entry.size = static_cast<uint64_t>(facts.st_size);
    entry.modified = static_cast<int64_t>(facts.st_mtim.tv_sec);
    if (!PublishRules::FitsPlainArchive(entry.size, entry.name.size()))
        reader.Fail(entry.source.string() +
                    " is too large for a package the clients can read (no Zip64)");
}

PublishEntry ReadEntry(const CIniDocument::Section& section, const fs::path& description,
                       const fs::path& release) {
    const SectionReader reader(section, description);
    if (auto problem = PublishRules::NameProblem(section.name))
        reader.Fail("the section name holds " + *problem);
    reader.CheckKeys();

    PublishEntry entry;
    entry.name = section.name;
    entry.folderType =
        reader.Value("FolderType", 0, PublishRules::ParseFolderType, "a whole number");
    entry.targetDir = reader.Text("TargetDir");
    if (auto problem = PublishRules::TargetDirProblem(entry.targetDir))
        reader.Fail("TargetDir holds " + *problem);
    entry.registerDll = reader.Value("Register", false, PublishRules::ParseTruth, "0 or 1");
    entry.checkDate = reader.Value("CheckDate", false, PublishRules::ParseTruth, "0 or 1");
    entry.type = reader.Text("Type");
    ReadSource(entry, release, RelativeSource(entry, section.Find("Source"), reader), reader);
    return entry;
}

}  // namespace

std::vector<PublishEntry> CPublishDescription::Read(const fs::path& description,
                                                    const fs::path& release) {
    const CIniDocument document = CIniDocument::Parse(ReadText(description), description.string());
    std::vector<PublishEntry> entries;
    for (const CIniDocument::Section& section : document.Sections()) {
        for (const PublishEntry& earlier : entries)
            if (EqualsIgnoringCase(earlier.name, section.name))
                throw CPublishError(description.string() + ":" + std::to_string(section.line) +
                                    ": [" + section.name + "] is given twice (the clients " +
                                    "compare section names without regard to case)");
        entries.push_back(ReadEntry(section, description, release));
    }
    return entries;
}
