#include <gtest/gtest.h>

#include <iterator>
#include <set>

#include "host/SchemeRegistry.h"
#include "host/SchemeTexts.h"
#include "host/SchemeUrl.h"

namespace {

using SchemeUrl::Operation;
using SchemeUrl::Refusal;

std::string Ascii(std::u16string_view text) { return std::string(text.begin(), text.end()); }

struct GoodCase {
    const char* name;
    std::u16string url;
    Operation operation;
    std::u16string server, enc, entId, entName;
};

TEST(SchemeUrl, TakesTheThreeFormsAndDecodesEachValueOnce) {
    const std::u16string server = u"http://127.0.0.1:8080/CvUpdate/Pelko";
    const GoodCase cases[] = {
        {"desk, server percent-encoded",
         u"pelkoweb://desk?server=http%3A%2F%2F127.0.0.1%3A8080%2FCvUpdate%2FPelko&enc=abc",
         Operation::Desk, server, u"abc", u"", u""},
        {"agent, server as it is, names in any order, '/' after the operation",
         u"pelkoweb://agent/?enc=x&server=http://127.0.0.1:8080/CvUpdate/Pelko", Operation::Agent,
         server, u"x", u"", u""},
        {"classic, Korean name, scheme in capitals",
         u"PELKOWEB://classic?server=s&entid=42&entname=%ED%8E%A0%EC%BD%94%20%EC%A3%BC%EC%8B%9D",
         Operation::Classic, u"s", u"", u"42", u"펠코 주식"},
        {"'+' stays '+', '%2B' and '%2b' give '+'", u"pelkoweb://desk?server=s&enc=a+b%2Bc%2bd",
         Operation::Desk, u"s", u"a+b+c+d", u"", u""},
        {"decoded once", u"pelkoweb://desk?server=s&enc=%2541%25", Operation::Desk, u"s", u"%41%",
         u"", u""},
        {"empty values", u"pelkoweb://classic?server=&entid=&entname=", Operation::Classic, u"",
         u"", u"", u""},
        {"'=' and '?' inside a value", u"pelkoweb://desk?server=s?x=1&enc=a==b", Operation::Desk,
         u"s?x=1", u"a==b", u"", u""},
        {"four-byte UTF-8 gives a surrogate pair, lower-case hex",
         u"pelkoweb://agent?server=s&enc=%f0%9f%98%80%c3%a9", Operation::Agent, u"s",
         u"\U0001F600\u00E9", u"", u""},
        {"control characters other than NUL are the component's to judge",
         u"pelkoweb://desk?server=s&enc=a%0D%0Ab", Operation::Desk, u"s", u"a\r\nb", u"", u""},
    };
    for (const GoodCase& c : cases) {
        SCOPED_TRACE(c.name);
        const SchemeUrl::Parsed parsed = SchemeUrl::Parse(c.url);
        ASSERT_EQ(parsed.refusal, Refusal::None) << Ascii(parsed.detail);
        EXPECT_EQ(parsed.request.operation, c.operation);
        EXPECT_EQ(parsed.request.server, c.server);
        EXPECT_EQ(parsed.request.enc, c.enc);
        EXPECT_EQ(parsed.request.entId, c.entId);
        EXPECT_EQ(parsed.request.entName, c.entName);
    }
}

struct BadCase {
    std::u16string url;
    Refusal refusal;
    std::u16string detail;
};

TEST(SchemeUrl, RefusesWhatIsNotExactlyOneOfTheForms) {
    const std::u16string prefix = u"pelkoweb://desk?server=s&enc=";
    const BadCase cases[] = {
        {u"pelkoweb://desk?server=s&enc=a b", Refusal::BadCharacter, u"U+0020"},
        {u"pelkoweb://desk?server=s&enc=\"x\"", Refusal::BadCharacter, u"U+0022"},
        {u"pelkoweb://desk?server=s&enc=x#frag", Refusal::BadCharacter, u"U+0023"},
        {u"pelkoweb://desk?server=s&enc=\u00E9", Refusal::BadCharacter, u"U+00E9"},
        {u"pelkoweb://desk?server=s&enc=a\tb", Refusal::BadCharacter, u"U+0009"},
        {u"pelkoweb://desk?server=s&enc=a\\b", Refusal::BadCharacter, u"U+005C"},
        {u"pelkoweb:desk?server=s&enc=x", Refusal::NotSchemeUrl, u""},
        {u"http://desk?server=s&enc=x", Refusal::NotSchemeUrl, u""},
        {u"pelkoweb://Desk?server=s&enc=x", Refusal::UnknownOperation, u"Desk"},
        {u"pelkoweb://start?server=s&enc=x", Refusal::UnknownOperation, u"start"},
        {u"pelkoweb://desk/x?server=s&enc=x", Refusal::UnknownOperation, u"desk/x"},
        {u"pelkoweb://desk:80?server=s&enc=x", Refusal::UnknownOperation, u"desk:80"},
        {u"pelkoweb://%64esk?server=s&enc=x", Refusal::UnknownOperation, u"%64esk"},
        {u"pelkoweb://?server=s&enc=x", Refusal::UnknownOperation, u""},
        {u"pelkoweb://desk?server&enc=x", Refusal::MalformedParameter, u"server"},
        {u"pelkoweb://desk?server=s&&enc=x", Refusal::MalformedParameter, u""},
        {u"pelkoweb://desk?server=s&enc=x&", Refusal::MalformedParameter, u""},
        {u"pelkoweb://desk?=s&enc=x", Refusal::MalformedParameter, u"=s"},
        {u"pelkoweb://desk?Server=s&enc=x", Refusal::UnknownParameter, u"Server"},
        {u"pelkoweb://desk?server=s&enc=x&entid=1", Refusal::UnknownParameter, u"entid"},
        {u"pelkoweb://classic?server=s&entid=1&entname=n&enc=x", Refusal::UnknownParameter, u"enc"},
        {u"pelkoweb://desk?server=s&server=s&enc=x", Refusal::RepeatedParameter, u"server"},
        {u"pelkoweb://desk?server=s&enc=&enc=", Refusal::RepeatedParameter, u"enc"},
        {u"pelkoweb://desk", Refusal::MissingParameter, u"server"},
        {u"pelkoweb://agent?", Refusal::MissingParameter, u"server"},
        {u"pelkoweb://classic?server=s&entid=1", Refusal::MissingParameter, u"entname"},
        {prefix + u"%", Refusal::BadPercentEncoding, u"enc"},
        {prefix + u"%4", Refusal::BadPercentEncoding, u"enc"},
        {prefix + u"%G0", Refusal::BadPercentEncoding, u"enc"},
        {prefix + u"%%41", Refusal::BadPercentEncoding, u"enc"},
        {prefix + u"%C3", Refusal::InvalidUtf8, u"enc"},
        {prefix + u"%C0%80", Refusal::InvalidUtf8, u"enc"},        // overlong NUL
        {prefix + u"%E0%80%AF", Refusal::InvalidUtf8, u"enc"},     // overlong "/"
        {prefix + u"%ED%A0%80", Refusal::InvalidUtf8, u"enc"},     // surrogate
        {prefix + u"%F4%90%80%80", Refusal::InvalidUtf8, u"enc"},  // above U+10FFFF
        {prefix + u"%80", Refusal::InvalidUtf8, u"enc"},
        {prefix + u"%FF", Refusal::InvalidUtf8, u"enc"},
        {prefix + u"%E3%81x", Refusal::InvalidUtf8, u"enc"},
        {prefix + u"%00", Refusal::EmbeddedNul, u"enc"},
        {u"pelkoweb://desk?server=s%00.evil&enc=x", Refusal::EmbeddedNul, u"server"},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(Ascii(c.url));
        const SchemeUrl::Parsed parsed = SchemeUrl::Parse(c.url);
        EXPECT_EQ(parsed.refusal, c.refusal);
        EXPECT_EQ(parsed.detail, c.detail);
    }
}

TEST(SchemeUrl, LengthIsBoundedBeforeAnythingElse) {
    const std::u16string prefix = u"pelkoweb://desk?server=s&enc=";
    std::u16string url = prefix + std::u16string(SchemeUrl::kMaxLength - prefix.size(), u'a');
    EXPECT_EQ(SchemeUrl::Parse(url).refusal, Refusal::None);
    EXPECT_EQ(SchemeUrl::Parse(url).request.enc.size(), SchemeUrl::kMaxLength - prefix.size());
    url += u' ';
    EXPECT_EQ(SchemeUrl::Parse(url).refusal, Refusal::TooLong);
}

TEST(SchemeUrl, TheHostTakesAnArgumentAsAUrlByItsScheme) {
    EXPECT_TRUE(SchemeUrl::IsSchemeUrl(u"pelkoweb://desk"));
    EXPECT_TRUE(SchemeUrl::IsSchemeUrl(u"PelkoWeb:"));
    EXPECT_TRUE(SchemeUrl::IsSchemeUrl(u"pelkoweb:anything at all"));
    EXPECT_FALSE(SchemeUrl::IsSchemeUrl(u"pelkoweb"));
    EXPECT_FALSE(SchemeUrl::IsSchemeUrl(u"pelkowebx:"));
    EXPECT_FALSE(SchemeUrl::IsSchemeUrl(u" pelkoweb:"));
    EXPECT_FALSE(SchemeUrl::IsSchemeUrl(u"desk"));
    EXPECT_FALSE(SchemeUrl::IsSchemeUrl(u"--register"));
}

TEST(SchemeTexts, SayWhatIsWrongAndNameThePart) {
    EXPECT_EQ(SchemeTexts::RefusalText(Refusal::UnknownParameter, u"foo"),
              u"알 수 없는 매개변수입니다.\r\n[foo]");
    EXPECT_EQ(SchemeTexts::RefusalText(Refusal::MalformedParameter, u""),
              u"매개변수 형식이 잘못되었습니다.\r\n[]");
    EXPECT_EQ(SchemeTexts::RefusalText(Refusal::TooLong, u""),
              u"실행 주소가 너무 깁니다.(최대 4096자)");
    EXPECT_EQ(SchemeTexts::RefusalText(Refusal::ExtraArguments, u""),
              u"실행 주소 뒤에 다른 인수가 있습니다.");
    const std::u16string longName(SchemeTexts::kMaxDetail + 1, u'x');
    EXPECT_EQ(SchemeTexts::RefusalText(Refusal::UnknownOperation, longName),
              u"알 수 없는 실행 요청입니다.\r\n[" + longName.substr(0, SchemeTexts::kMaxDetail) +
                  u"...]");
    // Every refusal has a sentence of its own.
    const Refusal all[] = {Refusal::TooLong,          Refusal::ExtraArguments,
                           Refusal::BadCharacter,     Refusal::NotSchemeUrl,
                           Refusal::UnknownOperation, Refusal::MalformedParameter,
                           Refusal::UnknownParameter, Refusal::RepeatedParameter,
                           Refusal::MissingParameter, Refusal::BadPercentEncoding,
                           Refusal::InvalidUtf8,      Refusal::EmbeddedNul};
    std::set<std::u16string> sentences;
    for (const Refusal refusal : all) {
        const std::u16string text = SchemeTexts::RefusalText(refusal, u"");
        sentences.insert(text.substr(0, text.find(u'\r')));
    }
    EXPECT_EQ(sentences.size(), std::size(all));
}

TEST(SchemeRegistry, QuotesTheProgramAndTheUrlInTheOpenCommand) {
    const std::u16string path = u"C:\\Program Files\\Pelko Web\\PelkoWebHost.exe";
    const auto entries = SchemeRegistry::Entries(path);
    ASSERT_EQ(entries.size(), 4u);
    const std::u16string key = u"Software\\Classes\\pelkoweb";
    EXPECT_EQ(entries[0].key, key);
    EXPECT_EQ(entries[0].name, u"");
    EXPECT_EQ(entries[0].data, u"URL:PelkoWeb Protocol");
    EXPECT_EQ(entries[1].key, key);
    EXPECT_EQ(entries[1].name, u"URL Protocol");
    EXPECT_EQ(entries[1].data, u"");
    EXPECT_EQ(entries[2].key, key + u"\\DefaultIcon");
    EXPECT_EQ(entries[2].data, u"\"" + path + u"\",0");
    EXPECT_EQ(entries[3].key, key + u"\\shell\\open\\command");
    EXPECT_EQ(entries[3].name, u"");
    EXPECT_EQ(entries[3].data, u"\"" + path + u"\" \"%1\"");
    const auto keys = SchemeRegistry::KeysDeepestFirst();
    EXPECT_EQ(keys.front(), entries[3].key);
    EXPECT_EQ(keys.back(), key);
}

}  // namespace
