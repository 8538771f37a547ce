#pragma once

#include <string>
#include <string_view>

namespace testsupport {

// A fresh folder below the temporary folder, removed with everything in it at the end.
class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::wstring& Path() const { return m_path; }  // ends with "\"
    std::wstring operator/(std::wstring_view relative) const {
        return m_path + std::wstring(relative);
    }

private:
    std::wstring m_path;
};

}  // namespace testsupport
