// The command line against the real module: usage and `info`, then one table over every promise of
// `encode` and `decode`, each case checking the status, the gist of the message and every file.
#include <map>
#include <set>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include "platform/iohost/module/plugin_module.h"
#include "tests/iohost/cli_test_support.h"
#include "tests/iohost/host_test_fixture.h"

namespace iohost_test {
namespace {

using namespace iohost::cli;
namespace fs = std::filesystem;

using CliTest = HostTest;

TEST_F(CliTest, HelpAndBadCommandLines) {
    const std::string absent = iohost::PathNextToExecutable("absent_module");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string message;  // on standard output for help, else on standard error
    } cases[] = {
        {{"--help"}, kExitOk, "usage: iohost"},
        {{"info", "--help"}, kExitOk, "usage: iohost info"},
        {{"--help", "decode"}, kExitOk, "  --verify SOURCE       compare every frame"},
        {{}, kExitUsage, "usage: iohost"},
        {{"frobnicate"}, kExitUsage, "unknown command 'frobnicate'"},
        {{"--bogus", "info"}, kExitUsage, "unknown option '--bogus'"},
        {{"--module"}, kExitUsage, "--module needs a path"},
        {{"info", "extra"}, kExitUsage, "unexpected argument 'extra'"},
        {{"info", "--module=" + absent}, kExitFailure, "cannot load module " + absent},
        {{"info"}, kExitOk, "\n  14-bit RGBA       P4RA  RGBA         4:4:4        16\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const CliOutcome r = RunIohost(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(Has(c.status == kExitOk ? r.out : r.err, c.message)) << r.out << r.err;
        EXPECT_TRUE((c.status == kExitOk ? r.err : r.out).empty()) << r.out << r.err;
    }
    // The usage's columns line up: every summary starts in the same column.
    const std::string help = RunIohost({"--help"}).out;
    std::set<size_t> columns;
    for (const Command* command : Commands()) {
        const size_t line = help.find("\n  " + std::string(command->name) + " ");
        ASSERT_NE(line, std::string::npos) << command->name;
        columns.insert(help.find(command->summary, line) - line);
    }
    EXPECT_EQ(columns.size(), 1u) << help;
}

// What a folder holds: per name, its kind and its bytes (a link: its target).
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
    std::map<std::string, std::string> state;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string name = fs::relative(entry.path(), dir).generic_string();
        if (entry.is_symlink()) {
            state[name] = "link to " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_directory()) {
            state[name] = "directory";
        } else {
            state[name] = ReadFile(entry.path().string());
        }
    }
    return state;
}

// A full disk leaves a last chunk whose size was patched to the bytes written: no command counts
// that frame, and decode keeps the frames before it.
TEST_F(CliTest, AFrameThatDoesNotDecodeIsNeitherCountedNorLost) {
    const ScratchDir dir;
    const std::string src = WriteSource(dir, "src.y4m", "yuv422p", 8, 4, 3);
    const std::string avi = dir / "a.avi", out = dir / "out.y4m";
    ASSERT_EQ(RunIohost({"encode", avi, src, "-q"}).status, 0);
    std::string bytes = ReadFile(avi);
    const size_t chunk = bytes.rfind("00dc", bytes.find("ix00"));
    const char half = static_cast<char>((bytes[chunk + 4] / 2) & ~1);
    bytes.resize(chunk + 8 + static_cast<size_t>(half));
    bytes.replace(chunk + 4, 4, std::string{half, 0, 0, 0});
    WriteFile(avi, bytes);

    const CliOutcome inspected = RunIohost({"inspect", avi});
    EXPECT_EQ(inspected.status, 3);
    EXPECT_TRUE(Has(inspected.out, "Unfinished: frame 2 of stream 0 (the chunk at byte " +
                                       std::to_string(chunk) + ") does not decode"))
        << inspected.out;
    const CliOutcome decoded = RunIohost({"decode", avi, "-o", out});
    EXPECT_EQ(decoded.status, kExitFailure);
    EXPECT_TRUE(Has(decoded.err,
                    "frame 2 does not decode: failed; '" + out + "' holds the 2 frames before it"))
        << decoded.err;
    const std::string source = ReadFile(src);
    EXPECT_EQ(ReadFile(out), source.substr(0, source.size() - 70));
    EXPECT_EQ(RunIohost({"repair", avi}).status, kExitOk);
    EXPECT_EQ(RunIohost({"inspect", avi}).status, kExitOk);
    EXPECT_TRUE(
        Has(RunIohost({"decode", avi, "--verify", src}).err, "more frames than the file (2)"));
}

