#include "support/httpserver/CImpairmentServer.h"

#include <zlib.h>

#include <fstream>
#include <optional>
#include <sstream>

namespace httptest {

namespace {

// The path of a request, also of one a proxy gets with the whole URL.
std::string PathOf(const std::string& target) {
    std::string path = target.substr(0, target.find('?'));
    const size_t scheme = path.find("://");
    if (scheme != std::string::npos) {
        const size_t slash = path.find('/', scheme + 3);
        path = slash == std::string::npos ? "/" : path.substr(slash);
    }
    return path;
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    if (!file) return std::string();
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::string Gzipped(const std::string& bytes) {
    z_stream stream{};
    std::string out(compressBound(static_cast<uLong>(bytes.size())) + 64, '\0');
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// The start of "Range: bytes=N-", when the request asks for one.
bool AskedRange(const ReceivedRequest& request, uint64_t& from) {
    const auto range = request.Header("Range");
    if (!range || range->rfind("bytes=", 0) != 0) return false;
    from = std::stoull(range->substr(6));
    return true;
}

ScriptedResponse Partial(const std::string& body, uint64_t from, uint64_t named) {
    ScriptedResponse response;
    response.status = 206;
    response.reason = "Partial Content";
    response.Header("Content-Range", "bytes " + std::to_string(named) + "-" +
                                         std::to_string(body.size() - 1) + "/" +
                                         std::to_string(body.size()));
    response.body = body.substr(static_cast<size_t>(from));
    return response;
}

}  // namespace

CImpairmentServer::CImpairmentServer(std::wstring root, std::string prefix,
                                     std::chrono::milliseconds lifetime)
    : root(std::move(root)), prefix(std::move(prefix)), server(lifetime) {
    server.SetHandler([this](const ReceivedRequest& request) { return Answer(request); });
}

std::wstring CImpairmentServer::Url() const {
    return server.Url(prefix.empty() ? std::string() : prefix);
}

void CImpairmentServer::Impair(const std::string& path, Plan plan) {
    std::lock_guard<std::mutex> guard(lock);
    plans[path].push_back(plan);
}

uint64_t CImpairmentServer::BodyBytesSent(const std::string& path) const {
    std::lock_guard<std::mutex> guard(lock);
    const auto found = bodyBytesOf.find(path);
    return found == bodyBytesOf.end() ? 0 : found->second;
}

std::vector<std::string> CImpairmentServer::Paths() const {
    std::vector<std::string> paths;
    for (const ReceivedRequest& request : server.Requests()) {
        std::string path = PathOf(request.target);
        if (path.rfind(prefix, 0) == 0) path.erase(0, prefix.size());
        paths.push_back(path);
    }
    return paths;
}

void CImpairmentServer::RequireProxyCredentials(const std::string& user,
                                                const std::string& password) {
    std::lock_guard<std::mutex> guard(lock);
    proxyCredentials = BasicCredentials(user, password);
}

ScriptedResponse CImpairmentServer::Answer(const ReceivedRequest& request) {
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!proxyCredentials.empty() &&
            request.Header("Proxy-Authorization").value_or("") != proxyCredentials)
            return ScriptedResponse::Challenge(true);
    }
    std::string path = PathOf(request.target);
    if (!prefix.empty() && path.rfind(prefix, 0) == 0) path.erase(0, prefix.size());
    const std::string relative = path.substr(std::min(path.find_first_not_of('/'), path.size()));
    if (relative.empty() || relative.find("..") != std::string::npos)
        return ScriptedResponse::Status(404, "Not Found");
    std::wstring file = root;
    for (char c : relative) file += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    const std::string body = ReadFile(file);
    const std::string etag = "\"" + std::to_string(std::hash<std::string>()(body)) + "\"";
    std::optional<Plan> plan;
    {
        std::lock_guard<std::mutex> guard(lock);
        auto found = plans.find(path);
        if (found != plans.end() && !found->second.empty()) {
            Plan& next = found->second.front();
            plan = next;
            if (next.times > 0 && --next.times == 0) found->second.erase(found->second.begin());
        }
    }
    ScriptedResponse response;
    if (body.empty() && !(plan && plan->kind == Impairment::HtmlPage))
        response = ScriptedResponse::Status(404, "Not Found");
    else
        response = plan ? Impaired(*plan, request, body, etag) : Normal(request, body, etag);
    // Counted as it goes out: only the body bytes the server really sent.
    const size_t sendable = std::min(response.body.size(), response.dropAfterBodyBytes);
    bodyBytes += sendable;
    {
        std::lock_guard<std::mutex> guard(lock);
        bodyBytesOf[path] += sendable;
    }
    return response;
}

ScriptedResponse CImpairmentServer::Normal(const ReceivedRequest& request, const std::string& body,
                                           const std::string& etag) const {
    ScriptedResponse response;
    const auto ifNoneMatch = request.Header("If-None-Match");
    const auto ifModifiedSince = request.Header("If-Modified-Since");
    if ((ifNoneMatch && *ifNoneMatch == etag) ||
        (!ifNoneMatch && ifModifiedSince && *ifModifiedSince == kLastModified)) {
        response = ScriptedResponse::Status(304, "Not Modified");
        response.contentLength = std::nullopt;
        response.contentLengthFromBody = false;
        response.body.clear();
    } else {
        uint64_t from = 0;
        const auto ifRange = request.Header("If-Range");
        const bool rangeHolds = !ifRange || *ifRange == etag || *ifRange == kLastModified;
        if (AskedRange(request, from) && rangeHolds && from < body.size())
            response = Partial(body, from, from);
        else
            response = ScriptedResponse::Ok(body);
    }
    if (sendETag) response.Header("ETag", etag);
    response.Header("Last-Modified", kLastModified);
    return response;
}

ScriptedResponse CImpairmentServer::Impaired(const Plan& plan, const ReceivedRequest& request,
                                             const std::string& body,
                                             const std::string& etag) const {
    ScriptedResponse response = Normal(request, body, etag);
    switch (plan.kind) {
        case Impairment::DelayHead:
            response.delayBeforeMs = plan.delayMs;
            break;
        case Impairment::ResetMidway:
        case Impairment::CutMidway:
            response.dropAfterBodyBytes = response.body.size() / 2;
            response.resetOnDrop = plan.kind == Impairment::ResetMidway;
            break;
        case Impairment::ServiceUnavailable:
            response = ScriptedResponse::Status(503, "Service Unavailable");
            response.Header("Retry-After", plan.retryAfter);
            break;
        case Impairment::IgnoreRanges:
            response = ScriptedResponse::Ok(body);
            response.Header("ETag", etag);
            break;
        case Impairment::MismatchedRange: {
            uint64_t from = 0;
            if (AskedRange(request, from) && from > 0 && from < body.size())
                response = Partial(body, from, from - 1);
            break;
        }
        case Impairment::Chunked:
        case Impairment::ChunkedCut:
            response.chunked = true;
            response.chunkBytes = 4096;
            if (plan.kind == Impairment::ChunkedCut)
                response.dropAfterBodyBytes = response.body.size() / 2;
            break;
        case Impairment::Gzip:
            response = ScriptedResponse::Ok(Gzipped(body));
            response.Header("Content-Encoding", "gzip");
            break;
        case Impairment::HtmlPage:
            response = ScriptedResponse::Ok(
                "<!DOCTYPE html><html><body>Please sign in to the network</body></html>");
            response.Header("Content-Type", "text/html; charset=utf-8");
            break;
        case Impairment::NotFound:
            response = ScriptedResponse::Status(404, "Not Found");
            break;
        case Impairment::Drip:
            response.chunkBytes = 64;
            response.chunkDelayMs = plan.delayMs > 0 ? plan.delayMs : 100;
            break;
    }
    return response;
}

}  // namespace httptest
