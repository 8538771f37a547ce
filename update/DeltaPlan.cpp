#include "update/DeltaPlan.h"

#include "framework/FileSystem.h"
#include "framework/PathText.h"
#include "framework/win32/DebugOutput.h"
#include "update/CDeltaStage.h"
#include "update/ManifestPaths.h"
#include "update/UpdateWorkPaths.h"
#include "verify/CSha256.h"
#include "verify/HexText.h"
#include "zip/CZipArchive.h"

namespace DeltaPlan {

namespace {

std::wstring Sha256Text(const std::wstring& path) {
    Sha256Digest digest{};
    uint64_t size = 0;
    try {
        if (!CSha256::OfFile(path, digest, size)) return std::wstring();
    } catch (const std::exception&) {
        return std::wstring();
    }
    const std::string text = ToHex(digest);
    return std::wstring(text.begin(), text.end());
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::wstring DeltaPart(const PlannedFile& file) {
    if (!file.delta) return std::wstring();
    return PathText::Join(
        PathText::FolderPart(file.part),
        UpdateWorkPaths::DeltaPartName(PathText::FileNamePart(file.part), file.delta->sha256));
}

bool Choose(PlannedFile& file, bool signedManifest, std::wstring_view updateUrl) {
    if (!signedManifest || file.entry.deltas.empty() || file.alreadyStaged ||
        file.entry.fileSize <= 0 || !Exists(file.target))
        return false;
    const std::optional<DeltaOffer> offer =
        DeltaChoice::Choose(file.entry.deltas, true, Sha256Text(file.target));
    if (!offer) return false;
    file.delta = offer;
    file.packageRequest = file.request;
    DownloadComponentInfo& request = file.request;
    request.strURL = ManifestPaths::BuildObjectUrl(updateUrl, DeltaChoice::ObjectName(*offer));
    request.strLocalFileName = PathText::FileNamePart(DeltaPart(file));
    request.strDisplayName = request.strLocalFileName;
    request.bExpectZip = FALSE;
    request.nMaxBodyBytes = offer->size;
    request.nStartPos = 0;
    const uint64_t had = FileSystem::FileSize(DeltaPart(file));
    if (had > 0 && had <= offer->size) request.nStartPos = had - 1;
    return true;
}

std::optional<std::wstring> Stage(const PlannedFile& file) {
    if (!file.delta) return L"no delta";
    const CDeltaStage::Expected expected{*file.delta,
                                         static_cast<uint64_t>(file.entry.fileSize),
                                         file.entry.sha256};
    std::optional<std::wstring> why;
    if (!CZipArchive::EnsureFolder(PathText::FolderPart(file.staged)))
        why = L"no staging folder";
    else
        why = CDeltaStage::Make(file.target, DeltaPart(file), expected, file.staged);
    DeleteFileW(DeltaPart(file).c_str());
    // A part of the package left by an earlier run would be taken for the fetched package.
    if (!why) DeleteFileW(file.part.c_str());
    return why;
}

DownloadComponentInfo FallBack(const PlannedFile& file, const std::wstring& why) {
    DebugOutput::DebugLine(L"CUpdateManagerLite, delta of " + file.target +
                           L" not used, fetching the package: " + why + L"\n");
    DeleteFileW(DeltaPart(file).c_str());
    return file.packageRequest;
}

bool StagedFromDelta(const PlannedFile& file) {
    return file.delta && !Exists(file.part) && Exists(file.staged);
}

}  // namespace DeltaPlan
