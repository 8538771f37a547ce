#include "delta/DeltaHeader.h"

#include <cstring>

namespace {

constexpr char magic[8] = {'P', 'W', 'L', 'D', 'E', 'L', 'T', 'A'};

void PutNumber(uint64_t value, uint8_t* bytes) {
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint64_t GetNumber(const uint8_t* bytes) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

// a + b + c + d without wrapping; false when the sum does not fit.
bool AddWithin(uint64_t& sum, uint64_t value) {
    if (value > UINT64_MAX - sum) {
        return false;
    }
    sum += value;
    return true;
}

}  // namespace

void WriteDeltaHeader(const DeltaHeader& header, uint8_t (&bytes)[DeltaHeader::size]) {
    std::memcpy(bytes, magic, sizeof magic);
    bytes[8] = header.version;
    bytes[9] = header.streamFormat;
    bytes[10] = 0;
    bytes[11] = 0;
    PutNumber(header.baseSize, bytes + 12);
    PutNumber(header.resultSize, bytes + 20);
    const DeltaStreamLengths* streams[] = {&header.control, &header.diff, &header.extra};
    for (int i = 0; i < 3; ++i) {
        PutNumber(streams[i]->compressed, bytes + 28 + 16 * i);
        PutNumber(streams[i]->raw, bytes + 36 + 16 * i);
    }
}

DeltaError ReadDeltaHeader(const uint8_t (&bytes)[DeltaHeader::size], uint64_t fileLength,
                           DeltaHeader& header) {
    if (std::memcmp(bytes, magic, sizeof magic) != 0) {
        return DeltaError::badMagic;
    }
    if (bytes[8] != DeltaHeader::currentVersion) {
        return DeltaError::unknownVersion;
    }
    if (bytes[9] != DeltaHeader::zlibStreams) {
        return DeltaError::unknownStreamFormat;
    }
    if (bytes[10] != 0 || bytes[11] != 0) {
        return DeltaError::reservedNotZero;
    }
    header.version = bytes[8];
    header.streamFormat = bytes[9];
    header.baseSize = GetNumber(bytes + 12);
    header.resultSize = GetNumber(bytes + 20);
    DeltaStreamLengths* streams[] = {&header.control, &header.diff, &header.extra};
    uint64_t total = DeltaHeader::size;
    for (int i = 0; i < 3; ++i) {
        streams[i]->compressed = GetNumber(bytes + 28 + 16 * i);
        streams[i]->raw = GetNumber(bytes + 36 + 16 * i);
        if (!AddWithin(total, streams[i]->compressed)) {
            return DeltaError::streamLengthsMismatch;
        }
    }
    if (total != fileLength) {
        return DeltaError::streamLengthsMismatch;
    }
    // Every result byte comes from the diff or the extra stream.
    uint64_t produced = header.diff.raw;
    if (!AddWithin(produced, header.extra.raw) || produced != header.resultSize) {
        return DeltaError::rawLengthsMismatch;
    }
    if (header.control.raw % DeltaHeader::tripleSize != 0) {
        return DeltaError::controlNotWhole;
    }
    return DeltaError::none;
}

int64_t ReadSignedMagnitude(const uint8_t* bytes) {
    const uint64_t raw = GetNumber(bytes);
    const auto magnitude = static_cast<int64_t>(raw & ~(uint64_t{1} << 63));
    return (raw >> 63) != 0 ? -magnitude : magnitude;
}

void WriteSignedMagnitude(int64_t value, uint8_t* bytes) {
    // INT64_MIN has no magnitude in 63 bits; no length or seek comes near it.
    const uint64_t magnitude =
        value < 0 ? uint64_t{0} - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    PutNumber((magnitude & ~(uint64_t{1} << 63)) | (value < 0 ? uint64_t{1} << 63 : 0), bytes);
}
