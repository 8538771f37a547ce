#include "host/UrlText.h"

namespace UrlText {

namespace {

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

// The length of the sequence a lead byte starts and the bits it carries; 0 for a byte that
// cannot lead.
int SequenceLength(unsigned char lead, char32_t& bits) {
    if (lead < 0x80) return bits = lead, 1;
    if ((lead & 0xE0) == 0xC0) return bits = lead & 0x1F, 2;
    if ((lead & 0xF0) == 0xE0) return bits = lead & 0x0F, 3;
    if ((lead & 0xF8) == 0xF0) return bits = lead & 0x07, 4;
    return 0;
}

void AppendUtf16(char32_t c, std::u16string& out) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
        return;
    }
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
}

}  // namespace

std::optional<std::string> PercentDecode(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= 0x80) return std::nullopt;
        if (text[i] != u'%') {
            bytes += static_cast<char>(text[i]);
            continue;
        }
        if (text.size() - i < 3) return std::nullopt;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return bytes;
}

std::optional<std::u16string> Utf16FromUtf8(std::string_view bytes) {
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    std::u16string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t c = 0;
        const int length = SequenceLength(static_cast<unsigned char>(bytes[i]), c);
        if (length == 0 || bytes.size() - i < static_cast<std::size_t>(length)) return std::nullopt;
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            c = (c << 6) | (next & 0x3F);
        }
        if (c < kLeast[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
        AppendUtf16(c, out);
        i += static_cast<std::size_t>(length);
    }
    return out;
}

}  // namespace UrlText
