#include "delta/CDeltaStream.h"

#include <algorithm>

CDeltaStream::CDeltaStream(IDeltaSource& source, uint64_t offset, const DeltaStreamLengths& lengths)
    : source(source), nextOffset(offset), compressedLeft(lengths.compressed), rawLeft(lengths.raw) {
    ready = inflateInit(&zip) == Z_OK;
}

CDeltaStream::~CDeltaStream() {
    if (ready) {
        inflateEnd(&zip);
    }
}

DeltaError CDeltaStream::Refill() {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(compressedLeft, sizeof input));
    if (count == 0) {
        return DeltaError::streamEndsEarly;
    }
    if (!source.ReadAt(nextOffset, input, count)) {
        return DeltaError::deltaUnreadable;
    }
    nextOffset += count;
    compressedLeft -= count;
    zip.next_in = input;
    zip.avail_in = static_cast<uInt>(count);
    return DeltaError::none;
}

DeltaError CDeltaStream::Read(uint8_t* buffer, size_t count) {
    if (!ready) {
        return DeltaError::outOfMemory;
    }
    if (count > rawLeft) {
        return DeltaError::streamEndsEarly;
    }
    zip.next_out = buffer;
    zip.avail_out = static_cast<uInt>(count);
    while (zip.avail_out > 0) {
        if (ended) {
            return DeltaError::streamEndsEarly;
        }
        if (zip.avail_in == 0) {
            if (DeltaError error = Refill(); error != DeltaError::none) {
                return error;
            }
        }
        const int result = inflate(&zip, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            ended = true;
        } else if (result != Z_OK && result != Z_BUF_ERROR) {
            return DeltaError::streamCorrupt;
        }
    }
    rawLeft -= count;
    return DeltaError::none;
}

DeltaError CDeltaStream::Finish() {
    if (!ready) {
        return DeltaError::outOfMemory;
    }
    if (rawLeft != 0) {
        return DeltaError::streamHasBytesLeft;
    }
    // The zlib stream must end here, with nothing after it.
    uint8_t probe;
    while (!ended) {
        if (zip.avail_in == 0) {
            if (DeltaError error = Refill(); error != DeltaError::none) {
                return error;
            }
        }
        zip.next_out = &probe;
        zip.avail_out = 1;
        const int result = inflate(&zip, Z_NO_FLUSH);
        if (zip.avail_out == 0) {
            return DeltaError::streamHasBytesLeft;
        }
        if (result == Z_STREAM_END) {
            ended = true;
        } else if (result != Z_OK && result != Z_BUF_ERROR) {
            return DeltaError::streamCorrupt;
        }
    }
    if (zip.avail_in != 0 || compressedLeft != 0) {
        return DeltaError::streamHasBytesLeft;
    }
    return DeltaError::none;
}
