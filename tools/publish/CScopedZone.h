#pragma once

#include <optional>
#include <string>

// Makes the C library's local-time calls use zone for as long as it lives (an empty zone
// changes nothing). It changes the process's TZ, so it suits single-threaded code only.
class CScopedZone {
public:
    explicit CScopedZone(const std::string& zone);
    ~CScopedZone();
    CScopedZone(const CScopedZone&) = delete;
    CScopedZone& operator=(const CScopedZone&) = delete;

private:
    bool active;
    std::optional<std::string> previous;
};
