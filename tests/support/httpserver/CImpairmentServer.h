#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "support/httpserver/CLoopbackHttpServer.h"

namespace httptest {

// A loopback file server that behaves as servers and proxies in the field do when asked to:
// it serves the files below a folder (with an ETag and a Last-Modified, answering validators
// with 304 and ranges with 206, If-Range included), and impairs the first answers for a path
// as a test says. Bounded as the loopback server is: it stops by itself after its lifetime.
class CImpairmentServer {
public:
    enum class Impairment {
        DelayHead,           // the head comes after delayMs
        ResetMidway,         // half the body, then a reset
        CutMidway,           // half the body of an announced length, then a close
        ServiceUnavailable,  // 503 with Retry-After: retryAfter
        IgnoreRanges,        // 200 with the whole body, whatever range was asked for
        MismatchedRange,     // 206 naming another range than the one asked for
        Chunked,             // the body chunked, whole
        ChunkedCut,          // the body chunked, cut off before its last chunk
        Gzip,                // Content-Encoding: gzip
        HtmlPage,            // 200 text/html: a portal's page in place of the file
        NotFound,            // 404
        Drip,                // the body in pieces of 64 bytes, delayMs (100) apart
    };
    struct Plan {
        Impairment kind;
        int times = 1;    // the first this many answers for the path; -1: every one
        int delayMs = 0;  // DelayHead, Drip
        std::string retryAfter = "1";
    };

    // Files are read below root (ending with "\") at each request; prefix is cut from paths.
    CImpairmentServer(std::wstring root, std::string prefix = std::string(),
                      std::chrono::milliseconds lifetime = std::chrono::seconds(120));

    std::wstring Url() const;  // the update URL of the tree
    std::wstring HostPort() const { return server.HostPort(); }
    // Plans for a path follow each other: each takes its number of answers, in order.
    void Impair(const std::string& path, Plan plan);
    // As a proxy that asks for credentials: a request without these gets 407, whatever it asks.
    void RequireProxyCredentials(const std::string& user, const std::string& password);
    // As servers with ETags turned off: Last-Modified (one time for every file) is the only
    // validator, so files of different trees look the same.
    void OmitETag() { sendETag = false; }
    // Paths asked for, in order, and the requests themselves.
    std::vector<std::string> Paths() const;
    std::vector<ReceivedRequest> Requests() const { return server.Requests(); }
    uint64_t BodyBytesSent() const { return bodyBytes.load(); }
    // The body bytes of the answers for one path.
    uint64_t BodyBytesSent(const std::string& path) const;
    int Connections() const { return server.Connections(); }
    void Stop() { server.Stop(); }

    static constexpr const char* kLastModified = "Fri, 01 Mar 2024 10:00:00 GMT";

private:
    ScriptedResponse Answer(const ReceivedRequest& request);
    ScriptedResponse Normal(const ReceivedRequest& request, const std::string& body,
                            const std::string& etag) const;
    ScriptedResponse Impaired(const Plan& plan, const ReceivedRequest& request,
                              const std::string& body, const std::string& etag) const;

    std::wstring root;
    std::string prefix;
    mutable std::mutex lock;
    std::map<std::string, std::vector<Plan>> plans;
    std::map<std::string, uint64_t> bodyBytesOf;
    std::atomic<bool> sendETag{true};
    std::string proxyCredentials;  // "Basic ..."; empty: no credentials asked for
    std::shared_ptr<std::atomic<uint64_t>> counter = std::make_shared<std::atomic<uint64_t>>(0);
    std::atomic<uint64_t>& bodyBytes = *counter;
    CLoopbackHttpServer server;
};

}  // namespace httptest
