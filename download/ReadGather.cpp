#include "download/ReadGather.h"

#include <algorithm>

namespace ReadGather {

uint32_t Wanted(uint32_t arrived, uint32_t room) {
    return arrived > 0 ? std::min(arrived, room) : room;
}

bool ReadOn(uint32_t lastRead, uint32_t gathered, uint32_t bufferSize) {
    return lastRead >= kSteadyArrival && gathered <= bufferSize &&
           bufferSize - gathered >= kSteadyArrival;
}

}  // namespace ReadGather
