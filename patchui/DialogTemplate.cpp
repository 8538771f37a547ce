#include "patchui/DialogTemplate.h"

namespace {

// Little-endian reads that fail, instead of reading on, at the end of the data.
class TemplateReader {
public:
    explicit TemplateReader(std::span<const uint8_t> data) : m_data(data) {}

    bool Ok() const { return m_ok; }

    uint8_t Byte() {
        if (!Need(1)) return 0;
        return m_data[m_at++];
    }
    uint16_t Word() {
        const uint16_t low = Byte();
        return static_cast<uint16_t>(low | (Byte() << 8));
    }
    uint32_t Dword() {
        const uint32_t low = Word();
        return low | (uint32_t{Word()} << 16);
    }
    int16_t Short() { return static_cast<int16_t>(Word()); }

    std::u16string Text() {
        std::u16string text;
        for (char16_t c; m_ok && (c = Word()) != 0;) text.push_back(c);
        return text;
    }
    DialogTemplateName Name() {
        DialogTemplateName name;
        const uint16_t first = Word();
        if (first == 0) return name;
        name.present = true;
        if (first == 0xFFFF) {
            name.ordinal = Word();
            return name;
        }
        name.name.push_back(static_cast<char16_t>(first));
        name.name += Text();
        return name;
    }
    void AlignDword() {
        const size_t aligned = (m_at + 3) & ~size_t{3};
        if (Need(aligned - m_at)) m_at = aligned;
    }
    void Skip(size_t count) {
        if (Need(count)) m_at += count;
    }

private:
    bool Need(size_t count) {
        if (m_ok && count <= m_data.size() - m_at) return true;
        m_ok = false;
        return false;
    }

    std::span<const uint8_t> m_data;
    size_t m_at = 0;
    bool m_ok = true;
};

void ReadHeader(TemplateReader& in, DialogTemplate& dialog, uint16_t& count) {
    if (dialog.extended) {
        dialog.version = in.Word();
        in.Word();  // 0xFFFF
        dialog.helpId = in.Dword();
        dialog.exStyle = in.Dword();
        dialog.style = in.Dword();
    } else {
        dialog.style = in.Dword();
        dialog.exStyle = in.Dword();
    }
    count = in.Word();
    dialog.x = in.Short();
    dialog.y = in.Short();
    dialog.cx = in.Short();
    dialog.cy = in.Short();
    dialog.menu = in.Name();
    dialog.windowClass = in.Name();
    dialog.title = in.Text();
    if ((dialog.style & DialogTemplate::kSetFont) == 0) return;
    dialog.hasFont = true;
    dialog.pointSize = in.Word();
    if (dialog.extended) {
        dialog.weight = in.Word();
        dialog.italic = in.Byte() != 0;
        dialog.charset = in.Byte();
    }
    dialog.face = in.Text();
}

DialogTemplateItem ReadItem(TemplateReader& in, bool extended) {
    DialogTemplateItem item;
    in.AlignDword();
    if (extended) {
        item.helpId = in.Dword();
        item.exStyle = in.Dword();
        item.style = in.Dword();
    } else {
        item.style = in.Dword();
        item.exStyle = in.Dword();
    }
    item.x = in.Short();
    item.y = in.Short();
    item.cx = in.Short();
    item.cy = in.Short();
    item.id = extended ? in.Dword() : in.Word();
    item.windowClass = in.Name();
    item.title = in.Name();
    item.creationDataBytes = in.Word();
    in.Skip(item.creationDataBytes);
    return item;
}

}  // namespace

std::optional<DialogTemplate> ParseDialogTemplate(std::span<const uint8_t> data) {
    TemplateReader in(data);
    DialogTemplate dialog;
    dialog.extended =
        data.size() >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF;
    uint16_t count = 0;
    ReadHeader(in, dialog, count);
    for (uint16_t i = 0; i < count && in.Ok(); ++i)
        dialog.items.push_back(ReadItem(in, dialog.extended));
    if (!in.Ok()) return std::nullopt;
    return dialog;
}
