// encode --resume: exports and parts cut at many byte offsets (what a crash leaves), repaired or
// not, are continued into the file an uninterrupted run writes; files that are not this export's
// are refused and left as they were.
#include <filesystem>

#include "avi/avi_scan.h"
#include "fileio/platform_file.h"
#include "platform/iohost/media/wav_reader.h"
#include "platform/iohost/session/codec_choice.h"
#include "platform/iohost/session/resume_session.h"
#include "tests/iohost/export_test_support.h"

namespace iohost_test {
namespace {

using namespace iohost;

using ResumeTest = ExportTest;

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

TEST_F(ResumeTest, CutExportsAndPartsResumeToTheUninterruptedFile) {
    const struct {
        uint32_t audioRate;               // 0: no audio
        std::string jobs;                 // of the resuming run
        size_t every;                     // one chunk in `every` cut three ways
        uint64_t soundFrames{};           // 0: longer than the video
        std::vector<std::string> part{};  // empty: the whole export of the pattern
    } cases[] = {{48000, "1", 5},
                 {44100, "3", 7},
                 {0, "2", 9},
                 // Ends exactly with frame 5's sound: later frames have none.
                 {48000, "2", 6, 8008},
                 // Parts: one that starts mid-input, one that stops before its end, one that
                 // reaches it.
                 {44100, "1", 9, 0, PartOptions(0, 10)},
                 {44100, "2", 9, 0, PartOptions(10, 20)},
                 {44100, "1", 9, 0, PartOptions(20, 0)}};
    const std::string y4m = writeY4m("in.y4m", false);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.audioRate) + (c.part.empty() ? "" : " from " + c.part[1]));
        const std::string wav =
            c.audioRate != 0 ? writeWav("in.wav", c.audioRate, 1, c.soundFrames) : "";
        const std::string input = c.part.empty() ? "" : y4m, full = dir / "full.avi";
        std::filesystem::remove(full);
        ASSERT_EQ(RunIohost(EncodeArgs(full, input, wav, c.part)).status, 0);
        const std::string whole = ReadFile(full);
        const AviScan scan = Scan(full);
        ASSERT_EQ(scan.verdict, AviScan::Verdict::Ours);
        std::vector<std::string> resume = c.part;
        resume.insert(resume.end(), {"--resume", "--jobs", c.jobs});
        for (const uint64_t cut : CutPoints(scan, c.every)) {
            SCOPED_TRACE(cut);
            const std::string path = cutCopy(whole, cut);
            const CliOutcome run = RunIohost(EncodeArgs(path, input, wav, resume));
            ASSERT_EQ(run.status, 0) << run.err;
            ASSERT_TRUE(ReadFile(path) == whole);
        }
        if (!c.part.empty()) continue;
        // A repaired file (what a stop leaves) continues the same way.
        const std::string path = cutCopy(whole, scan.segments.front().chunks[17].pos + 3);
        ASSERT_EQ(RunIohost({"repair", path, "-q"}).status, 0);
        ASSERT_EQ(RunIohost(EncodeArgs(path, "", wav, {"--resume"})).status, 0);
        EXPECT_TRUE(ReadFile(path) == whole);
    }
}

// The writer's sizes made small, so that 40 frames span many RIFF segments: cut in every segment,
// inside its indexes and right after each rollover, and resumed through the same calls as the
// command line's (iohost_large_export does the same, and joins parts, with the real sizes).
TEST_F(ResumeTest, CutsAcrossRolloversResumeToTheSameFile) {
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
    ASSERT_EQ(RunIohost(EncodeArgs(full, "", wav)).status, 0);
    resume(cutCopy(ReadFile(full), Scan(full).segments.front().moviStart + 12, "full.avi"));
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
}

TEST_F(ResumeTest, FilesOfAnotherExportAreRefusedUntouched) {
    const std::string wav = writeWav("in.wav", 48000);
    const std::string y4m = writeY4m("in.y4m", false), full = dir / "full.avi";
    ASSERT_EQ(RunIohost({"encode", full, y4m, "--audio", wav, "-q"}).status, 0);
    const std::string whole = ReadFile(full);
    const uint64_t cut = Scan(full).segments.front().chunks[30].pos + 20;
    const struct {
        std::vector<std::string> args;
        std::string reason;
        std::string bytes{};  // the file to continue; empty: the export cut at `cut`
    } cases[] = {
        {EncodeArgs("", "", wav, {"--size", "32x32"}), "other size"},
        {EncodeArgs("", "", wav, {"--rate", "25"}), "other frame rate"},
        {EncodeArgs("", "", wav, {"--codec", "P0Y2"}), "other codec"},
        {EncodeArgs("", y4m, ""), "other audio layout"},
        {EncodeArgs("", y4m, writeWav("slow.wav", 44100)), "other audio layout"},
        {EncodeArgs("", y4m, writeWav("other.wav", 48000, 7)), "sound is not the input's"},
        {EncodeArgs("", writeY4m("other.y4m", true), wav), "differs from the input's"},
        {EncodeArgs("", y4m, wav, {"--frames", "3"}), "the input ends after 3 frames"},
        {EncodeArgs("", y4m, wav), "not an export of this plug-in's AVI writer",
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
