#include "tools/publish/CIniDocument.h"

#include "tools/publish/CPublishError.h"

namespace {

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

const CIniDocument::Key* CIniDocument::Section::Find(std::string_view keyName) const {
    for (const Key& key : keys)
        if (EqualsIgnoringCase(key.name, keyName)) return &key;
    return nullptr;
}

CIniDocument CIniDocument::Parse(std::string_view text, const std::string& origin) {
    constexpr std::string_view utf8Mark = "\xEF\xBB\xBF";
    if (text.substr(0, utf8Mark.size()) == utf8Mark) text.remove_prefix(utf8Mark.size());

    CIniDocument document;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const auto fail = [&](const std::string& why) {
            throw CPublishError(origin + ":" + std::to_string(lineNumber) + ": " + why);
        };
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.find(']') != line.size() - 1)
                fail("a section line must be [name]");
            document.sections.push_back(
                Section{std::string(Trim(line.substr(1, line.size() - 2))), lineNumber, {}});
            continue;
        }
        if (document.sections.empty()) fail("a key before the first section");
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) fail("expected key=value");
        Section& section = document.sections.back();
        Key key{std::string(Trim(line.substr(0, equals))),
                std::string(Trim(line.substr(equals + 1))), lineNumber};
        if (key.name.empty()) fail("a key without a name");
        if (section.Find(key.name)) fail("key " + key.name + " given twice");
        section.keys.push_back(std::move(key));
    }
    return document;
}
