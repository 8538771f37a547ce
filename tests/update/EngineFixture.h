#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "RecordingNotify.h"
#include "support/common/TestFolder.h"
#include "support/updatetree/CUpdateTree.h"
#include "support/updatetree/CUpdateTreeServer.h"
#include "update/CUpdateManagerLite.h"

namespace updatetest {

// An update tree served over loopback, an empty install folder, and a manager for both.
class EngineFixture {
public:
    EngineFixture();

    CUpdateManagerLite& Engine() { return static_cast<CUpdateManagerLite&>(*manager); }
    // A manager for another update URL, replacing the current one. Without keys it reads the
    // (signed) trees as a client that knows nothing of signatures.
    void RecreateManager(const std::wstring& updateUrl, std::vector<PublicKey> keys = {});
    // Runs the download phase to its end; false when it did not end in time.
    bool DownloadAll(bool installWhenDone = false);
    std::wstring CacheFolder() const;  // the internet cache folder, ending with "\"

    testsupport::TestFolder treeFolder;
    testsupport::TestFolder install;
    updatetree::CUpdateTree tree{treeFolder.Path()};
    updatetree::CUpdateTreeServer server{treeFolder.Path()};
    RecordingNotify notify;
    std::unique_ptr<IUpdateManagerLite> manager;
};

std::string FileBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
// The file's last-write time as local time, to the second.
SYSTEMTIME LocalWriteTime(const std::wstring& path);
std::string Narrow(const std::wstring& text);
// A test DLL built next to the test program, as bytes.
std::string TestDllBytes(const wchar_t* name);

}  // namespace updatetest
