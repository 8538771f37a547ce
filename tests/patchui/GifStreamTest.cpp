#include <gtest/gtest.h>

#include <vector>

#include "patchui/GifBuilder.h"
#include "patchui/GifFrameTiming.h"
#include "patchui/GifStream.h"

namespace {

constexpr size_t kPrefix = 13 + 768;

std::vector<GifFrameCut> AllCuts(GifStream& gif) {
    std::vector<GifFrameCut> cuts;
    gif.Rewind();
    while (auto cut = gif.CutNextFrame()) cuts.push_back(*cut);
    return cuts;
}

TEST(GifStream, NamesAndMeasuresEveryKindOfBlock) {
    const std::vector<uint8_t> data = GifBuilder(8, 6)
                                          .Loop()
                                          .Comment("hello")
                                          .Control(7, 2)
                                          .Image(1, 2, 3, 4, 1)
                                          .PlainText("text")
                                          .Trailer()
                                          .Bytes();
    GifStream gif(data);
    ASSERT_TRUE(gif.IsGif());
    ASSERT_TRUE(gif.HasScreen());
    EXPECT_EQ(gif.ScreenWidth(), 8u);
    EXPECT_EQ(gif.ScreenHeight(), 6u);
    EXPECT_EQ(gif.ColorTableBytes(), 768u);
    EXPECT_EQ(gif.PrefixBytes(), kPrefix);

    // 12 pixels of 9 bits plus two clear/end codes: 14 codes, 126 bits, 16 bytes of data.
    const struct {
        GifBlockKind kind;
        size_t length;
    } blocks[] = {
        {GifBlockKind::Application, 14 + 4 + 1}, {GifBlockKind::Comment, 2 + 6 + 1},
        {GifBlockKind::GraphicControl, 8},       {GifBlockKind::Image, 11 + 17 + 1},
        {GifBlockKind::PlainText, 15 + 5 + 1},   {GifBlockKind::Trailer, 1},
    };
    size_t at = gif.Position();
    for (const auto& block : blocks) {
        EXPECT_EQ(gif.KindAt(at), block.kind) << "at " << at;
        EXPECT_EQ(gif.BlockLength(at), block.length) << "at " << at;
        ASSERT_TRUE(gif.SkipBlock());
        at += block.length;
        EXPECT_EQ(gif.Position(), at);
    }
    EXPECT_EQ(at, data.size());
    EXPECT_FALSE(gif.SkipBlock()) << "nothing after the end";
}

TEST(GifStream, UnrecognisedBlocksAreNoBlocks) {
    const std::vector<uint8_t> data = GifBuilder(2, 2).Raw({0x21, 0x02, 0x00, 0x00, 0x3B}).Bytes();
    GifStream gif(data);
    EXPECT_EQ(gif.KindAt(kPrefix), GifBlockKind::Unknown) << "an extension of unknown label";
    EXPECT_FALSE(gif.BlockLength(kPrefix));
    EXPECT_EQ(gif.KindAt(kPrefix + 2), GifBlockKind::Unknown);
    EXPECT_EQ(gif.KindAt(data.size()), GifBlockKind::Unknown) << "past the end";
    EXPECT_EQ(gif.CountImages(), 0u);
}

TEST(GifStream, LocalColourTableIsPartOfTheImage) {
    // Packed byte 0x81: a local table of 2^(1+1) = 4 entries, 12 bytes.
    const std::vector<uint8_t> image = {0x2C, 0, 0, 0, 0, 1, 0,  1,  0,  0x81, 1, 2,    3,
                                        4,    5, 6, 7, 8, 9, 10, 11, 12, 2,    1, 0x44, 0};
    const std::vector<uint8_t> data = GifBuilder(1, 1).Raw(image).Trailer().Bytes();
    GifStream gif(data);
    EXPECT_EQ(gif.BlockLength(kPrefix), image.size());
    EXPECT_EQ(gif.CountImages(), 1u);
}

TEST(GifStream, CutsEachImageIntoAStandaloneGif) {
    const std::vector<uint8_t> data = GifBuilder(10, 10)
                                          .Loop()
                                          .Control(0, 1)
                                          .Image(0, 0, 10, 10, 1)
                                          .Comment("between frames")
                                          .Control(25, 3)
                                          .Comment("inside a frame")
                                          .Image(2, 3, 4, 5, 2)
                                          .Image(1, 1, 2, 2, 3)
                                          .Trailer()
                                          .Bytes();
    GifStream gif(data);
    EXPECT_EQ(gif.CountImages(), 3u);
    const std::vector<GifFrameCut> cuts = AllCuts(gif);
    ASSERT_EQ(cuts.size(), 3u);
    const struct {
        uint32_t left, top, width, height, delay, disposal;
    } expected[] = {
        {0, 0, 10, 10, 0, 1},
        {2, 3, 4, 5, 25, 3},
        {1, 1, 2, 2, GifFrameCut::kNoDelay, 0},
    };
    for (size_t i = 0; i < cuts.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cuts[i].left, expected[i].left);
        EXPECT_EQ(cuts[i].top, expected[i].top);
        EXPECT_EQ(cuts[i].width, expected[i].width);
        EXPECT_EQ(cuts[i].height, expected[i].height);
        EXPECT_EQ(cuts[i].delay, expected[i].delay);
        EXPECT_EQ(cuts[i].disposal, expected[i].disposal);

        std::vector<uint8_t> alone(gif.StandaloneSize(cuts[i]));
        gif.CopyStandalone(cuts[i], alone.data());
        ASSERT_EQ(alone.size(), kPrefix + (cuts[i].end - cuts[i].start) + 1);
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + kPrefix, alone.begin()));
        EXPECT_TRUE(std::equal(data.begin() + cuts[i].start, data.begin() + cuts[i].end,
                               alone.begin() + kPrefix));
        EXPECT_EQ(alone.back(), 0x3B);
        GifStream single(alone);
        EXPECT_EQ(single.CountImages(), 1u);
    }
    // The comment between frames is not part of the second frame; the one inside it is.
    EXPECT_EQ(data[cuts[1].start + 1], 0xF9);
    EXPECT_EQ(cuts[2].start, cuts[1].end);
}

