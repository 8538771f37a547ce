#include "update/ContentRule.h"

namespace ContentRule {

namespace {

constexpr size_t kDigestDigits = 64;

wchar_t LowerHexDigit(wchar_t c) {
    if ((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f')) return c;
    if (c >= L'A' && c <= L'F') return static_cast<wchar_t>(c - L'A' + L'a');
    return 0;
}

}  // namespace

Verdict Judge(const Facts& facts) {
    if (facts.recorded) return *facts.recorded == facts.release ? Verdict::Keep : Verdict::Fetch;
    if (facts.present && *facts.present == facts.release) return Verdict::KeepAndRecord;
    if (facts.present && facts.before && *facts.present == *facts.before) return Verdict::Fetch;
    return facts.olderByDate ? Verdict::Fetch : Verdict::Keep;
}

std::optional<Content> SignedContent(int fileSize, const std::wstring& sha256) {
    if (fileSize < 0 || sha256.size() != kDigestDigits) return std::nullopt;
    Content content{static_cast<uint64_t>(fileSize), sha256};
    for (wchar_t& c : content.sha256) {
        c = LowerHexDigit(c);
        if (c == 0) return std::nullopt;
    }
    return content;
}

}  // namespace ContentRule
