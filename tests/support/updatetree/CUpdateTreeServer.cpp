#include "support/updatetree/CUpdateTreeServer.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

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
    // Its last write as an HTTP date, as a file server sends it in Last-Modified.
    std::string LastModified() const {
        FILETIME written{};
        SYSTEMTIME time{};
        if (!GetFileTime(handle, nullptr, nullptr, &written) || !FileTimeToSystemTime(&written, &time))
            return "Fri, 01 Mar 2024 10:00:00 GMT";
        static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
        static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        char text[40];
        snprintf(text, sizeof(text), "%s, %02u %s %04u %02u:%02u:%02u GMT", kDays[time.wDayOfWeek],
                 time.wDay, kMonths[time.wMonth - 1], time.wYear, time.wHour, time.wMinute,
                 time.wSecond);
        return text;
    }
    // A file that shrank meanwhile leaves the rest of the piece as zeros.
    void Read(uint64_t offset, char* buffer, size_t size) {
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(offset);
        SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
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

// The rest of a streamed body from the offset a "Range: bytes=N-" header asks for.
void ApplyRange(const ReceivedRequest& request, ScriptedResponse& response) {
    const auto range = request.Header("Range");
    if (!range || range->rfind("bytes=", 0) != 0 || !response.streamBody) return;
    const uint64_t from = std::stoull(range->substr(6));
    const uint64_t size = response.streamLength;
    if (from >= size) return;
    response.status = 206;
    response.reason = "Partial Content";
    response.Header("Content-Range", "bytes " + std::to_string(from) + "-" +
                                         std::to_string(size - 1) + "/" + std::to_string(size));
    response.streamLength = size - from;
    response.streamBody = [whole = response.streamBody, from](uint64_t offset, char* buffer,
                                                              size_t n) {
        whole(from + offset, buffer, n);
    };
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

void CUpdateTreeServer::HoldAfter(size_t bodyBytes) {
    std::lock_guard<std::mutex> guard(lock);
    holdAfter = bodyBytes;
}

void CUpdateTreeServer::HoldPackagesUntilTogether(size_t together,
                                                  std::chrono::milliseconds bound) {
    std::lock_guard<std::mutex> guard(holdLock);
    holdTogether = together;
    holdBound = bound;
}

size_t CUpdateTreeServer::MostPackagesHeldTogether() const {
    std::lock_guard<std::mutex> guard(holdLock);
    return mostHeld;
}

void CUpdateTreeServer::HoldPackage(const std::string& path) {
    if (path.rfind("/RudovuZado/", 0) != 0 && path.rfind("/objects/", 0) != 0) return;
    std::unique_lock<std::mutex> guard(holdLock);
    if (holdTogether == 0 || holdEnded) return;
    if (!holdStarted) {
        holdStarted = true;
        holdUntil = std::chrono::steady_clock::now() + holdBound;
    }
    mostHeld = std::max(mostHeld, ++held);
    if (held >= holdTogether) holdEnded = true;
    holdWake.notify_all();
    holdWake.wait_until(guard, holdUntil, [this] { return holdEnded; });
    holdEnded = true;
    --held;
    holdWake.notify_all();
}

void CUpdateTreeServer::HonourRanges(bool honour) {
    std::lock_guard<std::mutex> guard(lock);
    honourRanges = honour;
}

void CUpdateTreeServer::SendLastModified(bool send) {
    std::lock_guard<std::mutex> guard(lock);
    sendLastModified = send;
}

std::vector<std::string> CUpdateTreeServer::Ranges() const {
    std::vector<std::string> ranges;
    for (const ReceivedRequest& request : server.Requests())
        if (request.method == "GET") ranges.push_back(request.Header("Range").value_or(""));
    return ranges;
}

std::vector<std::pair<std::string, ReceivedRequest>> CUpdateTreeServer::GetsBelowPrefix() const {
    std::vector<std::pair<std::string, ReceivedRequest>> gets;
    for (const ReceivedRequest& request : server.Requests()) {
        std::string path;
        if (request.method == "GET" && BelowPrefix(request.target, prefix, path))
            gets.emplace_back(path, request);
    }
    return gets;
}

std::vector<std::string> CUpdateTreeServer::Requests() const {
    std::vector<std::string> paths;
    for (const auto& get : GetsBelowPrefix()) paths.push_back(get.first);
    return paths;
}

std::vector<std::chrono::steady_clock::time_point> CUpdateTreeServer::RequestTimes() const {
    std::vector<std::chrono::steady_clock::time_point> times;
    for (const auto& get : GetsBelowPrefix()) times.push_back(get.second.arrived);
    return times;
}

std::vector<int> CUpdateTreeServer::RequestConnections() const {
    std::vector<int> connections;
    for (const auto& get : GetsBelowPrefix()) connections.push_back(get.second.connection);
    return connections;
}

ScriptedResponse CUpdateTreeServer::Answer(const ReceivedRequest& request) {
    std::string path;
    if (!BelowPrefix(request.target, prefix, path))
        return ScriptedResponse::Status(404, "Not Found");
    if (request.method == "GET") HoldPackage(path);
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
    if (honourRanges) ApplyRange(request, response);
    response.chunkBytes = chunkBytes;
    response.chunkDelayMs = delayMs;
    if (holdAfter != SIZE_MAX) {
        response.dropAfterBodyBytes = holdAfter;
        response.holdAfterBodyBytes = true;
    }
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
    if (sendLastModified) response.Header("Last-Modified", file->LastModified());
    response.streamLength = file->Size();
    response.streamBody = [file, sent = bodyBytesSent](uint64_t offset, char* buffer, size_t n) {
        file->Read(offset, buffer, n);
        *sent += n;
    };
    return response;
}

}  // namespace updatetree
