#include "update/DeltaChoice.h"

namespace DeltaChoice {

namespace {

bool IsSha256Text(std::wstring_view text) {
    return text.size() == 64 && text.find_first_not_of(L"0123456789abcdef") == text.npos;
}

}  // namespace

std::wstring KeyName(int index) { return L"Delta" + std::to_wstring(index); }

std::optional<DeltaOffer> ParseOffer(std::wstring_view text) {
    const size_t first = text.find(L':');
    const size_t second = first == text.npos ? first : text.find(L':', first + 1);
    if (second == text.npos) return std::nullopt;
    const std::wstring_view base = text.substr(0, first);
    const std::wstring_view size = text.substr(first + 1, second - first - 1);
    const std::wstring_view sha = text.substr(second + 1);
    if (!IsSha256Text(base) || !IsSha256Text(sha) || size.empty() || size.size() > 10 ||
        size.find_first_not_of(L"0123456789") != size.npos)
        return std::nullopt;
    uint64_t bytes = 0;
    for (wchar_t digit : size) bytes = bytes * 10 + static_cast<uint64_t>(digit - L'0');
    if (bytes == 0 || bytes > UINT32_MAX) return std::nullopt;
    return DeltaOffer{std::wstring(base), bytes, std::wstring(sha)};
}

std::optional<DeltaOffer> Choose(const std::vector<std::wstring>& values, bool signedManifest,
                                 std::wstring_view installedSha256) {
    if (!signedManifest || !IsSha256Text(installedSha256)) return std::nullopt;
    for (size_t i = 0; i < values.size() && i < mostOffers; ++i) {
        const std::optional<DeltaOffer> offer = ParseOffer(values[i]);
        if (offer && offer->baseSha256 == installedSha256) return offer;
    }
    return std::nullopt;
}

std::wstring ObjectName(const DeltaOffer& offer) { return L"objects/" + offer.sha256 + L".pdelta"; }

}  // namespace DeltaChoice
