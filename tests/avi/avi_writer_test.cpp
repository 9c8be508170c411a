// Whole files written through the platform file into real temporary files and parsed back, and
// the writer's refusals and per-chunk costs.
#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "avi/avi_writer.h"
#include "avi/four_cc.h"
#include "fileio/platform_file.h"
#include "tests/avi/avi_parse.h"
#include "tests/fileio/temp_dir.h"
#include "tests/fileio/test_file.h"

namespace {

std::vector<uint8_t> pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> v(size);
    std::iota(v.begin(), v.end(), seed);
    return v;
}

size_t addVideo(AviWriter& w) {
    const size_t index = w.addStream(fourCC("vids"));
    AviStream& s = w.stream(index);
    s.header.fccHandler = fourCC("P8RG");
    s.header.dwScale = 1;
    s.header.dwRate = 25;
    s.header.dwQuality = 10000;
    s.header.rcFrame = {0, 0, 64, 48};
    s.format = pattern(40, 7);
    w.mainHeader.dwMicroSecPerFrame = 40000;
    w.mainHeader.dwWidth = 64;
    w.mainHeader.dwHeight = 48;
    return index;
}

// Writes a file through the platform file; body adds streams and chunks around writeHeader.
std::vector<uint8_t> writeRealFile(const std::function<void(AviWriter&)>& describe,
                                   const std::function<void(AviWriter&)>& chunks) {
    TempDir dir;
    const std::string path = dir.file(u8"out.avi");
    {
        fileio::PlatformFile file;
        EXPECT_TRUE(file.open(path.c_str(), fileio::File::Write));
        AviWriter w(file);
        describe(w);
        w.writeHeader();
        chunks(w);
        w.finalize();
    }
    return readWholeFile(path);
}

struct Expected {
    const char* name;
    uint64_t offset;
    uint32_t size;
    int depth;
};

TEST(AviWriterFile, ThreeKeyFramesGiveTheFullChunkTree) {
    const std::vector<uint8_t> frame = pattern(1000, 1);
    const std::vector<uint8_t> bytes =
        writeRealFile([](AviWriter& w) { addVideo(w); },
                      [&](AviWriter& w) {
                          for (int i = 0; i < 3; ++i) {
                              w.writeChunk(0, frame.data(), 1000, 1, true);
                          }
                      });
    const std::vector<Node> tree = parseTree(memoryReader(bytes), bytes.size());
    const Expected expected[] = {
        {"RIFF AVI ", 0, 69204, 0},    {"LIST hdrl", 12, 66044, 1},  {"avih", 24, 56, 2},
        {"LIST strl", 88, 65700, 2},   {"strh", 100, 56, 3},         {"strf", 164, 40, 3},
        {"indx", 212, 65576, 3},       {"LIST odml", 65796, 260, 2}, {"dmlh", 65808, 248, 3},
        {"LIST movi", 66064, 3084, 1}, {"00dc", 66076, 1000, 2},     {"00dc", 67084, 1000, 2},
        {"00dc", 68092, 1000, 2},      {"ix00", 69100, 48, 2},       {"idx1", 69156, 48, 1},
    };
    ASSERT_EQ(tree.size(), std::size(expected));
    ASSERT_EQ(bytes.size(), 69212U);
    for (size_t i = 0; i < tree.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(tree[i].name(), expected[i].name);
        EXPECT_EQ(tree[i].offset, expected[i].offset);
        EXPECT_EQ(tree[i].size, expected[i].size);
        EXPECT_EQ(tree[i].depth, expected[i].depth);
    }
    EXPECT_EQ(checkIndexes(memoryReader(bytes), tree), std::vector<std::string>{});
    for (const uint64_t at : {66084, 67092, 68100}) {
        EXPECT_TRUE(sameBytes(frame, std::span(bytes).subspan(at, 1000)));
    }
    EXPECT_EQ(le32(bytes, 69156 + 8 + 8), 4U);  // idx1: right after the "movi" FourCC
    EXPECT_EQ(le32(bytes, 69108 + 24), 20U);    // ix00: movi header, then the chunk header
    EXPECT_EQ(le32(bytes, 24 + 8 + 16), 3U);    // avih dwTotalFrames
    EXPECT_EQ(le32(bytes, 65816), 3U);          // dmlh dwTotalFrames
    const std::vector<uint8_t> superIndex = {4, 0, 0, 0, 1,  0, 0, 0, '0', '0', 'd',  'c',  0, 0,
                                             0, 0, 0, 0, 0,  0, 0, 0, 0,   0,   0xEC, 0x0D, 1, 0,
                                             0, 0, 0, 0, 56, 0, 0, 0, 3,   0,   0,    0};
    EXPECT_TRUE(sameBytes(superIndex, std::span(bytes).subspan(220, 40)));
    EXPECT_TRUE(std::all_of(bytes.begin() + 260, bytes.begin() + 220 + 65576,
                            [](uint8_t b) { return b == 0; }));
}

