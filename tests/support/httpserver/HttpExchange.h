#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace httptest {

// One request as the server received it.
struct ReceivedRequest {
    std::string method;
    std::string target;  // path, or the absolute URL when the server acts as a proxy
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;
    // When its head had been read.
    std::chrono::steady_clock::time_point arrived;
    // The connection it came on: 1 for the server's first accepted connection, and so on.
    int connection = 0;

    // Value of the first header with this name (any case); nullopt when absent.
    std::optional<std::string> Header(const std::string& name) const;
};

// One scripted answer.
struct ScriptedResponse {
    int status = 200;
    std::string reason = "OK";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // Content-Length sent: the body's size by default; a different value announces a
    // body of another length; nullopt sends none and closes the connection after the body.
    std::optional<uint64_t> contentLength = 0;
    bool contentLengthFromBody = true;
    int delayBeforeMs = 0;                 // pause before the status line
    bool holdWithoutAnswer = false;        // read the request, never answer, keep the connection
    size_t dropAfterBodyBytes = SIZE_MAX;  // close the connection after this much body
    bool holdAfterBodyBytes = false;       // with dropAfterBodyBytes: hold instead of closing
    size_t chunkBytes = 65536;             // body written in pieces of this size...
    int chunkDelayMs = 0;                  // ...with this pause after each
    bool honourRange = false;              // "Range: bytes=N-" gets 206 with the rest of the body
    bool chunked = false;      // sent with Transfer-Encoding: chunked (no Content-Length); a
                               // body dropped early never gets its terminating chunk
    bool resetOnDrop = false;  // with dropAfterBodyBytes: the connection is reset, not closed
    // A body produced while it is sent, in place of body: streamLength bytes, each piece
    // filled by streamBody(offset, buffer, size). Large bodies then cost no memory.
    std::function<void(uint64_t offset, char* buffer, size_t size)> streamBody;
    uint64_t streamLength = 0;

    static ScriptedResponse Ok(std::string body);
    static ScriptedResponse Status(int status, std::string reason);
    // 401 with a Basic challenge for the realm (407 and Proxy-Authenticate when proxy is true).
    static ScriptedResponse Challenge(bool proxy, std::string body = "denied");
    ScriptedResponse& Header(std::string name, std::string value);
    ScriptedResponse& WithoutContentLength();
    ScriptedResponse& AnnounceLength(uint64_t length);
};

// "Basic " + base64("user:password").
std::string BasicCredentials(const std::string& user, const std::string& password);

}  // namespace httptest
