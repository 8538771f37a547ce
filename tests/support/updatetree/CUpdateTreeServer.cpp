#include "support/updatetree/CUpdateTreeServer.h"

#include <windows.h>

#include <algorithm>

namespace updatetree {

namespace {

using httptest::ReceivedRequest;
using httptest::ScriptedResponse;

// An open file read from start to end while its body is sent.
class FileReader {
public:
    explicit FileReader(const std::wstring& path)
        : handle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~FileReader() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    bool IsOpen() const { return handle != INVALID_HANDLE_VALUE; }
    uint64_t Size() const {
        LARGE_INTEGER size{};
        GetFileSizeEx(handle, &size);
        return static_cast<uint64_t>(size.QuadPart);
    }
    // A file that shrank meanwhile leaves the rest of the piece as zeros.
    void Read(char* buffer, size_t size) {
        DWORD read = 0;
        if (!ReadFile(handle, buffer, static_cast<DWORD>(size), &read, nullptr)) read = 0;
        std::fill(buffer + read, buffer + size, '\0');
    }

private:
    HANDLE handle;
};

// The path of a request below the prefix; nothing when it is not below it.
bool BelowPrefix(const std::string& target, const std::string& prefix, std::string& path) {
    std::string full = target;
    const size_t scheme = full.find("://");  // proxy form: keep only the path
    if (scheme != std::string::npos) {
        const size_t slash = full.find('/', scheme + 3);
        full = slash == std::string::npos ? "/" : full.substr(slash);
    }
    if (full.compare(0, prefix.size(), prefix) != 0) return false;
    path = full.substr(prefix.size());
    return true;
}

}  // namespace

CUpdateTreeServer::CUpdateTreeServer(std::wstring folder, std::string urlPrefix,
                                     std::chrono::milliseconds lifetime)
    : root(std::move(folder)), prefix(std::move(urlPrefix)), server(lifetime) {
    if (!root.empty() && root.back() != L'\\') root += L'\\';
    server.SetHandler([this](const ReceivedRequest& request) { return Answer(request); });
}

std::wstring CUpdateTreeServer::Url() const { return server.Url(prefix); }

void CUpdateTreeServer::AnswerStatus(const std::string& path, int status) {
    std::lock_guard<std::mutex> guard(lock);
    statuses[path] = status;
}

void CUpdateTreeServer::AddGenerated(const std::string& path, uint64_t size) {
    std::lock_guard<std::mutex> guard(lock);
    generated[path] = size;
}

void CUpdateTreeServer::SetPace(size_t bytes, int ms) {
    std::lock_guard<std::mutex> guard(lock);
    chunkBytes = std::max<size_t>(bytes, 1);
    delayMs = std::max(ms, 0);
}

std::vector<std::string> CUpdateTreeServer::Requests() const {
    std::vector<std::string> paths;
    for (const ReceivedRequest& request : server.Requests()) {
        std::string path;
        if (request.method == "GET" && BelowPrefix(request.target, prefix, path))
            paths.push_back(path);
    }
    return paths;
}

ScriptedResponse CUpdateTreeServer::Answer(const ReceivedRequest& request) {
    std::string path;
    if (!BelowPrefix(request.target, prefix, path))
        return ScriptedResponse::Status(404, "Not Found");
    std::lock_guard<std::mutex> guard(lock);
    ScriptedResponse response;
    if (const auto found = statuses.find(path); found != statuses.end()) {
        response = ScriptedResponse::Status(found->second, "Scripted");
    } else if (const auto size = generated.find(path); size != generated.end()) {
        response.streamLength = size->second;
        response.streamBody = [sent = bodyBytesSent](uint64_t offset, char* buffer, size_t n) {
            for (size_t i = 0; i < n; ++i) buffer[i] = GeneratedByte(offset + i);
            *sent += n;
        };
    } else {
        response = FileAnswer(path);
    }
    response.chunkBytes = chunkBytes;
    response.chunkDelayMs = delayMs;
    return response;
}

ScriptedResponse CUpdateTreeServer::FileAnswer(const std::string& path) const {
    // Only plain paths below the root: no climbing out, no other separator.
    if (path.find("..") != std::string::npos || path.find('\\') != std::string::npos)
        return ScriptedResponse::Status(404, "Not Found");
    std::string relative = path.substr(std::min(path.find_first_not_of('/'), path.size()));
    std::replace(relative.begin(), relative.end(), '/', '\\');
    auto file = std::make_shared<FileReader>(root + std::wstring(relative.begin(), relative.end()));
    if (relative.empty() || !file->IsOpen()) return ScriptedResponse::Status(404, "Not Found");
    ScriptedResponse response;
    response.streamLength = file->Size();
    response.streamBody = [file, sent = bodyBytesSent](uint64_t, char* buffer, size_t n) {
        file->Read(buffer, n);
        *sent += n;
    };
    return response;
}

}  // namespace updatetree
