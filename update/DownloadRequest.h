#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "download/CProxyPrompt.h"
#include "download/DownloadComponentInfo.h"
#include "update/ManifestEntry.h"

// The proxy settings the update manager copies into every request.
struct DownloadProxySettings {
    std::wstring server;
    std::wstring userName;
    std::wstring password;
    int accessType = 0;                    // 0 preconfigured, 1 direct, 2 named proxy
    std::shared_ptr<CProxyPrompt> prompt;  // the run's, shared by all its transfers
};

// A request for url, stored in localFolder as fileName (also its display name); every other
// field keeps its default.
DownloadComponentInfo MakeDownloadRequest(std::wstring url, std::wstring localFolder,
                                          const std::wstring& fileName,
                                          const DownloadProxySettings& proxy);

// The request for an out-of-date entry: its object when the signed manifest names one, else
// its classic package; stored next to the file it replaces, under the entry's name followed by
// ".zip"; its body bounded by the entry's FileBound.
DownloadComponentInfo BuildEntryRequest(const ManifestEntry& entry, std::wstring_view targetPath,
                                        std::wstring_view updateUrl,
                                        const DownloadProxySettings& proxy, bool signedManifest);
