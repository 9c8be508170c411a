// encode --resume: exports cut at many byte offsets (what a crash leaves), repaired or not, are
// continued into the file an uninterrupted export writes; files that are not this export's are
// refused and left as they were.
#include <filesystem>

#include "avi/avi_scan.h"
#include "fileio/platform_file.h"
#include "platform/iohost/media/wav_reader.h"
#include "platform/iohost/session/codec_choice.h"
#include "platform/iohost/session/part_range.h"
#include "platform/iohost/session/resume_session.h"
#include "tests/iohost/export_test_support.h"

namespace iohost_test {
namespace {

using namespace iohost;

class ResumeTest : public ExportTest {
protected:
    static std::vector<std::string> encodeArgs(const std::string& out, const std::string& wav,
                                               std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"encode", out,     "--pattern", "--size", "48x32",
                                         "--rate", "29.97", "--frames",  "40",     "-q"};
        if (!wav.empty()) args.insert(args.end(), {"--audio", wav});
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    std::string cutCopy(const std::string& whole, uint64_t size) {
        const std::string path = dir / "cut.avi";
        std::filesystem::remove(path);
        WriteFile(path, whole.substr(0, size));
        return path;
    }
};

AviScan Scan(const std::string& path) {
    fileio::PlatformFile file;
    EXPECT_TRUE(file.open(path.c_str(), fileio::File::Read));
    return scanAvi(file);
}

// Cut points: chunk boundaries, torn chunk headers and payloads, inside the closing indexes, and
// the finished file itself.
std::vector<uint64_t> CutPoints(const AviScan& scan, size_t every) {
    std::vector<uint64_t> cuts;
    size_t n = 0;
    for (const ScannedSegment& segment : scan.segments)
        for (const ScannedChunk& c : segment.chunks)
            if (n++ % every == 0)
                cuts.insert(cuts.end(), {c.pos, c.pos + 5, c.pos + 8 + c.size / 2});
    const uint64_t end = scan.fileSize;
    cuts.insert(cuts.end(), {scan.segments.front().moviStart + 12, scan.dataEnd - 1, scan.dataEnd,
                             scan.dataEnd + 8, scan.dataEnd + 40, end - 20, end - 1, end});
    return cuts;
}

TEST_F(ResumeTest, CutExportsResumeToTheUninterruptedFile) {
    const struct {
        uint32_t audioRate;  // 0: no audio
        std::string jobs;
        size_t every;            // one chunk in `every` cut three ways
        uint64_t soundFrames{};  // 0: longer than the video
    } cases[] = {{48000, "1", 5},
                 {44100, "3", 7},
                 {0, "2", 9},
                 // Ends exactly with frame 5's sound: later frames have none.
                 {48000, "2", 6, 8008}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.audioRate);
        const std::string wav =
            c.audioRate != 0 ? writeWav("in.wav", c.audioRate, 1, c.soundFrames) : "";
        const std::string full = dir / "full.avi";
        std::filesystem::remove(full);
        ASSERT_EQ(RunIohost(encodeArgs(full, wav)).status, 0);
        const std::string whole = ReadFile(full);
        const AviScan scan = Scan(full);
        ASSERT_EQ(scan.verdict, AviScan::Verdict::Ours);
        for (const uint64_t cut : CutPoints(scan, c.every)) {
            SCOPED_TRACE(cut);
            const std::string path = cutCopy(whole, cut);
            const CliOutcome run = RunIohost(encodeArgs(path, wav, {"--resume", "--jobs", c.jobs}));
            ASSERT_EQ(run.status, 0) << run.err;
            ASSERT_TRUE(ReadFile(path) == whole);
        }
        // A repaired file (what a stop leaves) continues the same way.
        const std::string path = cutCopy(whole, scan.segments.front().chunks[17].pos + 3);
        ASSERT_EQ(RunIohost({"repair", path, "-q"}).status, 0);
        ASSERT_EQ(RunIohost(encodeArgs(path, wav, {"--resume"})).status, 0);
        EXPECT_TRUE(ReadFile(path) == whole);
    }
}

// The writer's sizes made small, so that 40 frames span many RIFF segments: cut in every segment,
// inside its indexes and right after each rollover, and resumed through the same calls as the
// command line's; parts spanning several segments join into the same file.
TEST_F(ResumeTest, CutsAndPartsAcrossRolloversMakeTheSameFile) {
    std::ostringstream ignored;
    cli::Context context{{}, {}, ignored, ignored};
    std::optional<PluginModule> module;
    ASSERT_TRUE(cli::LoadPlugin(context, module));
    const Driver driver(*module);
    std::vector<CodecInfo> codecs;
    std::vector<ContainerInfo> containers;
    ASSERT_EQ(driver.listCodecs(codecs), errNone);
    ASSERT_EQ(driver.listContainers(containers), errNone);
    const PictureFormat picture = Picture();
    const CodecChoice choice = ChooseCodec(codecs, picture, "", false);
    std::string why;
    const auto converter =
        FrameConverter::make(picture,
                             *RawLayoutOf(choice.codec->colorModel, choice.codec->hSubsampling,
                                          choice.codec->vSubsampling, choice.codec->bitDepth),
                             why);
    ASSERT_TRUE(converter) << why;
    const std::string wav = writeWav("in.wav", 44100);
    const AviLimits limits{.maxFileSize = 1 << 20, .firstRiff = 60000, .avix = 40000};
    // Continues `path` from where it ends; the header alone makes the whole export.
    const auto resume = [&](const std::string& path) {
        fileio::PlatformFile file;
        ASSERT_TRUE(file.open(path.c_str(),
                              fileio::File::Read | fileio::File::Write | fileio::File::Existing));
        TestPattern video(picture, 40);
        WavReader audio(wav);
        EncodeSettings settings{
            .outPath = path, .codec = *choice.codec, .container = containers.front(), .jobs = 2};
        const ResumePoint point = CheckResume(driver, settings, file, video, *converter, &audio);
        const EncodeResult result =
            ContinueExport(driver, settings, file, point, video, *converter, &audio, limits);
        ASSERT_FALSE(result.pluginError || result.inputError);
    };

    const std::string full = dir / "full.avi";
    ASSERT_EQ(RunIohost(encodeArgs(full, wav)).status, 0);
    const AviScan first = Scan(full);
    WriteFile(full, ReadFile(full).substr(0, first.segments.front().moviStart + 12));
    resume(full);
    const std::string whole = ReadFile(full);
    const AviScan scan = Scan(full);
    ASSERT_GE(scan.segments.size(), 5u);
    std::vector<uint64_t> cuts = CutPoints(scan, 4);
    for (const ScannedSegment& segment : scan.segments) {
        if (segment.riffStart > 0)
            cuts.insert(cuts.end(),
                        {segment.riffStart, segment.riffStart + 13, segment.moviStart + 12});
        for (const ScannedIndex& index : segment.indexes) cuts.push_back(index.pos + 30);
    }
    for (const uint64_t cut : cuts) {
        SCOPED_TRACE(cut);
        const std::string path = cutCopy(whole, cut);
        resume(path);
        ASSERT_TRUE(ReadFile(path) == whole);
    }

    // Parts made the way encode --start-frame makes them, with the same sizes, so that they span
    // several segments each: three join into the file that one joins into.
    const std::string header = whole.substr(0, scan.segments.front().moviStart + 12);
    const auto join = [&](const std::vector<uint64_t>& bounds, std::string& joined) {
        std::vector<std::unique_ptr<fileio::PlatformFile>> files;
        std::vector<fileio::File*> handles;
        std::vector<JoinPart> parts;
        for (size_t i = 0; i + 1 < bounds.size(); ++i) {
            const std::string path = dir / ("part" + std::to_string(i) + ".avi");
            WriteFile(path, header);
            files.push_back(std::make_unique<fileio::PlatformFile>());
            fileio::PlatformFile& file = *files.back();
            ASSERT_TRUE(file.open(
                path.c_str(), fileio::File::Read | fileio::File::Write | fileio::File::Existing));
            TestPattern pattern(picture, 40);
            RangeSource range(pattern, bounds[i], bounds[i + 1] - bounds[i]);
            ASSERT_TRUE(range.skip());
            WavReader audio(wav);
            const uint64_t dropped = DropSound(audio, picture, bounds[i]);
            EncodeSettings settings{.outPath = path,
                                    .codec = *choice.codec,
                                    .container = containers.front(),
                                    .audioTail = [&] { return range.reachedEnd(); }};
            const EncodeResult result =
                ContinueExport(driver, settings, file, {scanAvi(file), bounds[i], dropped}, range,
                               *converter, &audio, limits);
            ASSERT_FALSE(result.pluginError || result.inputError);
            WritePartRange(file, scanAvi(file),
                           {bounds[i], bounds[i + 1] - bounds[i], range.reachedEnd()});
            parts.push_back(ReadPart(file, path));
            ASSERT_GE(parts.back().scan.segments.size(), 2u);
            handles.push_back(&file);
        }
        CheckParts(parts);
        const std::string path = dir / "joined.avi";
        std::filesystem::remove(path);
        fileio::PlatformFile out;
        ASSERT_TRUE(out.open(path.c_str(), fileio::File::Write));
        JoinParts(out, parts, handles, limits);
        out.close();
        joined = ReadFile(path);
    };
    std::string one, three;
    join({0, 40}, one);
    join({0, 11, 29, 40}, three);
    EXPECT_GT(one.size(), 0u);
    EXPECT_TRUE(three == one);
}

TEST_F(ResumeTest, FilesOfAnotherExportAreRefusedUntouched) {
    const std::string wav = writeWav("in.wav", 48000);
    const std::string y4m = writeY4m("in.y4m", false), full = dir / "full.avi";
    const auto y4mArgs = [&](const std::string& input, const std::string& sound,
                             std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"encode", "", input, "-q"};
        if (!sound.empty()) args.insert(args.end(), {"--audio", sound});
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    ASSERT_EQ(RunIohost({"encode", full, y4m, "--audio", wav, "-q"}).status, 0);
    const std::string whole = ReadFile(full);
    const AviScan scan = Scan(full);
    const uint64_t cut = scan.segments.front().chunks[30].pos + 20;
    const struct {
        std::vector<std::string> args;
        std::string reason;
        std::string bytes{};  // the file to continue; empty: the export cut at `cut`
    } cases[] = {
        {encodeArgs("", wav, {"--size", "32x32"}), "other size"},
        {encodeArgs("", wav, {"--rate", "25"}), "other frame rate"},
        {encodeArgs("", wav, {"--codec", "P0Y2"}), "other codec"},
        {y4mArgs(y4m, ""), "other audio layout"},
        {y4mArgs(y4m, writeWav("slow.wav", 44100)), "other audio layout"},
        {y4mArgs(y4m, writeWav("other.wav", 48000, 7)), "sound is not the input's"},
        {y4mArgs(writeY4m("other.y4m", true), wav), "differs from the input's"},
        {y4mArgs(y4m, wav, {"--frames", "3"}), "the input ends after 3 frames"},
        {y4mArgs(y4m, wav), "not an export of this plug-in's AVI writer",
         "RIFF and more, but not an AVI file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        const std::string bytes = c.bytes.empty() ? whole.substr(0, cut) : c.bytes;
        const std::string path = cutCopy(bytes, bytes.size());
        std::vector<std::string> args = c.args;
        args[1] = path;
        args.push_back("--resume");
        const CliOutcome run = RunIohost(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(Has(run.err, c.reason)) << run.err;
        EXPECT_TRUE(ReadFile(path) == bytes);
    }
}

}  // namespace
}  // namespace iohost_test
