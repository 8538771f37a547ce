#include "loader/CPelkoWeb.h"

#include "loader/ComRefusal.h"

CPelkoWeb::CPelkoWeb() { ComRefusal::ShowAndExit(ComRefusal::kConstructionRefused); }

HRESULT CPelkoWeb::CreateInstance(IUnknown*, REFIID, void** object) {
    if (object != nullptr) *object = nullptr;
    [[maybe_unused]] CPelkoWeb instance;
    return E_UNEXPECTED;
}
