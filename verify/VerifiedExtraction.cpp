#include "verify/VerifiedExtraction.h"

#include <cwctype>
#include <exception>
#include <vector>

#include "framework/CException.h"
#include "framework/CFile.h"
#include "framework/FileSystem.h"
#include "verify/CSha256.h"
#include "zip/CZipArchive.h"

namespace {

constexpr unsigned kChunk = 65536;
constexpr size_t kMessageChars = 260;

// Deletes the destination unless the extraction was verified, also a read-only one.
class DestinationGuard {
public:
    explicit DestinationGuard(const std::wstring& path) : path(path) {}
    ~DestinationGuard() {
        if (kept) return;
        FileSystem::SetAttributes(path, FileSystem::attributeNormal);
        FileSystem::RemoveFile(path);
    }
    void Keep() { kept = true; }

private:
    const std::wstring& path;
    bool kept = false;
};

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::wstring Count(uint64_t n) { return std::to_wstring(n); }

// A name from the archive as one bounded line: control characters become "?", so that it
// cannot end the diagnostic line or start another.
std::wstring Printable(const std::wstring& name) {
    constexpr size_t kLongest = 260;
    std::wstring text = name.substr(0, kLongest);
    for (wchar_t& c : text)
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029)
            c = L'?';
    return name.size() > kLongest ? text + L"..." : text;
}

// Writes the open entry 0 into file while hashing it; the refusal, or nothing.
std::optional<std::wstring> CopyHashed(CZipArchive& archive, CFile& file,
                                       const ExpectedEntry& expected) {
    CSha256 sha;
    std::vector<uint8_t> buffer(kChunk);
    uint64_t written = 0;
    for (;;) {
        const unsigned n = archive.ReadEntryData(buffer.data(), kChunk);
        if (n == 0) break;
        written += n;
        if (written > expected.size) break;
        sha.Update(buffer.data(), n);
        file.Write(buffer.data(), n);
    }
    file.Close();
    if (written != expected.size)
        return L"entry 0 holds " + std::wstring(written > expected.size ? L"more than " : L"") +
               Count(written) + L" bytes where " + Count(expected.size) + L" were signed";
    if (sha.Finish() != expected.sha256)
        return std::wstring(L"entry 0's SHA-256 differs from the signed one");
    return std::nullopt;
}

std::optional<std::wstring> ExtractChecked(CZipArchive& archive, uint16_t entryCount,
                                           const std::wstring& destination,
                                           const ExpectedEntry& expected) {
    if (archive.GetCount() != entryCount)
        return L"the package holds " + Count(archive.GetCount()) + L" entries, not " +
               Count(entryCount);
    CZipFileHeader* record = archive.GetEntry(0);
    if (!record || record->GetName() != expected.name)
        return L"entry 0 is named \"" + Printable(record ? record->GetName() : std::wstring()) +
               L"\", not \"" + expected.name + L"\"";
    if (record->IsFolder()) return std::wstring(L"entry 0 is a folder");
    if (record->uncompressedSize != expected.size)
        return L"entry 0 declares " + Count(record->uncompressedSize) + L" bytes where " +
               Count(expected.size) + L" were signed";
    if (!archive.OpenEntry(0)) return std::wstring(L"entry 0's compression is not supported");
    CFile file;
    file.Open(destination, CFile::modeCreate | CFile::modeWrite | CFile::shareDenyWrite, true);
    if (auto refusal = CopyHashed(archive, file, expected)) {
        archive.CloseEntry(nullptr, true);
        return refusal;
    }
    // Checks the CRC too (throws when it differs), then sets the entry's time and attributes.
    if (archive.CloseEntry(destination.c_str(), false) != 1)
        return std::wstring(L"entry 0's time or attributes cannot be set");
    return std::nullopt;
}

// The platform's message text without its line end.
std::wstring MessageOf(CException* error) {
    wchar_t text[kMessageChars] = L"";
    std::wstring message =
        error->GetErrorMessage(text, kMessageChars) ? text : L"the package cannot be extracted";
    error->Delete();
    while (!message.empty() && std::iswspace(message.back())) message.pop_back();
    return Printable(message);
}

}  // namespace

std::optional<std::wstring> ExtractVerified(CZipArchive& archive, uint16_t entryCount,
                                            const std::wstring& destination,
                                            const ExpectedEntry& expected) {
    DestinationGuard guard(destination);
    try {
        auto refusal = ExtractChecked(archive, entryCount, destination, expected);
        if (!refusal) guard.Keep();
        return refusal;
    } catch (CException* error) {
        return MessageOf(error);
    } catch (const std::exception& error) {
        return Widen(error.what());
    } catch (...) {
        return std::wstring(L"the package cannot be extracted");
    }
}

std::optional<std::wstring> ExtractVerified(const std::wstring& packagePath,
                                            const std::wstring& destination,
                                            const ExpectedEntry& expected) {
    try {
        CZipArchive archive;
        archive.OpenArchive(packagePath, CZipArchive::zipOpenReadOnly);
        return ExtractVerified(archive, 1, destination, expected);
    } catch (CException* error) {
        DestinationGuard guard(destination);
        return L"the package cannot be opened: " + MessageOf(error);
    } catch (...) {
        DestinationGuard guard(destination);
        return std::wstring(L"the package cannot be opened");
    }
}

std::optional<ExpectedEntry> ExpectedFromManifest(const std::wstring& name, int fileSize,
                                                  const std::wstring& sha256) {
    if (fileSize < 0) return std::nullopt;
    std::string narrow;
    for (wchar_t c : sha256) {
        if (c > 0x7F) return std::nullopt;
        narrow += static_cast<char>(c);
    }
    const auto digest = FromHex<32>(narrow);
    if (!digest) return std::nullopt;
    return ExpectedEntry{name, static_cast<uint64_t>(fileSize), *digest};
}
