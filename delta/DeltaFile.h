#pragma once

#include <string>

#include "delta/DeltaError.h"

// Applies the delta file to the base file and writes the result file, which must not exist
// yet. The base is read once into memory; the result is streamed. On any failure the result
// file is removed.
DeltaError ApplyDeltaFile(const std::wstring& basePath, const std::wstring& deltaPath,
                          const std::wstring& resultPath);
