#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "zip/CZipArchive.h"

namespace ZipFuzz {

// Opens the input as an archive held in memory and hands it to use; the reader's own
// exceptions are the expected outcome of most inputs and are deleted.
void WithArchive(const uint8_t* data, size_t size, const std::function<void(CZipArchive&)>& use);

}  // namespace ZipFuzz
