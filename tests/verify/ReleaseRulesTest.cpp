// The statement's form and the rules that judge an authentic one: pure, on every build.
#include <gtest/gtest.h>

#include <cstdint>

#include "verify/ReleaseRules.h"
#include "verify/ReleaseStatement.h"

namespace {

const std::string kDigest(64, 'a');
const std::string kSignature(128, 'b');

std::string Text(const std::string& size, const std::string& serial, const std::string& expires,
                 const std::string& signature = kSignature) {
    return "PelkoWebLoader release 1\nManifest-Size: " + size + "\nManifest-Sha256: " + kDigest +
           "\nSerial: " + serial + "\nExpires: " + expires + "\nSignature: " + signature + "\n";
}

TEST(ReleaseStatementTest, WrittenStatementReadsBackWithTheBytesItsSignatureCovers) {
    ReleaseStatement statement;
    statement.manifestSize = 807;
    statement.manifestDigest.fill(0xAB);
    statement.serial = 1796925528;
    statement.expires = 1800000000;
    RawSignature signature;
    signature.fill(0x5C);
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
                  "PelkoWebLoader release 3" + Text("1", "2", "never").substr(24)},
        Malformed{"second form without its product line",
                  "PelkoWebLoader release 2" + Text("1", "2", "never").substr(24)},
        Malformed{"product line in the first form",
                  "PelkoWebLoader release 1\nProduct=Pelko" + Text("1", "2", "never").substr(24)},
        Malformed{"empty product",
                  "PelkoWebLoader release 2\nProduct=" + Text("1", "2", "never").substr(24)},
        Malformed{"product with a blank",
                  "PelkoWebLoader release 2\nProduct=Pelko Desk" + Text("1", "2", "never").substr(24)},
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
