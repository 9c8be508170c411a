#include "platform/avi_reader/avi_parser.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>

#include "platform/avi_reader/avi_checker.h"
#include "platform/avi_reader/avi_printer.h"
#include "platform/avi_reader/fourcc.h"
#include "tests/avi_reader/avi_builder.h"

namespace {

using avireader::AviFile;
using avireader::fourcc;
using avireader::parseAvi;

AviFile parse(const std::vector<uint8_t>& bytes) {
    return parseAvi(bytes.data(), bytes.size());
}

bool mentions(const std::vector<avireader::Problem>& problems, const std::string& text) {
    for (const auto& p : problems) {
        if (p.text.find(text) != std::string::npos) return true;
    }
    return false;
}

std::string joined(const std::vector<avireader::Problem>& problems) {
    std::string all;
    for (const auto& p : problems) all += toString(p) + "\n";
    return all;
}

TEST(AviParser, DecodesHeadersOfATwoSegmentFile) {
    const avitest::Built built = avitest::buildAvi(avitest::twoSegmentPlan());
    const AviFile f = parse(built.bytes);
    ASSERT_TRUE(f.problems.empty()) << joined(f.problems);

    ASSERT_EQ(f.segments.size(), 2u);
    EXPECT_EQ(f.segments[0].form, fourcc("AVI "));
    EXPECT_EQ(f.segments[1].form, fourcc("AVIX"));
    EXPECT_EQ(f.segments[1].offset, built.layout.riff[1]);
    EXPECT_EQ(f.segments[1].moviOffset, built.layout.movi[1]);

    ASSERT_TRUE(f.mainHeader);
    EXPECT_EQ(f.mainHeader->microSecPerFrame, 40000u);
    EXPECT_EQ(f.mainHeader->flags, avireader::kAviHasIndex);
    EXPECT_EQ(f.mainHeader->totalFrames, 3u);
    EXPECT_EQ(f.mainHeader->streams, 2u);
    EXPECT_EQ(f.mainHeader->width, 64u);
    EXPECT_EQ(f.odmlTotalFrames, 5u);

    ASSERT_EQ(f.streams.size(), 2u);
    const auto& video = f.streams[0];
    ASSERT_TRUE(video.header && video.video);
    EXPECT_EQ(video.header->type, fourcc("vids"));
    EXPECT_EQ(video.header->handler, fourcc("P8RG"));
    EXPECT_EQ(video.header->rate, 25u);
    EXPECT_EQ(video.header->length, 5u);
    EXPECT_EQ(video.header->frameRight, 64);
    EXPECT_EQ(video.header->frameBottom, 48);
    EXPECT_EQ(video.video->size, 44u);
    EXPECT_EQ(video.video->height, 48);
    EXPECT_EQ(video.video->bitCount, 24);
    EXPECT_EQ(video.video->compression, fourcc("P8RG"));
    EXPECT_EQ(video.video->sizeImage, 64u * 48 * 3);
    EXPECT_EQ(video.video->extra, (std::vector<uint8_t>{'P', 'V', 1, 0}));

    const auto& audio = f.streams[1];
    ASSERT_TRUE(audio.header && audio.audio);
    EXPECT_EQ(audio.header->sampleSize, 4u);
    EXPECT_EQ(audio.header->length, 701u);  // 2804 bytes of 4-byte samples
    EXPECT_EQ(audio.format.size(), 16u);
    EXPECT_EQ(audio.audio->formatTag, 1);
    EXPECT_EQ(audio.audio->channels, 2);
    EXPECT_EQ(audio.audio->samplesPerSec, 48000u);
    EXPECT_EQ(audio.audio->blockAlign, 4);
    EXPECT_EQ(audio.audio->bitsPerSample, 16);
    EXPECT_FALSE(audio.audio->cbSize);
    EXPECT_FALSE(audio.audio->extensible);
}

TEST(AviParser, RecordsIndexesAndDataChunksWhereTheyAre) {
    const avitest::Built built = avitest::buildAvi(avitest::twoSegmentPlan());
    const AviFile f = parse(built.bytes);
    const auto& l = built.layout;
    const avitest::FilePlan plan = avitest::twoSegmentPlan();

    ASSERT_EQ(f.chunks.size(), 12u);
    EXPECT_EQ(f.segments[0].chunkCount, 7u);
    EXPECT_EQ(f.segments[1].firstChunk, 7u);
    for (size_t seg = 0, k = 0; seg < 2; ++seg) {
        for (size_t i = 0; i < l.chunks[seg].size(); ++i, ++k) {
            const avitest::ChunkPlan& written = plan.segments[seg][i];
            EXPECT_EQ(f.chunks[k].offset, l.chunks[seg][i] + 8);
            EXPECT_EQ(f.chunks[k].size, written.size);
            EXPECT_EQ(f.chunks[k].stream, written.stream);
            EXPECT_EQ(f.chunks[k].segment, seg);
        }
    }

    ASSERT_EQ(f.standardIndexes.size(), 4u);
    const auto& ix01 = f.standardIndexes[3];  // stream 1, second segment
    EXPECT_EQ(ix01.id, fourcc("ix01"));
    EXPECT_EQ(ix01.chunkOffset, l.ix.at({1, 1}));
    EXPECT_EQ(ix01.segment, 1u);
    EXPECT_EQ(ix01.chunkId, fourcc("01wb"));
    EXPECT_EQ(ix01.baseOffset, l.movi[1]);
    ASSERT_EQ(ix01.entries.size(), 3u);
    EXPECT_EQ(ix01.entries[0].offset, l.chunks[1][1] + 8 - l.movi[1]);
    EXPECT_EQ(ix01.entries[0].size, 400u | avireader::kNotKeyFrame);

    const auto& si = f.streams[0].superIndex;
    ASSERT_TRUE(si);
    EXPECT_EQ(si->longsPerEntry, 4);
    EXPECT_EQ(si->entriesInUse, 2u);
    ASSERT_EQ(si->entries.size(), 2u);
    EXPECT_EQ(si->entries[1].offset, l.ix.at({0, 1}));
    EXPECT_EQ(si->entries[1].size, 32u + 8 * 2);
    EXPECT_EQ(si->entries[1].duration, 2u);

    ASSERT_TRUE(f.oldIndex);
    ASSERT_EQ(f.oldIndex->entries.size(), 7u);
    EXPECT_EQ(f.oldIndex->entries[0].offset, 4u);  // right after the "movi" FourCC
    EXPECT_EQ(f.oldIndex->entries[0].flags, avireader::kOldIndexKeyFrame);
    EXPECT_EQ(f.oldIndex->entries[1].chunkId, fourcc("01wb"));
    EXPECT_EQ(f.oldIndex->entries[1].flags, 0u);
}

TEST(AviParser, DecodesExtensibleWaveFormat) {
    avitest::FilePlan plan;
    avitest::StreamPlan audio;
    audio.video = false;
    audio.channels = 6;
    audio.bits = 20;
    audio.extensible = true;
    audio.channelMask = 0x3F;
    plan.streams = {audio};
    plan.segments = {{{0, 180}}};
    const AviFile f = parse(avitest::buildAvi(plan).bytes);
    ASSERT_TRUE(f.streams.at(0).audio);
    const auto& a = *f.streams[0].audio;
    EXPECT_TRUE(a.extensible);
    EXPECT_EQ(a.formatTag, 0xFFFE);
    EXPECT_EQ(a.blockAlign, 18);
    EXPECT_EQ(a.bitsPerSample, 24);
    EXPECT_EQ(a.validBitsPerSample, 20);
    EXPECT_EQ(a.channelMask, 0x3Fu);
    EXPECT_EQ(a.subFormat[0], 1);
    EXPECT_EQ(a.subFormat[15], 0x71);
    EXPECT_TRUE(avireader::checkAvi(f).empty()) << joined(avireader::checkAvi(f));
}

struct Malformed {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* expected;
};

std::vector<uint8_t> le32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

std::vector<uint8_t> chunk(const char* id, std::vector<uint8_t> payload,
                           std::optional<uint32_t> size = {}) {
    std::vector<uint8_t> out(id, id + 4);
    const auto s = le32(size.value_or(uint32_t(payload.size())));
    out.insert(out.end(), s.begin(), s.end());
    out.insert(out.end(), payload.begin(), payload.end());
    if (payload.size() & 1) out.push_back(0);
    return out;
}

std::vector<uint8_t> list(const char* kind, const char* type, std::vector<uint8_t> body,
                          std::optional<uint32_t> size = {}) {
    std::vector<uint8_t> payload(type, type + 4);
    payload.insert(payload.end(), body.begin(), body.end());
    return chunk(kind, payload, size);
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> nested(int depth) {
    std::vector<uint8_t> body;
    for (int i = 0; i < depth; ++i) body = list("LIST", "deep", body);
    return list("RIFF", "AVI ", body);
}

std::vector<uint8_t> indexClaiming(uint32_t entries) {
    std::vector<uint8_t> header = {2, 0, 0, 1};
    header = header + le32(entries) + le32(fourcc("00dc")) + std::vector<uint8_t>(12, 0);
    return list("RIFF", "AVI ", list("LIST", "movi", chunk("ix00", header + le32(0) + le32(1))));
}

TEST(AviParser, ReportsMalformedStructureWithoutTrusting) {
    const std::vector<Malformed> cases = {
        {"not RIFF", chunk("RIFX", std::vector<uint8_t>(8)), "not a RIFF file"},
        {"not AVI", list("RIFF", "WAVE", {}), "not an AVI file"},
        {"RIFF without form", chunk("RIFF", {}) + std::vector<uint8_t>(4), "too small"},
        {"RIFF past end of file", list("RIFF", "AVI ", {}, 1000), "but the file ends"},
        {"odd RIFF size", list("RIFF", "AVI ", chunk("JUNK", {1}), 13), "odd size"},
        {"child past its list", list("RIFF", "AVI ", list("LIST", "hdrl", chunk("avih", {}, 99))),
         "remain in LIST 'hdrl'"},
        {"zero-size LIST", list("RIFF", "AVI ", chunk("LIST", {}, 0)),
         "too small to hold its type"},
        {"half a header", list("RIFF", "AVI ", {1, 2, 3, 4, 5}), "too few for a chunk header"},
        {"deep nesting", nested(40), "nested deeper"},
        {"short avih", list("RIFF", "AVI ", list("LIST", "hdrl", chunk("avih", {1, 2}))),
         "too few for a main header"},
        {"short strh",
         list("RIFF", "AVI ", list("LIST", "hdrl", list("LIST", "strl", chunk("strh", {0})))),
         "too few for a stream header"},
        {"stray bytes", list("RIFF", "AVI ", {}) + std::vector<uint8_t>{1, 2, 3}, "stray bytes"},
        {"second AVI RIFF", list("RIFF", "AVI ", {}) + list("RIFF", "AVI ", {}),
         "segments after the first must be 'AVIX'"},
        {"nested RIFF", list("RIFF", "AVI ", list("RIFF", "AVIX", {})), "nested in"},
    };
    for (const auto& c : cases) {
        const AviFile f = parse(c.bytes);
        EXPECT_TRUE(mentions(f.problems, c.expected)) << c.name << ":\n" << joined(f.problems);
        EXPECT_TRUE(avireader::hasErrors(avireader::checkAvi(f))) << c.name;
    }
}

TEST(AviParser, HugeEntryCountsAreBoundedByTheChunk) {
    const AviFile f = parse(indexClaiming(0xFFFFFFFFu));
    ASSERT_EQ(f.standardIndexes.size(), 1u);
    EXPECT_EQ(f.standardIndexes[0].entriesInUse, 0xFFFFFFFFu);
    EXPECT_EQ(f.standardIndexes[0].entries.size(), 1u);
}

TEST(AviParser, ZeroSizeChunksEndTheWalk) {
    std::vector<uint8_t> body;
    for (int i = 0; i < 1000; ++i) body = body + chunk("00dc", {});
    const AviFile f = parse(list("RIFF", "AVI ", list("LIST", "movi", body)));
    EXPECT_EQ(f.chunks.size(), 1000u);
    EXPECT_TRUE(f.problems.empty()) << joined(f.problems);
}

// Every cut of a valid file must be noticed, and no damage may crash the reader, the checker or
// the printer (the sanitizer builds turn overreads into failures here).
TEST(AviParser, EveryTruncationIsReportedAndNoByteFlipCrashes) {
    const auto bytes = avitest::buildAvi(avitest::twoSegmentPlan()).bytes;
    for (size_t n = 0; n < bytes.size(); ++n) {
        const AviFile f = parseAvi(bytes.data(), n);
        ASSERT_TRUE(avireader::hasErrors(avireader::checkAvi(f))) << "cut at " << n;
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
        auto damaged = bytes;
        damaged[i] ^= 0xA5;
        const AviFile f = parse(damaged);
        std::ostringstream out;
        avireader::printAvi(f, out);
        (void)avireader::checkAvi(f);
        EXPECT_LE(f.chunks.size(), damaged.size() / 8);
    }
}

}  // namespace
