#include "loader/CPelkoWebLoaderApp.h"

#include "framework/PathText.h"
#include "loader/CPelkoWebLoaderModule.h"

CPelkoWebLoaderApp theApp;

namespace {

std::wstring ModuleBaseName() {
    const std::wstring name = PathText::FileNamePart(CPelkoWebLoaderModule::ModulePath());
    return name.substr(0, name.rfind(L'.'));
}

}  // namespace

// Made while the module loads, where nothing may escape: without a name the captions are empty.
CPelkoWebLoaderApp::CPelkoWebLoaderApp() {
    try {
        m_appName = ModuleBaseName();
    } catch (...) {
    }
}
