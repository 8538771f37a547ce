// The four COM entry points. The COM route is closed: registration and class objects are
// refused, only unregistration works. Nothing is thrown across the module's boundary.
#include <objbase.h>

#include <new>

#include "loader/CPelkoWebLoaderModule.h"
#include "loader/ComRefusal.h"

// A failure code with a null object: COM treats any success code as a class object to call,
// so S_FALSE here would take the caller down. Callers that test the pointer see null.
STDAPI DllGetClassObject(REFCLSID, REFIID, LPVOID* object) {
    if (object != nullptr) *object = nullptr;
    ComRefusal::Show(ComRefusal::kClassObjectRefused);
    return CLASS_E_CLASSNOTAVAILABLE;
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
