#include <gtest/gtest.h>

#include <random>

#include "../delta/DeltaTestSupport.h"
#include "delta/DeltaDecoder.h"
#include "tools/publish/DeltaEncoder.h"

namespace {

using namespace deltatest;

Bytes Noise(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random() % 7);  // repetitive, like code
    return bytes;
}

Bytes Edited(Bytes bytes) {
    for (size_t i = 100; i < bytes.size(); i += 997) bytes[i] ^= 0x40;
    bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(bytes.size() / 3), 300, 'x');
    bytes.erase(bytes.begin() + static_cast<ptrdiff_t>(bytes.size() / 2),
                bytes.begin() + static_cast<ptrdiff_t>(bytes.size() / 2 + 200));
    return bytes;
}

TEST(DeltaEncoderTest, EveryDeltaGivesItsResult) {
    const Bytes noise = Noise(200000, 1);
    const struct {
        const char* name;
        Bytes base;
        Bytes result;
    } cases[] = {
        {"both empty", {}, {}},           {"from nothing", {}, Noise(1000, 2)},
        {"to nothing", {'a'}, {}},        {"the same", noise, noise},
        {"edited", noise, Edited(noise)}, {"unrelated", Noise(5000, 3), Noise(6000, 4)},
        {"one byte", {'a'}, {'b'}},
    };
    for (const auto& c : cases) {
        const DeltaEncoding encoding = EncodeDelta(c.base, c.result);
        ASSERT_EQ(DeltaOutcome::made, encoding.outcome) << c.name;
        MemorySource source(encoding.delta);
        MemorySink sink;
        ASSERT_EQ(DeltaError::none, ApplyDelta(c.base, source, encoding.delta.size(), sink))
            << c.name;
        EXPECT_EQ(c.result, sink.bytes) << c.name;
    }
}

TEST(DeltaEncoderTest, AnEditIsSmallBesideTheFile) {
    const Bytes noise = Noise(200000, 5);
    const DeltaEncoding encoding = EncodeDelta(noise, Edited(noise));
    // Two hundred changed bytes, an insertion and a removal.
    EXPECT_LT(encoding.delta.size(), 4000u);
}

TEST(DeltaEncoderTest, LimitsGiveNoDelta) {
    const Bytes noise = Noise(100000, 6);
    const Bytes edited = Edited(noise);
    EXPECT_EQ(DeltaOutcome::tooSlow,
              EncodeDelta(noise, edited, {std::chrono::milliseconds(0), 8}).outcome);
    EXPECT_EQ(DeltaOutcome::tooMuchMemory,
              EncodeDelta(noise, edited, {std::chrono::milliseconds(60000), 5}).outcome);
    // A base far larger than its result would take more than 8 times the result's size.
    EXPECT_EQ(DeltaOutcome::tooMuchMemory, EncodeDelta(noise, Bytes(1000, 1)).outcome);
}

}  // namespace
