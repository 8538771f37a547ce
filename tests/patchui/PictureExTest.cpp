#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <vector>

#include "patchui/CPictureEx.h"
#include "patchui/GifBuilder.h"
#include "patchui/PictureHost.h"

namespace {

// What the surface showed when the animation thread began a frame's rest.
struct SeenFrame {
    DWORD waitMs;
    std::vector<COLORREF> probes;
    std::vector<uint32_t> surface;
};

// A picture control whose rests are watched: each rest records the surface and the wait it
// asked for. The first rests are cut to 1 ms so that a test sees many frames quickly; after
// kFastRests, or with realWaits, the rests take their full time.
class WatchedPicture : public CPictureEx {
public:
    explicit WatchedPicture(std::vector<POINT> probes = {}) : m_probes(std::move(probes)) {}
    ~WatchedPicture() override { Unload(); }

    bool realWaits = false;

    bool WaitForFrames(size_t count) {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(guard, std::chrono::seconds(20),
                                  [&] { return m_seen.size() >= count; });
    }
    std::vector<SeenFrame> Seen() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_seen;
    }
    void Forget() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_seen.clear();
    }
    COLORREF SurfacePixel(int x, int y) const { return GetPixel(SurfaceDC(), x, y); }
    bool HasSurface() const { return SurfaceDC() != nullptr; }
    COLORREF Fill() const { return FillColor(); }

protected:
    void WaitForNextFrame(DWORD ms) override {
        bool fast = false;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            SeenFrame seen{ms, {}, Surface()};
            for (const POINT& probe : m_probes)
                seen.probes.push_back(SurfacePixel(probe.x, probe.y));
            m_seen.push_back(std::move(seen));
            fast = !realWaits && m_seen.size() < kFastRests;
        }
        m_changed.notify_all();
        CPictureEx::WaitForNextFrame(fast ? 1 : ms);
    }

private:
    static constexpr size_t kFastRests = 40;

    std::vector<uint32_t> Surface() const {
        const HBITMAP bitmap = static_cast<HBITMAP>(GetCurrentObject(SurfaceDC(), OBJ_BITMAP));
        BITMAP info{};
        GetObjectW(bitmap, sizeof(info), &info);
        BITMAPINFO format{};
        format.bmiHeader = {
            sizeof(BITMAPINFOHEADER), info.bmWidth, -info.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        std::vector<uint32_t> pixels(static_cast<size_t>(info.bmWidth) * info.bmHeight);
        GetDIBits(SurfaceDC(), bitmap, 0, info.bmHeight, pixels.data(), &format, DIB_RGB_COLORS);
        return pixels;
    }

    std::vector<POINT> m_probes;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<SeenFrame> m_seen;
};

COLORREF ColorOf(const GifBuilder::Rgb& c) { return RGB(c.r, c.g, c.b); }

const std::vector<GifBuilder::Rgb> kColors = {{0, 0, 0},     {200, 30, 40},  {20, 160, 60},
                                              {30, 40, 220}, {250, 200, 10}, {120, 0, 140}};

std::vector<uint8_t> ResourceBytes(int id, const wchar_t* type) {
    const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), type);
    const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, found)));
    return {data, data + SizeofResource(nullptr, found)};
}

std::vector<uint8_t> Bitmap24(int width, int height, COLORREF color) {
    const int stride = (width * 3 + 3) & ~3;
    const DWORD imageBytes = static_cast<DWORD>(stride * height);
    BITMAPFILEHEADER file{0x4D42, 54 + imageBytes, 0, 0, 54};
    BITMAPINFOHEADER info{sizeof(info), width, height, 1, 24, BI_RGB, imageBytes, 0, 0, 0, 0};
    std::vector<uint8_t> bytes(54 + imageBytes, 0);
    memcpy(bytes.data(), &file, 14);
    memcpy(bytes.data() + 14, &info, 40);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* pixel = bytes.data() + 54 + y * stride + x * 3;
            pixel[0] = GetBValue(color);
            pixel[1] = GetGValue(color);
            pixel[2] = GetRValue(color);
        }
    return bytes;
}

class PictureExTest : public testing::Test {
protected:
    BOOL Load(WatchedPicture& picture, const std::vector<uint8_t>& data) {
        EXPECT_TRUE(picture.SubclassDlgItem(201, host.Window()));
        GlobalBlock block(data);
        return picture.Load(block.Handle(), block.Size());
    }

    PictureHost host;
};