#ifndef _WIN32
// An output that cannot be written whole is removed, being this run's own; none is left torn.
TEST_F(CliTest, AnOutputThatCannotBeWrittenIsNotLeftTorn) {
    const ScratchDir dir;
    const std::string src = WriteSource(dir, "src.y4m", "yuv422p", 64, 48, 3);
    const std::string avi = dir / "a.avi", out = dir / "out.y4m";
    ASSERT_EQ(RunIohost({"encode", avi, src, "-q"}).status, 0);
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit small = before;
    small.rlim_cur = 8000;  // a frame and part of the next
    const auto sigxfsz = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const CliOutcome r = RunIohost({"decode", avi, "-o", out});
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, sigxfsz);
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_TRUE(Has(r.err, "cannot write to '" + out + "': File too large")) << r.err;
    EXPECT_FALSE(fs::exists(out));
}
#endif

TEST_F(CliTest, EveryCaseKeepsEveryFileSafe) {
    const struct Case {
        std::vector<std::string> args;  // "@name" is a file of the scratch folder
        int status;
        std::vector<std::string> gist;      // on standard error, in this order
        std::vector<std::string> made{};    // files the case leaves behind
        std::vector<std::string> before{};  // a command that makes an input first
        bool posixOnly = false;             // needs a symbolic link or a device node
    } cases[] = {
        // Files are sacred.
        {{"encode", "@src.y4m", "@src.y4m", "-y"}, 1, {"'@src.y4m' is the input"}},
        {{"encode", "@link.avi", "@src.y4m", "-y"}, 1, {"is the input '@src.y4m'"}, {}, {}, true},
        {{"encode", "@old.avi", "@src.y4m"}, 1, {"'@old.avi' already exists (use -y"}},
        {{"encode", "@adir", "@src.y4m", "-y"}, 1, {"'@adir' is a directory"}},
        {{"encode", "/dev/null", "--pattern", "-y"}, 1, {"is a device"}, {}, {}, true},
        {{"decode", "@a.avi", "-o", "@src.y4m", "-y", "--verify", "@src.y4m"},
         1,
         {"'@src.y4m' is the input '@src.y4m'"}},
        // --pix is the layout written, or refused before anything is.
        {{"decode", "@a.avi", "-o", "@x.raw", "--pix", "rgb24"},
         1,
         {"between YUV and RGB is not exact"}},
        {{"decode", "@d.avi", "-o", "@x.raw", "--pix", "gbrp12le"},
         1,
         {"keeps 12 of the file's 14 bits per sample (--allow-bit-loss"},
         {"d.avi"},
         {"encode", "@d.avi", "@rgb48.raw", "--pix", "rgb48le", "--size", "8x4", "--rate", "25",
          "--allow-bit-loss", "-q"}},
        // A sample above the layout's depth is refused, and is a difference to --verify.
        {{"encode", "@out.avi", "@over.raw", "--pix", "gbrp10le", "--size", "8x4", "--rate", "25"},
         1,
         {"frame 0, plane G, x 1, y 0: 65535 is above the 10 bits of gbrp10le"}},
        {{"decode", "@g.avi", "--verify", "@over.raw", "--pix", "gbrp10le"},
         1,
         {"frame 0 differs: plane G, x 1, y 0: source 65535, decoded 1023"},
         {"g.avi"},
         {"encode", "@g.avi", "@max.raw", "--pix", "gbrp10le", "--size", "8x4", "--rate", "25",
          "-q"}},
        // Stopping: what was read is kept, finished; nothing read, nothing left.
        {{"encode", "@out.avi", "@cut.y4m"},
         1,
         {"frame 2 is truncated", "kept '@out.avi': 2 frames (0.08 s)"},
         {"out.avi"}},
        {{"encode", "@out.avi", "@empty.y4m"},
         1,
         {"no frames; no frame was written, '@out.avi' removed"}},
        {{"encode", "@old.avi", "@empty.y4m", "-y"},
         1,
         {"the input holds no frames; '@old.avi' was left as it was"}},
        // Lossless means lossless.
        {{"encode", "@out.avi", "@deep12.y4m"},
         1,
         {"no codec keeps the 12 bits per sample of yuv422p12le", "'10-bit YUV 422' (P0Y2)",
          "--allow-bit-loss"}},
        {{"encode", "@out.avi", "@rgb48.raw", "--pix", "rgb48le", "--size", "8x4", "--rate", "25"},
         1,
         {"no codec keeps the 16 bits", "'14-bit RGB' (P4RG)"}},
        {{"encode", "@out.avi", "@deep12.y4m", "--codec", "P0Y2"}, 1, {"keeps 10 of the 12 bits"}},
        {{"decode", "@deep.avi", "--verify", "@deep12.y4m"},
         1,
         {"verify failed: the file keeps 10 bits per sample, the source has 12"},
         {"deep.avi"},
         {"encode", "@deep.avi", "@deep12.y4m", "--allow-bit-loss"}},
        {{"encode", "@out.avi", "@gray16.y4m", "--allow-bit-loss"},
         0,
         {"'10-bit Y Only'", "6 of the 16 bits per sample dropped"},
         {"out.avi"}},
        // Explicit inputs; -q silences warnings too.
        {{"encode", "@out.avi"}, 2, {"no INPUT"}},
        {{"encode", "@out.avi", "@src.y4m", "--pattern"}, 2, {"not both"}},
        {{"encode", "@out.mkv", "--pattern", "--frames", "1", "-q"}, 0, {}, {"out.mkv"}},
        // Decoding on several threads, with the progress line.
        {{"decode", "@a.avi", "--verify", "@src.y4m", "--jobs", "3", "--progress"},
         0,
         {"\rframe 3/3  ", "Verified: all 3 frames"}},
        // Verify names the first differing sample (U plane, x 3, y 0 of frame 1 changed).
        {{"decode", "@a.avi", "--verify", "@altered.y4m"},
         1,
         {"verify failed: frame 1 differs: plane U, x 3, y 0"}},
        {{"decode", "@a.avi", "--verify", "@long.y4m"}, 1, {"more frames than the file (3)"}},
        // The last sample of the last plane is compared too.
        {{"decode", "@a.avi", "--verify", "@last.y4m"}, 1, {"frame 2 differs: plane V, x 3, y 3"}},
    };
    for (const Case& c : cases) {
#ifdef _WIN32
        if (c.posixOnly) continue;
#endif
        ScratchDir dir;
        const auto path = [&](std::string arg) {
            for (size_t at; (at = arg.find('@')) != std::string::npos;)
                arg.replace(at, 1, dir.path.string() + "/");
            return arg;
        };
        std::vector<std::string> args, before;
        for (const std::string& a : c.args) args.push_back(path(a));
        for (const std::string& a : c.before) before.push_back(path(a));
        SCOPED_TRACE(::testing::PrintToString(args));

        WriteSource(dir, "src.y4m", "yuv422p", 8, 4, 3);
        WriteSource(dir, "deep12.y4m", "yuv422p12", 8, 4, 1);
        WriteSource(dir, "gray16.y4m", "gray16", 8, 4, 1);
        WriteSource(dir, "rgb48.raw", "rgb48le", 8, 4, 1);
        std::string g10 = ReadFile(WriteSource(dir, "max.raw", "gbrp10le", 8, 4, 1));
        g10.replace(2, 2, "\xFF\x03");
        WriteFile(dir / "max.raw", g10);
        g10.replace(2, 2, "\xFF\xFF");
        WriteFile(dir / "over.raw", g10);
        const std::string src = ReadFile(dir / "src.y4m");
        WriteFile(dir / "cut.y4m", src.substr(0, src.size() - 5));
        const size_t header = src.find("FRAME");  // frames of 6 + 64 bytes follow
        WriteFile(dir / "empty.y4m", src.substr(0, header));
        std::string altered = src;
        altered[header + 70 + 6 + 32 + 3] ^= 1;
        WriteFile(dir / "altered.y4m", altered);
        WriteFile(dir / "last.y4m", src.substr(0, src.size() - 1) + char(src.back() ^ 1));
        WriteFile(dir / "long.y4m", src + src.substr(header, 70));
        WriteFile(dir / "old.avi", "not to be lost");
        fs::create_directory(dir.path / "adir");
        ASSERT_EQ(RunIohost({"encode", dir / "a.avi", dir / "src.y4m", "-q"}).status, 0);
#ifndef _WIN32
        fs::create_symlink("src.y4m", dir.path / "link.avi");
#endif
        auto expected = Snapshot(dir.path);
        if (!before.empty()) {
            ASSERT_EQ(RunIohost(before).status, 0);
        }

        const CliOutcome r = RunIohost(args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;  // standard output carries only products
        size_t at = 0;
        for (const std::string& gist : c.gist) {
            at = r.err.find(path(gist), at);
            EXPECT_NE(at, std::string::npos) << path(gist) << "\n" << r.err;
        }
        if (c.gist.empty()) {
            EXPECT_TRUE(r.err.empty()) << r.err;
        }

        auto state = Snapshot(dir.path);
        for (const std::string& name : c.made) {
            EXPECT_EQ(state.count(name), 1u) << name;
            state.erase(name);
            expected.erase(name);  // -y may replace it, never remove it
            EXPECT_EQ(RunIohost({"inspect", dir / name}).status, 0) << name;  // finished
        }
        EXPECT_EQ(state, expected);
#ifndef _WIN32
        EXPECT_TRUE(fs::is_character_file("/dev/null"));
#endif
    }
}

}  // namespace
}  // namespace iohost_test
