// File::writeAt as every implementation inherits it, and the messages of the write exceptions.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "fileio/errors.h"
#include "tests/fileio/test_file.h"

namespace {

TEST(FileWriteAt, PatchesBehindAndReturnsToTheEnd) {
    TestFile f;
    ASSERT_EQ(f.write("abcdef", 6), 6U);
    EXPECT_EQ(f.writeAt("XY", 2, 1), 2U);
    EXPECT_EQ(f.position, 6U);
    ASSERT_EQ(f.write("g", 1), 1U);
    const std::vector<uint8_t> bytes = f.all();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "aXYdefg");
}

TEST(FileWriteAt, UnreachableOffsetWritesNothingAndKeepsPosition) {
    TestFile f;
    ASSERT_EQ(f.write("abc", 3), 3U);
    f.failSeek = [](int number) { return number == 1; };
    EXPECT_EQ(f.writeAt("X", 1, 0), 0U);
    EXPECT_EQ(f.writes, 1);
    EXPECT_EQ(f.position, 3U);
}

TEST(FileWriteAt, ReportsAShortWriteAndStillReturns) {
    TestFile f;
    ASSERT_EQ(f.write("abcdef", 6), 6U);
    f.limitWrite = [](int number, size_t) -> std::optional<size_t> {
        return number == 2 ? std::optional<size_t>(1) : std::nullopt;
    };
    EXPECT_EQ(f.writeAt("XYZ", 3, 2), 1U);
    EXPECT_EQ(f.position, 6U);
}

TEST(FileWriteAt, IgnoresAFailedWayBack) {
    TestFile f;
    ASSERT_EQ(f.write("abcdef", 6), 6U);
    f.failSeek = [](int number) { return number == 2; };
    EXPECT_EQ(f.writeAt("XY", 2, 1), 2U);
    EXPECT_EQ(f.position, 3U);  // left after the patch: nothing reports it
}

TEST(FileErrors, MessagesAndFields) {
    const uint64_t big = std::numeric_limits<uint64_t>::max();
    const fileio::WriteError plain(56, 0);
    const fileio::WriteError huge(big, 4096);
    const fileio::WriteAtError negative(-1, 56, 0);
    const fileio::WriteAtError patch(9000000000, 24, 12);
    const struct {
        const fileio::Error& error;
        const char* message;
    } rows[] = {
        {plain, "Write error: size: 56, written: 0"},
        {huge, "Write error: size: 18446744073709551615, written: 4096"},
        {negative, "Write at error: offset: -1, size: 56, written: 0"},
        {patch, "Write at error: offset: 9000000000, size: 24, written: 12"},
        {fileio::Error("Failed to close riff chunk: movi"), "Failed to close riff chunk: movi"},
    };
    for (const auto& row : rows) {
        EXPECT_STREQ(row.error.what(), row.message);
    }
    EXPECT_EQ(huge.size, big);
    EXPECT_EQ(huge.written, 4096U);
    EXPECT_EQ(patch.offset, 9000000000);
    EXPECT_EQ(patch.size, 24U);
    EXPECT_EQ(patch.written, 12U);
}

TEST(FileErrors, CaughtThroughTheirBases) {
    try {
        throw fileio::WriteAtError(8, 4, 0);
    } catch (const fileio::WriteError& e) {
        EXPECT_EQ(e.size, 4U);
        EXPECT_NE(dynamic_cast<const fileio::WriteAtError*>(&e), nullptr);
    }
    EXPECT_THROW(throw fileio::WriteError(1, 0), fileio::Error);
    EXPECT_THROW(throw fileio::Error("x"), std::runtime_error);
}

}  // namespace
