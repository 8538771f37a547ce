#include "loader/CPelkoWebLoaderApp.h"

#include "framework/win32/CodeModule.h"

CPelkoWebLoaderApp theApp;

// Made while the module loads, where nothing may escape: without a name the captions are empty.
CPelkoWebLoaderApp::CPelkoWebLoaderApp() {
    try {
        m_appName = CodeModule::ApplicationName();
    } catch (...) {
    }
}
