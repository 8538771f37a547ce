#include "update/DownloadRequest.h"

#include <utility>

#include "framework/PathText.h"
#include "update/ManifestPaths.h"

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
    return request;
}

DownloadComponentInfo BuildEntryRequest(const ManifestEntry& entry, std::wstring_view targetPath,
                                        std::wstring_view updateUrl,
                                        const DownloadProxySettings& proxy) {
    DownloadComponentInfo request =
        MakeDownloadRequest(ManifestPaths::BuildPackageUrl(updateUrl, entry.name),
                            PathText::FolderPart(targetPath), entry.name + L".zip", proxy);
    request.nMaxBodyBytes = ManifestPaths::PackageBodyBound(entry.fileSize);
    return request;
}
