// Reading an AVI file's structure, printing its outline and judging its consistency.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>

#include "platform/avi_reader/avi_checker.h"
#include "platform/avi_reader/avi_parser.h"
#include "platform/avi_reader/avi_printer.h"
#include "platform/avi_reader/fourcc.h"
#include "tests/avi_reader/avi_builder.h"

namespace {

using avireader::AviFile;
using avireader::fourcc;
using Bytes = std::vector<uint8_t>;
using enum avireader::Severity;

AviFile parse(const Bytes& bytes) {
    return avireader::parseAvi(bytes.data(), bytes.size());
}

std::vector<avireader::Problem> check(const avitest::Built& built) {
    return avireader::checkAvi(parse(built.bytes));
}

std::string joined(const std::vector<avireader::Problem>& problems) {
    std::string all;
    for (const auto& p : problems) all += toString(p) + "\n";
    return all;
}

// The outline decodes the headers on their lines; offsets are the builder's.
TEST(AviParser, DecodesAndPrintsATwoSegmentFile) {
    const avitest::Built built = avitest::buildAvi(avitest::twoSegmentPlan());
    const AviFile f = parse(built.bytes);
    ASSERT_TRUE(f.problems.empty()) << joined(f.problems);
    EXPECT_EQ(f.segments.at(1).form, fourcc("AVIX"));
    EXPECT_EQ(f.segments[1].offset, built.at.at("riff1"));
    EXPECT_EQ(f.streams.at(0).video.value().extra, (Bytes{'P', 'V', 1, 0}));
    std::ostringstream out;
    avireader::printAvi(f, out);
    const std::string text = out.str(), movi = std::to_string(built.at.at("movi1"));
    for (const std::string& line : std::initializer_list<std::string>{
             "'avih' at 24, 56 bytes: 40000 us/frame, 64x48, 2 streams, 3 frames, flags 0x10, "
             "suggested buffer 0\n",
             ": 'vids' 'P8RG', rate 25/1, start 0, length 5, sample size 0, suggested buffer 0, "
             "quality 10000, frame 0,0,64,48\n",
             "rate 192000/4, start 0, length 701, sample size 4, suggested buffer 0, quality "
             "10000, frame 0,0,0,0\n",
             "BITMAPINFOHEADER 64x48, 24 bits, 'P8RG', biSize 44, image 9216 bytes, 4 private",
             "WAVEFORMATEX tag 0x1, 2 channels, 48000 Hz, 16 bits, block 4, 192000 bytes/s\n",
             "'movi' at " + movi + ", 3252 bytes: 5 data chunks (2 '00dc', 3 '01wb')\n",
             "48 bytes: 3 entries of '01wb', base " + movi + "\n"})
        EXPECT_NE(text.find(line), std::string::npos) << "missing: " << line << "\nin:\n" << text;
}

Bytes le32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes chunk(const char* id, const Bytes& payload, std::optional<uint32_t> size = {}) {
    return Bytes(id, id + 4) + le32(size.value_or(uint32_t(payload.size()))) + payload +
           Bytes(payload.size() & 1, 0);
}

Bytes list(const char* kind, const char* type, const Bytes& body,
           std::optional<uint32_t> size = {}) {
    return chunk(kind, Bytes(type, type + 4) + body, size);
}

Bytes riff(const Bytes& body) {
    return list("RIFF", "AVI ", body);
}

TEST(AviParser, ReportsMalformedStructureWithoutTrusting) {
    Bytes deep;
    for (int i = 0; i < 40; ++i) deep = list("LIST", "deep", deep);
    const std::pair<Bytes, const char*> cases[] = {
        {chunk("RIFX", Bytes(8)), "not a RIFF file"},
        {list("RIFF", "WAVE", {}), "not an AVI file"},
        {chunk("RIFF", {}) + Bytes(4), "too small"},
        {list("RIFF", "AVI ", {}, 1000), "but the file ends"},
        {list("RIFF", "AVI ", chunk("JUNK", {1}), 13), "odd size"},
        {riff(list("LIST", "hdrl", chunk("avih", {}, 99))), "remain in LIST 'hdrl'"},
        {riff(chunk("LIST", {}, 0)), "too small to hold its type"},
        {riff({1, 2, 3, 4, 5}), "too few for a chunk header"},
        {riff(deep), "nested deeper"},
        {riff(list("LIST", "hdrl", chunk("avih", {1, 2}))), "too few for a main header"},
        {riff(list("LIST", "hdrl", list("LIST", "strl", chunk("strh", {0})))),
         "too few for a stream header"},
        {riff({}) + Bytes{1, 2, 3}, "stray bytes"},
        {riff({}) + riff({}), "segments after the first must be 'AVIX'"},
        {riff(list("RIFF", "AVIX", {})), "nested in"},
    };
    for (const auto& [bytes, expected] : cases) {
        const AviFile f = parse(bytes);
        EXPECT_NE(joined(f.problems).find(expected), std::string::npos) << joined(f.problems);
        EXPECT_TRUE(avireader::hasErrors(avireader::checkAvi(f))) << expected;
    }
}

TEST(AviParser, BoundsAbsurdCountsByTheInput) {
    // An index claiming 2^32 - 1 entries holds the one that fits; 1000 empty chunks all count.
    const Bytes header = Bytes{2, 0, 0, 1} + le32(0xFFFFFFFFu) + le32(fourcc("00dc")) + Bytes(12);
    AviFile f = parse(riff(list("LIST", "movi", chunk("ix00", header + le32(0) + le32(1)))));
    ASSERT_EQ(f.standardIndexes.size(), 1u);
    EXPECT_EQ(f.standardIndexes[0].entriesInUse, 0xFFFFFFFFu);
    EXPECT_EQ(f.standardIndexes[0].entries.size(), 1u);
    Bytes body;
    for (int i = 0; i < 1000; ++i) body = body + chunk("00dc", {});
    f = parse(riff(list("LIST", "movi", body)));
    EXPECT_EQ(f.chunks.size(), 1000u);
    EXPECT_TRUE(f.problems.empty()) << joined(f.problems);
}

// Every cut of a valid file must be noticed. (Random damage is the fuzzer's.)
TEST(AviParser, EveryTruncationIsReported) {
    const auto bytes = avitest::buildAvi(avitest::twoSegmentPlan()).bytes;
    for (size_t n = 0; n < bytes.size(); ++n)
        ASSERT_TRUE(avireader::hasErrors(avireader::checkAvi(avireader::parseAvi(bytes.data(), n))))
            << "cut at " << n;
}

// Sets the 32-bit field at `at`, or with `add` moves it by `value`.
void patch(avitest::Built& built, size_t at, uint32_t value, bool add = false) {
    uint8_t* p = built.bytes.data() + at;
    value += add ? p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24 : 0;
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(value >> (8 * i));
}

// One 32-bit field of the two-segment file set (or, with `add`, moved by `value`), and the
// problem that must be reported. Offsets: into a standard index, 12 nEntriesInUse, 16 dwChunkId,
// 32 + 8i entry i; into a super index, 4 nEntriesInUse, 8 dwChunkId, 24 + 16i entry i; into a
// WAVEFORMATEX, 12 nBlockAlign and wBitsPerSample.
struct Fault {
    const char *name, *where;
    int offset;
    bool add;
    uint32_t value;
    avireader::Severity severity;
    const char* expected;
};

// 1010: past the first chunk's 1001 bytes, its pad byte and the next header; 408 back: from the
// second audio chunk of a segment to the first.
const Fault kFaults[] = {
    {"IxEntryOffset", "ix00.0", 40, true, 2, Error, "entry 1 points at"},
    {"IxEntrySize", "ix01.1", 36, true, 4, Error, "entry 0 gives size 404"},
    {"IxEntryAtOtherStream", "ix00.0", 32, true, 1010, Error, "not a chunk '00dc'"},
    {"IxEntryTwice", "ix01.1", 40, true, uint32_t(-408), Error, "listed 2 times in standard"},
    {"IxChunkId", "ix00.0", 16, false, fourcc("01wb"), Error, "is not a chunk of stream 0"},
    {"IxTooManyEntries", "ix00.1", 12, false, 3, Error, "has room for 2"},
    {"IxTooFewEntries", "ix01.1", 12, false, 2, Error, "is in no standard index"},
    {"IxWrongType", "ix01.0", 8, false, 2, Error, "bIndexType is 0"},
    {"VideoLength", "strh0", 32, true, 1, Error, "0: dwLength is 6 but its chunks hold 5 chunks"},
    {"AudioLength", "strh1", 32, true, ~0u, Error, "dwLength is 700 but its chunks hold 701"},
    {"NoTimeBase", "strh0", 24, false, 0, Error, "gives no time base"},
    {"StreamCount", "avih", 24, false, 3, Error, "dwStreams is 3 but the file has 2"},
    {"FirstSegmentFrames", "avih", 16, false, 5, Error, "is 5 but the first segment holds 3"},
    {"OdmlFrames", "dmlh", 0, false, 3, Error, "'dmlh' dwTotalFrames is 3 but the file holds 5"},
    {"SuperEntrySize", "indx0", 48, true, 8, Error, "entry 1 gives size 56"},
    {"SuperEntryDuration", "indx1", 36, true, 1, Error, "duration 402 but its index covers 401"},
    {"SuperDurationInChunks", "indx1", 36, false, 4, Warning, "count, not its 401 samples"},
    {"SuperEntryOffset", "indx1", 40, true, 8, Error, "where no 'ix01' chunk starts"},
    {"SuperChunkId", "indx0", 8, false, fourcc("00db"), Error, "of '00dc', not '00db'"},
    {"SuperTooFull", "indx0", 4, false, 5, Error, "is 5 but the chunk has room for 4"},
    {"IxNotInSuper", "indx0", 4, false, 1, Error, "is not listed in its stream's super index"},
    {"Idx1Offset", "idx1", 24, true, 2, Error, "'idx1' entry 1 ('01wb') points at"},
    {"Idx1Size", "idx1", 12, true, 1, Error, "'idx1' entry 0 ('00dc') gives size 1002"},
    {"Idx1MissingChunk", "idx1", 56, true, 4, Error, "is missing from 'idx1'"},
    {"Idx1KeyFrameFlag", "idx1", 4, false, 0, Error, "key-frame flag clear"},
    {"Idx1MissingButFlagged", "idx1", -8, false, fourcc("JUNK"), Warning, "AVIF_HASINDEX"},
    {"ChunkType", "chunk1.0", 0, false, fourcc("00wb"), Error, "fit stream 0 of type 'vids'"},
    {"ChunkOfNoStream", "chunk0.2", 0, false, fourcc("07wb"), Error, "names no stream"},
    {"BlockAlign", "strf1", 12, false, 0x100006, Warning, "6 but 2 channels of 16 bits take 4"},
    {"BitmapSize", "strf0", 0, false, 60, Error, "biSize is 60 but 'strf' holds 44 bytes"},
};

class AviCheckerFault : public testing::TestWithParam<Fault> {};

TEST_P(AviCheckerFault, IsReported) {
    const Fault& f = GetParam();
    avitest::Built built = avitest::buildAvi(avitest::twoSegmentPlan());
    patch(built, size_t(int(built.at.at(f.where)) + f.offset), f.value, f.add);
    const auto problems = check(built);
    const auto found = [&](const avireader::Problem& p) {
        return p.severity == f.severity && p.text.find(f.expected) != std::string::npos;
    };
    EXPECT_TRUE(std::any_of(problems.begin(), problems.end(), found)) << joined(problems);
}

INSTANTIATE_TEST_SUITE_P(Mutations, AviCheckerFault, testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AviChecker, AcceptsConsistentFilesAndNamesWhatTheyLack) {
    const auto build = [](size_t segments, bool openDml, size_t streams = 2) {
        avitest::FilePlan p = avitest::twoSegmentPlan();
        p.segments.resize(segments, {{1, 400}});  // a third segment holds audio only
        p.openDml = openDml;
        p.video.resize(streams);
        for (auto& s : p.segments)
            std::erase_if(s, [&](auto& c) { return c.stream >= int(streams); });
        return avitest::buildAvi(p);
    };
    avitest::Built absolute = build(2, true);  // idx1 offsets from the start of the file
    for (size_t i = 0; i < 7; ++i)
        patch(absolute, absolute.at["idx1"] + 16 * i + 8, uint32_t(absolute.at["movi0"] + 8), true);
    for (const auto& built :
         {build(2, true), build(1, false), build(2, true, 1), build(3, true), absolute})
        EXPECT_EQ(joined(check(built)), "");
    const auto problems = joined(check(build(2, false)));
    EXPECT_NE(problems.find("2 RIFF segments but no OpenDML index"), std::string::npos) << problems;
    avitest::Built twice = build(2, true);  // the super index lists its first ix chunk twice
    patch(twice, twice.at["indx0"] + 40, uint32_t(twice.at["ix00.0"]));
    EXPECT_NE(joined(check(twice)).find("lists the standard index at"), std::string::npos);
}

TEST(AviChecker, CondensesRepeatsOfOneKind) {
    avitest::FilePlan plan = avitest::twoSegmentPlan();
    plan.segments[0].assign(40, {0, 10});
    avitest::Built built = avitest::buildAvi(plan);
    for (size_t i = 0; i < 40; ++i) patch(built, built.at["idx1"] + 16 * i + 12, 11);
    const auto problems = check(built);
    EXPECT_LT(problems.size(), 20u) << joined(problems);
    EXPECT_NE(joined(problems).find("32 more: idx1 entry size"), std::string::npos);
}

}  // namespace
