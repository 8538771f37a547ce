#include <gtest/gtest.h>

#include "config/DeploymentValues.h"
#include "update/DownloadRequest.h"
#include "update/ManifestPaths.h"

namespace {

// Every field the update engine leaves alone keeps its default.
void ExpectDownloaderDefaults(const DownloadComponentInfo& request) {
    const DownloadComponentInfo defaults;
    EXPECT_EQ(request.strUserName, L"");
    EXPECT_EQ(request.strPassword, L"");
    EXPECT_EQ(request.strUserAgent, L"");
    EXPECT_EQ(request.strReferrer, L"");
    EXPECT_EQ(request.bPromptProxyAuth, defaults.bPromptProxyAuth);
    EXPECT_EQ(request.bPromptHttpAuth, defaults.bPromptHttpAuth);
    EXPECT_EQ(request.bPromptClientCert, defaults.bPromptClientCert);
    EXPECT_EQ(request.dMaxBytesPerMs, defaults.dMaxBytesPerMs);
    EXPECT_EQ(request.nStartPos, defaults.nStartPos);
    EXPECT_EQ(request.bNoAutoRedirect, defaults.bNoAutoRedirect);
    EXPECT_EQ(request.bPreAuthProxy, defaults.bPreAuthProxy);
    EXPECT_EQ(request.bPreAuthHttp, defaults.bPreAuthHttp);
    EXPECT_EQ(request.strAcceptTypes, defaults.strAcceptTypes);
}

// What the engine sets beyond the texts: 64 KiB reads, and redirects within the build's domains.
void ExpectEngineSettings(const DownloadComponentInfo& request) {
    EXPECT_EQ(request.nBufferSize, 65536);
    EXPECT_EQ(request.redirectRule.allowedDomain1, DeploymentValues::kAllowedDomain1);
    EXPECT_EQ(request.redirectRule.allowedDomain2, DeploymentValues::kAllowedDomain2);
    EXPECT_EQ(request.redirectRule.requireHttps, DeploymentValues::kRequireHttps);
}

TEST(DownloadComponentInfo, DefaultsOfANewRequest) {
    const DownloadComponentInfo request;
    EXPECT_TRUE(request.strURL.empty() && request.strLocalFolder.empty() &&
                request.strLocalFileName.empty() && request.strDisplayName.empty() &&
                request.strProxyServer.empty() && request.strProxyUserName.empty() &&
                request.strProxyPassword.empty() && request.strUserName.empty() &&
                request.strPassword.empty() && request.strUserAgent.empty() &&
                request.strReferrer.empty());
    EXPECT_EQ(request.nAccessType, 0);
    EXPECT_EQ(request.bPromptProxyAuth, TRUE);
    EXPECT_EQ(request.bPromptHttpAuth, TRUE);
    EXPECT_EQ(request.bPromptClientCert, TRUE);
    EXPECT_EQ(request.dMaxBytesPerMs, 0.0);
    EXPECT_EQ(request.nStartPos, 0u);
    EXPECT_EQ(request.bNoAutoRedirect, FALSE);
    EXPECT_EQ(request.nBufferSize, 1024);
    EXPECT_EQ(request.bPreAuthProxy, TRUE);
    EXPECT_EQ(request.bPreAuthHttp, TRUE);
    EXPECT_EQ(request.strAcceptTypes, L"*/*");
    EXPECT_TRUE(request.redirectRule.allowedDomain1.empty() &&
                request.redirectRule.allowedDomain2.empty());
}

TEST(BuildEntryRequest, StoresThePackageNextToTheTargetFile) {
    ManifestEntry entry;
    entry.name = L"A.dll";
    entry.targetDir = L"bin";
    const DownloadProxySettings proxy{L"proxy:8080", L"user", L"secret", 2, nullptr};
    const DownloadComponentInfo request =
        BuildEntryRequest(entry, L"C:\\Pelko\\bin\\A.dll", L"X\\Patch", proxy, false);
    EXPECT_EQ(request.strURL, L"X/Patch/RudovuZado/A.dll.zip");
    EXPECT_EQ(request.strLocalFolder, L"C:\\Pelko\\bin");
    EXPECT_EQ(request.strLocalFileName, L"A.dll.zip");
    EXPECT_EQ(request.strDisplayName, L"A.dll.zip");
    EXPECT_EQ(request.strProxyServer, L"proxy:8080");
    EXPECT_EQ(request.strProxyUserName, L"user");
    EXPECT_EQ(request.strProxyPassword, L"secret");
    EXPECT_EQ(request.nAccessType, 2);
    ExpectDownloaderDefaults(request);
    ExpectEngineSettings(request);

    // A target path without a folder part stores the package in no particular folder.
    const DownloadComponentInfo bare =
        BuildEntryRequest(entry, L"A.dll", L"http://h/P/", {}, false);
    EXPECT_EQ(bare.strURL, L"http://h/P/RudovuZado/A.dll.zip");
    EXPECT_EQ(bare.strLocalFolder, L"");
    EXPECT_EQ(bare.strProxyServer, L"");
    EXPECT_EQ(bare.nAccessType, 0);
    ExpectEngineSettings(bare);

    // An entry that names its object is fetched from there, stored under the same name.
    entry.object = L"objects/" + std::wstring(64, L'c') + L".zip";
    const DownloadComponentInfo object =
        BuildEntryRequest(entry, L"A.dll", L"http://h/P", {}, true);
    EXPECT_EQ(object.strURL, L"http://h/P/" + entry.object);
    EXPECT_EQ(object.strLocalFileName, L"A.dll.zip");
}

// The body is bounded by the FileSize of a signed manifest exactly, of an unsigned one with slack.
TEST(BuildEntryRequest, BoundsTheBodyByTheEntrysFileSize) {
    ManifestEntry entry;
    entry.name = L"A.dll";
    entry.fileSize = 1 << 20;
    const struct {
        bool signedManifest;
        long long fileBound;
    } cases[] = {{true, 1 << 20}, {false, (1 << 20) + (64 << 10)}};
    for (const auto& c : cases)
        EXPECT_EQ(
            BuildEntryRequest(entry, L"A.dll", L"http://h/P", {}, c.signedManifest).nMaxBodyBytes,
            ManifestPaths::PackageBodyBound(c.fileBound))
            << c.signedManifest;
    entry.fileSize = 0;
    EXPECT_EQ(BuildEntryRequest(entry, L"A.dll", L"http://h/P", {}, false).nMaxBodyBytes, 0u);
}

}  // namespace
