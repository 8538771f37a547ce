#include "BareWinInetLoop.h"

#include <wininet.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

constexpr DWORD kReadBytes = 64 * 1024;

struct InternetCloser {
    void operator()(void* handle) const { InternetCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetCloser>;

struct FileCloser {
    void operator()(void* handle) const { CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<void, FileCloser>;

FileHandle CreateBodyFile(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    return FileHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

DWORD StatusCode(HINTERNET request) {
    DWORD status = 0, size = sizeof(status);
    HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                   nullptr);
    return status;
}

// One request on the kept connection; false unless the whole 200 body reached the file.
bool Fetch(HINTERNET connection, const std::wstring& path, const std::wstring& file,
           std::vector<char>& buffer) {
    const InternetHandle request(HttpOpenRequestW(
        connection, L"GET", path.c_str(), nullptr, nullptr, nullptr,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION, 0));
    const FileHandle body = CreateBodyFile(file);
    if (!request || !body || !HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0) ||
        StatusCode(request.get()) != 200)
        return false;
    for (;;) {
        DWORD read = 0, written = 0;
        if (!InternetReadFile(request.get(), buffer.data(), kReadBytes, &read)) return false;
        if (read == 0) return true;
        if (!WriteFile(body.get(), buffer.data(), read, &written, nullptr) || written != read)
            return false;
    }
}

void Worker(uint16_t port, const std::vector<std::wstring>& paths, const std::wstring& folder,
            std::atomic<size_t>& next, std::atomic<int>& failures) {
    try {
        const InternetHandle session(
            InternetOpenW(L"bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        const InternetHandle connection(session ? InternetConnectW(session.get(), L"127.0.0.1",
                                                                   port, nullptr, nullptr,
                                                                   INTERNET_SERVICE_HTTP, 0, 0)
                                                : nullptr);
        std::vector<char> buffer(kReadBytes);
        for (size_t i = next++; i < paths.size(); i = next++)
            if (!connection ||
                !Fetch(connection.get(), paths[i], folder + std::to_wstring(i), buffer))
                ++failures;
    } catch (...) {
        ++failures;
    }
}

}  // namespace

int FetchInParallel(uint16_t port, const std::vector<std::wstring>& paths,
                    const std::wstring& folder, int connections) {
    std::atomic<size_t> next{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < connections; ++i)
        workers.emplace_back([&] { Worker(port, paths, folder, next, failures); });
    for (std::thread& worker : workers) worker.join();
    return failures.load();
}

ConnectionLimit::ConnectionLimit(DWORD wantedConnections)
    : limits{{INTERNET_OPTION_MAX_CONNS_PER_SERVER}, {INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER}},
      wanted(wantedConnections) {
    for (Limit& limit : limits) {
        DWORD size = sizeof(limit.found);
        limit.known = InternetQueryOptionW(nullptr, limit.option, &limit.found, &size);
        if (limit.known && limit.found < wanted)
            limit.raised = InternetSetOptionW(nullptr, limit.option, &wanted, sizeof(wanted));
    }
}

ConnectionLimit::~ConnectionLimit() {
    for (Limit& limit : limits)
        if (limit.raised)
            InternetSetOptionW(nullptr, limit.option, &limit.found, sizeof(limit.found));
}

std::string ConnectionLimit::Describe() const {
    std::string text;
    for (const Limit& limit : limits) {
        if (!text.empty()) text += "; ";
        text += limit.option == INTERNET_OPTION_MAX_CONNS_PER_SERVER ? "per server "
                                                                     : "per 1.0 server ";
        text += limit.known ? std::to_string(limit.found) : "unknown";
        if (limit.raised)
            text += ", raised to " + std::to_string(wanted);
        else if (limit.known && limit.found < wanted)
            text += ", could not be raised";
    }
    return text;
}
