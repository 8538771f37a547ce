#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>

#include "delta/DeltaError.h"
#include "delta/DeltaHeader.h"
#include "delta/IDeltaIo.h"

// One zlib stream of a delta: a range of the delta file inflated on demand into exactly the raw
// length the header names.
class CDeltaStream {
public:
    CDeltaStream(IDeltaSource& source, uint64_t offset, const DeltaStreamLengths& lengths);
    ~CDeltaStream();
    CDeltaStream(const CDeltaStream&) = delete;
    CDeltaStream& operator=(const CDeltaStream&) = delete;

    // Exactly count bytes, or the reason why not.
    DeltaError Read(uint8_t* buffer, size_t count);
    // Checks that the stream was read to its end: no raw byte and no compressed byte left.
    DeltaError Finish();

private:
    DeltaError Refill();

    IDeltaSource& source;
    uint64_t nextOffset;
    uint64_t compressedLeft;
    uint64_t rawLeft;
    z_stream zip{};
    bool ready = false;
    bool ended = false;
    uint8_t input[16384];
};
