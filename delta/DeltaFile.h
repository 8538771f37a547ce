#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "delta/DeltaError.h"

// Applies the delta file to the base file and writes the result file, which must not exist
// yet. The base is read once into memory; the result is streamed. On any failure the result
// file is removed. Before any byte is decoded, the header's base size must be the base file's
// and, when a signed result size is given, its result size that one.
DeltaError ApplyDeltaFile(const std::wstring& basePath, const std::wstring& deltaPath,
                          const std::wstring& resultPath,
                          std::optional<uint64_t> signedResultSize = std::nullopt);
