#pragma once

#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/httpserver/HttpExchange.h"

namespace httptest {

// A scripted HTTP server on 127.0.0.1 inside the test process. Each test says how to answer
// and afterwards inspects what it received. Every wait inside is bounded: the server stops
// by itself after its lifetime, and Stop (or the destructor) ends every connection.
class CLoopbackHttpServer {
public:
    using Handler = std::function<ScriptedResponse(const ReceivedRequest&)>;

    explicit CLoopbackHttpServer(std::chrono::milliseconds lifetime = std::chrono::seconds(120));
    CLoopbackHttpServer(const CLoopbackHttpServer&) = delete;
    CLoopbackHttpServer& operator=(const CLoopbackHttpServer&) = delete;
    ~CLoopbackHttpServer();

    uint16_t Port() const { return port; }
    // "http://127.0.0.1:<port><path>"
    std::wstring Url(const std::string& path) const;
    // "127.0.0.1:<port>", for use as a named proxy.
    std::wstring HostPort() const;

    // Answer choice: the handler when set; else the next queued answer; else the route of
    // the request's path; else 404.
    void SetHandler(Handler handler);
    void Enqueue(ScriptedResponse response);
    void Route(const std::string& path, ScriptedResponse response);
    // Every answer waits this long before its status line, on top of its own delayBeforeMs,
    // as the answers of a far server arrive (0, the default, answers at once).
    void SetAnswerDelay(std::chrono::milliseconds delay) {
        answerDelayMs = static_cast<int>(delay.count());
    }

    std::vector<ReceivedRequest> Requests() const;
    int Connections() const { return connections.load(); }

    void Stop();

    // A loopback port on which nothing listens.
    static uint16_t UnusedPort();

private:
    void AcceptLoop();
    void Serve(SOCKET client, int connection);
    bool ReadRequest(SOCKET client, std::string& pending, ReceivedRequest& request);
    ScriptedResponse Choose(const ReceivedRequest& request);
    // Returns false when the connection must end after this answer.
    bool Answer(SOCKET client, const ReceivedRequest& request, ScriptedResponse response);
    bool SendAll(SOCKET client, const char* data, size_t length);
    bool Pause(int ms) const;  // false when the server stops meanwhile
    bool Running() const;

    SOCKET listener = INVALID_SOCKET;
    uint16_t port = 0;
    std::chrono::steady_clock::time_point deadline;
    std::atomic<bool> stopping{false};
    std::atomic<int> connections{0};
    std::atomic<int> answerDelayMs{0};

    mutable std::mutex lock;
    Handler handler;
    std::deque<ScriptedResponse> queue;
    std::map<std::string, ScriptedResponse> routes;
    std::vector<ReceivedRequest> received;
    std::vector<std::thread> workers;
    std::thread acceptor;
};

}  // namespace httptest
