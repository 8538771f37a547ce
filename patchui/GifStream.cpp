#include "patchui/GifStream.h"

#include <cstring>

GifStream::GifStream(std::span<const uint8_t> data) : m_data(data), m_position(0) { Rewind(); }

bool GifStream::IsGif() const {
    return Has(0, 3) && m_data[0] == 'G' && m_data[1] == 'I' && m_data[2] == 'F';
}

bool GifStream::HasScreen() const { return IsGif() && Has(0, kScreenEnd) && Has(0, PrefixBytes()); }

uint32_t GifStream::ScreenWidth() const { return Has(0, kScreenEnd) ? Word(6) : 0; }

uint32_t GifStream::ScreenHeight() const { return Has(0, kScreenEnd) ? Word(8) : 0; }

size_t GifStream::ColorTableBytes() const {
    if (!Has(0, kScreenEnd)) return 0;
    const uint32_t packed = Byte(10);
    return (packed & 0x80) ? size_t{3} << ((packed & 7) + 1) : 0;
}

GifBlockKind GifStream::KindAt(size_t position) const {
    if (!Has(position, 1)) return GifBlockKind::Unknown;
    switch (Byte(position)) {
        case 0x2C:
            return GifBlockKind::Image;
        case 0x3B:
            return GifBlockKind::Trailer;
        case 0x21:
            break;
        default:
            return GifBlockKind::Unknown;
    }
    if (!Has(position, 2)) return GifBlockKind::Unknown;
    switch (Byte(position + 1)) {
        case 0xFF:
            return GifBlockKind::Application;
        case 0xFE:
            return GifBlockKind::Comment;
        case 0xF9:
            return GifBlockKind::GraphicControl;
        case 0x01:
            return GifBlockKind::PlainText;
        default:
            return GifBlockKind::Unknown;
    }
}

std::optional<size_t> GifStream::BlockLength(size_t position) const {
    switch (KindAt(position)) {
        case GifBlockKind::Application:
            return Sum(14, position);
        case GifBlockKind::Comment:
            return Sum(2, position);
        case GifBlockKind::GraphicControl:
            return Has(position, 8) ? std::optional<size_t>(8) : std::nullopt;
        case GifBlockKind::PlainText:
            return Sum(15, position);
        case GifBlockKind::Image: {
            // Descriptor (10 bytes), local colour table, LZW code size (1 byte), data.
            if (!Has(position, 10)) return std::nullopt;
            const uint32_t packed = Byte(position + 9);
            const size_t table = (packed & 0x80) ? size_t{3} << ((packed & 7) + 1) : 0;
            return Sum(11 + table, position);
        }
        case GifBlockKind::Trailer:
            return 1;
        case GifBlockKind::Unknown:
            break;
    }
    return std::nullopt;
}

bool GifStream::SkipBlock() {
    const std::optional<size_t> length = BlockLength(m_position);
    if (!length || *length == 0 || !Has(m_position, *length)) return false;
    m_position += *length;
    return true;
}

size_t GifStream::CountImages() {
    Rewind();
    size_t images = 0;
    for (GraphicEnd end; (end = SkipGraphicBlock(nullptr)) != GraphicEnd::None;)
        if (end == GraphicEnd::Image) ++images;
    return images;
}

std::optional<GifFrameCut> GifStream::CutNextFrame() {
    for (;;) {
        GifFrameCut frame;
        const GraphicEnd end = SkipGraphicBlock(&frame);
        if (end == GraphicEnd::None) return std::nullopt;
        if (end == GraphicEnd::Image) {
            frame.end = m_position;
            return frame;
        }
    }
}

size_t GifStream::StandaloneSize(const GifFrameCut& frame) const {
    return PrefixBytes() + (frame.end - frame.start) + 1;
}

void GifStream::CopyStandalone(const GifFrameCut& frame, uint8_t* out) const {
    std::memcpy(out, m_data.data(), PrefixBytes());
    out += PrefixBytes();
    std::memcpy(out, m_data.data() + frame.start, frame.end - frame.start);
    out[frame.end - frame.start] = 0x3B;
}

bool GifStream::Has(size_t position, size_t count) const {
    return position <= m_data.size() && count <= m_data.size() - position;
}

// Sub-block chain: (size byte + 1) per sub-block up to and including the empty one.
std::optional<size_t> GifStream::ChainLength(size_t position) const {
    size_t total = 0;
    for (;;) {
        if (!Has(position, total + 1)) return std::nullopt;
        const size_t size = Byte(position + total);
        total += size + 1;
        if (size == 0) return total;
    }
}

// A block of `fixed` bytes followed by a sub-block chain.
std::optional<size_t> GifStream::Sum(size_t fixed, size_t position) const {
    if (!Has(position, fixed)) return std::nullopt;
    const std::optional<size_t> chain = ChainLength(position + fixed);
    if (!chain) return std::nullopt;
    return fixed + *chain;
}

// Skips application and comment extensions; true when the walk stands on another block.
bool GifStream::SkipLeadingExtensions() {
    for (;;) {
        const GifBlockKind kind = KindAt(m_position);
        if (kind != GifBlockKind::Application && kind != GifBlockKind::Comment) return true;
        if (!SkipBlock()) return false;
    }
}

GifStream::GraphicEnd GifStream::SkipGraphicBlock(GifFrameCut* frame) {
    if (!SkipLeadingExtensions()) return GraphicEnd::None;
    GifFrameCut ignored;
    GifFrameCut& cut = frame ? *frame : ignored;
    cut.start = m_position;
    cut.disposal = 0;
    cut.delay = GifFrameCut::kNoDelay;
    GifBlockKind kind = KindAt(m_position);
    if (kind == GifBlockKind::GraphicControl) {
        if (!SkipBlock()) return GraphicEnd::None;
        cut.delay = Word(cut.start + 4);
        cut.disposal = (Byte(cut.start + 3) >> 2) & 7;
        // Further extensions up to the block that ends the frame.
        for (kind = KindAt(m_position);
             kind == GifBlockKind::Application || kind == GifBlockKind::Comment ||
             kind == GifBlockKind::GraphicControl;
             kind = KindAt(m_position))
            if (!SkipBlock()) return GraphicEnd::None;
    }
    if (kind == GifBlockKind::PlainText)
        return SkipBlock() ? GraphicEnd::PlainText : GraphicEnd::None;
    if (kind != GifBlockKind::Image) return GraphicEnd::None;
    const size_t image = m_position;
    if (!SkipBlock()) return GraphicEnd::None;
    cut.left = Word(image + 1);
    cut.top = Word(image + 3);
    cut.width = Word(image + 5);
    cut.height = Word(image + 7);
    return GraphicEnd::Image;
}
