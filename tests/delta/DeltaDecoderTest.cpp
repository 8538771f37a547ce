#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <functional>

#include "DeltaTestSupport.h"
#include "delta/DeltaDecoder.h"
#include "delta/DeltaHeader.h"
#include "delta/DeltaPacking.h"

using namespace deltatest;

namespace {

// Base "0123456789abcdef"; the result copies "0123", adds 1 to "4567", inserts "XYZ", then
// takes "cdef" unchanged: "0123" + "5678" + "XYZ" + "cdef".
const Bytes base = BytesOf("0123456789abcdef");
const Bytes expected = BytesOf("01235678XYZcdef");

DeltaStreams GoodStreams() {
    DeltaStreams streams;
    AppendTriple(streams.control, 8, 3, 4);
    AppendTriple(streams.control, 4, 0, 0);
    streams.diff = {0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0};
    streams.extra = BytesOf("XYZ");
    return streams;
}

Bytes Pack(const DeltaStreams& streams, uint64_t resultSize = 15, uint64_t baseSize = 16) {
    return PackDelta(baseSize, resultSize, streams);
}

void PutNumber(Bytes& delta, size_t at, uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        delta[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint64_t GetNumber(const Bytes& delta, size_t at) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | delta[at + i];
    }
    return value;
}

DeltaError Apply(const Bytes& delta, Bytes* result = nullptr) {
    MemorySource source(delta);
    MemorySink sink;
    const DeltaError error = ApplyDelta(base, source, delta.size(), sink);
    if (result) {
        *result = sink.bytes;
    }
    return error;
}

// A delta whose streams are good but whose triples are the given ones, with the raw lengths
// they claim.
Bytes WithTriples(std::initializer_list<std::array<int64_t, 3>> triples, const Bytes& diff,
                  const Bytes& extra, uint64_t resultSize) {
    DeltaStreams streams;
    for (const auto& t : triples) {
        AppendTriple(streams.control, t[0], t[1], t[2]);
    }
    streams.diff = diff;
    streams.extra = extra;
    return Pack(streams, resultSize);
}

// A zlib stream of the given bytes.
Bytes Zlib(const Bytes& raw) {
    uLongf length = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(length);
    compress2(packed.data(), &length, raw.data(), static_cast<uLong>(raw.size()), 9);
    packed.resize(length);
    return packed;
}

// Replaces the diff stream's compressed bytes and lengths in a good delta.
Bytes WithDiffStream(const Bytes& compressed, uint64_t raw) {
    const Bytes good = Pack(GoodStreams());
    const uint64_t controlLength = GetNumber(good, 28);
    const uint64_t diffLength = GetNumber(good, 44);
    Bytes delta(good.begin(), good.begin() + DeltaHeader::size + controlLength);
    delta.insert(delta.end(), compressed.begin(), compressed.end());
    delta.insert(delta.end(), good.begin() + DeltaHeader::size + controlLength + diffLength,
                 good.end());
    PutNumber(delta, 44, compressed.size());
    PutNumber(delta, 52, raw);
    return delta;
}

TEST(DeltaDecoderTest, AppliesAddCopyAndSeek) {
    Bytes result;
    ASSERT_EQ(DeltaError::none, Apply(Pack(GoodStreams()), &result));
    EXPECT_EQ(expected, result);
}

TEST(DeltaDecoderTest, AnEmptyResultFromAnEmptyBase) {
    const Bytes delta = PackDelta(0, 0, DeltaStreams{});
    MemorySource source(delta);
    MemorySink sink;
    EXPECT_EQ(DeltaError::none, ApplyDelta({}, source, delta.size(), sink));
    EXPECT_TRUE(sink.bytes.empty());
}

TEST(DeltaDecoderTest, SignedMagnitudeKeepsEveryValue) {
    for (int64_t value : {int64_t{0}, int64_t{1}, int64_t{-1}, int64_t{255}, int64_t{-256},
                          INT64_MAX, -INT64_MAX}) {
        uint8_t bytes[8];
        WriteSignedMagnitude(value, bytes);
        EXPECT_EQ(value, ReadSignedMagnitude(bytes)) << value;
    }
    const uint8_t minusOne[8] = {1, 0, 0, 0, 0, 0, 0, 0x80};
    EXPECT_EQ(-1, ReadSignedMagnitude(minusOne));
}

struct HostileCase {
    const char* name;
    std::function<Bytes()> make;
    DeltaError expected;
};

Bytes Changed(size_t at, uint8_t value) {
    Bytes delta = Pack(GoodStreams());
    delta[at] = value;
    return delta;
}

Bytes NumberChanged(size_t at, uint64_t value) {
    Bytes delta = Pack(GoodStreams());
    PutNumber(delta, at, value);
    return delta;
}

const HostileCase hostileCases[] = {
    {"shorter than the header",
     [] {
         Bytes delta = Pack(GoodStreams());
         delta.resize(DeltaHeader::size - 1);
         return delta;
     },
     DeltaError::tooShort},
    {"wrong magic", [] { return Changed(0, 'Q'); }, DeltaError::badMagic},
    {"next version", [] { return Changed(8, 2); }, DeltaError::unknownVersion},
    {"zstd streams", [] { return Changed(9, 2); }, DeltaError::unknownStreamFormat},
    {"reserved byte set", [] { return Changed(11, 1); }, DeltaError::reservedNotZero},
    {"base of another size", [] { return NumberChanged(12, 17); }, DeltaError::baseSizeMismatch},
    {"result one byte longer", [] { return NumberChanged(20, 16); },
     DeltaError::rawLengthsMismatch},
    {"a byte after the streams",
     [] {
         Bytes delta = Pack(GoodStreams());
         delta.push_back(0);
         return delta;
     },
     DeltaError::streamLengthsMismatch},
    {"stream lengths that wrap", [] { return NumberChanged(28, UINT64_MAX - 40); },
     DeltaError::streamLengthsMismatch},
    {"raw lengths that wrap",
     [] {
         Bytes delta = NumberChanged(52, UINT64_MAX);
         PutNumber(delta, 68, 16);
         return delta;
     },
     DeltaError::rawLengthsMismatch},
    {"control not whole triples",
     [] {
         DeltaStreams streams = GoodStreams();
         streams.control.pop_back();
         return Pack(streams);
     },
     DeltaError::controlNotWhole},
    {"negative add",
     [] {
         return WithTriples({{-1, 0, 0}}, {}, {}, 0);
     },
     DeltaError::negativeLength},
    {"negative copy",
     [] {
         return WithTriples({{0, -1, 0}}, {}, {}, 0);
     },
     DeltaError::negativeLength},
    {"add past the base",
     [] {
         return WithTriples({{17, 0, 0}}, Bytes(17), {}, 17);
     },
     DeltaError::readPastBase},
    {"add past the base after a seek",
     [] {
         return WithTriples({{0, 0, 10}, {7, 0, 0}}, Bytes(7), {}, 7);
     },
     DeltaError::readPastBase},
    {"seek before the base",
     [] {
         return WithTriples({{2, 0, -3}}, Bytes(2), {}, 2);
     },
     DeltaError::seekOutsideBase},
    {"seek past the base",
     [] {
         return WithTriples({{0, 0, 17}}, {}, {}, 0);
     },
     DeltaError::seekOutsideBase},
    {"farthest seek back",
     [] {
         return WithTriples({{0, 0, -INT64_MAX}}, {}, {}, 0);
     },
     DeltaError::seekOutsideBase},
    {"add past the result",
     [] {
         return WithTriples({{4, 0, 0}, {4, 0, 0}}, Bytes(4), BytesOf("ab"), 6);
     },
     DeltaError::writePastResult},
    {"copy past the result",
     [] {
         return WithTriples({{2, 5, 0}}, Bytes(2), BytesOf("abc"), 5);
     },
     DeltaError::writePastResult},
    {"add longer than the diff stream",
     [] {
         return WithTriples({{4, 0, 0}}, Bytes(2), BytesOf("ab"), 4);
     },
     DeltaError::streamEndsEarly},
    {"copy longer than the extra stream",
     [] {
         return WithTriples({{0, 4, 0}}, Bytes(2), BytesOf("ab"), 4);
     },
     DeltaError::streamEndsEarly},
    {"diff bytes never used",
     [] {
         return WithTriples({{2, 2, 0}}, Bytes(3), BytesOf("ab"), 5);
     },
     DeltaError::streamHasBytesLeft},
    {"extra bytes never used",
     [] {
         return WithTriples({{2, 1, 0}}, Bytes(2), BytesOf("ab"), 4);
     },
     DeltaError::streamHasBytesLeft},
    {"garbage diff stream", [] { return WithDiffStream(BytesOf("not a zlib stream"), 12); },
     DeltaError::streamCorrupt},
    {"diff stream holds fewer bytes than it claims",
     [] {
         // 12 raw bytes claimed, 11 inside: the second triple finds the stream ended.
         return WithDiffStream(Zlib(Bytes(11)), 12);
     },
     DeltaError::streamEndsEarly},
    {"diff stream holds more bytes than it claims",
     [] { return WithDiffStream(Zlib(Bytes(13)), 12); }, DeltaError::streamHasBytesLeft},
    {"bytes after the diff's zlib stream",
     [] {
         Bytes compressed = Zlib(Bytes(12));
         compressed.push_back(0);
         return WithDiffStream(compressed, 12);
     },
     DeltaError::streamHasBytesLeft},
    {"diff stream cut short",
     [] {
         Bytes compressed = Zlib(Bytes(12));
         compressed.resize(compressed.size() - 4);
         return WithDiffStream(compressed, 12);
     },
     DeltaError::streamEndsEarly},
};

TEST(DeltaDecoderTest, RefusesHostileDeltas) {
    for (const HostileCase& c : hostileCases) {
        EXPECT_EQ(c.expected, Apply(c.make())) << c.name << ": " << DeltaErrorText(Apply(c.make()));
    }
}

}  // namespace
