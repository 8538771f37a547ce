#pragma once

#include <string>

namespace downloadtest {

// A fresh folder under the temporary folder, removed with its files at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::wstring& Path() const { return path; }
    std::wstring File(const std::wstring& name) const { return path + L"\\" + name; }

private:
    std::wstring path;
};

}  // namespace downloadtest
