#include <gtest/gtest.h>
#include <windows.h>

#include "patchui/DialogTemplate.h"
#include "patchui/GifStream.h"

namespace {

std::span<const uint8_t> Resource(int id, const wchar_t* type) {
    const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), type);
    if (found == nullptr) return {};
    const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, found)));
    return {data, SizeofResource(nullptr, found)};
}

TEST(PatchWindowResources, Dialog104IsTheExtendedTemplateOfThePatchWindow) {
    const auto dialog = ParseDialogTemplate(Resource(104, RT_DIALOG));
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->extended);
    EXPECT_EQ(dialog->version, 1);
    EXPECT_EQ(dialog->helpId, 0u);
    EXPECT_EQ(dialog->exStyle, static_cast<uint32_t>(WS_EX_TOPMOST));
    EXPECT_EQ(dialog->style, 0x80880040u);
    EXPECT_EQ(dialog->x, 0);
    EXPECT_EQ(dialog->y, 0);
    EXPECT_EQ(dialog->cx, 28);
    EXPECT_EQ(dialog->cy, 25);
    EXPECT_FALSE(dialog->menu.present);
    EXPECT_FALSE(dialog->windowClass.present);
    EXPECT_TRUE(dialog->title.empty());
    EXPECT_EQ(dialog->pointSize, 9);
    EXPECT_EQ(dialog->weight, 400);
    EXPECT_FALSE(dialog->italic);
    EXPECT_EQ(dialog->charset, 0);
    EXPECT_EQ(dialog->face, u"Tahoma");
    ASSERT_EQ(dialog->items.size(), 1u);
    const DialogTemplateItem& picture = dialog->items[0];
    EXPECT_EQ(picture.id, 201u);
    EXPECT_EQ(picture.windowClass.name, u"");
    EXPECT_EQ(picture.windowClass.ordinal, 0x0082) << "the predefined static class";
    EXPECT_EQ(picture.style, 0x50000007u);
    EXPECT_EQ(picture.exStyle, 0u);
    EXPECT_EQ(picture.helpId, 0u);
    EXPECT_EQ(picture.x, 0);
    EXPECT_EQ(picture.y, 0);
    EXPECT_EQ(picture.cx, 24);
    EXPECT_EQ(picture.cy, 16);
    EXPECT_FALSE(picture.title.present);
    EXPECT_EQ(picture.creationDataBytes, 0);
}

TEST(PatchWindowResources, Picture201IsTheLoopingTwelveFrameSpinner) {
    const std::span<const uint8_t> data = Resource(201, L"GIF");
    ASSERT_GT(data.size(), 6u);
    EXPECT_EQ(std::string(data.begin(), data.begin() + 6), "GIF89a");
    GifStream gif(data);
    EXPECT_EQ(gif.ScreenWidth(), 49u);
    EXPECT_EQ(gif.ScreenHeight(), 48u);
    EXPECT_EQ(gif.ColorTableBytes(), 768u);
    EXPECT_EQ(gif.KindAt(gif.Position()), GifBlockKind::Application);
    EXPECT_EQ(std::string(data.begin() + gif.Position() + 3, data.begin() + gif.Position() + 14),
              "NETSCAPE2.0");
    gif.Rewind();
    int frames = 0;
    while (const auto cut = gif.CutNextFrame()) {
        ++frames;
        EXPECT_EQ(cut->delay, 0u);
        EXPECT_EQ(cut->disposal, 1u);
        EXPECT_EQ(data[cut->start + 1], 0xF9) << "a control extension first";
        EXPECT_EQ(data[cut->start + 3] & 1, 0) << "no transparency";
        EXPECT_EQ(data[cut->start + 8], 0x2C) << "then the image";
    }
    EXPECT_EQ(frames, 12);
    EXPECT_EQ(gif.KindAt(gif.Position()), GifBlockKind::Trailer);
}

}  // namespace
