#include "patchui/GifBuilder.h"

#include <algorithm>

GifBuilder::GifBuilder(uint16_t width, uint16_t height, const std::vector<Rgb>& colors,
                       const char* version) {
    const std::string header = std::string("GIF") + version;
    m_bytes.assign(header.begin(), header.end());
    Word(width);
    Word(height);
    m_bytes.insert(m_bytes.end(), {0xF7, 0, 0});
    for (size_t i = 0; i < 256; ++i) {
        const Rgb color = i < colors.size() ? colors[i] : Rgb{0, 0, 0};
        m_bytes.insert(m_bytes.end(), {color.r, color.g, color.b});
    }
}

GifBuilder& GifBuilder::Loop() {
    const std::string name = "NETSCAPE2.0";
    m_bytes.insert(m_bytes.end(), {0x21, 0xFF, 0x0B});
    m_bytes.insert(m_bytes.end(), name.begin(), name.end());
    SubBlocks({1, 0, 0});
    return *this;
}

GifBuilder& GifBuilder::Comment(const std::string& text) {
    m_bytes.insert(m_bytes.end(), {0x21, 0xFE});
    SubBlocks(std::vector<uint8_t>(text.begin(), text.end()));
    return *this;
}

GifBuilder& GifBuilder::Control(uint16_t delay, uint8_t disposal) {
    m_bytes.insert(m_bytes.end(), {0x21, 0xF9, 0x04, static_cast<uint8_t>(disposal << 2)});
    Word(delay);
    m_bytes.insert(m_bytes.end(), {0, 0});
    return *this;
}

GifBuilder& GifBuilder::Image(uint16_t left, uint16_t top, uint16_t width, uint16_t height,
                              uint8_t colorIndex) {
    m_bytes.push_back(0x2C);
    Word(left);
    Word(top);
    Word(width);
    Word(height);
    m_bytes.push_back(0);
    m_bytes.push_back(8);  // LZW minimum code size
    // 9-bit codes, least significant bit first; a clear code every 250 pixels keeps the
    // reader's table from growing into 10-bit codes.
    std::vector<uint8_t> packed;
    uint32_t bits = 0;
    int count = 0;
    auto put = [&](uint32_t code) {
        bits |= code << count;
        count += 9;
        while (count >= 8) {
            packed.push_back(static_cast<uint8_t>(bits));
            bits >>= 8;
            count -= 8;
        }
    };
    const uint32_t pixels = uint32_t{width} * height;
    for (uint32_t i = 0; i < pixels; ++i) {
        if (i % 250 == 0) put(256);
        put(colorIndex);
    }
    put(257);
    if (count > 0) packed.push_back(static_cast<uint8_t>(bits));
    SubBlocks(packed);
    return *this;
}

GifBuilder& GifBuilder::PlainText(const std::string& text) {
    m_bytes.insert(m_bytes.end(), {0x21, 0x01, 0x0C});
    m_bytes.insert(m_bytes.end(), {0, 0, 0, 0, 40, 0, 20, 0, 8, 16, 1, 0});
    SubBlocks(std::vector<uint8_t>(text.begin(), text.end()));
    return *this;
}

GifBuilder& GifBuilder::Raw(const std::vector<uint8_t>& bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

GifBuilder& GifBuilder::Trailer() {
    m_bytes.push_back(0x3B);
    return *this;
}

void GifBuilder::Word(uint16_t value) {
    m_bytes.push_back(static_cast<uint8_t>(value));
    m_bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void GifBuilder::SubBlocks(const std::vector<uint8_t>& data) {
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t size = std::min<size_t>(255, data.size() - at);
        m_bytes.push_back(static_cast<uint8_t>(size));
        m_bytes.insert(m_bytes.end(), data.begin() + at, data.begin() + at + size);
    }
    m_bytes.push_back(0);
}

std::vector<uint8_t> SolidFramesGif(uint16_t width, uint16_t height, int count, uint16_t delay) {
    std::vector<GifBuilder::Rgb> colors(static_cast<size_t>(count) + 1, {0, 0, 0});
    for (int i = 0; i < count; ++i)
        colors[i + 1] = {static_cast<uint8_t>(i + 1), static_cast<uint8_t>(2 * (i + 1)),
                         static_cast<uint8_t>(255 - i)};
    GifBuilder gif(width, height, colors);
    gif.Loop();
    for (int i = 0; i < count; ++i)
        gif.Control(delay, 1).Image(0, 0, width, height, static_cast<uint8_t>(i + 1));
    return gif.Trailer().Bytes();
}
