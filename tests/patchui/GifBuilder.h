#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes small GIFs block by block for tests: solid-colour images coded without compression
// (every pixel one 9-bit code, a clear code before the table would widen them).
class GifBuilder {
public:
    struct Rgb {
        uint8_t r, g, b;
    };

    // Header and logical screen; a global colour table of 256 entries, the given colours first.
    GifBuilder(uint16_t width, uint16_t height, const std::vector<Rgb>& colors = {},
               const char* version = "89a");

    GifBuilder& Loop();  // NETSCAPE2.0 application extension, loop for ever
    GifBuilder& Comment(const std::string& text);
    GifBuilder& Control(uint16_t delay, uint8_t disposal);
    GifBuilder& Image(uint16_t left, uint16_t top, uint16_t width, uint16_t height,
                      uint8_t colorIndex);
    GifBuilder& PlainText(const std::string& text);
    GifBuilder& Raw(const std::vector<uint8_t>& bytes);
    GifBuilder& Trailer();

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    void Word(uint16_t value);
    void SubBlocks(const std::vector<uint8_t>& data);

    std::vector<uint8_t> m_bytes;
};

// A GIF of `count` full-size frames of the given delay, frame i in colour i + 1 of a table
// whose colour i + 1 is {i + 1, 2 * (i + 1), 255 - i}.
std::vector<uint8_t> SolidFramesGif(uint16_t width, uint16_t height, int count, uint16_t delay);
