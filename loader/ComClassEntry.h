#pragma once

#include <comcat.h>
#include <objbase.h>

#include <span>

// One class of the module's object map: what registration and unregistration need to know.
struct ComClassEntry {
    const CLSID& classId;
    UINT registryScript;
    // Makes an instance, plain or aggregated.
    HRESULT (*createInstance)(IUnknown* outer, REFIID interfaceId, void** object);
    std::span<const CATID> implementedCategories;
};
