#include "support/httpserver/CLoopbackHttpServer.h"

#include <cstdio>
#include <cstring>

#include <ws2tcpip.h>

#include <algorithm>
#include <stdexcept>

namespace httptest {

namespace {

constexpr int kPollMs = 20;
constexpr int kResetGraceMs = 1000;
constexpr size_t kMaxHeaderBytes = 64 * 1024;
constexpr size_t kMaxStreamChunk = 1 << 20;

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

uint16_t BoundPort(SOCKET s) {
    sockaddr_in address{};
    int length = sizeof(address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

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

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Path of a request target; an absolute URL (proxy form) loses its scheme and authority.
std::string PathOf(const std::string& target) {
    const size_t scheme = target.find("://");
    if (scheme == std::string::npos) return target;
    const size_t slash = target.find('/', scheme + 3);
    return slash == std::string::npos ? "/" : target.substr(slash);
}

void ParseHead(const std::string& head, ReceivedRequest& request) {
    size_t lineEnd = head.find("\r\n");
    const std::string first = head.substr(0, lineEnd);
    const size_t a = first.find(' ');
    const size_t b = first.rfind(' ');
    request.method = first.substr(0, a);
    if (a != std::string::npos && b > a) {
        request.target = first.substr(a + 1, b - a - 1);
        request.version = first.substr(b + 1);
    }
    while (lineEnd != std::string::npos && lineEnd + 2 < head.size()) {
        const size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string line = head.substr(start, lineEnd - start);
        const size_t colon = line.find(':');
        if (colon != std::string::npos)
            request.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    }
}

// Applies "Range: bytes=N-" to a response that honours ranges.
void ApplyRange(const ReceivedRequest& request, ScriptedResponse& response) {
    const auto range = request.Header("Range");
    if (!response.honourRange || !range || range->rfind("bytes=", 0) != 0) return;
    const uint64_t from = std::stoull(range->substr(6));
    if (from > response.body.size()) return;
    const size_t size = response.body.size();
    response.status = 206;
    response.reason = "Partial Content";
    response.Header("Content-Range", "bytes " + std::to_string(from) + "-" +
                                         std::to_string(size == 0 ? 0 : size - 1) + "/" +
                                         std::to_string(size));
    response.body.erase(0, static_cast<size_t>(from));
}

}  // namespace

CLoopbackHttpServer::CLoopbackHttpServer(std::chrono::milliseconds lifetime)
    : deadline(std::chrono::steady_clock::now() + lifetime) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
    listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = Loopback(0);
    if (listener == INVALID_SOCKET ||
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener, 16) != 0) {
        if (listener != INVALID_SOCKET) closesocket(listener);
        WSACleanup();
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port = BoundPort(listener);
    acceptor = std::thread([this] { AcceptLoop(); });
}

CLoopbackHttpServer::~CLoopbackHttpServer() {
    Stop();
    WSACleanup();
}

std::wstring CLoopbackHttpServer::Url(const std::string& path) const {
    return L"http://" + HostPort() + std::wstring(path.begin(), path.end());
}

std::wstring CLoopbackHttpServer::HostPort() const { return L"127.0.0.1:" + std::to_wstring(port); }

void CLoopbackHttpServer::SetHandler(Handler newHandler) {
    std::lock_guard<std::mutex> guard(lock);
    handler = std::move(newHandler);
}

void CLoopbackHttpServer::Enqueue(ScriptedResponse response) {
    std::lock_guard<std::mutex> guard(lock);
    queue.push_back(std::move(response));
}

void CLoopbackHttpServer::Route(const std::string& path, ScriptedResponse response) {
    std::lock_guard<std::mutex> guard(lock);
    routes[path] = std::move(response);
}

std::vector<ReceivedRequest> CLoopbackHttpServer::Requests() const {
    std::lock_guard<std::mutex> guard(lock);
    return received;
}

void CLoopbackHttpServer::Stop() {
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

uint16_t CLoopbackHttpServer::UnusedPort() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = Loopback(0);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    const uint16_t unused = BoundPort(s);
    closesocket(s);
    WSACleanup();
    return unused;
}

bool CLoopbackHttpServer::Running() const {
    return !stopping && std::chrono::steady_clock::now() < deadline;
}

bool CLoopbackHttpServer::Pause(int ms) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (!Running()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 10)));
    }
    return Running();
}

void CLoopbackHttpServer::AcceptLoop() {
    while (Running()) {
        if (!Ready(listener, false)) continue;
        SOCKET client = accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        // Head and body go out in two writes: without this the second waits for the client's
        // delayed acknowledgement, some 40 ms per request.
        const BOOL noDelay = TRUE;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                   sizeof(noDelay));
        const int connection = ++connections;
        std::lock_guard<std::mutex> guard(lock);
        workers.emplace_back([this, client, connection] { Serve(client, connection); });
    }
}

void CLoopbackHttpServer::Serve(SOCKET client, int connection) {
    std::string pending;
    for (;;) {
        ReceivedRequest request;
        if (!ReadRequest(client, pending, request)) break;
        request.arrived = std::chrono::steady_clock::now();
        request.connection = connection;
        ScriptedResponse response = Choose(request);
        {
            std::lock_guard<std::mutex> guard(lock);
            received.push_back(request);
        }
        if (!Answer(client, request, std::move(response))) break;
    }
    closesocket(client);
}

