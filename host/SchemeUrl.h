#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The pelkoweb: URL that a web page links to and a browser hands to PelkoWebHost:
//   pelkoweb://desk?server=<url>&enc=<text>
//   pelkoweb://classic?server=<url>&entid=<text>&entname=<text>
//   pelkoweb://agent?server=<url>&enc=<text>
// The scheme is matched without regard to case, as URL schemes are; the operation and the
// parameter names exactly, in lower case. One "/" may follow the operation. Every parameter
// of the operation must be present once and no other; values are percent-encoded UTF-8,
// decoded once ("+" stays "+"; a space is "%20"), and may be empty.
namespace SchemeUrl {

inline constexpr char16_t kScheme[] = u"pelkoweb";

// Longer URLs are refused before they are read.
inline constexpr std::size_t kMaxLength = 4096;

enum class Operation { Desk, Classic, Agent };

// Why a URL is refused. ExtraArguments is the host's own: the URL did not come alone.
enum class Refusal {
    None,
    TooLong,
    ExtraArguments,
    BadCharacter,
    NotSchemeUrl,
    UnknownOperation,
    MalformedParameter,
    UnknownParameter,
    RepeatedParameter,
    MissingParameter,
    BadPercentEncoding,
    InvalidUtf8,
    EmbeddedNul,
};

struct Request {
    Operation operation = Operation::Desk;
    std::u16string server;
    std::u16string enc;
    std::u16string entId;
    std::u16string entName;
};

// A request, or the refusal and the part of the URL it is about (an operation or parameter
// name, a malformed parameter, or a refused character as "U+XXXX").
struct Parsed {
    Refusal refusal = Refusal::None;
    std::u16string detail;
    Request request;
};

// True when the text starts with "pelkoweb:" in any case: the host then takes it as a URL.
bool IsSchemeUrl(std::u16string_view text);

Parsed Parse(std::u16string_view url);

}  // namespace SchemeUrl
