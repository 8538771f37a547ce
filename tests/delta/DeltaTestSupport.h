#pragma once

#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "delta/DeltaError.h"
#include "delta/IDeltaIo.h"

// Failures print as their text in test messages.
inline void PrintTo(DeltaError error, std::ostream* out) { *out << DeltaErrorText(error); }

namespace deltatest {

using Bytes = std::vector<uint8_t>;

inline Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

class MemorySource : public IDeltaSource {
public:
    explicit MemorySource(const Bytes& bytes) : bytes(bytes) {}
    bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset > bytes.size() || count > bytes.size() - offset) {
            return false;
        }
        std::memcpy(buffer, bytes.data() + offset, count);
        return true;
    }

private:
    const Bytes& bytes;
};

class MemorySink : public IDeltaSink {
public:
    bool Write(const void* buffer, size_t count) override {
        const auto* from = static_cast<const uint8_t*>(buffer);
        bytes.insert(bytes.end(), from, from + count);
        return true;
    }
    Bytes bytes;
};

}  // namespace deltatest
