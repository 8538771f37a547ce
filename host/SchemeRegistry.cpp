#include "host/SchemeRegistry.h"

namespace SchemeRegistry {

namespace {

std::u16string Quoted(std::u16string_view text) {
    std::u16string quoted = u"\"";
    quoted += text;
    quoted += u'"';
    return quoted;
}

std::u16string Below(std::u16string_view path) {
    std::u16string key = kSchemeKey;
    key += path;
    return key;
}

}  // namespace

std::vector<Entry> Entries(std::u16string_view programPath) {
    return {
        {kSchemeKey, u"", u"URL:PelkoWeb Protocol"},
        {kSchemeKey, u"URL Protocol", u""},
        {Below(u"\\DefaultIcon"), u"", Quoted(programPath) + u",0"},
        {Below(u"\\shell\\open\\command"), u"", Quoted(programPath) + u" \"%1\""},
    };
}

std::vector<std::u16string> KeysDeepestFirst() {
    return {Below(u"\\shell\\open\\command"), Below(u"\\shell\\open"), Below(u"\\shell"),
            Below(u"\\DefaultIcon"), kSchemeKey};
}

}  // namespace SchemeRegistry
