#include <gtest/gtest.h>

#include "update/DeltaChoice.h"

namespace {

const std::wstring shaA(64, L'a');
const std::wstring shaB(64, L'b');
const std::wstring shaC(64, L'c');

std::wstring Offer(const std::wstring& base, const std::wstring& size, const std::wstring& sha) {
    return base + L":" + size + L":" + sha;
}

TEST(DeltaChoiceTest, ReadsOnlyTheExactShape) {
    const struct {
        const wchar_t* what;
        std::wstring text;
        bool valid;
    } cases[] = {
        {L"plain", Offer(shaA, L"4719", shaB), true},
        {L"largest size", Offer(shaA, L"4294967295", shaB), true},
        {L"size past 32 bits", Offer(shaA, L"4294967296", shaB), false},
        {L"size of eleven digits", Offer(shaA, L"00000000001", shaB), false},
        {L"empty delta", Offer(shaA, L"0", shaB), false},
        {L"no size", Offer(shaA, L"", shaB), false},
        {L"signed size", Offer(shaA, L"+5", shaB), false},
        {L"upper-case digest", Offer(std::wstring(64, L'A'), L"5", shaB), false},
        {L"short digest", Offer(shaA.substr(1), L"5", shaB), false},
        {L"long digest", Offer(shaA, L"5", shaB + L"b"), false},
        {L"path in the digest", Offer(shaA, L"5", L"../" + shaB.substr(3)), false},
        {L"fourth part", Offer(shaA, L"5", shaB) + L":1", false},
        {L"one colon", shaA + L":5", false},
        {L"blank", L" " + Offer(shaA, L"5", shaB), false},
    };
    for (const auto& c : cases) {
        const auto offer = DeltaChoice::ParseOffer(c.text);
        EXPECT_EQ(c.valid, offer.has_value()) << c.what;
    }
    EXPECT_EQ((DeltaOffer{shaA, 4719, shaB}), DeltaChoice::ParseOffer(Offer(shaA, L"4719", shaB)));
}

TEST(DeltaChoiceTest, ChoosesTheOfferForTheInstalledFileOfASignedManifest) {
    const std::vector<std::wstring> offers{L"damaged", Offer(shaA, L"10", shaB),
                                           Offer(shaC, L"20", shaB), Offer(shaC, L"30", shaA)};
    const struct {
        const wchar_t* what;
        bool signedManifest;
        std::wstring installed;
        std::optional<uint64_t> size;
    } cases[] = {
        {L"first match", true, shaC, 20},
        {L"other base", true, shaA, 10},
        {L"no base matches", true, shaB, std::nullopt},
        {L"unsigned manifest", false, shaC, std::nullopt},
        {L"installed digest unknown", true, L"", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto chosen = DeltaChoice::Choose(offers, c.signedManifest, c.installed);
        EXPECT_EQ(c.size, chosen ? std::optional<uint64_t>(chosen->size) : std::nullopt) << c.what;
    }
    // Only five keys are read.
    std::vector<std::wstring> six(5, L"damaged");
    six.push_back(Offer(shaA, L"5", shaB));
    EXPECT_FALSE(DeltaChoice::Choose(six, true, shaA));
    EXPECT_EQ(L"objects/" + shaB + L".pdelta", DeltaChoice::ObjectName({shaA, 5, shaB}));
}

}  // namespace