TEST(GifStream, PlainTextFramesArePassedOverWithTheirControlExtension) {
    const std::vector<uint8_t> data = GifBuilder(10, 10)
                                          .Control(50, 2)
                                          .PlainText("shown by nobody")
                                          .Image(0, 0, 10, 10, 1)
                                          .PlainText("last")
                                          .Trailer()
                                          .Bytes();
    GifStream gif(data);
    EXPECT_EQ(gif.CountImages(), 1u);
    const std::vector<GifFrameCut> cuts = AllCuts(gif);
    ASSERT_EQ(cuts.size(), 1u);
    EXPECT_EQ(cuts[0].delay, GifFrameCut::kNoDelay) << "the text's delay stays with the text";
    EXPECT_EQ(cuts[0].disposal, 0u);
    EXPECT_EQ(data[cuts[0].start], 0x2C);
}

TEST(GifStream, WalkStopsAtTrailerOrUnfollowableBlock) {
    const std::vector<uint8_t> afterTrailer =
        GifBuilder(4, 4).Image(0, 0, 4, 4, 1).Trailer().Image(0, 0, 4, 4, 1).Bytes();
    GifStream stopped(afterTrailer);
    EXPECT_EQ(stopped.CountImages(), 1u);

    const std::vector<uint8_t> controlThenTrailer =
        GifBuilder(4, 4).Control(1, 1).Trailer().Bytes();
    GifStream noImage(controlThenTrailer);
    EXPECT_EQ(noImage.CountImages(), 0u);
    EXPECT_FALSE(noImage.CutNextFrame());
}

