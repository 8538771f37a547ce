#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace updatetest {

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

// Writes the text as single-byte characters, creating missing folders.
void WriteTextFile(const std::wstring& path, std::string_view text);

// Sets the file's last-write time to the given local time (seconds included).
void SetLocalWriteTime(const std::wstring& path, WORD year, WORD month, WORD day, WORD hour,
                       WORD minute, WORD second);

// A copy of one of the registration test DLLs (built next to the test program) at path.
void CopyTestDll(const wchar_t* dllName, const std::wstring& path);

// Lines the recording DLL at dllPath wrote so far, one per DllRegisterServer call.
std::string RegistrationLog(const std::wstring& dllPath);
int RegistrationCount(const std::wstring& dllPath);

}  // namespace updatetest