TEST_F(PictureExTest, ShippedSpinnerPlaysTwelveFramesAt100msOverAndOver) {
    WatchedPicture picture;
    ASSERT_TRUE(picture.SubclassDlgItem(201, host.Window()));
    ASSERT_TRUE(picture.Load(MAKEINTRESOURCEW(201), L"GIF"));
    EXPECT_EQ(picture.GetSize().cx, 49);
    EXPECT_EQ(picture.GetSize().cy, 48);
    EXPECT_EQ(picture.FrameCount(), 12u);
    RECT control{};
    GetWindowRect(host.Control(), &control);
    EXPECT_EQ(control.right - control.left, 49) << "the control takes the picture's size";
    EXPECT_EQ(control.bottom - control.top, 48);

    EXPECT_FALSE(picture.Draw(1)) << "an animation draws nothing at once";
    EXPECT_TRUE(picture.IsAnimating());
    ASSERT_TRUE(picture.WaitForFrames(30));
    picture.Stop();
    const std::vector<SeenFrame> seen = picture.Seen();
    std::set<std::vector<uint32_t>> distinct;
    for (size_t i = 0; i < 12; ++i) distinct.insert(seen[i].surface);
    EXPECT_EQ(distinct.size(), 12u) << "twelve different frames";
    for (size_t i = 12; i < 30; ++i) EXPECT_EQ(seen[i].surface, seen[i - 12].surface) << i;
    for (const SeenFrame& frame : seen) EXPECT_EQ(frame.waitMs, 100u);
}

TEST_F(PictureExTest, RestartClearsTheSurfaceToTheButtonFace) {
    const std::vector<uint8_t> gif = GifBuilder(8, 8, kColors)
                                         .Control(10, 1)
                                         .Image(0, 0, 4, 4, 1)
                                         .Control(10, 1)
                                         .Image(4, 4, 4, 4, 2)
                                         .Trailer()
                                         .Bytes();
    WatchedPicture picture({{1, 1}, {5, 5}});
    ASSERT_TRUE(Load(picture, gif));
    EXPECT_EQ(picture.Fill(), GetSysColor(COLOR_BTNFACE));
    picture.Draw(1);
    ASSERT_TRUE(picture.WaitForFrames(3));
    picture.Stop();
    const std::vector<SeenFrame> seen = picture.Seen();
    EXPECT_EQ(seen[0].probes,
              (std::vector<COLORREF>{ColorOf(kColors[1]), GetSysColor(COLOR_MENU)}));
    EXPECT_EQ(seen[1].probes, (std::vector<COLORREF>{ColorOf(kColors[1]), ColorOf(kColors[2])}));
    EXPECT_EQ(seen[2].probes,
              (std::vector<COLORREF>{ColorOf(kColors[1]), GetSysColor(COLOR_BTNFACE)}))
        << "the second round starts on a cleared surface";
}

TEST_F(PictureExTest, DisposalRestoresOrClearsTheFrameArea) {
    const std::vector<uint8_t> gif = GifBuilder(8, 8, kColors)
                                         .Control(10, 1)
                                         .Image(0, 0, 8, 8, 1)
                                         .Control(10, 3)  // restore what was under it
                                         .Image(2, 2, 4, 4, 2)
                                         .Control(10, 1)
                                         .Image(7, 7, 1, 1, 3)
                                         .Control(10, 2)  // clear to the fill colour
                                         .Image(2, 2, 4, 4, 4)
                                         .Control(10, 1)
                                         .Image(7, 7, 1, 1, 3)
                                         .Trailer()
                                         .Bytes();
    WatchedPicture picture({{3, 3}});
    ASSERT_TRUE(Load(picture, gif));
    picture.Draw(1);
    ASSERT_TRUE(picture.WaitForFrames(5));
    picture.Stop();
    const std::vector<SeenFrame> seen = picture.Seen();
    const COLORREF expected[] = {ColorOf(kColors[1]), ColorOf(kColors[2]), ColorOf(kColors[1]),
                                 ColorOf(kColors[4]), GetSysColor(COLOR_BTNFACE)};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(seen[i].probes[0], expected[i]) << "frame " << i;
}

TEST_F(PictureExTest, RestsFollowTheDelaysAndTheFactor) {
    GifBuilder builder(4, 4, kColors);
    const uint16_t delays[] = {0, 4, 5, 10, 7};
    for (int i = 0; i < 5; ++i)
        builder.Control(delays[i], 1).Image(0, 0, 4, 4, static_cast<uint8_t>(i + 1));
    builder.Image(0, 0, 4, 4, 1);  // no control extension
    const std::vector<uint8_t> gif = builder.Trailer().Bytes();

    const struct {
        int factor;
        std::vector<DWORD> waits;
    } cases[] = {
        {1, {100, 100, 50, 100, 70, 100}},
        {2, {100, 100, 100, 200, 140, 100}},
    };
    for (const auto& c : cases) {
        WatchedPicture picture({{1, 1}});
        ASSERT_TRUE(Load(picture, gif));
        picture.Draw(c.factor);
        ASSERT_TRUE(picture.WaitForFrames(6));
        picture.Stop();
        const std::vector<SeenFrame> seen = picture.Seen();
        for (size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(seen[i].waitMs, c.waits[i]) << "factor " << c.factor << " frame " << i;
            EXPECT_EQ(seen[i].probes[0], ColorOf(kColors[i % 5 + 1])) << "frame " << i;
        }
    }
}

