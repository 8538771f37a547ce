// Writes <own folder>\<own name without .exe>.record.txt (UTF-8) and exits:
//   path=<own full path>
//   cwd=<current directory>
//   pid=<process id>
//   consoleprocesses=<processes attached to its console>
//   settings:
//   <PelkoWebLoader.ini of its own folder, byte for byte, as it found it; nothing when absent>
// The record appears whole: it is written beside its place and moved there.
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

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
    const std::wstring self = OwnPath();
    const std::wstring folder = self.substr(0, self.find_last_of(L'\\') + 1);
    std::wstring name = self.substr(folder.size());
    name = name.substr(0, name.size() - 4);  // ".exe"

    DWORD consoleProcesses[16] = {};
    const DWORD attached = GetConsoleProcessList(consoleProcesses, 16);

    const std::wstring record = folder + name + L".record.txt";
    const std::wstring partial = record + L".partial";
    {
        std::ofstream out(partial.c_str(), std::ios::binary | std::ios::trunc);
        out << "path=" << Utf8(self) << "\n"
            << "cwd=" << Utf8(CurrentDirectory()) << "\n"
            << "pid=" << GetCurrentProcessId() << "\n"
            << "consoleprocesses=" << attached << "\n"
            << "settings:\n"
            << FileBytes(folder + L"PelkoWebLoader.ini");
        if (!out.flush()) return 1;
    }
    return MoveFileExW(partial.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
