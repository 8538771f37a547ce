#include "download/DebugLines.h"

#include "framework/win32/DebugOutput.h"

namespace downloadtest {

DebugLines::DebugLines() {
    DebugOutput::SetObserver([this](const std::wstring& line) {
        std::lock_guard<std::mutex> guard(lock);
        lines.push_back(line);
    });
}

DebugLines::~DebugLines() { DebugOutput::SetObserver(nullptr); }

std::vector<std::wstring> DebugLines::All() const {
    std::lock_guard<std::mutex> guard(lock);
    return lines;
}

bool DebugLines::Has(const std::wstring& line) const {
    for (const auto& l : All())
        if (l == line) return true;
    return false;
}

int DebugLines::CountStartingWith(const std::wstring& prefix) const {
    int count = 0;
    for (const auto& l : All()) count += l.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

int DebugLines::CountContaining(const std::wstring& part) const {
    int count = 0;
    for (const auto& l : All()) count += l.find(part) != std::wstring::npos ? 1 : 0;
    return count;
}

}  // namespace downloadtest
