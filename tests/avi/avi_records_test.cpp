// The on-disk records field by field: sizes against their tables, golden bytes, audio formats.
#include <gtest/gtest.h>

#include <vector>

#include "avi/avi_headers.h"
#include "avi/avi_index.h"
#include "avi/avi_stream.h"
#include "avi/four_cc.h"
#include "tests/avi/avi_parse.h"

namespace {

template <typename Record>
std::vector<uint8_t> bytesOf(const Record& record) {
    LittleEndianBuffer out;
    record.serialize(out);
    return std::vector<uint8_t>(out.data(), out.data() + out.size());
}

TEST(AviRecords, SizesMatchTheirTables) {
    StandardIndex ix;
    EXPECT_EQ(bytesOf(ix).size(), 24U);
    ix.entries.resize(3);
    EXPECT_EQ(bytesOf(ix).size(), 24U + 3 * 8);
    EXPECT_EQ(ix.byteSize(), 48U);
    EXPECT_EQ(bytesOf(AviMainHeader{}).size(), 56U);
    EXPECT_EQ(bytesOf(AviStreamHeader{}).size(), 56U);
    EXPECT_EQ(bytesOf(OdmlHeader{}).size(), 248U);
    EXPECT_EQ(bytesOf(SuperIndexHeader{}).size(), 24U);
    EXPECT_EQ(bytesOf(SuperIndexEntry{}).size(), 16U);
    EXPECT_EQ(bytesOf(OldIndexEntry{}).size(), 16U);
    EXPECT_LE(sizeof(PendingChunk), 24U);
    EXPECT_EQ(sizeof(StdIndexEntry), 8U);
}

TEST(AviRecords, MainHeaderFieldOrder) {
    AviMainHeader h;
    h.dwMicroSecPerFrame = 0x01020304;
    h.dwMaxBytesPerSec = 5;
    h.dwPaddingGranularity = 6;
    h.dwFlags = 0x10;
    h.dwTotalFrames = 7;
    h.dwInitialFrames = 8;
    h.dwStreams = 9;
    h.dwSuggestedBufferSize = 0xA0B0C0D0;
    h.dwWidth = 1920;
    h.dwHeight = 1080;
    h.dwReserved = {1, 2, 3, 4};
    const std::vector<uint8_t> expected = {
        4, 3, 2, 1, 5, 0, 0, 0, 6, 0,    0,    0,    0x10, 0,    0, 0, 7, 0,    0,
        0, 8, 0, 0, 0, 9, 0, 0, 0, 0xD0, 0xC0, 0xB0, 0xA0, 0x80, 7, 0, 0, 0x38, 4,
        0, 0, 1, 0, 0, 0, 2, 0, 0, 0,    3,    0,    0,    0,    4, 0, 0, 0};
    EXPECT_TRUE(sameBytes(expected, bytesOf(h)));
}

TEST(AviRecords, StreamHeaderFieldOrder) {
    AviStreamHeader h;
    h.fccType = fourCC("vids");
    h.fccHandler = fourCC("P8RG");
    h.dwFlags = 1;
    h.wPriority = 2;
    h.wLanguage = 3;
    h.dwInitialFrames = 4;
    h.dwScale = 1001;
    h.dwRate = 30000;
    h.dwStart = 5;
    h.dwLength = 6;
    h.dwSuggestedBufferSize = 7;
    h.dwQuality = 10000;
    h.dwSampleSize = 8;
    h.rcFrame = {-1, 2, 1920, 1080};
    const std::vector<uint8_t> expected = {
        'v', 'i',  'd',  's',  'P', '8',  'R',  'G', 1, 0, 0,    0,    2, 0, 3,    0, 4,    0, 0,
        0,   0xE9, 3,    0,    0,   0x30, 0x75, 0,   0, 5, 0,    0,    0, 6, 0,    0, 0,    7, 0,
        0,   0,    0x10, 0x27, 0,   0,    8,    0,   0, 0, 0xFF, 0xFF, 2, 0, 0x80, 7, 0x38, 4};
    EXPECT_TRUE(sameBytes(expected, bytesOf(h)));
}

TEST(AviRecords, IndexRecordsFieldOrder) {
    StandardIndex ix;
    ix.header.nEntriesInUse = 2;
    ix.header.dwChunkId = fourCC("01wb");
    ix.header.qwBaseOffset = 0x0000000123456789;
    ix.entries = {{20, 1000}, {1028, 0x80000007}};
    const std::vector<uint8_t> stdIndex = {
        2, 0, 0, 1, 2,  0, 0, 0, '0',  '1', 'w', 'b', 0x89, 0x67, 0x45, 0x23, 1, 0, 0, 0,
        0, 0, 0, 0, 20, 0, 0, 0, 0xE8, 3,   0,   0,   4,    4,    0,    0,    7, 0, 0, 0x80};
    EXPECT_TRUE(sameBytes(stdIndex, bytesOf(ix)));

    SuperIndexHeader sh;
    sh.nEntriesInUse = 3;
    sh.dwChunkId = fourCC("00dc");
    const std::vector<uint8_t> superHeader = {4, 0, 0, 0, 3, 0, 0, 0, '0', '0', 'd', 'c',
                                              0, 0, 0, 0, 0, 0, 0, 0, 0,   0,   0,   0};
    EXPECT_TRUE(sameBytes(superHeader, bytesOf(sh)));
    const std::vector<uint8_t> superEntry = {0x10, 0, 0, 0, 2, 0, 0, 0, 56, 0, 0, 0, 3, 0, 0, 0};
    EXPECT_TRUE(sameBytes(superEntry, bytesOf(SuperIndexEntry{0x200000010, 56, 3})));
    const std::vector<uint8_t> oldEntry = {'0', '0', 'd', 'c', 0x10, 0, 0, 0,
                                           4,   0,   0,   0,   0xE8, 3, 0, 0};
    EXPECT_TRUE(sameBytes(oldEntry, bytesOf(OldIndexEntry{fourCC("00dc"), 0x10, 4, 1000})));
}

TEST(AviStream, ChunkIds) {
    const struct {
        uint64_t index;
        uint32_t type;
        const char* id;
        const char* ix;
    } rows[] = {
        {0, fourCC("vids"), "00dc", "ix00"},
        {1, fourCC("auds"), "01wb", "ix01"},
        {12, fourCC("txts"), "12??", "ix12"},
        {99, fourCC("auds"), "99wb", "ix99"},
    };
    for (const auto& row : rows) {
        const AviStream s(row.index, row.type);
        EXPECT_EQ(fourccText(s.chunkId()), row.id);
        EXPECT_EQ(fourccText(s.indexChunkId()), row.ix);
        EXPECT_EQ(s.superIndexHeader.dwChunkId, s.chunkId());
    }
}

TEST(AviStream, AudioFormats) {
    const std::vector<uint8_t> guidTail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                           0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    const struct {
        uint16_t tag, channels;
        uint32_t rate;
        uint16_t bits;
        uint32_t mask;
        bool extensible;
        uint16_t blockAlign, containerBits;
    } rows[] = {
        {1, 2, 48000, 16, 3, false, 4, 16},    {1, 2, 48000, 24, 3, true, 6, 24},
        {1, 6, 48000, 24, 0x3F, true, 18, 24}, {1, 2, 48000, 20, 3, true, 6, 24},
        {3, 2, 48000, 32, 3, false, 8, 32},    {1, 1, 44100, 16, 0, false, 2, 16},
        {1, 1, 44100, 16, 4, true, 2, 16},     {1, 2, 44100, 16, 0, true, 4, 16},
        {1, 0, 8000, 8, 0, false, 0, 8},       {3, 8, 96000, 32, 0x63F, true, 32, 32},
        {1, 2, 22050, 8, 3, false, 2, 8},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "tag " << r.tag << ", " << r.channels << " ch, "
                                        << r.bits << " bits, mask " << r.mask);
        AviStream s(1, fourCC("auds"));
        s.header.dwLength = 99;  // cleared
        s.setAudioFormat(r.tag, r.channels, r.rate, r.bits, r.mask);
        const std::vector<uint8_t>& f = s.format;
        ASSERT_EQ(f.size(), r.extensible ? 40U : 16U);
        EXPECT_EQ(le16(f, 0), r.extensible ? 0xFFFE : r.tag);
        EXPECT_EQ(le16(f, 2), r.channels);
        EXPECT_EQ(le32(f, 4), r.rate);
        EXPECT_EQ(le32(f, 8), r.blockAlign * r.rate);
        EXPECT_EQ(le16(f, 12), r.blockAlign);
        EXPECT_EQ(le16(f, 14), r.containerBits);
        if (r.extensible) {
            EXPECT_EQ(le16(f, 16), 22);
            EXPECT_EQ(le16(f, 18), r.bits);
            EXPECT_EQ(le32(f, 20), r.mask);
            EXPECT_EQ(le16(f, 24), r.tag);
            EXPECT_TRUE(sameBytes(guidTail, std::span(f).subspan(26)));
        }
        EXPECT_EQ(s.header.fccType, fourCC("auds"));
        EXPECT_EQ(s.header.fccHandler, 0U);
        EXPECT_EQ(s.header.dwQuality, 10000U);
        EXPECT_EQ(s.header.dwScale, r.blockAlign);
        EXPECT_EQ(s.header.dwSampleSize, r.blockAlign);
        EXPECT_EQ(s.header.dwRate, r.blockAlign * r.rate);
        EXPECT_EQ(s.header.dwLength, 0U);
        EXPECT_EQ(s.chunkId(), fourCC("01wb"));
    }
}

}  // namespace
