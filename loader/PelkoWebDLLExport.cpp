#include <new>

#include "loader/CPelkoWebDLL.h"

extern "C" IPelkoWebDLL* __cdecl CreatePelkoWebDLLObject(void) {
    return new (std::nothrow) CPelkoWebDLL();
}
