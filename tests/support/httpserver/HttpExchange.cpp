#include "support/httpserver/HttpExchange.h"

#include <algorithm>
#include <cctype>

namespace httptest {

namespace {

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Base64(const std::string& data) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(data[i]) << 16) |
                           (static_cast<unsigned char>(data[i + 1]) << 8) |
                           static_cast<unsigned char>(data[i + 2]);
        out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], kDigits[v & 63]};
    }
    if (i + 1 == data.size()) {
        const unsigned v = static_cast<unsigned char>(data[i]) << 16;
        out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == data.size()) {
        const unsigned v = (static_cast<unsigned char>(data[i]) << 16) |
                           (static_cast<unsigned char>(data[i + 1]) << 8);
        out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], '='};
    }
    return out;
}

}  // namespace

std::optional<std::string> ReceivedRequest::Header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (SameName(key, name)) return value;
    return std::nullopt;
}

ScriptedResponse ScriptedResponse::Ok(std::string body) {
    ScriptedResponse response;
    response.body = std::move(body);
    return response;
}

ScriptedResponse ScriptedResponse::Status(int status, std::string reason) {
    ScriptedResponse response;
    response.status = status;
    response.reason = std::move(reason);
    response.body = response.reason;
    return response;
}

ScriptedResponse ScriptedResponse::Challenge(bool proxy, std::string body) {
    ScriptedResponse response =
        Status(proxy ? 407 : 401, proxy ? "Proxy Authentication Required" : "Unauthorized");
    response.body = std::move(body);
    response.Header(proxy ? "Proxy-Authenticate" : "WWW-Authenticate", "Basic realm=\"pelko\"");
    return response;
}

ScriptedResponse& ScriptedResponse::Header(std::string name, std::string value) {
    headers.emplace_back(std::move(name), std::move(value));
    return *this;
}

ScriptedResponse& ScriptedResponse::WithoutContentLength() {
    contentLengthFromBody = false;
    contentLength.reset();
    return *this;
}

ScriptedResponse& ScriptedResponse::AnnounceLength(uint64_t length) {
    contentLengthFromBody = false;
    contentLength = length;
    return *this;
}

std::string BasicCredentials(const std::string& user, const std::string& password) {
    return "Basic " + Base64(user + ":" + password);
}

}  // namespace httptest
