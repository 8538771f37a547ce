#pragma once

#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace updatetree {

// A static HTTP server on 127.0.0.1 for an update tree: GET (and HEAD) of /<prefix>/<path>
// answers the file root\<path> with 200 and its Content-Length, streamed from disk. Keeps
// connections alive. Besides the files it can answer a path with a status, serve a large
// generated body without any file, and send slowly. It stops by itself after its lifetime;
// Stop (or the destructor) ends every connection within a fraction of a second.
class CUpdateTreeServer {
public:
    CUpdateTreeServer(std::wstring root, std::string prefix = "/Patch",
                      std::chrono::milliseconds lifetime = std::chrono::seconds(120));
    CUpdateTreeServer(const CUpdateTreeServer&) = delete;
    CUpdateTreeServer& operator=(const CUpdateTreeServer&) = delete;
    ~CUpdateTreeServer();

    // The update URL: "http://127.0.0.1:<port><prefix>".
    std::wstring Url() const;
    uint16_t Port() const { return port; }

    // Paths are below the prefix, with "/" ("/RudovuZado/A.dll.zip").
    void AnswerStatus(const std::string& path, int status);
    // A body of size bytes of a fixed pattern, produced while it is sent.
    void AddGenerated(const std::string& path, uint64_t size);
    // Sends bodies in pieces of chunkBytes with a pause of delayMs after each.
    void SetPace(size_t chunkBytes, int delayMs);

    // Paths below the prefix of the GET requests received, in order.
    std::vector<std::string> Requests() const;
    // Bytes of body sent so far, over all answers.
    uint64_t BodyBytesSent() const { return bodyBytesSent; }

    void Stop();

    // The generated body's byte at offset.
    static char GeneratedByte(uint64_t offset) {
        return static_cast<char>(offset * 131 + (offset >> 12));
    }

private:
    struct Request {
        std::string method;
        std::string path;
    };

    void AcceptLoop();
    void Serve(SOCKET client);
    bool ReadRequest(SOCKET client, std::string& pending, Request& request);
    bool Answer(SOCKET client, const Request& request);
    bool SendHead(SOCKET client, int status, uint64_t length);
    bool SendFile(SOCKET client, const std::wstring& path, uint64_t length);
    bool SendGenerated(SOCKET client, uint64_t length);
    bool SendBody(SOCKET client, const char* data, size_t length);
    bool SendAll(SOCKET client, const char* data, size_t length);
    bool Running() const;

    std::wstring root;
    std::string prefix;
    SOCKET listener = INVALID_SOCKET;
    uint16_t port = 0;
    std::chrono::steady_clock::time_point deadline;
    std::atomic<bool> stopping{false};
    std::atomic<uint64_t> bodyBytesSent{0};

    mutable std::mutex lock;
    std::map<std::string, int> statuses;
    std::map<std::string, uint64_t> generated;
    size_t chunkBytes = 65536;
    int delayMs = 0;
    std::vector<std::string> received;
    std::vector<std::thread> workers;
    std::thread acceptor;
};

}  // namespace updatetree
