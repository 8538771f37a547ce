#include "delta/DeltaDecoder.h"

#include <algorithm>
#include <memory>

#include "delta/CDeltaStream.h"

namespace {

constexpr size_t chunkSize = 65536;

struct Triple {
    int64_t add;
    int64_t copy;
    int64_t seek;
};

class CResultWriter {
public:
    CResultWriter(IDeltaSink& sink, uint64_t resultSize) : sink(sink), left(resultSize) {}
    uint64_t Left() const { return left; }
    bool Write(const uint8_t* bytes, size_t count) {
        left -= count;
        return sink.Write(bytes, count);
    }

private:
    IDeltaSink& sink;
    uint64_t left;
};

struct Decoding {
    std::span<const uint8_t> base;
    CDeltaStream control;
    CDeltaStream diff;
    CDeltaStream extra;
    CResultWriter result;
    uint64_t basePosition = 0;
    uint8_t buffer[chunkSize];

    Decoding(const DeltaHeader& header, std::span<const uint8_t> base, IDeltaSource& source,
             IDeltaSink& sink)
        : base(base),
          control(source, DeltaHeader::size, header.control),
          diff(source, DeltaHeader::size + header.control.compressed, header.diff),
          extra(source, DeltaHeader::size + header.control.compressed + header.diff.compressed,
                header.extra),
          result(sink, header.resultSize) {}

    DeltaError AddFromBase(uint64_t length) {
        while (length > 0) {
            const size_t count = static_cast<size_t>(std::min<uint64_t>(length, chunkSize));
            if (DeltaError error = diff.Read(buffer, count); error != DeltaError::none) {
                return error;
            }
            const uint8_t* from = base.data() + basePosition;
            for (size_t i = 0; i < count; ++i) {
                buffer[i] = static_cast<uint8_t>(buffer[i] + from[i]);
            }
            if (!result.Write(buffer, count)) {
                return DeltaError::resultUnwritable;
            }
            basePosition += count;
            length -= count;
        }
        return DeltaError::none;
    }

    DeltaError CopyExtra(uint64_t length) {
        while (length > 0) {
            const size_t count = static_cast<size_t>(std::min<uint64_t>(length, chunkSize));
            if (DeltaError error = extra.Read(buffer, count); error != DeltaError::none) {
                return error;
            }
            if (!result.Write(buffer, count)) {
                return DeltaError::resultUnwritable;
            }
            length -= count;
        }
        return DeltaError::none;
    }

    DeltaError Seek(int64_t offset) {
        // Control numbers never reach INT64_MIN, so the magnitude of a backward seek fits.
        if (offset < 0) {
            const auto back = static_cast<uint64_t>(-offset);
            if (back > basePosition) {
                return DeltaError::seekOutsideBase;
            }
            basePosition -= back;
        } else {
            if (static_cast<uint64_t>(offset) > base.size() - basePosition) {
                return DeltaError::seekOutsideBase;
            }
            basePosition += static_cast<uint64_t>(offset);
        }
        return DeltaError::none;
    }

    DeltaError Apply(const Triple& triple) {
        if (triple.add < 0 || triple.copy < 0) {
            return DeltaError::negativeLength;
        }
        const auto add = static_cast<uint64_t>(triple.add);
        const auto copy = static_cast<uint64_t>(triple.copy);
        if (add > result.Left()) {
            return DeltaError::writePastResult;
        }
        if (add > base.size() - basePosition) {
            return DeltaError::readPastBase;
        }
        if (DeltaError error = AddFromBase(add); error != DeltaError::none) {
            return error;
        }
        if (copy > result.Left()) {
            return DeltaError::writePastResult;
        }
        if (DeltaError error = CopyExtra(copy); error != DeltaError::none) {
            return error;
        }
        return Seek(triple.seek);
    }

    DeltaError Run(uint64_t tripleCount) {
        for (uint64_t i = 0; i < tripleCount; ++i) {
            uint8_t bytes[DeltaHeader::tripleSize];
            if (DeltaError error = control.Read(bytes, sizeof bytes); error != DeltaError::none) {
                return error;
            }
            const Triple triple{ReadSignedMagnitude(bytes), ReadSignedMagnitude(bytes + 8),
                                ReadSignedMagnitude(bytes + 16)};
            if (DeltaError error = Apply(triple); error != DeltaError::none) {
                return error;
            }
        }
        for (CDeltaStream* stream : {&control, &diff, &extra}) {
            if (DeltaError error = stream->Finish(); error != DeltaError::none) {
                return error;
            }
        }
        return result.Left() == 0 ? DeltaError::none : DeltaError::resultSizeMismatch;
    }
};

}  // namespace

DeltaError DecodeDelta(const DeltaHeader& header, std::span<const uint8_t> base,
                       IDeltaSource& source, IDeltaSink& sink) {
    if (header.baseSize != base.size()) {
        return DeltaError::baseSizeMismatch;
    }
    std::unique_ptr<Decoding> decoding(new (std::nothrow) Decoding(header, base, source, sink));
    if (!decoding) {
        return DeltaError::outOfMemory;
    }
    return decoding->Run(header.control.raw / DeltaHeader::tripleSize);
}

DeltaError ReadDeltaHeaderFrom(IDeltaSource& source, uint64_t deltaLength, DeltaHeader& header) {
    if (deltaLength < DeltaHeader::size) {
        return DeltaError::tooShort;
    }
    uint8_t bytes[DeltaHeader::size];
    if (!source.ReadAt(0, bytes, sizeof bytes)) {
        return DeltaError::deltaUnreadable;
    }
    return ReadDeltaHeader(bytes, deltaLength, header);
}

DeltaError ApplyDelta(std::span<const uint8_t> base, IDeltaSource& source, uint64_t deltaLength,
                      IDeltaSink& sink) {
    DeltaHeader header;
    if (DeltaError error = ReadDeltaHeaderFrom(source, deltaLength, header);
        error != DeltaError::none) {
        return error;
    }
    return DecodeDelta(header, base, source, sink);
}
