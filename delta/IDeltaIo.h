#pragma once

#include <cstddef>
#include <cstdint>

// Where the decoder reads the delta's bytes: by offset, as the three streams are read in turn.
class IDeltaSource {
public:
    virtual ~IDeltaSource() = default;
    // False when the bytes cannot be read in full.
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t count) = 0;
};

// Where the decoder writes the result, in order.
class IDeltaSink {
public:
    virtual ~IDeltaSink() = default;
    virtual bool Write(const void* buffer, size_t count) = 0;
};
