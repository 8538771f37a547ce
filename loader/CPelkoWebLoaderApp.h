#pragma once

#include <string>

// The component's application object. Its name is the module's file name without folder and
// extension; the patch window's captions use it.
class CPelkoWebLoaderApp {
public:
    CPelkoWebLoaderApp();
    CPelkoWebLoaderApp(const CPelkoWebLoaderApp&) = delete;
    CPelkoWebLoaderApp& operator=(const CPelkoWebLoaderApp&) = delete;

    const std::wstring& AppName() const { return m_appName; }

private:
    std::wstring m_appName;
};

extern CPelkoWebLoaderApp theApp;
