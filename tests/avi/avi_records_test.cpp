// The on-disk records field by field as golden bytes, and the audio formats a stream describes.
#include <gtest/gtest.h>

#include <vector>

#include "avi/avi_headers.h"
#include "avi/avi_index.h"
#include "avi/avi_stream.h"
#include "avi/four_cc.h"
#include "tests/avi/avi_check.h"

namespace {

template <typename Record>
std::vector<uint8_t> bytesOf(const Record& record) {
    LittleEndianBuffer out;
    record.serialize(out);
    return out.take();
}

// Every field a distinct value, so that a swapped or mis-sized field shows.
TEST(AviRecords, GoldenBytes) {
    const StandardIndex ix{{2, 0, 1, 2, fourCC("01wb"), 0x123456789, 0},
                           {{20, 1000}, {1028, 0x80000007}}};
    const AviMainHeader avih{0x01020304, 5, 6, 0x10, 7, 8, 9, 0xA0B0C0D0, 1920, 1080, {1, 2, 3, 4}};
    const AviStreamHeader strh{
        fourCC("vids"),     fourCC("P8RG"), 1, 2, 3, 4, 1001, 30000, 5, 6, 7, 10000, 8,
        {-1, 2, 1920, 1080}};
    const struct {
        std::vector<uint8_t> bytes;
        const char* golden;
    } rows[] = {
        {bytesOf(avih),
         "04030201 05000000 06000000 10000000 07000000 08000000 09000000 d0c0b0a0 80070000 "
         "38040000 01000000 02000000 03000000 04000000"},
        {bytesOf(strh),
         "76696473 50385247 01000000 0200 0300 04000000 e9030000 30750000 05000000 06000000 "
         "07000000 10270000 08000000 ffff 0200 8007 3804"},
        {bytesOf(ix),
         "0200 00 01 02000000 30317762 8967452301000000 00000000 14000000 e8030000 04040000 "
         "07000080"},
        {bytesOf(SuperIndexHeader{4, 0, 0, 3, fourCC("00dc")}),
         "0400 00 00 03000000 30306463 000000000000000000000000"},
        {bytesOf(SuperIndexEntry{0x200000010, 56, 3}), "1000000002000000 38000000 03000000"},
        {bytesOf(OldIndexEntry{fourCC("00dc"), 0x10, 4, 1000}),
         "30306463 10000000 04000000 e8030000"},
    };
    for (const auto& row : rows) EXPECT_TRUE(sameBytes(hex(row.golden), row.bytes)) << row.golden;
    EXPECT_TRUE(sameBytes(hex(std::string("07").append(2 * 247, '0')), bytesOf(OdmlHeader{7})));
    EXPECT_LE(sizeof(PendingChunk), 24U);  // kept per chunk for the life of the writer
}

// The plain form when it says everything, else the extensible one, its subtype GUID carrying the
// format tag. The stream header follows the block alignment (bytes 12-13 of the format).
TEST(AviStream, AudioFormats) {
    const struct {
        uint16_t tag, channels;
        uint32_t rate;
        uint16_t bits;
        uint32_t mask;
        const char *plain, *extension;
    } rows[] = {
        {1, 2, 48000, 16, 3, "0100 0200 80bb0000 00ee0200 0400 1000", ""},
        {1, 2, 48000, 24, 3, "feff 0200 80bb0000 00650400 0600 1800",
         "1600 1800 03000000 01000000"},
        {1, 6, 48000, 24, 0x3F, "feff 0600 80bb0000 002f0d00 1200 1800",
         "1600 1800 3f000000 01000000"},
        {1, 2, 48000, 20, 3, "feff 0200 80bb0000 00650400 0600 1800",
         "1600 1400 03000000 01000000"},
        {3, 2, 48000, 32, 3, "0300 0200 80bb0000 00dc0500 0800 2000", ""},
        {1, 1, 44100, 16, 0, "0100 0100 44ac0000 88580100 0200 1000", ""},
        {1, 1, 44100, 16, 4, "feff 0100 44ac0000 88580100 0200 1000",
         "1600 1000 04000000 01000000"},
        {1, 2, 44100, 16, 0, "feff 0200 44ac0000 10b10200 0400 1000",
         "1600 1000 00000000 01000000"},
        {1, 0, 8000, 8, 0, "0100 0000 401f0000 00000000 0000 0800", ""},
        {3, 8, 96000, 32, 0x63F, "feff 0800 00770100 00e02e00 2000 2000",
         "1600 2000 3f060000 03000000"},
        {1, 2, 22050, 8, 3, "0100 0200 22560000 44ac0000 0200 0800", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.plain);
        AviStream s(1, fourCC("vids"));
        s.header.dwLength = 99;  // cleared
        s.setAudioFormat(r.tag, r.channels, r.rate, r.bits, r.mask);
        std::string text = r.plain;
        if (*r.extension)
            text.append(" ").append(r.extension).append(" 0000 1000 800000aa00389b71");
        const std::vector<uint8_t> expected = hex(text);
        EXPECT_TRUE(sameBytes(expected, s.format));
        const uint32_t align = expected[12] | expected[13] << 8;
        const AviStreamHeader& h = s.header;
        EXPECT_TRUE(h.fccType == fourCC("auds") && h.fccHandler == 0 && h.dwQuality == 10000 &&
                    h.dwLength == 0 && h.dwScale == align && h.dwSampleSize == align &&
                    h.dwRate == align * r.rate);
        EXPECT_TRUE(s.chunkId() == fourCC("01wb") && s.superIndexHeader.dwChunkId == s.chunkId());
    }
}

}  // namespace