TEST(AviWriterFile, OddPayloadIsPaddedAndCountedInTheBufferSizes) {
    const std::vector<uint8_t> odd = pattern(1001, 3);
    const std::vector<uint8_t> bytes = writeRealFile([](AviWriter& w) { addVideo(w); },
                                                     [&](AviWriter& w) {
                                                         w.writeChunk(0, odd.data(), 1001, 1, true);
                                                         w.writeChunk(0, odd.data(), 2, 1, true);
                                                     });
    const std::vector<Node> tree = parseTree(memoryReader(bytes), bytes.size());
    EXPECT_EQ(checkIndexes(memoryReader(bytes), tree), std::vector<std::string>{});
    EXPECT_EQ(le32(bytes, 66076 + 4), 1001U);
    EXPECT_EQ(bytes[66084 + 1001], 0);
    EXPECT_EQ(fourccText(le32(bytes, 66086 + 1000)), "00dc");
    EXPECT_EQ(le32(bytes, 24 + 8 + 28), 1010U);   // avih: whole chunk on disk
    EXPECT_EQ(le32(bytes, 100 + 8 + 36), 1001U);  // strh: payload
}

TEST(AviWriterFile, AudioFormatsAndDeltaFlagsReachTheFile) {
    const std::vector<uint8_t> plain = {1, 0, 2, 0, 0x80, 0xBB, 0, 0, 0, 0xEE, 2, 0, 4, 0, 16, 0};
    const std::vector<uint8_t> surround = {0xFE, 0xFF, 6,    0, 0x80, 0xBB, 0,  0,    0x00, 0x2F,
                                           0x0D, 0,    18,   0, 24,   0,    22, 0,    24,   0,
                                           0x3F, 0,    0,    0, 1,    0,    0,  0,    0,    0,
                                           0x10, 0,    0x80, 0, 0,    0xAA, 0,  0x38, 0x9B, 0x71};
    const std::vector<uint8_t> twentyBit = {0xFE, 0xFF, 2,    0, 0x80, 0xBB, 0,  0,    0x00, 0x65,
                                            0x04, 0,    6,    0, 24,   0,    22, 0,    20,   0,
                                            3,    0,    0,    0, 1,    0,    0,  0,    0,    0,
                                            0x10, 0,    0x80, 0, 0,    0xAA, 0,  0x38, 0x9B, 0x71};
    const std::vector<uint8_t> video = pattern(5000, 9);
    const std::vector<uint8_t> audio = pattern(1800, 5);
    const std::vector<uint8_t> bytes = writeRealFile(
        [](AviWriter& w) {
            addVideo(w);
            w.stream(w.addStream(fourCC("auds"))).setAudioFormat(1, 2, 48000, 16, 3);
            w.stream(w.addStream(fourCC("auds"))).setAudioFormat(1, 6, 48000, 24, 0x3F);
            w.stream(w.addStream(fourCC("auds"))).setAudioFormat(1, 2, 48000, 20, 3);
        },
        [&](AviWriter& w) {
            for (int i = 0; i < 4; ++i) {
                w.writeChunk(0, video.data(), video.size() - i, 1, true);
                w.writeChunk(1, audio.data(), 1800, 450, false);
                w.writeChunk(2, audio.data(), 1800, 100, false);
                w.writeChunk(3, audio.data(), 1800, 300, false);
            }
        });
    const std::vector<Node> tree = parseTree(memoryReader(bytes), bytes.size());
    EXPECT_EQ(checkIndexes(memoryReader(bytes), tree), std::vector<std::string>{});
    std::vector<std::vector<uint8_t>> formats;
    for (const Node& n : tree) {
        if (n.name() == "strf") {
            formats.push_back(memoryReader(bytes)(n.payload(), n.size));
        }
    }
    ASSERT_EQ(formats.size(), 4U);
    EXPECT_TRUE(sameBytes(plain, formats[1]));
    EXPECT_TRUE(sameBytes(surround, formats[2]));
    EXPECT_TRUE(sameBytes(twentyBit, formats[3]));
}

