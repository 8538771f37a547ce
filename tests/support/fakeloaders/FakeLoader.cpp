// Records how it was started in <own folder>\<own name without .exe>.record.txt (see
// LoaderRecord.h) and exits. The record appears whole: it is written beside its place and moved
// there.
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "support/fakeloaders/LoaderRecord.h"

namespace {

std::wstring OwnPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring CurrentDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, path);
    return path;
}

std::string FileBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main() {
    LoaderRecord record;
    record.path = OwnPath();
    record.cwd = CurrentDirectory();
    record.commandLine = GetCommandLineW();
    record.pid = GetCurrentProcessId();
    DWORD consoleProcesses[16] = {};
    record.consoleProcesses = GetConsoleProcessList(consoleProcesses, 16);
    const std::wstring folder = record.path.substr(0, record.path.find_last_of(L'\\') + 1);
    record.settings = FileBytes(folder + L"PelkoWebLoader.ini");

    const std::wstring name = record.path.substr(folder.size());
    const std::wstring target = folder + name.substr(0, name.size() - 4) + L".record.txt";
    const std::wstring partial = target + L".partial";
    {
        std::ofstream out(partial.c_str(), std::ios::binary | std::ios::trunc);
        out << record.Format();
        if (!out.flush()) return 1;
    }
    return MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
