#include "delta/DeltaPacking.h"

#include <zlib.h>

#include "delta/DeltaHeader.h"

namespace {

bool Compress(const std::vector<uint8_t>& raw, std::vector<uint8_t>& packed) {
    uLongf length = compressBound(static_cast<uLong>(raw.size()));
    packed.resize(length);
    if (compress2(packed.data(), &length, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK) {
        return false;
    }
    packed.resize(length);
    return true;
}

}  // namespace

void AppendTriple(std::vector<uint8_t>& control, int64_t add, int64_t copy, int64_t seek) {
    uint8_t bytes[DeltaHeader::tripleSize];
    WriteSignedMagnitude(add, bytes);
    WriteSignedMagnitude(copy, bytes + 8);
    WriteSignedMagnitude(seek, bytes + 16);
    control.insert(control.end(), bytes, bytes + sizeof bytes);
}

std::vector<uint8_t> PackDelta(uint64_t baseSize, uint64_t resultSize,
                               const DeltaStreams& streams) {
    std::vector<uint8_t> packed[3];
    const std::vector<uint8_t>* raw[] = {&streams.control, &streams.diff, &streams.extra};
    DeltaHeader header;
    header.baseSize = baseSize;
    header.resultSize = resultSize;
    DeltaStreamLengths* lengths[] = {&header.control, &header.diff, &header.extra};
    for (int i = 0; i < 3; ++i) {
        if (!Compress(*raw[i], packed[i])) {
            return {};
        }
        lengths[i]->compressed = packed[i].size();
        lengths[i]->raw = raw[i]->size();
    }
    std::vector<uint8_t> file(DeltaHeader::size);
    uint8_t bytes[DeltaHeader::size];
    WriteDeltaHeader(header, bytes);
    file.assign(bytes, bytes + sizeof bytes);
    for (const auto& stream : packed) {
        file.insert(file.end(), stream.begin(), stream.end());
    }
    return file;
}
