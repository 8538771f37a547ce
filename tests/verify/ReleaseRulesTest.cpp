// The statement's form and the rules that judge an authentic one: pure, on every build.
#include <gtest/gtest.h>

#include <cstdint>

#include "verify/ReleaseRules.h"
#include "verify/ReleaseStatement.h"
#include "verify/RolloutRule.h"

namespace {

const std::string kDigest(64, 'a');
const std::string kSignature(128, 'b');

std::string Text(const std::string& size, const std::string& serial, const std::string& expires,
                 const std::string& signature = kSignature) {
    return "PelkoWebLoader release 1\nManifest-Size: " + size + "\nManifest-Sha256: " + kDigest +
           "\nSerial: " + serial + "\nExpires: " + expires + "\nSignature: " + signature + "\n";
}

// A statement of the first form and a signature, as a publisher writes them.
ReleaseStatement SampleStatement() {
    ReleaseStatement statement;
    statement.manifestSize = 807;
    statement.manifestDigest.fill(0xAB);
    statement.serial = 1796925528;
    statement.expires = 1800000000;
    return statement;
}

RawSignature SampleSignature() {
    RawSignature signature;
    signature.fill(0x5C);
    return signature;
}

TEST(ReleaseStatementTest, WrittenStatementReadsBackWithTheBytesItsSignatureCovers) {
    ReleaseStatement statement = SampleStatement();
    const RawSignature signature = SampleSignature();
    const std::string text = StatementText(statement, signature);
    const auto parsed = ParseStatement(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->statement, statement);
    EXPECT_EQ(parsed->signature, signature);
    EXPECT_EQ(parsed->signedPart, SignedPart(statement));
    EXPECT_EQ(text.rfind(parsed->signedPart, 0), 0u);

    statement.expires.reset();
    EXPECT_EQ(ParseStatement(StatementText(statement, signature))->statement, statement);

    // Naming its product: the second form, the product on a line of its own.
    statement.product = "Pelko-Desk_2.x";
    statement.expires = 1800000000;
    const std::string named = StatementText(statement, signature);
    EXPECT_EQ(named.rfind("PelkoWebLoader release 2\nProduct=Pelko-Desk_2.x\nManifest-Size: 807\n",
                          0),
              0u);
    const auto parsedNamed = ParseStatement(named);
    ASSERT_TRUE(parsedNamed);
    EXPECT_EQ(parsedNamed->statement, statement);
    EXPECT_EQ(parsedNamed->signedPart, SignedPart(statement));
}

// A rollout's three lines follow Expires in the third form; a release without one keeps the
// second form's bytes, which earlier components read.
TEST(ReleaseStatementTest, ARolloutIsWrittenInTheThirdFormAndReadsBack) {
    ReleaseStatement statement = SampleStatement();
    statement.product = "PelkoDesk";
    const RawSignature signature = SampleSignature();
    const std::string plain = StatementText(statement, signature);
    for (const std::optional<uint32_t> cap : {std::optional<uint32_t>(), std::optional<uint32_t>(0),
                                              std::optional<uint32_t>(1000000)}) {
        statement.rollout = ReleaseRollout{1796900000, 30, cap};
        const std::string text = StatementText(statement, signature);
        const std::string capText = cap ? std::to_string(*cap) : "none";
        EXPECT_EQ(text, "PelkoWebLoader release 3" +
                            plain.substr(24, plain.find("Signature") - 24) +
                            "Rollout-Start: 1796900000\nRollout-Days: 30\nRollout-Cap: " + capText +
                            "\n" + plain.substr(plain.find("Signature")));
        const auto parsed = ParseStatement(text);
        ASSERT_TRUE(parsed) << capText;
        EXPECT_EQ(parsed->statement, statement);
        EXPECT_EQ(parsed->signedPart, SignedPart(statement));
    }
    EXPECT_EQ(plain.rfind("PelkoWebLoader release 2\n", 0), 0u);
}

std::string RolloutText(const std::string& days, const std::string& cap) {
    return "PelkoWebLoader release 3\nProduct=P\nManifest-Size: 1\nManifest-Sha256: " + kDigest +
           "\nSerial: 2\nExpires: never\nRollout-Start: 5\nRollout-Days: " + days +
           "\nRollout-Cap: " + cap + "\nSignature: " + kSignature + "\n";
}

TEST(ReleaseStatementTest, ARolloutOutsideItsBoundsOrFormIsRefused) {
    ASSERT_TRUE(ParseStatement(RolloutText("30", "1000000")));
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"no days", RolloutText("0", "none")},
        {"more than 30 days", RolloutText("31", "none")},
        {"a cap above the whole", RolloutText("1", "1000001")},
        {"a cap in other letters", RolloutText("1", "None")},
        {"a negative start",
         [] {
             std::string t = RolloutText("1", "none");
             t.replace(t.find("Start: 5"), 8, "Start: -5");
             return t;
         }()},
        {"the rollout lines in the second form",
         [] {
             std::string t = RolloutText("1", "none");
             t.replace(0, 24, "PelkoWebLoader release 2");
             return t;
         }()},
        {"the third form without its rollout lines",
         "PelkoWebLoader release 3\nProduct=P\nManifest-Size: 1\nManifest-Sha256: " + kDigest +
             "\nSerial: 2\nExpires: never\nSignature: " + kSignature + "\n"},
        {"the rollout lines out of order",
         [] {
             std::string t = RolloutText("1", "none");
             const size_t days = t.find("Rollout-Days");
             const size_t cap = t.find("Rollout-Cap");
             return t.substr(0, days) + t.substr(cap, t.find("Signature") - cap) +
                    t.substr(days, cap - days) + t.substr(t.find("Signature"));
         }()},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(ParseStatement(c.text, &why)) << c.what;
        EXPECT_FALSE(why.empty()) << c.what;
    }
}

