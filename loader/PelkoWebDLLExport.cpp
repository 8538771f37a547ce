#include <new>
#include <type_traits>

#include "loader/CPelkoWebDLL.h"

// Hosts see the table pointer alone.
static_assert(sizeof(CPelkoWebDLL) == sizeof(void*));
// Nothing below can throw into the host: a nothrow allocation and a constructor without work.
static_assert(std::is_nothrow_default_constructible_v<CPelkoWebDLL>);

extern "C" IPelkoWebDLL* __cdecl CreatePelkoWebDLLObject(void) {
    return new (std::nothrow) CPelkoWebDLL();
}
