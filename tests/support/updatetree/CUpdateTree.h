#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "verify/HexText.h"
#include "verify/UpdateKeys.h"

namespace updatetree {

// An update tree in a folder, laid out as the update engine fetches it below its update URL:
//   RudovuZado.ini.zip            the manifest package (entry RudovuZado.ini)
//   RudovuZado/<section>.zip      one package per manifest section
// Serve the folder with CUpdateTreeServer; the update URL is then the server's Url().
// The manifest is signed as the publisher signs it, with the test key unless told otherwise.
class CUpdateTree {
public:
    struct Signing {
        enum class Key { test, unknown, none };
        Key key = Key::test;
        std::optional<uint64_t> serial;  // the current time in seconds when not given
        std::optional<int64_t> expires;  // seconds since 1970, UTC
        // Changes the manifest's bytes after they were signed.
        std::function<void(std::string& manifest)> tamper;
        // The product the statement names: the build's; none writes a statement of the form
        // before products were named.
        std::optional<std::string> product = BuiltInAcceptance().product;
    };

    explicit CUpdateTree(std::wstring root);

    void SetSigning(Signing how) { signing = std::move(how); }
    // A staged rollout in the statements published from now on; none: no rollout.
    void SetRollout(std::optional<ReleaseRollout> how) { rollout = how; }

    const std::wstring& Root() const { return root; }  // ends with "\"

    // The package of a section: one entry (stored, or deflated when asked) named storedName (the
    // section name when empty; "bin/A.dll" keeps a folder) holding data, stamped with the local
    // time stored.
    void AddPackage(const std::string& section, const std::string& data, const SYSTEMTIME& stored,
                    const std::string& storedName = std::string(), bool deflated = false);
    // Any bytes as a section's package (a damaged one, say).
    void AddRawPackage(const std::string& section, const std::string& bytes);
    // Writes RudovuZado.ini.zip holding the manifest text as RudovuZado.ini. When signing,
    // each section whose package was added gets FileSize and Sha256 first, and the package
    // gets the signed statement as its second entry.
    void PublishManifest(const std::string& manifestText);

    std::wstring PackagePath(const std::string& section) const;

private:
    struct FileFacts {
        size_t size = 0;
        Sha256Digest sha256{};
    };
    std::string WithFileFacts(const std::string& manifestText) const;
    std::string Statement(const std::string& manifest) const;

    std::wstring root;
    Signing signing;
    std::optional<ReleaseRollout> rollout;
    std::map<std::string, FileFacts> files;  // by section
};

// A local time to the second, for packages and manifest dates.
SYSTEMTIME LocalTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second = 0);

}  // namespace updatetree
