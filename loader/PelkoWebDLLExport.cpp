#include <new>
#include <type_traits>

#include "loader/CPelkoWebDLL.h"
#include "loader/LaunchOutcome.h"

// Hosts see the table pointer alone.
static_assert(sizeof(CPelkoWebDLL) == sizeof(void*));
// Nothing below can throw into the host: a nothrow allocation and a constructor without work.
static_assert(std::is_nothrow_default_constructible_v<CPelkoWebDLL>);

extern "C" IPelkoWebDLL* __cdecl CreatePelkoWebDLLObject(void) {
    return new (std::nothrow) CPelkoWebDLL();
}

extern "C" int __cdecl GetPelkoWebLaunchOutcome(PelkoWebLaunchOutcome* outcome) {
    PelkoWebLaunchOutcome last{};
    if (!LaunchOutcome::Last(last)) return 0;
    if (outcome != nullptr) *outcome = last;
    return 1;
}
