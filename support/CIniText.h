#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The sections and keys of INI text, answered the way the platform's private-profile functions
// answer them, from one parse:
// - a line is what lies between CR or LF characters; white space (tab, LF, VT, FF, CR, ^Z,
//   space) around a line, a section name, a key name and a value does not count;
// - "[" starts a section header, whose name runs to the last "]"; a line starting with "["
//   without a later "]" is a key line;
// - a key line names its key up to the first "="; without "=" the key exists but has no value,
//   so it answers like an absent key;
// - section and key names compare without regard to ASCII letter case; the first section of a
//   name answers for every section of that name, and its first key of a name answers;
// - a value enclosed in a pair of equal quotes (' or ") is given without them;
// - lines before the first header belong to a section with an empty name, which is not listed,
//   nor is any other section whose name is empty.
class CIniText {
public:
    // Quoted values longer than this are left to the platform: its answer depends on the size
    // of the reader's buffer.
    static constexpr size_t kLongestQuotedValue = 512;

    // Reads text (UTF-16 code units). False, and nothing read, when the text holds something
    // whose reading is not reproduced here: a NUL character, a section or key name with a
    // character outside ASCII (the platform's case rules for those are its own), or a quoted
    // value longer than kLongestQuotedValue.
    bool Parse(std::wstring_view text);

    // Names of the sections with a non-empty name, in file order, repeated names included.
    const std::vector<std::wstring>& SectionNames() const { return m_sectionNames; }

    // The value of key in section, or nothing when the key is absent or has no value. The names
    // asked for are trimmed of white space; they must be ASCII, as every name read is.
    std::optional<std::wstring_view> Find(std::wstring_view section, std::wstring_view key) const;

private:
    struct Span {
        size_t begin = 0;
        size_t size = 0;
    };
    struct Key {
        size_t section = 0;
        Span name;
        std::optional<Span> value;
    };

    void Clear();
    bool ReadLine(size_t begin, size_t end);
    std::wstring_view Folded(Span span) const;
    std::wstring_view Text(Span span) const;
    // Index of the first section of that folded name, if any.
    std::optional<size_t> FindSection(std::wstring_view foldedName) const;

    std::wstring m_text;
    std::wstring m_folded;         // m_text with ASCII letters in lower case
    std::vector<Span> m_sections;  // [0]: the lines before the first header
    std::vector<size_t> m_byName;  // section indices sorted by folded name, then file order
    std::vector<Key> m_keys;       // sorted by section, folded name, then file order
    std::vector<std::wstring> m_sectionNames;
};