bool CLoopbackHttpServer::ReadRequest(SOCKET client, std::string& pending,
                                      ReceivedRequest& request) {
    size_t headEnd;
    while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos) {
        if (!Running() || pending.size() > kMaxHeaderBytes) return false;
        if (!Ready(client, false)) continue;
        char buffer[4096];
        const int n = recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0) return false;
        pending.append(buffer, n);
    }
    ParseHead(pending.substr(0, headEnd + 2), request);
    pending.erase(0, headEnd + 4);
    // A request body (none expected from the downloader) is read and dropped.
    const auto length = request.Header("Content-Length");
    size_t bodyLeft = length ? std::stoul(*length) : 0;
    while (pending.size() < bodyLeft) {
        if (!Running()) return false;
        if (!Ready(client, false)) continue;
        char buffer[4096];
        const int n = recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0) return false;
        pending.append(buffer, n);
    }
    pending.erase(0, bodyLeft);
    return true;
}

ScriptedResponse CLoopbackHttpServer::Choose(const ReceivedRequest& request) {
    Handler chosen;
    {
        std::lock_guard<std::mutex> guard(lock);
        chosen = handler;
    }
    // Called outside the lock: a handler may wait for other requests to arrive.
    if (chosen) return chosen(request);
    std::lock_guard<std::mutex> guard(lock);
    if (!queue.empty()) {
        ScriptedResponse next = std::move(queue.front());
        queue.pop_front();
        return next;
    }
    const auto route = routes.find(PathOf(request.target));
    if (route != routes.end()) return route->second;
    return ScriptedResponse::Status(404, "Not Found");
}

bool CLoopbackHttpServer::Answer(SOCKET client, const ReceivedRequest& request,
                                 ScriptedResponse response) {
    const int delayMs = std::max(response.delayBeforeMs, 0) + std::max(answerDelayMs.load(), 0);
    if (delayMs > 0 && !Pause(delayMs)) return false;
    if (response.holdWithoutAnswer) {
        while (Pause(kPollMs)) {
        }
        return false;
    }
    ApplyRange(request, response);
    const bool streamed = static_cast<bool>(response.streamBody);
    const uint64_t bodySize = streamed ? response.streamLength : response.body.size();
    if (response.contentLengthFromBody) response.contentLength = bodySize;

    std::string head =
        "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason + "\r\n";
    for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
    const uint64_t bodyBytes = std::min<uint64_t>(bodySize, response.dropAfterBodyBytes);
    const bool dropped = bodyBytes < bodySize;
    if (response.chunked) response.contentLength.reset();
    // Without a length, or with fewer bytes than announced, only closing ends the body.
    const bool closes = response.chunked ? dropped
                                         : !response.contentLength ||
                                               *response.contentLength > bodyBytes;
    if (response.chunked) head += "Transfer-Encoding: chunked\r\n";
    if (response.contentLength)
        head += "Content-Length: " + std::to_string(*response.contentLength) + "\r\n";
    if (closes) head += "Connection: close\r\n";
    head += "\r\n";
    if (!SendAll(client, head.data(), head.size())) return false;

    // A streamed body goes through a buffer of one chunk, so its chunks are bounded.
    const size_t chunk =
        std::clamp<size_t>(response.chunkBytes, 1, streamed ? kMaxStreamChunk : SIZE_MAX);
    std::vector<char> piece(streamed ? chunk : 0);
    for (uint64_t sent = 0; sent < bodyBytes; sent += chunk) {
        const auto size = static_cast<size_t>(std::min<uint64_t>(chunk, bodyBytes - sent));
        const char* data = response.body.data() + (streamed ? 0 : sent);
        if (streamed) {
            response.streamBody(sent, piece.data(), size);
            data = piece.data();
        }
        if (response.chunked) {
            char sizeLine[32];
            snprintf(sizeLine, sizeof(sizeLine), "%zx\r\n", size);
            if (!SendAll(client, sizeLine, strlen(sizeLine))) return false;
        }
        if (!SendAll(client, data, size)) return false;
        if (response.chunked && !SendAll(client, "\r\n", 2)) return false;
        if (response.chunkDelayMs > 0 && !Pause(response.chunkDelayMs)) return false;
    }
    if (response.chunked && !dropped && !SendAll(client, "0\r\n\r\n", 5)) return false;
    if (dropped && response.resetOnDrop) {
        // Closed with a reset, as a proxy or a load balancer that gives up does. A reset
        // discards what the peer has not read yet, so the peer is first given time to read
        // what was sent: the bytes a resumed request may skip are then exactly those sent.
        if (!Pause(kResetGraceMs)) return false;
        const linger reset{1, 0};
        setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset),
                   sizeof(reset));
        return false;
    }
    if (response.dropAfterBodyBytes != SIZE_MAX && response.holdAfterBodyBytes) {
        while (Pause(kPollMs)) {
        }
    }
    return !closes;
}

bool CLoopbackHttpServer::SendAll(SOCKET client, const char* data, size_t length) {
    // Without blocking: a peer that stops reading (a client process that was ended, a
    // connection kept in a pool) must not hold the server's Stop for ever.
    u_long nonBlocking = 1;
    ioctlsocket(client, FIONBIO, &nonBlocking);
    bool sent = true;
    while (length > 0) {
        if (!Running()) {
            sent = false;
            break;
        }
        if (!Ready(client, true)) continue;
        const int n = send(client, data, static_cast<int>(std::min<size_t>(length, 1 << 20)), 0);
        if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) continue;
        if (n <= 0) {
            sent = false;
            break;
        }
        data += n;
        length -= n;
    }
    u_long blocking = 0;
    ioctlsocket(client, FIONBIO, &blocking);
    return sent;
}

}  // namespace httptest
