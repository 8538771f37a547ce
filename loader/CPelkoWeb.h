#pragma once

#include <objbase.h>

#include "loader/ComClassEntry.h"

// The scriptable class of the closed COM face. Nothing may start through it: making one shows
// a box and ends the process.
class CPelkoWeb {
public:
    static constexpr CLSID kClassId = {
        0x6B1E3C52, 0x0F7A, 0x4D19, {0x9E, 0x84, 0x2A, 0x5C, 0x71, 0xD0, 0x3F, 0x6E}};
    static constexpr UINT kRegistryScript = 103;
    // Safe for initialising, then safe for scripting.
    static constexpr CATID kImplementedCategories[] = {
        {0x7DD95802, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}},
        {0x7DD95801, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}}};

    // Shows "Do not Call COM Library" and ends the process with -1: never returns.
    CPelkoWeb();

    // The object map's creator for plain and aggregated instances: constructs, so never returns.
    static HRESULT CreateInstance(IUnknown* outer, REFIID interfaceId, void** object);

    static constexpr ComClassEntry ObjectMapEntry() {
        return {kClassId, kRegistryScript, &CreateInstance, kImplementedCategories};
    }
};
