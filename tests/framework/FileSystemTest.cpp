#include <gtest/gtest.h>

#include <string>

#include "framework/FileSystem.h"

namespace {

using FileSystem::FitsPathLimit;
using FileSystem::LongestPath;

TEST(FileSystem, PathLimitsAreThoseOfTheOrdinaryCalls) {
#ifdef _WIN32
    EXPECT_EQ(LongestPath(L"C:\\x", false), 259u);
    EXPECT_EQ(LongestPath(L"C:\\x", true), 247u);
    EXPECT_EQ(LongestPath(L"\\\\?\\C:\\x", true), 32767u);
    // Characters count, not bytes.
    EXPECT_EQ(FileSystem::PathLength(L"C:\\\u00FC"), 4u);
#else
    EXPECT_EQ(LongestPath(L"/x", false), 4095u);
    EXPECT_EQ(LongestPath(L"/x", true), 4095u);
    EXPECT_EQ(FileSystem::PathLength(L"/\u00FC"), 3u);
#endif
    const std::wstring root = L"C:\\";
    const size_t longest = LongestPath(root, false);
    // Whole paths up to the limit, in parts of at most 255 units.
    std::wstring path = root;
    while (path.size() + 200 < longest) path += std::wstring(199, L'p') + L"\\";
    path += std::wstring(longest - path.size(), L'f');
    EXPECT_TRUE(FitsPathLimit(path, false));
    EXPECT_FALSE(FitsPathLimit(path + L"f", false));
    EXPECT_EQ(FitsPathLimit(path, true), LongestPath(path, true) >= path.size());
    // No part longer than 255 units.
    EXPECT_TRUE(FitsPathLimit(std::wstring(255, L'n') + L"\\a", false));
    EXPECT_FALSE(FitsPathLimit(std::wstring(256, L'n') + L"\\a", false));
    EXPECT_FALSE(FitsPathLimit(L"a/" + std::wstring(256, L'n'), false));
#ifndef _WIN32
    // A name is measured in the bytes the file system stores.
    EXPECT_FALSE(FitsPathLimit(L"/" + std::wstring(128, L'\u00FC'), false));
#endif
}

}  // namespace