TEST_F(PictureExTest, StopDuringARestEndsTheThreadAndDrawStartsAgainAtTheFirstFrame) {
    const std::vector<uint8_t> gif = GifBuilder(4, 4, kColors)
                                         .Control(5, 1)
                                         .Image(0, 0, 4, 4, 1)
                                         .Control(60000, 1)  // ten minutes
                                         .Image(0, 0, 4, 4, 2)
                                         .Trailer()
                                         .Bytes();
    WatchedPicture picture({{1, 1}});
    picture.realWaits = true;
    ASSERT_TRUE(Load(picture, gif));
    const size_t threads = ThreadCount();
    picture.Draw(1);
    ASSERT_TRUE(picture.WaitForFrames(2));
    EXPECT_EQ(picture.Seen()[1].probes[0], ColorOf(kColors[2]));
    // Were the rest not cut short, Stop would give up after its bounded wait and leave the
    // thread resting; it ends it instead.
    picture.Stop();
    EXPECT_FALSE(picture.IsAnimating());
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(picture.SurfacePixel(1, 1), ColorOf(kColors[2])) << "the last frame stays";

    picture.Forget();
    picture.Draw(1);
    ASSERT_TRUE(picture.WaitForFrames(1));
    EXPECT_EQ(picture.Seen()[0].probes[0], ColorOf(kColors[1]));
    picture.Draw(1);  // a second Draw restarts rather than adding a thread
    EXPECT_EQ(ThreadCount(), threads + 1);
    picture.Stop();
    EXPECT_EQ(ThreadCount(), threads);
}

TEST_F(PictureExTest, OneImageGifIsAStillPictureShownInTheWindow) {
    const std::vector<uint8_t> gif =
        GifBuilder(6, 5, kColors).Loop().Control(10, 1).Image(0, 0, 6, 5, 3).Trailer().Bytes();
    WatchedPicture picture;
    ASSERT_TRUE(Load(picture, gif));
    EXPECT_EQ(picture.FrameCount(), 0u);
    EXPECT_EQ(picture.GetSize().cx, 6);
    EXPECT_TRUE(picture.Draw(1));
    EXPECT_FALSE(picture.IsAnimating());
    EXPECT_EQ(picture.SurfacePixel(2, 2), ColorOf(kColors[3]));
    PictureHost::Pump();
    const HDC window = GetDC(host.Control());
    EXPECT_EQ(GetPixel(window, 2, 2), ColorOf(kColors[3]))
        << "the paint handler copies the surface";
    ReleaseDC(host.Control(), window);
}

TEST_F(PictureExTest, BitmapIsAStillPictureSizedFromItsHimetricSize) {
    WatchedPicture picture;
    ASSERT_TRUE(Load(picture, Bitmap24(10, 7, RGB(10, 120, 230))));
    // The loader gives a bitmap without a resolution the screen's; back in pixels it is 10 x 7.
    EXPECT_EQ(picture.GetSize().cx, 10);
    EXPECT_EQ(picture.GetSize().cy, 7);
    EXPECT_TRUE(picture.Draw(1));
    EXPECT_EQ(picture.SurfacePixel(3, 3), RGB(10, 120, 230));
}

TEST_F(PictureExTest, DataWithoutAPictureIsRefused) {
    const std::vector<std::vector<uint8_t>> cases = {
        GifBuilder(4, 4, kColors).Control(10, 1).Trailer().Bytes(),  // no image at all
        GifBuilder(4, 4, kColors).Comment("nothing").Bytes(),
        {'G', 'I', 'F', '8', '9', 'a', 4},
        {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        WatchedPicture picture;
        EXPECT_FALSE(Load(picture, cases[i])) << i;
        EXPECT_FALSE(picture.Draw(1)) << i;
        EXPECT_FALSE(picture.IsAnimating()) << i;
    }
}

TEST_F(PictureExTest, TruncatedGifPlaysTheFramesItHolds) {
    std::vector<uint8_t> spinner = ResourceBytes(201, L"GIF");
    spinner.resize(spinner.size() / 2);
    WatchedPicture picture;
    ASSERT_TRUE(Load(picture, spinner));
    EXPECT_GT(picture.FrameCount(), 1u);
    EXPECT_LT(picture.FrameCount(), 12u);
}

TEST_F(PictureExTest, UnloadEmptiesTheControlAndDestroyStopsIt) {
    WatchedPicture picture;
    ASSERT_TRUE(Load(picture, SolidFramesGif(4, 4, 3, 10)));
    picture.Draw(1);
    ASSERT_TRUE(picture.WaitForFrames(1));
    picture.Unload();
    EXPECT_FALSE(picture.IsAnimating());
    EXPECT_FALSE(picture.HasSurface());
    EXPECT_EQ(picture.FrameCount(), 0u);
    EXPECT_EQ(picture.Fill(), RGB(255, 255, 255));
    EXPECT_FALSE(picture.Draw(1));

    GlobalBlock block(SolidFramesGif(4, 4, 3, 10));
    ASSERT_TRUE(picture.Load(block.Handle(), block.Size()));
    picture.Draw(1);
    DestroyWindow(host.Window());
    EXPECT_FALSE(picture.IsAnimating()) << "the destroy handler stops the animation";
    EXPECT_EQ(picture.GetSafeHwnd(), nullptr);
}

}  // namespace
