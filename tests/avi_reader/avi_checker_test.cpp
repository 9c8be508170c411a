#include "platform/avi_reader/avi_checker.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/avi_reader/avi_parser.h"
#include "platform/avi_reader/fourcc.h"
#include "tests/avi_reader/avi_builder.h"

namespace {

using avireader::Problem;
using avireader::Severity;
using avitest::Built;
using avitest::FilePlan;

std::vector<Problem> check(const std::vector<uint8_t>& bytes) {
    return avireader::checkAvi(avireader::parseAvi(bytes.data(), bytes.size()));
}

std::string joined(const std::vector<Problem>& problems) {
    std::string all;
    for (const auto& p : problems) all += toString(p) + "\n";
    return all;
}

TEST(AviChecker, AcceptsConsistentFiles) {
    FilePlan avi10 = avitest::twoSegmentPlan();
    avi10.segments.pop_back();
    avi10.openDml = false;
    FilePlan videoOnly = avitest::twoSegmentPlan();
    videoOnly.streams.pop_back();
    for (auto& seg : videoOnly.segments) std::erase_if(seg, [](auto& c) { return c.stream == 1; });
    FilePlan threeSegments = avitest::twoSegmentPlan();
    threeSegments.segments.push_back({{1, 400}});  // audio only in the last segment

    for (const FilePlan& plan : {avitest::twoSegmentPlan(), avi10, videoOnly, threeSegments}) {
        const auto problems = check(avitest::buildAvi(plan).bytes);
        EXPECT_TRUE(problems.empty()) << joined(problems);
    }
}

// One fault per case: a change to what the builder writes, or a patch of the bytes it wrote.
struct Fault {
    const char* name;
    std::function<void(FilePlan&)> change;
    std::function<void(Built&)> patch;
    Severity severity;
    const char* expected;
};

void PrintTo(const Fault& fault, std::ostream* out) {
    *out << fault.name;
}

// Payload positions of entry `i` in a standard or super index at chunk header `header`.
size_t ixEntry(size_t header, size_t i) {
    return header + 8 + 24 + 8 * i;
}
size_t superEntry(const Built& b, int stream, size_t i) {
    return b.layout.indx[size_t(stream)] + 24 + 16 * i;
}
size_t ix(const Built& b, int stream, size_t segment) {
    return b.layout.ix.at({stream, segment});
}
void add32(Built& b, size_t pos, uint32_t delta) {
    b.put32(pos, b.get32(pos) + delta);
}

const std::vector<Fault>& faults() {
    const auto none = [](FilePlan&) {};
    const auto asIs = [](Built&) {};
    static const std::vector<Fault> list = {
        {"IxEntryOffset", none, [](Built& b) { add32(b, ixEntry(ix(b, 0, 0), 1), 2); },
         Severity::Error, "entry 1 points at"},
        {"IxEntrySize", none, [](Built& b) { add32(b, ixEntry(ix(b, 1, 1), 0) + 4, 4); },
         Severity::Error, "entry 0 gives size 404"},
        {"IxEntryAtOtherStream", none,
         [](Built& b) {
             b.put32(ixEntry(ix(b, 0, 0), 0),
                     uint32_t(b.layout.chunks[0][1] + 8 - b.layout.movi[0]));
         },
         Severity::Error, "not a chunk '00dc'"},
        {"IxChunkIdOfOtherStream", none,
         [](Built& b) { b.put32(ix(b, 0, 0) + 16, avireader::fourcc("01wb")); }, Severity::Error,
         "is not a chunk of stream 0"},
        {"IxClaimsTooManyEntries", none, [](Built& b) { b.put32(ix(b, 0, 1) + 12, 3); },
         Severity::Error, "has room for 2"},
        {"IxWrongType", none, [](Built& b) { b.bytes[ix(b, 1, 0) + 11] = 0; }, Severity::Error,
         "bIndexType is 0"},
        {"MissingIxChunk",
         [](FilePlan& s) {
             s.skipStandardIndex = {{1, 1}};
         },
         asIs, Severity::Error, "where no 'ix01' chunk starts"},
        {"ExtraDataChunk",
         [](FilePlan& s) {
             s.unindexedChunk = {{0, 1}};
         },
         asIs, Severity::Error, "is in no standard index"},
        {"ChunkIndexedTwice", none,
         [](Built& b) { b.put32(ixEntry(ix(b, 1, 1), 1), b.get32(ixEntry(ix(b, 1, 1), 0))); },
         Severity::Error, "is listed 2 times in standard indexes"},
        {"VideoLength", none, [](Built& b) { add32(b, b.layout.strh[0] + 32, 1); }, Severity::Error,
         "stream 0: dwLength is 6 but its chunks hold 5 chunks"},
        {"AudioLength", none, [](Built& b) { add32(b, b.layout.strh[1] + 32, 0xFFFFFFFFu); },
         Severity::Error, "dwLength is 700 but its chunks hold 701 samples"},
        {"Truncated", none, [](Built& b) { b.bytes.resize(b.bytes.size() - 100); }, Severity::Error,
         "but the file ends"},
        {"StreamCount", none, [](Built& b) { b.put32(b.layout.avih + 24, 3); }, Severity::Error,
         "dwStreams is 3 but the file has 2"},
        {"FirstSegmentFrames", none, [](Built& b) { b.put32(b.layout.avih + 16, 5); },
         Severity::Error, "'avih' dwTotalFrames is 5 but the first segment holds 3"},
        {"OdmlFrames", none, [](Built& b) { b.put32(b.layout.dmlh, 3); }, Severity::Error,
         "'dmlh' dwTotalFrames is 3 but the file holds 5"},
        {"SuperEntrySize", none, [](Built& b) { add32(b, superEntry(b, 0, 1) + 8, 8); },
         Severity::Error, "entry 1 gives size 56"},
        {"SuperEntryDuration", none, [](Built& b) { add32(b, superEntry(b, 1, 0) + 12, 1); },
         Severity::Error, "gives duration 402 but its index covers 401"},
        {"SuperDurationInChunks", none, [](Built& b) { b.put32(superEntry(b, 1, 0) + 12, 4); },
         Severity::Warning, "its chunk count, not its 401 samples"},
        {"SuperEntryOffset", none, [](Built& b) { add32(b, superEntry(b, 1, 1), 8); },
         Severity::Error, "where no 'ix01' chunk starts"},
        {"SuperChunkIdDiffers", none,
         [](Built& b) { b.put32(b.layout.indx[0] + 8, avireader::fourcc("00db")); },
         Severity::Error, "points at an index of '00dc', not '00db'"},
        {"SuperIndexTooFull", none, [](Built& b) { b.put32(b.layout.indx[0] + 4, 5); },
         Severity::Error, "nEntriesInUse is 5 but the chunk has room for 4"},
        {"IxNotInSuperIndex", none, [](Built& b) { b.put32(b.layout.indx[0] + 4, 1); },
         Severity::Error, "is not listed in its stream's super index"},
        {"Idx1Offset", none, [](Built& b) { add32(b, b.layout.idx1 + 16 + 8, 2); }, Severity::Error,
         "'idx1' entry 1 ('01wb') points at"},
        {"Idx1Size", none, [](Built& b) { add32(b, b.layout.idx1 + 12, 1); }, Severity::Error,
         "'idx1' entry 0 ('00dc') gives size 1002"},
        {"Idx1MissingChunk", none,
         [](Built& b) {
             for (size_t i = 0; i < 16; ++i)
                 b.bytes[b.layout.idx1 + 48 + i] = b.bytes[b.layout.idx1 + 32 + i];
         },
         Severity::Error, "is missing from 'idx1'"},
        {"Idx1KeyFrameFlag", none, [](Built& b) { b.put32(b.layout.idx1 + 4, 0); }, Severity::Error,
         "key-frame flag clear"},
        {"NoIdx1ButFlagged", [](FilePlan& s) { s.oldIndex = false; },
         [](Built& b) { b.put32(b.layout.avih + 12, 0x10); }, Severity::Warning, "AVIF_HASINDEX"},
        {"ChunkOfWrongType", none,
         [](Built& b) {
             b.bytes[b.layout.chunks[1][0] + 2] = 'w';
             b.bytes[b.layout.chunks[1][0] + 3] = 'b';
         },
         Severity::Error, "does not fit stream 0 of type 'vids'"},
        {"ChunkOfNoStream", none, [](Built& b) { b.bytes[b.layout.chunks[0][2] + 1] = '7'; },
         Severity::Error, "names no stream"},
        {"NoTimeBase", none, [](Built& b) { b.put32(b.layout.strh[0] + 24, 0); }, Severity::Error,
         "gives no time base"},
        {"BlockAlign", none, [](Built& b) { b.bytes[b.layout.strf[1] + 12] = 6; },
         Severity::Warning, "nBlockAlign is 6 but 2 channels of 16 bits take 4"},
        {"BitmapSize", none, [](Built& b) { b.put32(b.layout.strf[0], 60); }, Severity::Error,
         "biSize is 60 but 'strf' holds 44 bytes"},
        {"OddRiffSize", none, [](Built& b) { add32(b, b.layout.riff[1] + 4, 0xFFFFFFFFu); },
         Severity::Error, "has an odd size"},
        {"NoOpenDmlIndexInTwoSegments", [](FilePlan& s) { s.openDml = false; }, asIs,
         Severity::Error, "2 RIFF segments but no OpenDML index"},
    };
    return list;
}

class AviCheckerFault : public testing::TestWithParam<Fault> {};

TEST_P(AviCheckerFault, IsReported) {
    const Fault& fault = GetParam();
    FilePlan plan = avitest::twoSegmentPlan();
    fault.change(plan);
    Built built = avitest::buildAvi(plan);
    fault.patch(built);
    const auto problems = check(built.bytes);
    const bool found = std::any_of(problems.begin(), problems.end(), [&](const Problem& p) {
        return p.severity == fault.severity && p.text.find(fault.expected) != std::string::npos;
    });
    EXPECT_TRUE(found) << "expected: " << fault.expected << "\ngot:\n" << joined(problems);
}

INSTANTIATE_TEST_SUITE_P(Mutations, AviCheckerFault, testing::ValuesIn(faults()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AviChecker, AcceptsAbsoluteIdx1Offsets) {
    Built built = avitest::buildAvi(avitest::twoSegmentPlan());
    const size_t moviFourcc = built.layout.movi[0] + 8;
    for (size_t i = 0; i < 7; ++i)
        add32(built, built.layout.idx1 + 16 * i + 8, uint32_t(moviFourcc));
    const auto problems = check(built.bytes);
    EXPECT_TRUE(problems.empty()) << joined(problems);
}

TEST(AviChecker, CondensesRepeatsOfOneKind) {
    FilePlan plan = avitest::twoSegmentPlan();
    plan.segments[0].assign(40, {0, 10});
    Built built = avitest::buildAvi(plan);
    for (size_t i = 0; i < 40; ++i) add32(built, built.layout.idx1 + 16 * i + 12, 1);
    const auto problems = check(built.bytes);
    ASSERT_FALSE(problems.empty());
    EXPECT_LT(problems.size(), 20u) << joined(problems);
    EXPECT_NE(joined(problems).find("32 more: idx1 entry size"), std::string::npos)
        << joined(problems);
}

}  // namespace
