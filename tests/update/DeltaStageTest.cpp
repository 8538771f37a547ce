// The staged file made from the installed file and a delta, with the platform's hashing, under
// Wine: every check refuses, and nothing is left staged then.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "UpdateTestFiles.h"
#include "delta/DeltaPacking.h"
#include "update/CDeltaStage.h"
#include "verify/CSha256.h"

namespace {

using updatetest::TestFolder;
using updatetest::WriteTextFile;

std::wstring Sha(std::string_view bytes) {
    const std::string hex = ToHex(CSha256::Of(bytes.data(), bytes.size()));
    return std::wstring(hex.begin(), hex.end());
}

std::string Text(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::string ReadText(const std::wstring& path) {
    std::string text;
    if (FILE* file = _wfopen(path.c_str(), L"rb")) {
        char buffer[4096];
        size_t count;
        while ((count = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, count);
        fclose(file);
    }
    return text;
}

const std::string kInstalled = "installed version of the file";
const std::string kNew = "installed version of the file, fixed";

std::string MakeDelta() {
    DeltaStreams streams;
    AppendTriple(streams.control, static_cast<int64_t>(kInstalled.size()), 7, 0);
    streams.diff.assign(kInstalled.size(), 0);
    streams.extra.assign(kNew.begin() + static_cast<ptrdiff_t>(kInstalled.size()), kNew.end());
    return Text(PackDelta(kInstalled.size(), kNew.size(), streams));
}

TEST(DeltaStageTest, MakesTheStagedFileOrSaysWhyNot) {
    const std::string delta = MakeDelta();
    const CDeltaStage::Expected good{
        {Sha(kInstalled), delta.size(), Sha(delta)}, kNew.size(), Sha(kNew)};
    const struct {
        const char* what;
        std::function<void(CDeltaStage::Expected&, std::string& installed, std::string& delta)>
            change;
        const wchar_t* reason;
    } cases[] = {
        {"good", [](auto&, auto&, auto&) {}, nullptr},
        {"delta of another size", [](auto& e, auto&, auto&) { e.offer.size += 1; },
         L"the delta's size or SHA-256 differs from the signed one"},
        {"delta changed", [](auto&, auto&, auto& d) { d[d.size() - 1] ^= 1; },
         L"the delta's size or SHA-256 differs from the signed one"},
        {"installed file changed since the check", [](auto&, auto& i, auto&) { i += "!"; },
         L"the installed file is no longer the delta's base"},
        {"result of another digest", [](auto& e, auto&, auto&) { e.sha256 = Sha("other"); },
         L"the delta's result differs from the signed size or SHA-256"},
        // Told by the delta's header before a byte is decoded.
        {"result of another size", [](auto& e, auto&, auto&) { e.fileSize -= 1; },
         L"the delta names another result size than the signed one"},
    };
    for (const auto& c : cases) {
        TestFolder folder;
        CDeltaStage::Expected expected = good;
        std::string installed = kInstalled, deltaBytes = delta;
        c.change(expected, installed, deltaBytes);
        WriteTextFile(folder / L"target.dll", installed);
        WriteTextFile(folder / L"delta.pdelta", deltaBytes);
        const auto reason = CDeltaStage::Make(folder / L"target.dll", folder / L"delta.pdelta",
                                              expected, folder / L"staged.dll");
        if (!c.reason) {
            EXPECT_FALSE(reason) << c.what;
            EXPECT_EQ(kNew, ReadText(folder / L"staged.dll")) << c.what;
            continue;
        }
        ASSERT_TRUE(reason) << c.what;
        EXPECT_EQ(std::wstring(c.reason), *reason) << c.what;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((folder / L"staged.dll").c_str()))
            << c.what;
    }
}

TEST(DeltaStageTest, ADecodingFailureSaysWhich) {
    TestFolder folder;
    std::string delta = MakeDelta();
    delta[8] = 9;  // another format version
    WriteTextFile(folder / L"target.dll", kInstalled);
    WriteTextFile(folder / L"delta.pdelta", delta);
    const CDeltaStage::Expected expected{
        {Sha(kInstalled), delta.size(), Sha(delta)}, kNew.size(), Sha(kNew)};
    EXPECT_EQ(L"the delta has an unknown format version",
              CDeltaStage::Make(folder / L"target.dll", folder / L"delta.pdelta", expected,
                                folder / L"staged.dll")
                  .value_or(L"(used)"));
}

}  // namespace
