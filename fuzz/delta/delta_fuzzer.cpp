// libFuzzer target for the delta decoder: the input is a delta, applied to a fixed base; the
// result is only counted, so any read or write outside the checked ranges shows.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "delta/DeltaDecoder.h"

namespace {

class InputSource : public IDeltaSource {
public:
    InputSource(const uint8_t* data, size_t size) : data(data), size(size) {}
    bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset > size || count > size - offset) {
            return false;
        }
        std::memcpy(buffer, data + offset, count);
        return true;
    }

private:
    const uint8_t* data;
    size_t size;
};

class CountingSink : public IDeltaSink {
public:
    bool Write(const void* buffer, size_t count) override {
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        for (size_t i = 0; i < count; ++i) {
            sum += bytes[i];
        }
        written += count;
        return true;
    }
    uint64_t written = 0;
    uint64_t sum = 0;
};

// 64 bytes, the size the seeds are made for.
const uint8_t* Base() {
    static uint8_t base[64];
    for (size_t i = 0; i < sizeof base; ++i) {
        base[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    return base;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputSource source(data, size);
    CountingSink sink;
    const DeltaError error = ApplyDelta({Base(), 64}, source, size, sink);
    // A delta that applies wrote exactly the result size its header names.
    if (error == DeltaError::none) {
        uint64_t resultSize = 0;
        for (int i = 7; i >= 0; --i) {
            resultSize = (resultSize << 8) | data[20 + i];
        }
        if (sink.written != resultSize) {
            __builtin_trap();
        }
    }
    return 0;
}
