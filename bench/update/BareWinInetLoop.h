#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The yardstick for the update engine's downloads: plain WinINet, as short as a downloader can
// be. Each of `connections` threads opens its own session and connection to 127.0.0.1:port,
// kept alive, and takes the next path until none is left: GET, 64 KiB reads, each body written
// to a file of its own in the folder (named by the path's index).
// Returns the number of requests that did not end in a whole 200 body.
int FetchInParallel(uint16_t port, const std::vector<std::wstring>& paths,
                    const std::wstring& folder, int connections);

// Raises WinINet's limits of connections per server (HTTP/1.1 and 1.0) for the process to at
// least `wanted` while it lives, then puts back what it found.
class ConnectionLimit {
public:
    explicit ConnectionLimit(DWORD wanted);
    ~ConnectionLimit();
    ConnectionLimit(const ConnectionLimit&) = delete;
    ConnectionLimit& operator=(const ConnectionLimit&) = delete;

    // "per server 2, raised to 6; per 1.0 server 4, raised to 6"
    std::string Describe() const;

private:
    struct Limit {
        DWORD option;
        bool known = false;
        DWORD found = 0;
        bool raised = false;
    };
    Limit limits[2];
    DWORD wanted;
};
