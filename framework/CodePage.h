#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Conversion of stored names to UTF-16. Code page 0 is the ANSI code page, 1 the OEM code page
// (the platform's active ones on Windows; 1252 and 437 elsewhere, where 437, 1252 and 65001
// are known). An unknown code page or an invalid sequence gives empty text.
namespace CodePage {

constexpr uint32_t ansi = 0;
constexpr uint32_t oem = 1;

std::wstring ToWide(uint32_t codePage, const uint8_t* bytes, size_t size);

}  // namespace CodePage
