#pragma once

#include <cstdint>
#include <span>

#include "delta/DeltaError.h"
#include "delta/DeltaHeader.h"
#include "delta/IDeltaIo.h"

// Applies a delta whose header has been read and judged (ReadDeltaHeader) to a base held in
// memory, writing the result in order. Every control triple is checked before it is used; the
// memory taken besides the base is a few fixed buffers.
DeltaError DecodeDelta(const DeltaHeader& header, std::span<const uint8_t> base,
                       IDeltaSource& source, IDeltaSink& sink);

// Reads the header from the start of a delta of deltaLength bytes and judges it.
DeltaError ReadDeltaHeaderFrom(IDeltaSource& source, uint64_t deltaLength, DeltaHeader& header);

// Reads the header from the source and decodes: the whole path for a delta held anywhere.
DeltaError ApplyDelta(std::span<const uint8_t> base, IDeltaSource& source, uint64_t deltaLength,
                      IDeltaSink& sink);
