#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "delta/DeltaError.h"

// The fixed header of a delta file, all numbers little-endian:
//   0  8  magic "PWLDELTA"
//   8  1  format version (1)
//   9  1  stream format (1: each stream is one zlib stream)
//  10  2  reserved, zero
//  12  8  base size
//  20  8  result size
//  28 48  per stream (control, diff, extra): compressed length, raw length
// The three compressed streams follow the header in that order and end the file.
struct DeltaStreamLengths {
    uint64_t compressed = 0;
    uint64_t raw = 0;
};

struct DeltaHeader {
    static constexpr size_t size = 76;
    static constexpr uint8_t currentVersion = 1;
    static constexpr uint8_t zlibStreams = 1;
    // Bytes of one control triple: add length, copy length, base seek.
    static constexpr size_t tripleSize = 24;

    uint8_t version = currentVersion;
    uint8_t streamFormat = zlibStreams;
    uint64_t baseSize = 0;
    uint64_t resultSize = 0;
    DeltaStreamLengths control;
    DeltaStreamLengths diff;
    DeltaStreamLengths extra;
};

void WriteDeltaHeader(const DeltaHeader& header, uint8_t (&bytes)[DeltaHeader::size]);

// Reads and judges a header against the delta file's length: the streams must fill the rest of
// the file exactly and their raw lengths must agree with the result size.
DeltaError ReadDeltaHeader(const uint8_t (&bytes)[DeltaHeader::size], uint64_t fileLength,
                           DeltaHeader& header);

// The numbers of a control triple: 8 bytes each, magnitude little-endian in 63 bits, the top
// bit of the last byte the sign.
int64_t ReadSignedMagnitude(const uint8_t* bytes);
void WriteSignedMagnitude(int64_t value, uint8_t* bytes);
