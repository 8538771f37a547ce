#include "support/common/TestFolder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>

#include "framework/PathText.h"

namespace testsupport {

namespace {

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path + L"\\");
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

TestFolder::TestFolder() {
    static std::atomic<int> serial{0};
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    m_path = PathText::AppendBackslash(temp) + L"pelko_test_" +
             std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++serial) + L"\\";
    RemoveTree(m_path);
    if (!CreateDirectoryW(m_path.c_str(), nullptr))
        ADD_FAILURE() << "cannot create the test folder";
}

TestFolder::~TestFolder() { RemoveTree(m_path); }

}  // namespace testsupport
