#include "support/updatetree/CUpdateTreeServer.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <stdexcept>

namespace updatetree {

namespace {

constexpr int kPollMs = 20;
constexpr size_t kMaxHeadBytes = 16 * 1024;
constexpr size_t kMaxChunkBytes = 1 << 20;

// Waits up to kPollMs for the socket to become readable (or writable).
bool Ready(SOCKET s, bool forWrite) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval timeout{0, kPollMs * 1000};
    const int n = forWrite ? select(0, nullptr, &set, nullptr, &timeout)
                           : select(0, &set, nullptr, nullptr, &timeout);
    return n > 0;
}

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        default:
            return status >= 500 ? "Server Error" : "Status";
    }
}

// The file below root that a path names; nothing for a path that climbs out of it.
bool FileOf(const std::wstring& root, const std::string& path, std::wstring& file) {
    if (path.find("..") != std::string::npos || path.find('\\') != std::string::npos) return false;
    std::string relative =
        path.substr(path.find_first_not_of('/') == std::string::npos ? path.size()
                                                                     : path.find_first_not_of('/'));
    std::replace(relative.begin(), relative.end(), '/', '\\');
    file = root + std::wstring(relative.begin(), relative.end());
    return true;
}

}  // namespace

CUpdateTreeServer::CUpdateTreeServer(std::wstring folder, std::string urlPrefix,
                                     std::chrono::milliseconds lifetime)
    : root(std::move(folder)),
      prefix(std::move(urlPrefix)),
      deadline(std::chrono::steady_clock::now() + lifetime) {
    if (!root.empty() && root.back() != L'\\') root += L'\\';
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
    listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    if (listener == INVALID_SOCKET ||
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener, 16) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener != INVALID_SOCKET) closesocket(listener);
        WSACleanup();
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    acceptor = std::thread([this] { AcceptLoop(); });
}

CUpdateTreeServer::~CUpdateTreeServer() {
    Stop();
    WSACleanup();
}

std::wstring CUpdateTreeServer::Url() const {
    return L"http://127.0.0.1:" + std::to_wstring(port) +
           std::wstring(prefix.begin(), prefix.end());
}

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
    chunkBytes = std::clamp<size_t>(bytes, 1, kMaxChunkBytes);
    delayMs = std::max(ms, 0);
}

std::vector<std::string> CUpdateTreeServer::Requests() const {
    std::lock_guard<std::mutex> guard(lock);
    return received;
}

void CUpdateTreeServer::Stop() {
    stopping = true;
    if (acceptor.joinable()) acceptor.join();
    std::vector<std::thread> finished;
    {
        std::lock_guard<std::mutex> guard(lock);
        finished.swap(workers);
    }
    for (auto& worker : finished) worker.join();
    if (listener != INVALID_SOCKET) {
        closesocket(listener);
        listener = INVALID_SOCKET;
    }
}

bool CUpdateTreeServer::Running() const {
    return !stopping && std::chrono::steady_clock::now() < deadline;
}

void CUpdateTreeServer::AcceptLoop() {
    while (Running()) {
        if (!Ready(listener, false)) continue;
        const SOCKET client = accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        std::lock_guard<std::mutex> guard(lock);
        workers.emplace_back([this, client] { Serve(client); });
    }
}

void CUpdateTreeServer::Serve(SOCKET client) {
    std::string pending;
    Request request;
    while (ReadRequest(client, pending, request) && Answer(client, request)) {
    }
    closesocket(client);
}

bool CUpdateTreeServer::ReadRequest(SOCKET client, std::string& pending, Request& request) {
    size_t headEnd;
    while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos) {
        if (!Running() || pending.size() > kMaxHeadBytes) return false;
        if (!Ready(client, false)) continue;
        char buffer[4096];
        const int n = recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0) return false;
        pending.append(buffer, static_cast<size_t>(n));
    }
    const std::string line = pending.substr(0, pending.find("\r\n"));
    pending.erase(0, headEnd + 4);  // the engine's requests carry no body
    const size_t a = line.find(' ');
    const size_t b = line.rfind(' ');
    if (a == std::string::npos || b <= a) return false;
    request.method = line.substr(0, a);
    request.path = line.substr(a + 1, b - a - 1);
    // A proxy-form target keeps only its path.
    const size_t scheme = request.path.find("://");
    if (scheme != std::string::npos) {
        const size_t slash = request.path.find('/', scheme + 3);
        request.path = slash == std::string::npos ? "/" : request.path.substr(slash);
    }
    return true;
}

