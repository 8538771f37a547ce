#pragma once

#include <string>
#include <string_view>
#include <vector>

// An INI text as the platform's profile functions read it: sections in file order, keys
// and section names compared without regard to ASCII case, blanks around names and values
// dropped, lines starting with ";" or "#" ignored. Anything the profile functions would
// silently skip (text before the first section, a line without "=", a key given twice) is
// refused here, so a typing error cannot pass unnoticed.
class CIniDocument {
public:
    struct Key {
        std::string name;
        std::string value;
        int line = 0;
    };
    struct Section {
        std::string name;
        int line = 0;
        std::vector<Key> keys;

        const Key* Find(std::string_view keyName) const;
    };

    // Throws CPublishError naming origin and the line.
    static CIniDocument Parse(std::string_view text, const std::string& origin);

    const std::vector<Section>& Sections() const { return sections; }

private:
    std::vector<Section> sections;
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b);
