#include "download/DownloadTestSupport.h"

#include <shellapi.h>

#include "framework/win32/DebugOutput.h"

namespace downloadtest {

DebugLines::DebugLines() {
    DebugOutput::SetObserver([this](const std::wstring& line) {
        std::lock_guard<std::mutex> guard(lock);
        lines.push_back(line);
    });
}

DebugLines::~DebugLines() { DebugOutput::SetObserver(nullptr); }

std::vector<std::wstring> DebugLines::All() const {
    std::lock_guard<std::mutex> guard(lock);
    return lines;
}

bool DebugLines::Has(const std::wstring& line) const {
    for (const auto& l : All())
        if (l == line) return true;
    return false;
}

int DebugLines::CountStartingWith(const std::wstring& prefix) const {
    int count = 0;
    for (const auto& l : All()) count += l.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

TempFolder::TempFolder() {
    static std::atomic<int> serial{0};
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path = std::wstring(temp) + L"pelko-download-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++serial);
    CreateDirectoryW(path.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    std::wstring from = path + L'\0';  // double-terminated list of one
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    SHFileOperationW(&operation);
}

std::string ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i / 1000 + i) % 26);
    return bytes;
}

void RecordingCallback::OnProgress(const wchar_t* name, int filePercent, int totalPercent,
                                   int index, int count, const wchar_t* doneText,
                                   const wchar_t* totalText) {
    std::lock_guard<std::mutex> guard(lock);
    progress.push_back({name, filePercent, totalPercent, index, count, doneText, totalText});
    if (stopAfterProgress >= 0 && static_cast<int>(progress.size()) >= stopAfterProgress)
        stopped = true;
}

void RecordingCallback::Stop() {
    Note(L"Stop");
    stopped = true;
}

std::vector<std::wstring> RecordingCallback::Events() const {
    std::lock_guard<std::mutex> guard(lock);
    return events;
}

std::vector<RecordingCallback::Progress> RecordingCallback::ProgressReports() const {
    std::lock_guard<std::mutex> guard(lock);
    return progress;
}

void RecordingCallback::Note(const std::wstring& event) {
    std::lock_guard<std::mutex> guard(lock);
    events.push_back(event);
}

}  // namespace downloadtest
