#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "support/httpserver/CLoopbackHttpServer.h"

namespace updatetree {

// Serves an update tree over loopback, through the scripted server: GET (and HEAD) of
// <prefix>/<path> answers the file root\<path> with 200 and its Content-Length, streamed from
// disk. Besides the files it can answer a path with a status, serve a large generated body
// without any file, and send slowly. Like the scripted server it stops by itself after its
// lifetime, and Stop (or the destructor) ends every connection.
class CUpdateTreeServer {
public:
    CUpdateTreeServer(std::wstring root, std::string prefix = "/Patch",
                      std::chrono::milliseconds lifetime = std::chrono::seconds(120));

    // The update URL: "http://127.0.0.1:<port><prefix>".
    std::wstring Url() const;
    uint16_t Port() const { return server.Port(); }

    // Paths are below the prefix, with "/" ("/RudovuZado/A.dll.zip").
    void AnswerStatus(const std::string& path, int status);
    // A body of size bytes of a fixed pattern (GeneratedByte), produced while it is sent.
    void AddGenerated(const std::string& path, uint64_t size);
    // Sends bodies in pieces of chunkBytes with a pause of delayMs after each.
    void SetPace(size_t chunkBytes, int delayMs);
    // Every answer waits this long before its status line, as a far server's answers arrive.
    void SetAnswerDelay(std::chrono::milliseconds delay) { server.SetAnswerDelay(delay); }
    // With true, "Range: bytes=N-" of a file or generated body gets 206 and the rest of it;
    // otherwise (the default) the whole body with 200.
    void HonourRanges(bool honour);
    // With true, a file's answer carries its Last-Modified, the validator a client resumes a
    // part with; otherwise (the default) none.
    void SendLastModified(bool send);
    // Every body stops after this many bytes and its connection is held, sending nothing more,
    // until the server stops.
    void HoldAfter(size_t bodyBytes);
    // Package answers (below "/RudovuZado/" or "/objects/") wait until this many package
    // requests wait at once, or until the first has waited bound; the hold then ends for good.
    void HoldPackagesUntilTogether(size_t together, std::chrono::milliseconds bound);
    // The most package requests that waited at once during that hold.
    size_t MostPackagesHeldTogether() const;

    // Paths below the prefix of the GET requests received, in order.
    std::vector<std::string> Requests() const;
    // When each of those requests arrived, in the same order.
    std::vector<std::chrono::steady_clock::time_point> RequestTimes() const;
    // The connection each of those requests came on (see ReceivedRequest::connection).
    std::vector<int> RequestConnections() const;
    // The Range header of each GET request ("" when it had none), in order.
    std::vector<std::string> Ranges() const;
    // Bytes of body produced so far, over all answers.
    uint64_t BodyBytesSent() const { return *bodyBytesSent; }

    void Stop() { server.Stop(); }

    // It starts as a ZIP's local header does, as every package the engine accepts.
    static char GeneratedByte(uint64_t offset) {
        if (offset < 4) return "PK\x03\x04"[offset];
        return static_cast<char>(offset * 131 + (offset >> 12));
    }

private:
    httptest::ScriptedResponse Answer(const httptest::ReceivedRequest& request);
    httptest::ScriptedResponse FileAnswer(const std::string& path) const;
    void HoldPackage(const std::string& path);
    // The GET requests below the prefix, each with its path below it.
    std::vector<std::pair<std::string, httptest::ReceivedRequest>> GetsBelowPrefix() const;

    std::wstring root;
    std::string prefix;
    // Shared with the bodies being streamed, which may outlive a request's answer.
    std::shared_ptr<std::atomic<uint64_t>> bodyBytesSent =
        std::make_shared<std::atomic<uint64_t>>(0);
    mutable std::mutex lock;
    std::map<std::string, int> statuses;
    std::map<std::string, uint64_t> generated;
    size_t chunkBytes = 65536;
    int delayMs = 0;
    size_t holdAfter = SIZE_MAX;
    bool honourRanges = false;
    bool sendLastModified = false;
    mutable std::mutex holdLock;
    std::condition_variable holdWake;
    size_t holdTogether = 0;
    std::chrono::milliseconds holdBound{0};
    std::chrono::steady_clock::time_point holdUntil;
    bool holdStarted = false;
    bool holdEnded = false;
    size_t held = 0;
    size_t mostHeld = 0;
    httptest::CLoopbackHttpServer server;  // last: its threads use the fields above
};

}  // namespace updatetree
