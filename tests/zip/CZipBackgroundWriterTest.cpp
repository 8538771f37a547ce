#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "ZipTestSupport.h"
#include "framework/CFile.h"
#include "zip/CZipBackgroundWriter.h"

namespace {

using ZipTest::ErrorOf;
using ZipTest::ScratchFolder;

TEST(CZipBackgroundWriter, WritesTheChunksInOrderAndHandsBuffersBack) {
    ScratchFolder scratch("writer");
    const std::wstring path = (scratch.Path() / "out.bin").wstring();
    CFile file;
    ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeWrite, false));
    std::string expected;
    {
        CZipBackgroundWriter writer(file);
        std::vector<uint8_t> chunk(1000);
        for (int i = 0; i < 50; ++i) {
            const unsigned count = 1 + unsigned(i) * 7;
            std::fill(chunk.begin(), chunk.begin() + count, uint8_t('a' + i % 26));
            expected.append(count, char('a' + i % 26));
            writer.Write(chunk, count);
            ASSERT_EQ(chunk.size(), 1000u);
        }
        writer.Finish();
    }
    file.Close();
    EXPECT_TRUE(ZipTest::ReadAll(scratch.Path() / "out.bin") == expected);
}

TEST(CZipBackgroundWriter, AWriteFailureIsRaisedOnceAsAFileException) {
    ScratchFolder scratch("failing");
    std::ofstream(scratch.Path() / "in.bin") << "x";
    CFile file;
    ASSERT_TRUE(file.Open((scratch.Path() / "in.bin").wstring(), CFile::modeRead, false));
    CZipBackgroundWriter writer(file);
    std::vector<uint8_t> chunk(16, 'x');
    writer.Write(chunk, 16);
    EXPECT_EQ(ErrorOf([&] { writer.Finish(); }), ZipTest::fileError);
    EXPECT_EQ(ErrorOf([&] { writer.Finish(); }), ZipTest::noError);
    // A failure never raised is dropped (and freed) when the writer ends.
    writer.Write(chunk, 16);
}

}  // namespace
