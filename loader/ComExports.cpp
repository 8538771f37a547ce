// The four COM entry points. The COM route is closed: registration and class objects are
// refused, only unregistration works. Nothing is thrown across the module's boundary.
#include <objbase.h>

#include <new>

#include "loader/CPelkoWebLoaderModule.h"
#include "loader/ComRefusal.h"

// Callers that test the out pointer see null, never garbage.
STDAPI DllGetClassObject(REFCLSID, REFIID, LPVOID* object) {
    if (object != nullptr) *object = nullptr;
    ComRefusal::Show(ComRefusal::kClassObjectRefused);
    return S_FALSE;
}

// Never returns: nothing is written to the registry.
STDAPI DllRegisterServer() { ComRefusal::ShowAndExit(ComRefusal::kRegisterRefused); }

STDAPI DllUnregisterServer() {
    try {
        return theModule.UnregisterServer();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

STDAPI DllCanUnloadNow() { return theModule.CanUnloadNow(); }
