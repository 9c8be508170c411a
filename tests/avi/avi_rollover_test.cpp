// Files of many segments, simulated with a file that keeps headers and indexes and drops payloads.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "avi/avi_writer.h"
#include "avi/four_cc.h"
#include "tests/avi/avi_parse.h"
#include "tests/fileio/huge_buffer.h"
#include "tests/fileio/test_file.h"

namespace {

constexpr size_t kKeep = 65576;  // a whole reserved super index, but no large payload

ByteReader reader(const TestFile& f) {
    return [&f](uint64_t offset, size_t count) { return f.bytesAt(offset, count); };
}

size_t addVideo(AviWriter& w) {
    const size_t index = w.addStream(fourCC("vids"));
    w.stream(index).header.dwScale = 1;
    w.stream(index).header.dwRate = 25;
    w.stream(index).format.assign(40, 1);
    return index;
}

std::vector<Node> segmentsOf(const std::vector<Node>& tree) {
    std::vector<Node> out;
    std::copy_if(tree.begin(), tree.end(), std::back_inserter(out),
                 [](const Node& n) { return n.depth == 0; });
    return out;
}

TEST(AviRollover, InterleavedStreamsOverSeveralSegments) {
    TestFile f(kKeep);
    AviWriter w(f);
    addVideo(w);
    w.stream(w.addStream(fourCC("auds"))).setAudioFormat(1, 2, 48000, 16, 3);
    w.stream(w.addStream(fourCC("auds"))).setAudioFormat(1, 1, 8000, 8, 0);
    w.writeHeader();
    const int frames = 3000;
    const uint8_t* payload = hugeBuffer();
    for (int i = 0; i < frames; ++i) {
        w.writeChunk(0, payload, 3000001, 1, true);
        w.writeChunk(1, payload, 192000, 48000, false);
        if (i < 200 || i >= 2600) {  // absent from the middle segments
            w.writeChunk(2, payload, 96001, 96001, false);
        }
    }
    w.finalize();

    const std::vector<Node> tree = parseTree(reader(f), f.end);
    EXPECT_EQ(checkIndexes(reader(f), tree), std::vector<std::string>{});
    const std::vector<Node> segments = segmentsOf(tree);
    ASSERT_GE(segments.size(), 5U);
    for (size_t i = 0; i + 1 < segments.size(); ++i) {
        // Full: closed only because the next chunk and its index entries would not fit.
        const uint64_t limit = i == 0 ? w.firstRiffLimit : w.avixLimit;
        EXPECT_GT(8 + uint64_t{segments[i].size}, limit - 3500000) << "segment " << i;
    }
    int ix00 = 0;
    int ix02 = 0;
    int idx1 = 0;
    for (const Node& n : tree) {
        ix00 += n.name() == "ix00";
        ix02 += n.name() == "ix02";
        idx1 += n.name() == "idx1";
    }
    EXPECT_EQ(ix00, static_cast<int>(segments.size()));
    EXPECT_GE(ix02, 2);
    EXPECT_LE(ix02, static_cast<int>(segments.size()) - 2);
    EXPECT_EQ(idx1, 1);
    EXPECT_EQ(w.stream(2).superIndexHeader.nEntriesInUse, static_cast<uint32_t>(ix02));
    EXPECT_EQ(w.odmlHeader.dwTotalFrames, static_cast<uint32_t>(frames));
    EXPECT_GT(w.mainHeader.dwTotalFrames, 0U);
    EXPECT_LT(w.mainHeader.dwTotalFrames, 400U);
    EXPECT_EQ(w.stream(0).header.dwLength, static_cast<uint32_t>(frames));
}

TEST(AviRollover, FirstSegmentFillsExactlyToItsLimit) {
    for (const uint64_t extra : {0, 2}) {
        SCOPED_TRACE(extra);
        TestFile f(kKeep);
        AviWriter w(f);
        addVideo(w);
        w.writeHeader();
        // Closing adds one standard index chunk of one entry (40) and "idx1" of one entry (24).
        const uint64_t size = w.firstRiffLimit - f.position - 8 - 40 - 24 + extra;
        w.writeChunk(0, hugeBuffer(), size, 1, true);
        EXPECT_EQ(w.firstRiff, extra == 0);
        w.finalize();
        const std::vector<Node> tree = parseTree(reader(f), f.end);
        EXPECT_EQ(checkIndexes(reader(f), tree), std::vector<std::string>{});
        const std::vector<Node> segments = segmentsOf(tree);
        ASSERT_EQ(segments.size(), extra == 0 ? 1U : 2U);
        if (extra == 0) {
            EXPECT_EQ(segments[0].size + 8U, w.firstRiffLimit);
        }
    }
}

TEST(AviRollover, RefusesASegmentBeyondTheSuperIndexSpace) {
    TestFile f(kKeep);
    AviWriter w(f);
    addVideo(w);
    w.writeHeader();
    // Each chunk fills a segment of its own; the first segment stays empty.
    const uint64_t size = 1288490188;
    const uint8_t* payload = hugeBuffer();
    ASSERT_EQ(w.superIndexCapacity(), 4097U);
    for (int i = 0; i < 4097; ++i) {
        w.writeChunk(0, payload, size, 1, true);
    }
    const int writes = f.writes;
    try {
        w.writeChunk(0, payload, size, 1, true);
        ADD_FAILURE() << "accepted";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(),
                     "AviWriter::writeChunk: the stream's super index is full, no further segment "
                     "fits");
    }
    EXPECT_EQ(f.writes, writes);
    w.writeChunk(0, payload, 100, 1, true);  // still fits the current segment
    w.finalize();
    const std::vector<Node> tree = parseTree(reader(f), f.end);
    EXPECT_EQ(segmentsOf(tree).size(), 4098U);
    EXPECT_EQ(checkIndexes(reader(f), tree), std::vector<std::string>{});
}

TEST(AviRollover, RefusesAChunkPastTheFileLimit) {
    TestFile f(kKeep);
    AviWriter w(f);
    addVideo(w);
    ASSERT_TRUE(f.seek(w.maxFileSize - (64 << 20)));
    w.writeHeader();
    const uint8_t* payload = hugeBuffer();
    w.writeChunk(0, payload, 32 << 20, 1, true);
    const int writes = f.writes;
    EXPECT_THROW(w.writeChunk(0, payload, 40 << 20, 1, true), std::logic_error);
    EXPECT_EQ(f.writes, writes);
    w.writeChunk(0, payload, 16 << 20, 1, true);
    EXPECT_NO_THROW(w.finalize());
    EXPECT_LE(f.end, w.maxFileSize);
    EXPECT_EQ(w.odmlHeader.dwTotalFrames, 2U);
}

}  // namespace
