#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "DeltaTestSupport.h"
#include "delta/DeltaFile.h"
#include "delta/DeltaHeader.h"
#include "delta/DeltaPacking.h"

using namespace deltatest;
namespace fs = std::filesystem;

namespace {

class DeltaFileTest : public testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("delta-file-test-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::wstring Path(const char* name) const { return (folder / name).wstring(); }
    void Write(const char* name, const Bytes& bytes) const {
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    Bytes Read(const char* name) const {
        std::ifstream in(folder / name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    fs::path folder;
};

// A result larger than the decoder's buffers: most of a 300 KB base changed a little, with
// inserted bytes between.
struct LargePair {
    Bytes base;
    Bytes result;
    Bytes delta;
};

LargePair MakeLargePair() {
    LargePair pair;
    for (size_t i = 0; i < 300000; ++i) {
        pair.base.push_back(static_cast<uint8_t>(i * 7 + i / 1000));
    }
    DeltaStreams streams;
    const Bytes inserted = BytesOf("inserted");
    for (size_t at = 0; at < pair.base.size(); at += 100000) {
        AppendTriple(streams.control, 100000, static_cast<int64_t>(inserted.size()), 0);
        for (size_t i = at; i < at + 100000; ++i) {
            const uint8_t change = i % 4099 == 0 ? 1 : 0;
            streams.diff.push_back(change);
            pair.result.push_back(static_cast<uint8_t>(pair.base[i] + change));
        }
        streams.extra.insert(streams.extra.end(), inserted.begin(), inserted.end());
        pair.result.insert(pair.result.end(), inserted.begin(), inserted.end());
    }
    pair.delta = PackDelta(pair.base.size(), pair.result.size(), streams);
    return pair;
}

TEST_F(DeltaFileTest, WritesTheResultFile) {
    const LargePair pair = MakeLargePair();
    Write("base", pair.base);
    Write("delta", pair.delta);
    ASSERT_EQ(DeltaError::none, ApplyDeltaFile(Path("base"), Path("delta"), Path("result")));
    EXPECT_EQ(pair.result, Read("result"));
}

TEST_F(DeltaFileTest, EachFailureLeavesNoResult) {
    const LargePair pair = MakeLargePair();
    Bytes otherBase = pair.base;
    otherBase.pop_back();
    Bytes cutDelta = pair.delta;
    cutDelta.resize(cutDelta.size() - 1);
    struct Case {
        const char* name;
        const Bytes* base;
        const Bytes* delta;
        DeltaError expected;
    } cases[] = {
        {"no base", nullptr, &pair.delta, DeltaError::baseUnreadable},
        {"no delta", &pair.base, nullptr, DeltaError::deltaUnreadable},
        {"another base", &otherBase, &pair.delta, DeltaError::baseSizeMismatch},
        {"delta cut short", &pair.base, &cutDelta, DeltaError::streamLengthsMismatch},
    };
    for (const Case& c : cases) {
        fs::remove(folder / "base");
        fs::remove(folder / "delta");
        if (c.base) Write("base", *c.base);
        if (c.delta) Write("delta", *c.delta);
        EXPECT_EQ(c.expected, ApplyDeltaFile(Path("base"), Path("delta"), Path("result")))
            << c.name;
        EXPECT_FALSE(fs::exists(folder / "result")) << c.name;
    }
}

// The header's sizes are judged before any byte is decoded: a delta whose streams are garbage
// fails on a size that is not the signed one or the base's, not on its streams.
TEST_F(DeltaFileTest, SizesAreJudgedAgainstTheHeaderBeforeDecoding) {
    const LargePair pair = MakeLargePair();
    Bytes garbled = pair.delta;
    for (size_t i = DeltaHeader::size; i < garbled.size(); ++i) garbled[i] ^= 0xA5;
    Bytes longerBase = pair.base;
    longerBase.push_back(0);
    const uint64_t resultSize = pair.result.size();
    struct Case {
        const char* name;
        const Bytes* base;
        const Bytes* delta;
        std::optional<uint64_t> signedResultSize;
        DeltaError expected;
    } cases[] = {
        {"the signed size", &pair.base, &pair.delta, resultSize, DeltaError::none},
        {"no signed size", &pair.base, &pair.delta, std::nullopt, DeltaError::none},
        {"another signed size", &pair.base, &pair.delta, resultSize + 1,
         DeltaError::resultSizeNotSigned},
        {"garbage, another signed size", &pair.base, &garbled, resultSize - 1,
         DeltaError::resultSizeNotSigned},
        {"garbage, another base", &longerBase, &garbled, resultSize,
         DeltaError::baseSizeMismatch},
        {"garbage, sizes that hold", &pair.base, &garbled, resultSize, DeltaError::streamCorrupt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(folder / "result");
        Write("base", *c.base);
        Write("delta", *c.delta);
        EXPECT_EQ(c.expected, ApplyDeltaFile(Path("base"), Path("delta"), Path("result"),
                                             c.signedResultSize));
        EXPECT_EQ(fs::exists(folder / "result"), c.expected == DeltaError::none);
    }
}

TEST_F(DeltaFileTest, NeverOverwritesAFile) {
    const LargePair pair = MakeLargePair();
    Write("base", pair.base);
    Write("delta", pair.delta);
    Write("result", BytesOf("already here"));
    EXPECT_EQ(DeltaError::resultUnwritable,
              ApplyDeltaFile(Path("base"), Path("delta"), Path("result")));
    EXPECT_EQ(BytesOf("already here"), Read("result"));
}

}  // namespace
