#pragma once

#include <cstdint>

#include "framework/CodePage.h"

// How names and comments of an archive are encoded.
struct CZipStringSettings {
    bool nameInExtra = false;
    uint32_t nameCodePage = CodePage::oem;
    uint32_t commentCodePage = CodePage::ansi;

    void Reset() { *this = CZipStringSettings(); }
};
