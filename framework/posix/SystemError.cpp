#include "framework/SystemError.h"

#include <cstring>

namespace SystemError {

uint32_t Last() { return 0; }

void SetLast(uint32_t) {}

std::wstring Text(uint32_t code) {
    const char* text = std::strerror(static_cast<int>(code));
    std::wstring wide;
    for (const char* c = text; c && *c; ++c)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    if (!wide.empty()) wide += L"\n";
    return wide;
}

}  // namespace SystemError
