#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace downloadtest {

// Collects the debug lines written while it lives.
class DebugLines {
public:
    DebugLines();
    ~DebugLines();
    std::vector<std::wstring> All() const;
    bool Has(const std::wstring& line) const;
    int CountStartingWith(const std::wstring& prefix) const;
    int CountContaining(const std::wstring& part) const;

private:
    mutable std::mutex lock;
    std::vector<std::wstring> lines;
};

}  // namespace downloadtest