bool CUpdateTreeServer::Answer(SOCKET client, const Request& request) {
    const bool head = request.method == "HEAD";
    if (!head && request.method != "GET") return SendHead(client, 405, 0);
    if (request.path.compare(0, prefix.size(), prefix) != 0) return SendHead(client, 404, 0);
    const std::string path = request.path.substr(prefix.size());
    int status = 0;
    std::optional<uint64_t> generatedSize;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!head) received.push_back(path);
        if (const auto found = statuses.find(path); found != statuses.end()) status = found->second;
        if (const auto found = generated.find(path); found != generated.end())
            generatedSize = found->second;
    }
    if (status != 0) return SendHead(client, status, 0);
    if (generatedSize)
        return SendHead(client, 200, *generatedSize) &&
               (head || SendGenerated(client, *generatedSize));
    std::wstring file;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!FileOf(root, path, file) ||
        !GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return SendHead(client, 404, 0);
    const uint64_t length = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return SendHead(client, 200, length) && (head || SendFile(client, file, length));
}

bool CUpdateTreeServer::SendHead(SOCKET client, int status, uint64_t length) {
    const std::string head = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) +
                             "\r\nContent-Length: " + std::to_string(length) +
                             "\r\nContent-Type: application/octet-stream\r\n\r\n";
    return SendAll(client, head.data(), head.size());
}

bool CUpdateTreeServer::SendFile(SOCKET client, const std::wstring& path, uint64_t length) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const auto buffer = std::make_unique<char[]>(kMaxChunkBytes);
    bool ok = true;
    for (uint64_t sent = 0; ok && sent < length;) {
        DWORD read = 0;
        const auto want = static_cast<DWORD>(std::min<uint64_t>(kMaxChunkBytes, length - sent));
        ok = ReadFile(file, buffer.get(), want, &read, nullptr) && read > 0 &&
             SendBody(client, buffer.get(), read);
        sent += read;
    }
    CloseHandle(file);
    return ok;
}

bool CUpdateTreeServer::SendGenerated(SOCKET client, uint64_t length) {
    const auto buffer = std::make_unique<char[]>(kMaxChunkBytes);
    for (uint64_t sent = 0; sent < length;) {
        const auto piece = static_cast<size_t>(std::min<uint64_t>(kMaxChunkBytes, length - sent));
        for (size_t i = 0; i < piece; ++i) buffer[i] = GeneratedByte(sent + i);
        if (!SendBody(client, buffer.get(), piece)) return false;
        sent += piece;
    }
    return true;
}

bool CUpdateTreeServer::SendBody(SOCKET client, const char* data, size_t length) {
    size_t chunk;
    int pause;
    {
        std::lock_guard<std::mutex> guard(lock);
        chunk = chunkBytes;
        pause = delayMs;
    }
    while (length > 0) {
        const size_t piece = std::min(chunk, length);
        if (!SendAll(client, data, piece)) return false;
        bodyBytesSent += piece;
        data += piece;
        length -= piece;
        for (int waited = 0; waited < pause; waited += kPollMs) {
            if (!Running()) return false;
            Sleep(static_cast<DWORD>(std::min(kPollMs, pause - waited)));
        }
    }
    return true;
}

bool CUpdateTreeServer::SendAll(SOCKET client, const char* data, size_t length) {
    while (length > 0) {
        if (!Running()) return false;
        if (!Ready(client, true)) continue;
        const int n = send(client, data, static_cast<int>(std::min<size_t>(length, 1 << 20)), 0);
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace updatetree
