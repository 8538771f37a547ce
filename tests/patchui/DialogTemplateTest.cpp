#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "patchui/DialogLayoutRules.h"
#include "patchui/DialogTemplate.h"

namespace {

class TemplateBytes {
public:
    TemplateBytes& Word(uint16_t v) {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
        return *this;
    }
    TemplateBytes& Dword(uint32_t v) { return Word(static_cast<uint16_t>(v)).Word(v >> 16); }
    TemplateBytes& Text(const std::u16string& text) {
        for (char16_t c : text) Word(c);
        return Word(0);
    }
    TemplateBytes& Align() {
        while (bytes.size() % 4) bytes.push_back(0);
        return *this;
    }
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> ExtendedTemplate() {
    TemplateBytes t;
    t.Word(1).Word(0xFFFF).Dword(7).Dword(0x8).Dword(0x80880040).Word(2);
    t.Word(0).Word(0).Word(28).Word(25);
    t.Word(0xFFFF).Word(3);                            // menu 3
    t.Text(u"MyClass");                                // window class by name
    t.Text(u"Title");                                  // title
    t.Word(9).Word(400).Word(0x0101).Text(u"Tahoma");  // italic 1, charset 1
    t.Align().Dword(0).Dword(0).Dword(0x50000007).Word(0).Word(0).Word(24).Word(16).Dword(201);
    t.Word(0xFFFF).Word(0x0082).Word(0).Word(0);
    t.Align().Dword(5).Dword(0x200).Dword(0x50010000).Word(1).Word(2).Word(3).Word(4).Dword(70000);
    t.Text(u"Button").Text(u"OK").Word(3);
    t.bytes.insert(t.bytes.end(), {9, 9, 9});
    return t.bytes;
}

TEST(DialogTemplate, ReadsTheExtendedFormat) {
    const auto dialog = ParseDialogTemplate(ExtendedTemplate());
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->extended);
    EXPECT_EQ(dialog->version, 1);
    EXPECT_EQ(dialog->helpId, 7u);
    EXPECT_EQ(dialog->exStyle, 0x8u);
    EXPECT_EQ(dialog->style, 0x80880040u);
    EXPECT_EQ(dialog->cx, 28);
    EXPECT_EQ(dialog->cy, 25);
    EXPECT_TRUE(dialog->menu.present);
    EXPECT_EQ(dialog->menu.ordinal, 3);
    EXPECT_EQ(dialog->windowClass.name, u"MyClass");
    EXPECT_EQ(dialog->title, u"Title");
    EXPECT_TRUE(dialog->hasFont);
    EXPECT_EQ(dialog->pointSize, 9);
    EXPECT_EQ(dialog->weight, 400);
    EXPECT_TRUE(dialog->italic);
    EXPECT_EQ(dialog->charset, 1);
    EXPECT_EQ(dialog->face, u"Tahoma");
    ASSERT_EQ(dialog->items.size(), 2u);
    EXPECT_EQ(dialog->items[0].id, 201u);
    EXPECT_EQ(dialog->items[0].style, 0x50000007u);
    EXPECT_EQ(dialog->items[0].cx, 24);
    EXPECT_EQ(dialog->items[0].cy, 16);
    EXPECT_EQ(dialog->items[0].windowClass.ordinal, 0x0082);
    EXPECT_FALSE(dialog->items[0].title.present);
    EXPECT_EQ(dialog->items[1].helpId, 5u);
    EXPECT_EQ(dialog->items[1].exStyle, 0x200u);
    EXPECT_EQ(dialog->items[1].id, 70000u);
    EXPECT_EQ(dialog->items[1].x, 1);
    EXPECT_EQ(dialog->items[1].windowClass.name, u"Button");
    EXPECT_EQ(dialog->items[1].title.name, u"OK");
    EXPECT_EQ(dialog->items[1].creationDataBytes, 3);
}

TEST(DialogTemplate, ReadsTheStandardFormat) {
    TemplateBytes t;
    t.Dword(0x80C80040).Dword(0x100).Word(1).Word(2).Word(3).Word(40).Word(30);
    t.Word(0).Word(0).Text(u"").Word(8).Text(u"MS Shell Dlg");
    t.Align().Dword(0x50000000).Dword(0).Word(5).Word(6).Word(7).Word(8).Word(1001);
    t.Word(0xFFFF).Word(0x0081).Text(u"x").Word(0);
    const auto dialog = ParseDialogTemplate(t.bytes);
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(dialog->extended);
    EXPECT_EQ(dialog->style, 0x80C80040u);
    EXPECT_EQ(dialog->exStyle, 0x100u);
    EXPECT_EQ(dialog->x, 2);
    EXPECT_EQ(dialog->cx, 40);
    EXPECT_FALSE(dialog->menu.present);
    EXPECT_EQ(dialog->pointSize, 8);
    EXPECT_EQ(dialog->weight, 0);
    EXPECT_FALSE(dialog->italic);
    EXPECT_EQ(dialog->face, u"MS Shell Dlg");
    ASSERT_EQ(dialog->items.size(), 1u);
    EXPECT_EQ(dialog->items[0].id, 1001u);
    EXPECT_EQ(dialog->items[0].windowClass.ordinal, 0x0081);
    EXPECT_EQ(dialog->items[0].title.name, u"x");
}

TEST(DialogTemplate, EveryTruncationIsRefused) {
    const std::vector<uint8_t> full = ExtendedTemplate();
    for (size_t length = 0; length < full.size(); ++length) {
        const std::vector<uint8_t> part(full.begin(), full.begin() + length);
        EXPECT_FALSE(ParseDialogTemplate(part)) << length;
    }
}

TEST(DialogLayoutRules, FontHeightAndBaseUnits) {
    EXPECT_EQ(DialogLayoutRules::FontHeight(9, 96.0), -12);
    EXPECT_EQ(DialogLayoutRules::FontHeight(9, 144.0), -18);
    EXPECT_EQ(DialogLayoutRules::FontHeight(8, 96.0), -11);  // 10.67 rounds up
    EXPECT_EQ(DialogLayoutRules::FontHeight(10, 120.0), -17);
    EXPECT_EQ(DialogLayoutRules::HorizontalBaseUnit(311), 6);  // (11 + 1) / 2
    EXPECT_EQ(DialogLayoutRules::HorizontalBaseUnit(338), 7);  // (13 + 1) / 2
    EXPECT_EQ(DialogLayoutRules::ScaleX(28, 7), 49);
    EXPECT_EQ(DialogLayoutRules::ScaleX(25, 6), 38);   // 37.5 rounds up
    EXPECT_EQ(DialogLayoutRules::ScaleY(25, 15), 47);  // 46.875
    EXPECT_EQ(DialogLayoutRules::ScaleY(16, 13), 26);
}

}  // namespace
