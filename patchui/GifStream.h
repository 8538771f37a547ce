#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// Kinds of block, as the walk names the block at a position.
enum class GifBlockKind {
    Unknown = 0,
    Application = 1,     // 0x21 0xFF
    Comment = 2,         // 0x21 0xFE
    GraphicControl = 3,  // 0x21 0xF9
    PlainText = 4,       // 0x21 0x01
    Image = 5,           // 0x2C
    Trailer = 6,         // 0x3B
};

// One frame found by the walk: its bytes [start, end) in the data (its graphic control
// extension, any extensions after it, and its image) and the values the player needs.
struct GifFrameCut {
    size_t start = 0;
    size_t end = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t left = 0;
    uint32_t top = 0;
    uint32_t delay = kNoDelay;  // hundredths of a second
    uint32_t disposal = 0;

    // The delay of a frame without a graphic control extension.
    static constexpr uint32_t kNoDelay = 0xFFFFFFFF;
};

// Walks the blocks of a GIF held in memory and cuts each frame into a stand-alone GIF. The
// data is borrowed. Every length and offset is checked against the end of the data before it
// is read, so a truncated or hostile file ends the walk instead of being read past its end.
//
// A frame is an image with the graphic control extension and extensions in front of it. A
// plain text extension ends its graphic block as an image would, but it is passed over: the
// platform's picture loader draws no text, and a stand-alone GIF of text alone is no picture.
class GifStream {
public:
    explicit GifStream(std::span<const uint8_t> data);

    // The data begins with "GIF" (the version is not examined).
    bool IsGif() const;
    // Header, logical screen descriptor and global colour table all lie inside the data.
    bool HasScreen() const;
    uint32_t ScreenWidth() const;
    uint32_t ScreenHeight() const;
    // Size of the global colour table in bytes; 0 when there is none.
    size_t ColorTableBytes() const;
    // Header, logical screen descriptor and global colour table: the prefix of every cut.
    size_t PrefixBytes() const { return kScreenEnd + ColorTableBytes(); }

    GifBlockKind KindAt(size_t position) const;
    // Length of the block at the position; nothing when it is no block or does not end
    // inside the data.
    std::optional<size_t> BlockLength(size_t position) const;

    size_t Position() const { return m_position; }
    // Back to the first block after the global colour table.
    void Rewind() { m_position = PrefixBytes(); }
    bool SkipBlock();
    // Number of images from the first block on, as far as the walk can follow the data.
    size_t CountImages();
    // The next image frame from the current position; nothing when the walk cannot go on.
    std::optional<GifFrameCut> CutNextFrame();

    // Size of the stand-alone GIF of a frame, and its bytes: the prefix, the frame's bytes
    // and a trailer.
    size_t StandaloneSize(const GifFrameCut& frame) const;
    void CopyStandalone(const GifFrameCut& frame, uint8_t* out) const;

private:
    static constexpr size_t kScreenEnd = 13;

    enum class GraphicEnd { None, Image, PlainText };

    uint32_t Byte(size_t position) const { return m_data[position]; }
    uint32_t Word(size_t position) const { return m_data[position] | (m_data[position + 1] << 8); }
    bool Has(size_t position, size_t count) const;
    std::optional<size_t> ChainLength(size_t position) const;
    std::optional<size_t> Sum(size_t fixed, size_t position) const;
    bool SkipLeadingExtensions();
    GraphicEnd SkipGraphicBlock(GifFrameCut* frame);

    std::span<const uint8_t> m_data;
    size_t m_position;
};