// The offer rule: start, days, cap, the install's draw and its clock decide; a first install and
// a release without a rollout are always offered.
TEST(RolloutRuleTest, AReleaseReachesAnInstallAtItsTurnUnderTheCap) {
    constexpr int64_t kStart = 1796900000;
    constexpr int64_t kDay = RolloutRule::kSecondsPerDay;
    constexpr uint32_t kHalf = 1u << 31;  // u = 0.5
    const ReleaseRollout open{kStart, 10, std::nullopt};
    const ReleaseRollout held{kStart, 10, 300000};  // at 30 %
    const ReleaseRollout stopped{kStart, 10, 0};
    const struct {
        const char* what;
        std::optional<ReleaseRollout> rollout;
        bool firstInstall;
        uint32_t draw;
        int64_t now;
        bool offered;
    } rows[] = {
        {"no rollout", std::nullopt, false, RolloutRule::kLastDraw, kStart - kDay, true},
        {"half way, u = 0.5: its turn", open, false, kHalf, kStart + 5 * kDay, true},
        {"a second before its turn", open, false, kHalf, kStart + 5 * kDay - 1, false},
        {"u = 0 at the start", open, false, 0, kStart, true},
        {"u = 0 before the start", open, false, 0, kStart - 1, false},
        {"the last draw on the last day", open, false, RolloutRule::kLastDraw,
         kStart + 10 * kDay - 1, true},
        {"the last draw a day early", open, false, RolloutRule::kLastDraw, kStart + 9 * kDay,
         false},
        {"a first install before the start", open, true, RolloutRule::kLastDraw, kStart - 1, true},
        {"held at 30 %, u = 0.29 after its turn", held, false, 1245540515, kStart + 9 * kDay, true},
        {"held at 30 %, u = 0.5 after its turn", held, false, kHalf, kStart + 9 * kDay, false},
        {"held at 30 %, u = 0.5 long after the end", held, false, kHalf, kStart + 99 * kDay, false},
        {"stopped, u = 0", stopped, false, 0, kStart + 99 * kDay, false},
        {"stopped, a first install", stopped, true, kHalf, kStart, true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RolloutRule::Offered(row.rollout, row.firstInstall, row.draw, row.now),
                  row.offered)
            << row.what;
}

TEST(RolloutRuleTest, TheShareGrowsEvenlyAndAHoldKeepsEveryInstallItReached) {
    constexpr int64_t kStart = 1796900000;
    constexpr int64_t kDay = RolloutRule::kSecondsPerDay;
    const ReleaseRollout open{kStart, 4, std::nullopt};
    EXPECT_EQ(RolloutRule::ShareAt(open, kStart - kDay), 0u);
    EXPECT_EQ(RolloutRule::ShareAt(open, kStart + kDay), 250000u);
    EXPECT_EQ(RolloutRule::ShareAt(open, kStart + 4 * kDay), 1000000u);
    EXPECT_EQ(RolloutRule::ShareAt(open, kStart + 40 * kDay), 1000000u);
    EXPECT_EQ(RolloutRule::ShareAt(ReleaseRollout{kStart, 4, 100000}, kStart + 2 * kDay), 100000u);

    // Held at any moment: each install whose turn had come is still offered, one whose turn
    // had not never is.
    for (const int64_t held : {kStart + 1, kStart + kDay + 7, kStart + 3 * kDay - 1}) {
        const ReleaseRollout hold{kStart, 4, RolloutRule::HoldCap(open, held)};
        for (uint32_t draw = 0; draw < RolloutRule::kLastDraw - 65537u * 1000u;
             draw += 65537u * 1000u) {
            const bool reached = RolloutRule::TurnOf(open, draw) <= held;
            EXPECT_EQ(RolloutRule::Offered(hold, false, draw, kStart + 99 * kDay), reached)
                << held << " " << draw;
        }
    }
}

TEST(ReleaseStatementTest, ProductNamesArePlainAndShort) {
    for (const char* good : {"P", "PelkoDesk", "pelko.desk-2_b", "0123456789"})
        EXPECT_TRUE(IsProductName(good)) << good;
    for (const std::string& bad : {std::string(), std::string("Pelko Desk"), std::string("a/b"),
                                   std::string("a=b"), std::string("\xED\x95\x9C"),
                                   std::string(65, 'p'), std::string("a\tb")})
        EXPECT_FALSE(IsProductName(bad)) << bad;
    EXPECT_TRUE(IsProductName(std::string(64, 'p')));
}

struct Malformed {
    const char* what;
    std::string text;
};

class MalformedStatementTest : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedStatementTest, IsRefusedWithAReason) {
    std::string why;
    EXPECT_FALSE(ParseStatement(GetParam().text, &why)) << GetParam().what;
    EXPECT_FALSE(why.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MalformedStatementTest,
    ::testing::Values(
        Malformed{"empty", ""},
        Malformed{"no final line end",
                  [] {
                      std::string t = Text("1", "2", "never");
                      t.pop_back();
                      return t;
                  }()},
        Malformed{"lines end with CR LF",
                  [] {
                      std::string t = Text("1", "2", "never");
                      for (size_t i = t.find('\n'); i != std::string::npos; i = t.find('\n', i + 2))
                          t.insert(i, "\r");
                      return t;
                  }()},
        Malformed{"other first line",
                  "PelkoWebLoader release 4" + Text("1", "2", "never").substr(24)},
        Malformed{"second form without its product line",
                  "PelkoWebLoader release 2" + Text("1", "2", "never").substr(24)},
        Malformed{"product line in the first form",
                  "PelkoWebLoader release 1\nProduct=Pelko" + Text("1", "2", "never").substr(24)},
        Malformed{"empty product",
                  "PelkoWebLoader release 2\nProduct=" + Text("1", "2", "never").substr(24)},
        Malformed{"product with a blank", "PelkoWebLoader release 2\nProduct=Pelko Desk" +
                                              Text("1", "2", "never").substr(24)},
        Malformed{"product as a key with a colon",
                  "PelkoWebLoader release 2\nProduct: Pelko" + Text("1", "2", "never").substr(24)},
        Malformed{"product after the manifest lines",
                  [] {
                      std::string t = Text("1", "2", "never");
                      t.replace(0, 24, "PelkoWebLoader release 2");
                      t.insert(t.find("Signature"), "Product=Pelko\n");
                      return t;
                  }()},
        Malformed{"signed number", Text("+1", "2", "never")},
        Malformed{"leading zero", Text("1", "02", "never")},
        Malformed{"number too long", Text("1", "12345678901234567890", "never")},
        Malformed{"expiry as a word", Text("1", "2", "soon")},
        Malformed{"short signature", Text("1", "2", "never", kSignature.substr(2))},
        Malformed{"upper-case digest changes the signed bytes",
                  [] {
                      std::string t = Text("1", "2", "never");
                      t.replace(t.find(kDigest), 64, std::string(64, 'A'));
                      return t;
                  }()},
        Malformed{"upper-case signature", Text("1", "2", "never", std::string(128, 'B'))},
        Malformed{"a line after the signature", Text("1", "2", "never") + "Note: x\n"},
        Malformed{"too long", Text("1", "2", "never") + std::string(2000, '#')}),
    [](const ::testing::TestParamInfo<Malformed>& info) {
        std::string name;
        for (const char* c = info.param.what; *c; ++c) name += isalnum(*c) ? *c : '_';
        return name;
    });

TEST(ReleaseRulesTest, KeyListTakesOneOrTwoKeysOfExactlyTheirLength) {
    const std::string key(128, 'c');
    EXPECT_EQ(ReleaseRules::ParseKeyList(key)->size(), 1u);
    EXPECT_EQ(ReleaseRules::ParseKeyList(key + ";" + std::string(128, 'd'))->size(), 2u);
    EXPECT_EQ(ReleaseRules::ParseKeyList(" " + key + "\n")->size(), 1u);
    for (const std::string& bad : {std::string(), std::string(";"), key.substr(1), key + "e",
                                   key + ";" + key + ";" + key, std::string(127, 'c') + "g"})
        EXPECT_FALSE(ReleaseRules::ParseKeyList(bad)) << bad;
}

TEST(ReleaseRulesTest, OlderSerialsAndExpiredStatementsAreRefused) {
    const ReleaseRules::Acceptance any{"Pelko", true, false};
    ReleaseStatement s;
    s.serial = 10;
    EXPECT_FALSE(ReleaseRules::StatementProblem(s, 10, 0, any)) << "the same release again";
    EXPECT_FALSE(ReleaseRules::StatementProblem(s, 0, 0, any)) << "no release accepted yet";
    EXPECT_TRUE(ReleaseRules::StatementProblem(s, 11, 0, any));
    s.expires = 500;
    EXPECT_FALSE(ReleaseRules::StatementProblem(s, 0, 499, any));
    EXPECT_TRUE(ReleaseRules::StatementProblem(s, 0, 500, any));
}

// Serials only grow: one far in the future would end every later release on every client.
TEST(ReleaseRulesTest, ASerialMoreThanTenYearsAheadOfTheClockIsRefused) {
    const ReleaseRules::Acceptance any{"Pelko", true, false};
    const int64_t now = 1765400000;
    const uint64_t latest = static_cast<uint64_t>(now + ReleaseRules::kLongestSerialLead);
    ASSERT_GE(ReleaseRules::kLongestSerialLead, 10LL * 365 * 24 * 60 * 60);
    const struct {
        uint64_t serial;
        bool refused;
    } cases[] = {
        {static_cast<uint64_t>(now), false},
        {latest, false},
        {latest + 1, true},
        {9999999999999999998ull, true},
    };
    for (const auto& c : cases) {
        ReleaseStatement s;
        s.serial = c.serial;
        EXPECT_EQ(ReleaseRules::SerialTooFarAhead(c.serial, now), c.refused) << c.serial;
        EXPECT_EQ(ReleaseRules::StatementProblem(s, 0, now, any).has_value(), c.refused)
            << c.serial;
    }
}

// A statement expiring further ahead than a build's bound (and a day for clocks) is refused, in
// test builds too: a stolen key's release, or one signed for good, ends within the bound.
TEST(ReleaseRulesTest, AnExpiryFurtherAheadThanTheBoundIsRefused) {
    constexpr int64_t kNow = 1800000000;
    constexpr int64_t kDay = 86400;
    const struct {
        const char* name;
        int maxDays;
        bool requireExpiry;
        int64_t expires;
        bool accepted;
    } cases[] = {
        {"the bound's last second, a day's grace", 400, true, kNow + 401 * kDay, true},
        {"a second beyond", 400, true, kNow + 401 * kDay + 1, false},
        {"ten years", 400, true, kNow + 3650 * kDay, false},
        {"ten years, a test build", 400, false, kNow + 3650 * kDay, false},
        {"a day", 400, true, kNow + kDay, true},
        {"a smaller bound", 30, true, kNow + 32 * kDay, false},
        {"the largest expiry", 400, true, INT64_MAX, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReleaseStatement s;
        s.product = "Pelko";
        s.expires = c.expires;
        ReleaseRules::Acceptance acceptance{"Pelko", !c.requireExpiry, c.requireExpiry};
        acceptance.maxReleaseDays = c.maxDays;
        const auto problem = ReleaseRules::StatementProblem(s, 0, kNow, acceptance);
        EXPECT_EQ(!problem, c.accepted);
        if (problem) {
            EXPECT_NE(problem->find("more than " + std::to_string(c.maxDays) + " days after now"),
                      std::string::npos)
                << *problem;
        }
    }
    EXPECT_EQ(ReleaseRules::Acceptance{}.maxReleaseDays, PELKO_MAX_RELEASE_DAYS);
}

TEST(ReleaseRulesTest, AStatementNamesTheBuildsProductAndExpiresWhereThatIsRequired) {
    const struct {
        const char* name;
        std::optional<std::string> product;
        std::optional<int64_t> expires;
        ReleaseRules::Acceptance acceptance;
        bool accepted;
    } cases[] = {
        {"the product, expiring", "Pelko", 500, {"Pelko", false, true}, true},
        {"another product", "Pelko2", 500, {"Pelko", false, true}, false},
        {"another product, test build", "Pelko2", 500, {"Pelko", true, false}, false},
        {"a product differing in case", "pelko", 500, {"Pelko", false, true}, false},
        {"no product", std::nullopt, 500, {"Pelko", false, true}, false},
        {"no product, test build", std::nullopt, 500, {"Pelko", true, false}, true},
        {"never expiring", "Pelko", std::nullopt, {"Pelko", false, true}, false},
        {"never expiring, test build", "Pelko", std::nullopt, {"Pelko", true, false}, true},
    };
    for (const auto& c : cases) {
        ReleaseStatement s;
        s.product = c.product;
        s.expires = c.expires;
        EXPECT_EQ(!ReleaseRules::StatementProblem(s, 0, 100, c.acceptance), c.accepted) << c.name;
    }
}

TEST(ReleaseRulesTest, SerialRecordIsADecimalNumberAndAnythingElseIsDamaged) {
    EXPECT_EQ(ReleaseRules::ParseSerialRecord(ReleaseRules::SerialRecord(1796925528)), 1796925528u);
    EXPECT_EQ(ReleaseRules::ParseSerialRecord("7"), 7u);
    for (const char* bad : {"", "\r\n", "12ab", "-1", " 1", "12345678901234567890"})
        EXPECT_FALSE(ReleaseRules::ParseSerialRecord(bad)) << bad;
}

}  // namespace
