#include "update/CDeltaStage.h"

#include <cstring>

#include "delta/DeltaFile.h"
#include "framework/FileSystem.h"
#include "update/CHeldFile.h"
#include "verify/CSha256.h"

namespace {

std::wstring Widen(const char* text) { return std::wstring(text, text + strlen(text)); }

// The file's SHA-256 as lower-case hexadecimal and its size; false when it cannot be read.
bool DigestOf(const std::wstring& path, std::wstring& hex, uint64_t& size) {
    Sha256Digest digest{};
    try {
        if (!CSha256::OfFile(path, digest, size)) return false;
    } catch (const std::exception&) {
        return false;
    }
    const std::string text = ToHex(digest);
    hex.assign(text.begin(), text.end());
    return true;
}

}  // namespace

std::optional<std::wstring> CDeltaStage::Make(const std::wstring& installed,
                                              const std::wstring& delta, const Expected& expected,
                                              const std::wstring& staged) {
    std::wstring hex;
    uint64_t size = 0;
    if (!DigestOf(delta, hex, size)) return L"the delta cannot be read";
    if (size != expected.offer.size || hex != expected.offer.sha256)
        return L"the delta's size or SHA-256 differs from the signed one";
    // The installed file may have changed since the check chose the delta. It is held from its
    // hash to the end of the decoding: nobody writes, renames or deletes it meanwhile, so the
    // base decoded is the one hashed.
    const CHeldFile base(installed, CHeldFile::Use::Read);
    if (!base.IsOpen() || base.Sha256Hex() != expected.offer.baseSha256)
        return L"the installed file is no longer the delta's base";
    FileSystem::RemoveFile(staged);
    const DeltaError error = ApplyDeltaFile(installed, delta, staged, expected.fileSize);
    if (error != DeltaError::none) return Widen(DeltaErrorText(error));
    if (!DigestOf(staged, hex, size) || size != expected.fileSize || hex != expected.sha256) {
        FileSystem::RemoveFile(staged);
        return L"the delta's result differs from the signed size or SHA-256";
    }
    return std::nullopt;
}
