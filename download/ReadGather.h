#pragma once

#include <cstdint>

// How a body is read. Each read asks only for what has already arrived: a read that waits to
// fill its buffer loses the bytes it holds when the connection is reset. While arrivals come
// in steady blocks, several are gathered into the buffer before it is written and reported,
// so a fast body costs one write and one progress report per buffer, not per arrival. Pure
// rules.
namespace ReadGather {

// An arrival at least this large means the body is flowing faster than it is read.
constexpr uint32_t kSteadyArrival = 4096;

// The bytes to ask for: what has arrived, at most the room left. With nothing arrived (the
// body's end), the room.
uint32_t Wanted(uint32_t arrived, uint32_t room);

// Whether to read on before handing on `gathered` bytes: the last read brought a steady
// arrival and another one still fits.
bool ReadOn(uint32_t lastRead, uint32_t gathered, uint32_t bufferSize);

}  // namespace ReadGather
