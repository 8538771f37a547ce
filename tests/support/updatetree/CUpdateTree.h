#pragma once

#include <windows.h>

#include <string>

namespace updatetree {

// An update tree in a folder, laid out as the update engine fetches it below its update URL:
//   RudovuZado.ini.zip            the manifest package (entry RudovuZado.ini)
//   RudovuZado/<section>.zip      one package per manifest section
// Serve the folder with CUpdateTreeServer; the update URL is then the server's Url().
class CUpdateTree {
public:
    explicit CUpdateTree(std::wstring root);

    const std::wstring& Root() const { return root; }  // ends with "\"

    // The package of a section: one stored entry named storedName (the section name when
    // empty; "bin/A.dll" keeps a folder) holding data, stamped with the local time stored.
    void AddPackage(const std::string& section, const std::string& data, const SYSTEMTIME& stored,
                    const std::string& storedName = std::string());
    // Any bytes as a section's package (a damaged one, say).
    void AddRawPackage(const std::string& section, const std::string& bytes);
    // Writes RudovuZado.ini.zip holding the manifest text as RudovuZado.ini.
    void PublishManifest(const std::string& manifestText);

    std::wstring PackagePath(const std::string& section) const;

private:
    std::wstring root;
};

// A local time to the second, for packages and manifest dates.
SYSTEMTIME LocalTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second = 0);

}  // namespace updatetree
