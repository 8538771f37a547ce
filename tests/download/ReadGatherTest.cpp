// How reads follow what arrives: never more than has arrived, and several steady arrivals
// gathered into one buffer before it is written.
#include <gtest/gtest.h>

#include "download/ReadGather.h"

namespace {

TEST(ReadGather, AsksForWhatHasArrivedAndNoMoreThanFits) {
    const struct {
        uint32_t arrived, room, wanted;
    } rows[] = {
        {8192, 65536, 8192},  // what has arrived
        {8192, 5000, 5000},   // no more than the room
        {1, 65536, 1},
        {0, 65536, 65536},  // the end: a read of the room finds it
    };
    for (const auto& row : rows)
        EXPECT_EQ(ReadGather::Wanted(row.arrived, row.room), row.wanted)
            << row.arrived << " arrived, room " << row.room;
}

TEST(ReadGather, ReadsOnOnlyWhileSteadyArrivalsStillFit) {
    const struct {
        const char* what;
        uint32_t lastRead, gathered, bufferSize;
        bool readOn;
    } rows[] = {
        {"a steady arrival with room for another", 8192, 8192, 65536, true},
        {"the smallest steady arrival", ReadGather::kSteadyArrival, 4096, 65536, true},
        {"a small arrival: the body is slower than the reads", 4095, 20000, 65536, false},
        {"the end of the body", 0, 20000, 65536, false},
        {"room for less than a steady arrival", 8192, 65536 - 4095, 65536, false},
        {"exactly room for one more", 8192, 65536 - 4096, 65536, true},
        {"a full buffer", 8192, 65536, 65536, false},
        {"a buffer too small to gather in", 1024, 1024, 1024, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ReadGather::ReadOn(row.lastRead, row.gathered, row.bufferSize), row.readOn)
            << row.what;
}

}  // namespace
