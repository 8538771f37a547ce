#include "update/ObjectArrival.h"

#include <exception>

#include "update/DeltaPlan.h"
#include "update/ManifestPaths.h"
#include "verify/CSha256.h"

namespace ObjectArrival {

namespace {

constexpr size_t kObjectsPrefix = 8;  // "objects/"
constexpr size_t kDigestDigits = 64;

}  // namespace

std::optional<Expected> OfRequest(const PlannedFile& file, bool fetchingDelta) {
    if (fetchingDelta && file.delta)
        return Expected{DeltaPlan::DeltaPart(file), file.delta->sha256, file.delta->size};
    if (!ManifestPaths::IsObjectName(file.entry.object)) return std::nullopt;
    return Expected{file.part, file.entry.object.substr(kObjectsPrefix, kDigestDigits),
                    std::nullopt};
}

std::optional<std::wstring> Refusal(const Expected& expected) {
    Sha256Digest digest{};
    uint64_t size = 0;
    try {
        if (!CSha256::OfFile(expected.part, digest, size))
            return std::wstring(L"the object cannot be read");
    } catch (const std::exception&) {
        return std::wstring(L"the object cannot be read");
    }
    if (expected.size && size != *expected.size)
        return L"the object holds " + std::to_wstring(size) + L" bytes where " +
               std::to_wstring(*expected.size) + L" were signed";
    const std::string hex = ToHex(digest);
    if (std::wstring(hex.begin(), hex.end()) != expected.sha256)
        return std::wstring(L"the object's SHA-256 differs from its name");
    return std::nullopt;
}

}  // namespace ObjectArrival
