#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// A name-or-ordinal field of a dialog template: none, an ordinal (0xFFFF marker) or a name.
struct DialogTemplateName {
    bool present = false;
    uint16_t ordinal = 0;  // when present and name is empty
    std::u16string name;
};

struct DialogTemplateItem {
    uint32_t helpId = 0;
    uint32_t exStyle = 0;
    uint32_t style = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint32_t id = 0;
    DialogTemplateName windowClass;
    DialogTemplateName title;
    uint16_t creationDataBytes = 0;
};

// A dialog resource, in the standard or the extended template format.
struct DialogTemplate {
    bool extended = false;
    uint16_t version = 0;  // extended format only
    uint32_t helpId = 0;
    uint32_t exStyle = 0;
    uint32_t style = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    DialogTemplateName menu;
    DialogTemplateName windowClass;
    std::u16string title;
    // Present with the set-font (or shell-font) style; the standard format has no weight,
    // italic flag or character set (0 then).
    bool hasFont = false;
    uint16_t pointSize = 0;
    uint16_t weight = 0;
    bool italic = false;
    uint8_t charset = 0;
    std::u16string face;
    std::vector<DialogTemplateItem> items;

    static constexpr uint32_t kSetFont = 0x40;    // DS_SETFONT
    static constexpr uint32_t kShellFont = 0x48;  // DS_SHELLFONT
};

// Reads a dialog template; nothing when the data ends before the template does.
std::optional<DialogTemplate> ParseDialogTemplate(std::span<const uint8_t> data);
