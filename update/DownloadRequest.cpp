#include "update/DownloadRequest.h"

#include <utility>

#include "config/DeploymentValues.h"
#include "download/TransferRules.h"
#include "framework/PathText.h"
#include "update/ManifestPaths.h"

namespace {

// A read of 64 KiB moves a package at loopback speed; 1 KiB reads cost a call per KiB.
constexpr int kReadBytes = 65536;

}  // namespace

DownloadComponentInfo MakeDownloadRequest(std::wstring url, std::wstring localFolder,
                                          const std::wstring& fileName,
                                          const DownloadProxySettings& proxy) {
    DownloadComponentInfo request;
    request.strURL = std::move(url);
    request.strLocalFolder = std::move(localFolder);
    request.strLocalFileName = fileName;
    request.strDisplayName = fileName;
    request.strProxyServer = proxy.server;
    request.strProxyUserName = proxy.userName;
    request.strProxyPassword = proxy.password;
    request.nAccessType = proxy.accessType;
    request.proxyPrompt = proxy.prompt;
    request.nBufferSize = kReadBytes;
    // Every file the engine fetches is a ZIP package.
    request.bExpectZip = TRUE;
    // Redirects stay inside the domains this build serves.
    request.redirectRule =
        RedirectRule{DeploymentValues::kAllowedDomain1, DeploymentValues::kAllowedDomain2,
                     DeploymentValues::kRequireHttps};
    return request;
}

DownloadComponentInfo BuildEntryRequest(const ManifestEntry& entry, std::wstring_view targetPath,
                                        std::wstring_view updateUrl,
                                        const DownloadProxySettings& proxy, bool signedManifest) {
    DownloadComponentInfo request =
        MakeDownloadRequest(ManifestPaths::PackageUrlOf(updateUrl, entry.name, entry.object),
                            PathText::FolderPart(targetPath), entry.name + L".zip", proxy);
    request.nMaxBodyBytes = ManifestPaths::PackageBodyBound(
        static_cast<long long>(ManifestPaths::FileBound(entry.fileSize, signedManifest)));
    request.bKeepPartOnFailure = TRUE;
    request.nRetries = TransferRules::kRetries;
    return request;
}
