// The platform file (PosixFile on Linux, WinFile on Windows) against real files: both must keep
// the same contract, so the same tests run on both builds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fileio/platform_file.h"
#include "tests/fileio/temp_dir.h"

using fileio::File;
using fileio::PlatformFile;

namespace {

std::filesystem::path fsPath(const std::string& utf8) {
    return std::u8string(utf8.begin(), utf8.end());
}

std::string contents(const std::string& path) {
    std::ifstream in(fsPath(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void makeFile(const std::string& path, const std::string& text) {
    PlatformFile f;
    ASSERT_TRUE(f.open(path.c_str(), File::Write));
    ASSERT_EQ(f.write(text.data(), text.size()), text.size());
}

TEST(PlatformFile, OpenModes) {
    const struct {
        uint32_t mode;
        bool existing;
        bool opens;
        const char* left;  // contents afterwards
    } rows[] = {
        {0, true, false, "old"},
        {File::NoBuffering, true, false, "old"},
        {File::ShareRead, true, false, "old"},
        {File::NoBuffering | File::ShareRead, true, false, "old"},
        {File::Read, false, false, nullptr},
        {File::Read, true, true, "old"},
        {File::Read | File::ShareRead, true, true, "old"},
        {File::Write, true, true, ""},
        {File::Write, false, true, ""},
        {File::Write | File::ShareRead, true, true, ""},
        {File::Write | File::NoBuffering, true, true, ""},
        {File::Read | File::Write, true, true, ""},
    };
    TempDir dir;
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE("mode " + std::to_string(row.mode) + ", existing " +
                     std::to_string(row.existing));
        const std::string path = dir.file(u8"mode" + std::u8string(1, char8_t('a' + n++)));
        if (row.existing) {
            makeFile(path, "old");
        }
        PlatformFile f;
        EXPECT_EQ(f.open(path.c_str(), row.mode), row.opens);
        EXPECT_EQ(f.opened(), row.opens);
        f.close();
        if (row.left != nullptr) {
            EXPECT_EQ(contents(path), row.left);
        } else {
            EXPECT_FALSE(std::filesystem::exists(fsPath(path)));
        }
    }
}

TEST(PlatformFile, PatchesBehindTheEndAndAppendsAfter) {
    TempDir dir;
    const std::string path = dir.file(u8"patch.bin");
    PlatformFile f;
    ASSERT_TRUE(f.open(path.c_str(), File::Write));
    ASSERT_EQ(f.write("abcdef", 6), 6U);
    EXPECT_EQ(f.tell(), 6U);
    EXPECT_EQ(f.writeAt("XY", 2, 1), 2U);
    EXPECT_EQ(f.tell(), 6U);
    EXPECT_EQ(f.writeAt("Z", 1, -1), 0U);  // unreachable: nothing written, position kept
    EXPECT_EQ(f.tell(), 6U);
    ASSERT_EQ(f.write("gh", 2), 2U);
    EXPECT_EQ(f.size(), 8);
    f.close();
    EXPECT_EQ(contents(path), "aXYdefgh");

    ASSERT_TRUE(f.open(path.c_str(), File::Read));
    char buffer[16] = {};
    ASSERT_TRUE(f.seek(3));
    EXPECT_EQ(f.read(buffer, sizeof buffer), 5U);
    EXPECT_EQ(std::string(buffer, 5), "defgh");
    EXPECT_EQ(f.read(buffer, sizeof buffer), 0U);
}

TEST(PlatformFile, ReopeningClosesTheFirstFile) {
    TempDir dir;
    const std::string first = dir.file(u8"first.bin");
    const std::string second = dir.file(u8"second.bin");
#if !defined(_WIN32)
    auto openDescriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator());
    };
    const auto before = openDescriptors();
#endif
    PlatformFile f;
    ASSERT_TRUE(f.open(first.c_str(), File::Write));
    ASSERT_TRUE(f.open(second.c_str(), File::Write));
    ASSERT_EQ(f.write("2", 1), 1U);
#if !defined(_WIN32)
    EXPECT_EQ(openDescriptors(), before + 1);
#endif
    // Both are exclusive: this succeeds only if the first handle is gone.
    PlatformFile other;
    EXPECT_TRUE(other.open(first.c_str(), File::Write));
    f.close();
    EXPECT_EQ(contents(second), "2");
}

TEST(PlatformFile, ClosedFileAnswersWithoutTouchingAnything) {
    TempDir dir;
    PlatformFile f;
    EXPECT_EQ(f.tell(), 0U);
    EXPECT_EQ(f.write("x", 1), 0U);
    f.close();
    ASSERT_TRUE(f.open(dir.file(u8"c.bin").c_str(), File::Write));
    f.close();
    f.close();
    EXPECT_FALSE(f.opened());
    EXPECT_EQ(f.write("x", 1), 0U);
    EXPECT_EQ(f.tell(), 0U);
}

TEST(PlatformFile, TakesUtf8Paths) {
    TempDir dir;
    const std::u8string name =
        u8"\u00fcn\u00efc\u00f8d\u00e9_\u0444\u0430\u0439\u043b_\U0001F600.bin";
    PlatformFile f;
    ASSERT_TRUE(f.open(dir.file(name).c_str(), File::Write));
    ASSERT_EQ(f.write("abc", 3), 3U);
    f.close();
    EXPECT_EQ(std::filesystem::file_size(dir.path / name), 3U);
#if defined(_WIN32)
    ASSERT_TRUE(f.open((dir.path / name).wstring().c_str(), File::Read));
    EXPECT_EQ(f.size(), 3);
#endif
}

#if defined(_WIN32)
TEST(PlatformFile, ShareReadDecidesWhetherOthersMayRead) {
    TempDir dir;
    const std::string path = dir.file(u8"share.bin");
    auto readerOpens = [&] {
        const HANDLE h = CreateFileW(fsPath(path).wstring().c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return false;
        }
        CloseHandle(h);
        return true;
    };
    PlatformFile writer;
    ASSERT_TRUE(writer.open(path.c_str(), File::Write));
    EXPECT_FALSE(readerOpens());
    ASSERT_TRUE(writer.open(path.c_str(), File::Write | File::ShareRead));
    EXPECT_TRUE(readerOpens());
}
#endif

}  // namespace
