// The statement's form and the rules that judge an authentic one: pure, on every build.
#include <gtest/gtest.h>

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
                  "PelkoWebLoader release 2" + Text("1", "2", "never").substr(24)},
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
    ReleaseStatement s;
    s.serial = 10;
    EXPECT_FALSE(ReleaseRules::StatementProblem(s, 10, 0)) << "the same release again";
    EXPECT_FALSE(ReleaseRules::StatementProblem(s, 0, 0)) << "no release accepted yet";
    EXPECT_TRUE(ReleaseRules::StatementProblem(s, 11, 0));
    s.expires = 500;
    EXPECT_FALSE(ReleaseRules::StatementProblem(s, 0, 499));
    EXPECT_TRUE(ReleaseRules::StatementProblem(s, 0, 500));
}

TEST(ReleaseRulesTest, SerialRecordIsADecimalNumberAndAnythingElseIsDamaged) {
    EXPECT_EQ(ReleaseRules::ParseSerialRecord(ReleaseRules::SerialRecord(1796925528)), 1796925528u);
    EXPECT_EQ(ReleaseRules::ParseSerialRecord("7"), 7u);
    for (const char* bad : {"", "\r\n", "12ab", "-1", " 1", "12345678901234567890"})
        EXPECT_FALSE(ReleaseRules::ParseSerialRecord(bad)) << bad;
}

}  // namespace
