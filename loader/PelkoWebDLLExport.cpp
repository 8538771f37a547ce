#include <new>

#include "loader/CPelkoWebDLL.h"

extern "C" IPelkoWebDLL* CreatePelkoWebDLLObject(void) { return new (std::nothrow) CPelkoWebDLL(); }
