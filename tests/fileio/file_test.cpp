// The platform file (PosixFile or WinFile: the same tests on both builds) against real files, and
// the messages of the write exceptions. writeAt's fault paths are met by the AVI writer's tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fileio/errors.h"
#include "fileio/platform_file.h"
#include "tests/support/temp_dir.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

using fileio::File;

namespace {

#if defined(_WIN32)
constexpr bool kWindows = true;  // share modes are enforced; no descriptors to count
#else
constexpr bool kWindows = false;
#endif

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FileErrors, WriteAtErrorCarriesTheOffset) {
    EXPECT_STREQ(fileio::WriteAtError(-9000000000, 24, 12).what(),
                 "Write at error: offset: -9000000000, size: 24, written: 12");
}

// Which second open of ours gets in beside a holder, for every pair of modes: the answers of
// CreateFileW, measured through WinFile under Wine (each opener must share the other's access),
// which PosixFile's advisory locks give on every pair, against another process too. What POSIX
// cannot match, a program that takes no lock, no row shows. NoBuffering plays no part. A refused
// open leaves the holder's bytes as they were.
TEST(PlatformFile, SharedOpensAgreeWithWin32) {
    constexpr uint32_t R = File::Read, W = File::Write, S = File::ShareRead, E = File::Existing;
    const uint32_t modes[] = {R, R | S, W, W | S, R | W, R | W | S, W | E, W | E | S, R | W | E};
    const char* const opens[] = {
        // R, RS, W, WS, RW, RWS, WE, WES, RWE: '+' the second open gets in
        "---------",  // R
        "-+-------",  // R|S
        "---------",  // W
        "---------",  // W|S
        "---------",  // R|W
        "---------",  // R|W|S
        "---------",  // W|E
        "---------",  // W|E|S
        "---------",  // R|W|E
    };
    TempDir dir;
    const std::string path = dir.file(u8"held");
    std::string table;
    for (const uint32_t holderMode : modes) {
        for (const uint32_t secondMode : modes) {
            std::ofstream(dir.path / "held", std::ios::binary) << "kept";
            fileio::PlatformFile holder, second;
            ASSERT_TRUE(holder.open(path.c_str(), holderMode)) << holderMode;
            const bool writes = (holderMode & W) != 0;
            ASSERT_EQ(writes ? holder.write("held", 4) : 4U, 4U);
            table += second.open(path.c_str(), secondMode) ? '+' : '-';
            second.close();
            holder.close();
            EXPECT_EQ(contents(dir.path / "held"), writes ? "held" : "kept")
                << holderMode << " " << secondMode;
        }
        table += '\n';
    }
    std::string want;
    for (const char* row : opens) want += std::string(row) + '\n';
    EXPECT_EQ(table, want);
#if !defined(_WIN32)
    fileio::PlatformFile holder;
    ASSERT_TRUE(holder.open(path.c_str(), W));
    const pid_t child = fork();
    if (child == 0) _exit(fileio::PlatformFile().open(path.c_str(), W) ? 1 : 0);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another process got the file";
#endif
}

// A handle kept by reopening or closing shows in the descriptor count, or on Windows as a refused
// exclusive open. A name outside any code page shows a path passed on in the wrong encoding.
TEST(PlatformFile, WritesPatchesReadsAndReopensWithoutLeaking) {
    TempDir dir;
    const std::u8string name = u8"\u00fcn\u00efc\u00f8d\u00e9_\u0444\u0430\u0439\u043b_\U0001F600";
    auto descriptors = [] {
        return kWindows ? 0
                        : std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto before = descriptors();
    fileio::PlatformFile f;
    ASSERT_TRUE(f.open(dir.file(u8"first").c_str(), File::Write));
    ASSERT_TRUE(f.open(dir.file(name).c_str(), File::Write));
    EXPECT_TRUE(fileio::PlatformFile().open(dir.file(u8"first").c_str(), File::Write));
    EXPECT_EQ(descriptors(), before + (kWindows ? 0 : 1));
    ASSERT_EQ(f.write("abcdef", 6), 6U);
    EXPECT_EQ(f.writeAt("XY", 2, 1), 2U);
    EXPECT_EQ(f.writeAt("Z", 1, -1), 0U);  // unreachable: nothing written, position kept
    ASSERT_EQ(f.write("gh", 2), 2U);
    EXPECT_EQ(f.size(), 8);

    ASSERT_TRUE(f.open(dir.file(name).c_str(), File::Read));
    char buffer[16] = {};
    ASSERT_TRUE(f.seek(1));
    EXPECT_EQ(std::string(buffer, f.read(buffer, sizeof buffer)), "XYdefgh");
    EXPECT_EQ(f.read(buffer, sizeof buffer), 0U);
    f.close();
    f.close();
    EXPECT_EQ(f.write("x", 1), 0U);
    EXPECT_EQ(f.tell(), 0U);
    EXPECT_EQ(descriptors(), before);
    EXPECT_TRUE(fileio::PlatformFile().open(dir.file(name).c_str(), File::Write));
}

}  // namespace
