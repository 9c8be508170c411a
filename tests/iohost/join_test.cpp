// Parts of one export (encode --start-frame/--frames) joined into the file a single export
// writes, at odd boundaries of 29.97 and 23.976 fps sound; parts that do not make one export are
// refused and nothing is written. Cut parts resume in resume_test.cpp.
#include "fileio/platform_file.h"
#include "platform/iohost/session/append_buffer_file.h"
#include "tests/iohost/export_test_support.h"

namespace iohost_test {
namespace {

class JoinTest : public ExportTest {
protected:
    // Frames [first, end) of `y4m` (end 0: to the input's end) encoded as a part into `name`.
    std::string part(const std::string& name, const std::string& y4m, const std::string& wav,
                     uint64_t first, uint64_t end) {
        const std::string path = dir / name;
        std::vector<std::string> options = PartOptions(first, end);
        options.push_back("-y");
        const CliOutcome run = RunIohost(EncodeArgs(path, y4m, wav, options));
        EXPECT_EQ(run.status, 0) << run.err;
        return path;
    }
};

TEST_F(JoinTest, PartsJoinIntoTheSingleExport) {
    const std::vector<std::vector<uint64_t>> splits = {
        {}, {13}, {7, 17, 23, 35}, {1, 39}};  // boundaries inside the 40 frames
    iohost::PictureFormat film = Picture();
    film.rate = 24000;
    const struct {
        uint32_t rate;
        iohost::PictureFormat picture;
    } cases[] = {{48000, Picture()}, {44100, Picture()}, {48000, film}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, " + std::to_string(c.picture.rate) + "/1001");
        const std::string wav = writeWav("in.wav", c.rate);
        const std::string y4m = writeY4m("in.y4m", false, c.picture);
        const std::string single = dir / "single.avi";
        ASSERT_EQ(RunIohost({"encode", single, y4m, "--audio", wav, "-q", "-y"}).status, 0);
        for (const auto& split : splits) {
            SCOPED_TRACE(split.size() + 1);
            std::vector<std::string> args = {"join", dir / "joined.avi", "-q", "-y"};
            uint64_t first = 0;
            for (size_t i = 0; i <= split.size(); ++i) {
                const uint64_t end = i < split.size() ? split[i] : 0;
                args.push_back(part(std::to_string(i) + ".avi", y4m, wav, first, end));
                first = end;
            }
            const CliOutcome run = RunIohost(args);
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_TRUE(ReadFile(dir / "joined.avi") == ReadFile(single));
        }
    }
}

TEST_F(JoinTest, PartsOfNoSingleExportAreRefused) {
    const std::string y4m = writeY4m("in.y4m", false), wav = writeWav("in.wav", 48000);
    iohost::PictureFormat wide = Picture();
    wide.width = 64;
    const std::string a = part("a.avi", y4m, wav, 0, 10), b = part("b.avi", y4m, wav, 10, 20),
                      c = part("c.avi", y4m, wav, 20, 0),
                      overlap = part("overlap.avi", y4m, wav, 15, 20),
                      silent = part("silent.avi", y4m, "", 10, 20),
                      other = part("other.avi", writeY4m("wide.y4m", false, wide), wav, 10, 20),
                      whole = dir / "whole.avi";
    ASSERT_EQ(RunIohost({"encode", whole, y4m, "--audio", wav, "-q"}).status, 0);
    const std::string bytes = ReadFile(b), cut = cutCopy(bytes, bytes.size() * 2 / 3);
    const struct {
        std::vector<std::string> parts;
        std::string reason;
    } cases[] = {
        {{a, c}, "gap: frames 10-19 are in no part"},
        {{a, b, overlap}, "overlap: "},
        {{b, a}, "overlap: "},
        {{a, silent}, "other audio layout"},
        {{a, other}, "other size"},
        {{a, b, c, c}, "ends the input, yet"},
        {{whole}, "is not a finished part"},
        {{a, cut, c}, "is unfinished: it should hold frames 10-19"},
        {{y4m}, "is not an export of this plug-in's AVI writer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        std::vector<std::string> args = {"join", dir / "out.avi"};
        args.insert(args.end(), c.parts.begin(), c.parts.end());
        const CliOutcome run = RunIohost(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(Has(run.err, c.reason)) << run.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "out.avi"));
    }
}

// Join writes through a buffer in front of the file: appends, patches inside the gathered bytes,
// across their start and behind them, and writes larger than the buffer leave the bytes that
// writing straight to the file leaves.
TEST_F(JoinTest, GatheredWritesLeaveTheSameBytes) {
    // Where each write goes (-1: appended) and its size.
    const std::pair<int64_t, size_t> ops[] = {{-1, 5}, {-1, 7},  {2, 3},  {-1, 40},
                                              {10, 4}, {-1, 3},  {50, 6}, {0, 2},
                                              {-1, 1}, {-1, 16}, {60, 9}, {-1, 2}};
    std::string expected, got;
    for (const bool gathered : {false, true}) {
        const std::string path = dir / (gathered ? "gathered" : "straight");
        fileio::PlatformFile file;
        ASSERT_TRUE(file.open(path.c_str(), fileio::File::Write));
        iohost::AppendBufferFile buffer(file, 16);
        fileio::File& out = gathered ? static_cast<fileio::File&>(buffer) : file;
        uint8_t next = 1;
        for (const auto& [at, size] : ops) {
            std::vector<uint8_t> bytes(size);
            for (auto& b : bytes) b = next++;
            if (at < 0) {
                ASSERT_EQ(out.write(bytes.data(), bytes.size()), bytes.size());
            } else {
                ASSERT_EQ(out.writeAt(bytes.data(), bytes.size(), at), bytes.size());
            }
        }
        ASSERT_TRUE(buffer.flush());
        file.close();
        (gathered ? got : expected) = ReadFile(path);
    }
    EXPECT_EQ(got.size(), 5u + 7 + 40 + 3 + 1 + 16 + 2);
    EXPECT_TRUE(got == expected);
}

}  // namespace
}  // namespace iohost_test
