#include "PublishTestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "tools/publish/CIniDocument.h"
#include "tools/publish/CPackageReader.h"
#include "tools/publish/CPackageWriter.h"
#include "tools/publish/CScopedZone.h"

namespace fs = std::filesystem;

namespace PublishTest {

int64_t ZoneTime(const std::string& zone, const std::string& wallClock) {
    std::tm fields{};
    std::istringstream in(wallClock);
    char dash, colon;
    in >> fields.tm_year >> dash >> fields.tm_mon >> dash >> fields.tm_mday >> fields.tm_hour >>
        colon >> fields.tm_min >> colon >> fields.tm_sec;
    fields.tm_year -= 1900;
    fields.tm_mon -= 1;
    fields.tm_isdst = -1;
    const CScopedZone scope(zone);
    return static_cast<int64_t>(mktime(&fields));
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string CaseName(const std::string& what) {
    std::string name = what;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

size_t LineCount(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

ToolRun RunTool(const std::vector<std::string>& args, const fs::path& logs) {
    std::string command = std::string("'") + PELKO_PUBLISH + "'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    const fs::path out = logs / "tool.out", err = logs / "tool.err";
    command += " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    ToolRun run;
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadAll(out);
    run.err = ReadAll(err);
    fs::remove(out);
    fs::remove(err);
    return run;
}

Workspace::Workspace(const std::string& name) : root(fs::path(PELKO_PUBLISH_SCRATCH) / name) {
    fs::remove_all(root);
    fs::create_directories(Release());
    fs::create_directories(Output().parent_path());
}

Workspace::~Workspace() {
    std::error_code error;
    fs::remove_all(root, error);
}

void Workspace::WriteFile(const std::string& path, const std::string& bytes, int64_t modified) {
    const fs::path file = Release() / path;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    const struct timespec times[2] = {{0, UTIME_NOW}, {static_cast<time_t>(modified), 0}};
    utimensat(AT_FDCWD, file.c_str(), times, 0);
}

void Workspace::Describe(const std::string& ini) {
    std::ofstream(Description(), std::ios::binary | std::ios::trunc) << ini;
}

ToolRun Workspace::Build(const std::vector<std::string>& options) const {
    std::vector<std::string> args{"build"};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {Release().string(), Description().string(), Output().string()});
    return RunTool(args, root);
}

ToolRun Workspace::Verify() const { return RunTool({"verify", Output().string()}, root); }

std::map<std::string, std::string> Workspace::Tree() const {
    std::map<std::string, std::string> files;
    if (!fs::exists(Output())) return files;
    for (const auto& item : fs::recursive_directory_iterator(Output()))
        if (item.is_regular_file())
            files[fs::relative(item.path(), Output()).generic_string()] = ReadAll(item.path());
    return files;
}

std::vector<std::string> Workspace::OutputSiblings() const {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(Output().parent_path()))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Workspace::Manifest() const {
    CPackageReader reader(Output() / "RudovuZado.ini.zip");
    return reader.ReadFirst(1u << 20);
}

std::string Workspace::ManifestKey(const std::string& section, const std::string& key) const {
    const CIniDocument manifest = CIniDocument::Parse(Manifest(), "manifest");
    for (const CIniDocument::Section& s : manifest.Sections())
        if (s.name == section) {
            const CIniDocument::Key* found = s.Find(key);
            return found ? found->value : "(no key)";
        }
    return "(no section)";
}

void RewriteManifest(const fs::path& tree, const std::string& from, const std::string& to) {
    const WallClock stamp{2026, 5, 2, 17, 30, 0};
    CPackageReader reader(tree / "RudovuZado.ini.zip");
    std::string text = reader.ReadFirst(1u << 20);
    text.replace(text.find(from), from.size(), to);
    CPackageWriter::WriteText(tree / "RudovuZado.ini.zip", "RudovuZado.ini", text, stamp);
}

}  // namespace PublishTest
