#pragma once

#include <cstdint>
#include <string>

// The platform's own error value of the calling thread and its message text.
namespace SystemError {

// GetLastError on Windows; 0 elsewhere, where errno carries the error instead.
uint32_t Last();
void SetLast(uint32_t code);
// The system's message for a platform error code (line end included where the system gives
// one); empty when the system has none.
std::wstring Text(uint32_t code);

}  // namespace SystemError