// The sub-block chain of a truncated GIF must end the walk, not be read past the data's end;
// run under AddressSanitizer over a copy of exactly each length.
TEST(GifStream, EveryTruncationStaysInsideTheData) {
    const std::vector<uint8_t> full = GifBuilder(6, 5)
                                          .Loop()
                                          .Comment("c")
                                          .Control(5, 2)
                                          .Image(0, 0, 6, 5, 1)
                                          .Control(6, 3)
                                          .PlainText("t")
                                          .Control(7, 1)
                                          .Image(1, 1, 2, 2, 2)
                                          .Trailer()
                                          .Bytes();
    const size_t fullImages = GifStream(full).CountImages();
    ASSERT_EQ(fullImages, 2u);
    for (size_t length = 0; length < full.size(); ++length) {
        const std::vector<uint8_t> part(full.begin(), full.begin() + length);
        GifStream gif(part);
        EXPECT_LE(gif.CountImages(), fullImages) << length;
        gif.Rewind();
        while (const auto cut = gif.CutNextFrame()) {
            ASSERT_LE(cut->end, part.size()) << length;
            std::vector<uint8_t> alone(gif.StandaloneSize(*cut));
            gif.CopyStandalone(*cut, alone.data());
        }
        gif.Rewind();
        for (size_t at = 0; at <= part.size() + 1; ++at) {
            const auto blockLength = gif.BlockLength(at);
            if (blockLength) {
                EXPECT_LE(at + *blockLength, part.size()) << length << " at " << at;
            }
        }
    }
}

TEST(GifStream, SizeByteClaimingMoreThanRemainsIsNoBlock) {
    const std::vector<uint8_t> data = GifBuilder(1, 1).Raw({0x21, 0xFE, 200, 'a', 'b'}).Bytes();
    GifStream gif(data);
    EXPECT_EQ(gif.KindAt(kPrefix), GifBlockKind::Comment);
    EXPECT_FALSE(gif.BlockLength(kPrefix));
    EXPECT_FALSE(gif.SkipBlock());
}

TEST(GifStream, HeaderRules) {
    const struct {
        std::vector<uint8_t> data;
        bool isGif, hasScreen;
        size_t table;
    } cases[] = {
        {{'G', 'I', 'F'}, true, false, 0},
        {{'G', 'I', 'F', '8', '7', 'a', 1, 0, 1, 0, 0x00, 0, 0}, true, true, 0},
        {{'G', 'I', 'F', 'x', 'y', 'z', 1, 0, 1, 0, 0x00, 0, 0}, true, true, 0},
        // A global table of 2^(2+1) entries that the data does not hold.
        {{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x82, 0, 0, 1, 2}, true, false, 24},
        {{'B', 'M', 0, 0}, false, false, 0},
        {{'G', 'I'}, false, false, 0},
        {{}, false, false, 0},
    };
    for (const auto& c : cases) {
        GifStream gif(c.data);
        EXPECT_EQ(gif.IsGif(), c.isGif) << c.data.size();
        EXPECT_EQ(gif.HasScreen(), c.hasScreen) << c.data.size();
        EXPECT_EQ(gif.ColorTableBytes(), c.table) << c.data.size();
        EXPECT_EQ(gif.CountImages(), 0u);
    }
}

TEST(GifFrameTiming, WaitFollowsDelayAndFactor) {
    const struct {
        uint32_t delay;
        int factor;
        uint32_t ms;
    } cases[] = {
        {0, 1, 100},
        {4, 1, 100},
        {4, 2, 100},
        {5, 1, 50},
        {5, 2, 100},
        {10, 2, 200},
        {100, 1, 1000},
        {65535, 1, 655350},
        {5, 0, 50},
        {5, -3, 50},
        {GifFrameCut::kNoDelay, 1, 100},
        {65535, 1 << 30, 0xFFFFFFFE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GifFrameWaitMs(c.delay, c.factor), c.ms) << c.delay << " x " << c.factor;
}

}  // namespace
