// Whole-file reads: regular files only, found by system paths, with a size limit.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "platform/core/file_bytes.h"

namespace fs = std::filesystem;

TEST(FileBytes, ReadsRegularFilesAndRefusesEverythingElse) {
    fs::path dir = fs::temp_directory_path() / ("file_bytes_" + std::to_string(::getpid()));
    fs::create_directories(dir / "Sub");
    {
        FILE* f = std::fopen((dir / "Sub" / "Data.BIN").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite("abc\0d", 1, 5, f);
        std::fclose(f);
    }
    std::vector<uint8_t> bytes{1, 2, 3};
    std::string base = dir.string();

    // Backslashes and case-blind lookup, zero byte kept.
    ASSERT_TRUE(core::ReadFileBytes((base + "\\sub\\data.bin").c_str(), bytes));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{'a', 'b', 'c', 0, 'd'}));

    // A folder where a file should be, a missing file, no name, and a file over the limit.
    EXPECT_FALSE(core::ReadFileBytes((base + "/Sub").c_str(), bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(core::ReadFileBytes((base + "/missing").c_str(), bytes));
    EXPECT_FALSE(core::ReadFileBytes(nullptr, bytes));
    EXPECT_FALSE(core::ReadFileBytes((base + "/Sub/Data.BIN").c_str(), bytes, 4));
    EXPECT_FALSE(core::ReadFileBytes("/dev/null", bytes));
    fs::remove_all(dir);
}