TEST(AviWriterFile, EmptyFirstSegmentStillEndsWithIdx1) {
    const std::vector<uint8_t> bytes =
        writeRealFile([](AviWriter& w) { addVideo(w); }, [](AviWriter&) {});
    const std::vector<Node> tree = parseTree(memoryReader(bytes), bytes.size());
    ASSERT_GE(tree.size(), 2U);
    EXPECT_EQ(tree[tree.size() - 2].name(), "LIST movi");
    EXPECT_EQ(tree[tree.size() - 2].size, 4U);
    EXPECT_EQ(tree.back().name(), "idx1");
    EXPECT_EQ(tree.back().size, 0U);
    EXPECT_EQ(checkIndexes(memoryReader(bytes), tree), std::vector<std::string>{});
}

TEST(AviWriter, RefusesMisuseWithoutWriting) {
    TestFile f;
    AviWriter w(f);
    addVideo(w);
    w.addStream(fourCC("auds"));
    const uint8_t byte = 0;
    auto expectRefusal = [&](const std::function<void()>& call, const char* message) {
        const int writes = f.writes;
        try {
            call();
            ADD_FAILURE() << "accepted: " << message;
        } catch (const std::logic_error& e) {  // std::out_of_range too
            EXPECT_STREQ(e.what(), message);
        }
        EXPECT_EQ(f.writes, writes) << message;
    };
    expectRefusal([&] { w.writeChunk(0, &byte, 1, 1, true); },
                  "AviWriter::writeChunk: header is not written, writeHeader() must be called "
                  "first");
    w.writeHeader();
    expectRefusal([&] { w.writeHeader(); },
                  "AviWriter::writeHeader: already called, header is already written");
    EXPECT_THROW(w.writeChunk(2, &byte, 1, 1, true), std::out_of_range);
    expectRefusal([&] { w.writeChunk(2, &byte, 1, 1, true); }, "invalid vector subscript");
    expectRefusal([&] { w.addStream(fourCC("auds")); },
                  "AviWriter::addStream: the header is already written, streams must be added "
                  "before writeHeader()");
    expectRefusal([&] { w.writeChunk(0, &byte, w.maxFileSize, 1, true); },
                  "AviWriter::writeChunk: the chunk would take the file past 8 TiB");
    w.writeChunk(1, &byte, 1, 1, false);
    w.finalize();
    expectRefusal([&] { w.addStream(fourCC("auds")); },
                  "AviWriter::addStream: the header is already written, streams must be added "
                  "before writeHeader()");
    const std::vector<uint8_t> bytes = f.all();
    EXPECT_EQ(checkIndexes(memoryReader(bytes), parseTree(memoryReader(bytes), bytes.size())),
              std::vector<std::string>{});
}

TEST(AviWriter, RefusesTheHundredAndFirstStream) {
    TestFile f;
    AviWriter w(f);
    for (size_t i = 0; i < 100; ++i) {
        ASSERT_EQ(w.addStream(fourCC("auds")), i);
    }
    EXPECT_EQ(fourccText(w.stream(99).chunkId()), "99wb");
    EXPECT_EQ(w.mainHeader.dwStreams, 100U);
    EXPECT_THROW(w.addStream(fourCC("auds")), std::logic_error);
    EXPECT_EQ(w.streams.size(), 100U);
}

TEST(AviWriter, EachChunkCostsThreeQueriesAndTwoWrites) {
    TestFile f;
    AviWriter w(f);
    addVideo(w);
    w.writeHeader();
    const std::vector<uint8_t> payload = pattern(1001, 0);
    for (const size_t size : {1000, 1001}) {
        const int tells = f.tells;
        const int writes = f.writes;
        const int writeAts = f.writeAts;
        w.writeChunk(0, payload.data(), size, 1, true);
        EXPECT_EQ(f.tells - tells, 3);
        EXPECT_EQ(f.writes - writes, size % 2 == 0 ? 2 : 3);
        EXPECT_EQ(f.writeAts, writeAts);
    }
}

TEST(AviWriter, FinalizeOnceWithoutHeaderWritesNothing) {
    TestFile f;
    {
        AviWriter w(f);
        addVideo(w);
        w.finalize();
        w.finalize();
    }
    EXPECT_EQ(f.writes + f.writeAts, 0);

    AviWriter w(f);
    addVideo(w);
    w.writeHeader();
    w.finalize();
    const int writes = f.writes;
    w.finalize();
    EXPECT_EQ(f.writes, writes);
    EXPECT_EQ(w.riff.depth(), 0U);
}

}  // namespace
