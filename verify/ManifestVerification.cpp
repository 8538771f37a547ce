#include "verify/ManifestVerification.h"

#include <windows.h>

#include <exception>

#include "framework/CException.h"
#include "framework/PathText.h"
#include "framework/win32/DebugOutput.h"
#include "verify/CReleaseSerial.h"
#include "verify/CSha256.h"
#include "verify/CSignatureVerifier.h"
#include "verify/ReleaseRules.h"
#include "verify/VerifiedExtraction.h"
#include "zip/CZipArchive.h"

namespace {

constexpr uint16_t kStatementIndex = 1;
constexpr int64_t kUnixEpochInFileTime = 116444736000000000LL;
constexpr int64_t kFileTimePerSecond = 10000000;

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

// Entry 1, bounded; nothing when it is not the statement or cannot be read whole.
std::optional<std::string> ReadStatement(CZipArchive& archive) {
    CZipFileHeader* record = archive.GetEntry(kStatementIndex);
    if (!record || Narrow(record->GetName()) != ReleaseStatement::entryName ||
        record->uncompressedSize > ReleaseStatement::longestText)
        return std::nullopt;
    if (!archive.OpenEntry(kStatementIndex)) return std::nullopt;
    std::string text(record->uncompressedSize, '\0');
    size_t done = 0;
    while (done < text.size()) {
        const unsigned n =
            archive.ReadEntryData(text.data() + done, static_cast<unsigned>(text.size() - done));
        if (n == 0) break;
        done += n;
    }
    if (archive.CloseEntry(nullptr) != 1 || done != text.size()) return std::nullopt;
    return text;
}

bool SignedByAny(const ParsedStatement& parsed, const std::vector<PublicKey>& keys) {
    const Sha256Digest digest = CSha256::Of(parsed.signedPart.data(), parsed.signedPart.size());
    for (const PublicKey& key : keys)
        if (CSignatureVerifier(key).Verify(digest, parsed.signature)) return true;
    return false;
}

std::optional<std::wstring> Verify(const std::wstring& packagePath,
                                   const std::wstring& manifestPath,
                                   const std::vector<PublicKey>& keys,
                                   const ReleaseRules::Acceptance& acceptance,
                                   const CReleaseSerial& serials, int64_t now,
                                   ReleaseStatement* accepted, bool recordSerial) {
    CZipArchive archive;
    archive.OpenArchive(packagePath, CZipArchive::zipOpenReadOnly);
    const std::optional<std::string> text = ReadStatement(archive);
    if (!text) return std::wstring(L"the package carries no release statement");
    std::string why;
    const std::optional<ParsedStatement> parsed = ParseStatement(*text, &why);
    if (!parsed) return Widen(why);
    if (!SignedByAny(*parsed, keys))
        return std::wstring(L"the statement is signed by no update key");
    const ReleaseStatement& statement = parsed->statement;
    // A record that cannot be read would let an older release back in.
    const CReleaseSerial::Reading reading = serials.Read();
    if (reading.damaged)
        return L"the release serial record " + serials.Path() + L" cannot be read";
    const uint64_t last = reading.serial;
    if (auto problem = ReleaseRules::StatementProblem(statement, last, now, acceptance))
        return Widen(*problem);
    const ExpectedEntry manifest{PathText::FileNamePart(manifestPath), statement.manifestSize,
                                 statement.manifestDigest};
    if (auto refusal = ExtractVerified(archive, 2, manifestPath, manifest))
        return L"the manifest: " + *refusal;
    if (accepted) *accepted = statement;
    if (recordSerial && statement.serial != last && !serials.Record(statement.serial))
        DebugOutput::DebugLine(L"ExtractVerifiedManifest, cannot record release serial in " +
                               serials.Path() + L"\n");
    return std::nullopt;
}

}  // namespace

std::optional<std::wstring> ExtractVerifiedManifest(const std::wstring& packagePath,
                                                    const std::wstring& manifestPath,
                                                    const std::vector<PublicKey>& keys,
                                                    const ReleaseRules::Acceptance& acceptance,
                                                    const CReleaseSerial& serials, int64_t now,
                                                    ReleaseStatement* accepted, bool recordSerial) {
    try {
        auto refusal = Verify(packagePath, manifestPath, keys, acceptance, serials, now, accepted,
                              recordSerial);
        if (refusal) DeleteFileW(manifestPath.c_str());
        return refusal;
    } catch (CException* error) {
        error->Delete();
    } catch (const std::exception&) {
    } catch (...) {
    }
    DeleteFileW(manifestPath.c_str());
    return std::wstring(L"the package cannot be read");
}

int64_t SecondsNow() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    return (static_cast<int64_t>(ticks.QuadPart) - kUnixEpochInFileTime) / kFileTimePerSecond;
}
