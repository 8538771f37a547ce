#include "host/SchemeUrl.h"

#include <array>
#include <optional>

#include "host/UrlText.h"

namespace SchemeUrl {

namespace {

constexpr std::u16string_view kAuthorityMark = u"//";

struct OperationName {
    std::u16string_view name;
    Operation operation;
    std::array<std::u16string_view, 3> parameters;  // empty names are unused
};

constexpr OperationName kOperations[] = {
    {u"desk", Operation::Desk, {u"server", u"enc", u""}},
    {u"classic", Operation::Classic, {u"server", u"entid", u"entname"}},
    {u"agent", Operation::Agent, {u"server", u"enc", u""}},
};

char16_t LowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; }

// What a URL query may hold as it is (RFC 3986 query characters and "%"); everything else
// must come percent-encoded. "#" is not taken: a fragment has no meaning here.
bool IsAllowedCharacter(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'))
        return true;
    return std::u16string_view(u"-._~!$&'()*+,;=:@/?%").find(c) != std::u16string_view::npos;
}

std::u16string CodePointText(char16_t c) {
    constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string text = u"U+";
    for (int shift = 12; shift >= 0; shift -= 4) text += kDigits[(c >> shift) & 0xF];
    return text;
}

Parsed Refuse(Refusal refusal, std::u16string_view detail = {}) {
    Parsed parsed;
    parsed.refusal = refusal;
    parsed.detail = detail;
    return parsed;
}

const OperationName* FindOperation(std::u16string_view target) {
    if (!target.empty() && target.back() == u'/') target.remove_suffix(1);
    for (const auto& operation : kOperations)
        if (operation.name == target) return &operation;
    return nullptr;
}

std::u16string* ValueSlot(Request& request, std::u16string_view name) {
    if (name == u"server") return &request.server;
    if (name == u"enc") return &request.enc;
    if (name == u"entid") return &request.entId;
    if (name == u"entname") return &request.entName;
    return nullptr;
}

int ParameterIndex(const OperationName& operation, std::u16string_view name) {
    for (std::size_t i = 0; i < operation.parameters.size(); ++i)
        if (!operation.parameters[i].empty() && operation.parameters[i] == name)
            return static_cast<int>(i);
    return -1;
}

// Decodes one value into its slot; a refusal when it cannot.
Refusal DecodeValue(std::u16string_view encoded, std::u16string& slot) {
    const std::optional<std::string> bytes = UrlText::PercentDecode(encoded);
    if (!bytes) return Refusal::BadPercentEncoding;
    std::optional<std::u16string> text = UrlText::Utf16FromUtf8(*bytes);
    if (!text) return Refusal::InvalidUtf8;
    // The start operations take zero-terminated text: a NUL would cut the value short.
    if (text->find(u'\0') != std::u16string::npos) return Refusal::EmbeddedNul;
    slot = std::move(*text);
    return Refusal::None;
}

Parsed ParseQuery(const OperationName& operation, std::u16string_view query) {
    Parsed parsed;
    parsed.request.operation = operation.operation;
    std::array<bool, 3> seen = {};
    // Every part between "&"s counts, so "a=1&&b=2" and a trailing "&" are refused too.
    for (std::size_t start = 0; !query.empty();) {
        const std::size_t end = query.find(u'&', start);
        const std::u16string_view part = query.substr(start, end - start);
        const std::size_t equals = part.find(u'=');
        if (equals == std::u16string_view::npos || equals == 0)
            return Refuse(Refusal::MalformedParameter, part);
        const std::u16string_view name = part.substr(0, equals);
        const int index = ParameterIndex(operation, name);
        if (index < 0) return Refuse(Refusal::UnknownParameter, name);
        if (seen[index]) return Refuse(Refusal::RepeatedParameter, name);
        seen[index] = true;
        const Refusal refusal =
            DecodeValue(part.substr(equals + 1), *ValueSlot(parsed.request, name));
        if (refusal != Refusal::None) return Refuse(refusal, name);
        if (end == std::u16string_view::npos) break;
        start = end + 1;
    }
    for (std::size_t i = 0; i < operation.parameters.size(); ++i)
        if (!operation.parameters[i].empty() && !seen[i])
            return Refuse(Refusal::MissingParameter, operation.parameters[i]);
    return parsed;
}

}  // namespace

bool IsSchemeUrl(std::u16string_view text) {
    const std::u16string_view scheme = kScheme;
    if (text.size() <= scheme.size() || text[scheme.size()] != u':') return false;
    for (std::size_t i = 0; i < scheme.size(); ++i)
        if (LowerAscii(text[i]) != scheme[i]) return false;
    return true;
}

Parsed Parse(std::u16string_view url) {
    if (url.size() > kMaxLength) return Refuse(Refusal::TooLong);
    for (const char16_t c : url)
        if (!IsAllowedCharacter(c)) return Refuse(Refusal::BadCharacter, CodePointText(c));
    if (!IsSchemeUrl(url)) return Refuse(Refusal::NotSchemeUrl);
    std::u16string_view rest = url.substr(std::u16string_view(kScheme).size() + 1);
    if (!rest.starts_with(kAuthorityMark)) return Refuse(Refusal::NotSchemeUrl);
    rest.remove_prefix(kAuthorityMark.size());

    const std::size_t question = rest.find(u'?');
    const std::u16string_view target = rest.substr(0, question);
    const OperationName* operation = FindOperation(target);
    if (operation == nullptr) return Refuse(Refusal::UnknownOperation, target);
    const std::u16string_view query =
        question == std::u16string_view::npos ? std::u16string_view() : rest.substr(question + 1);
    return ParseQuery(*operation, query);
}

}  // namespace SchemeUrl
