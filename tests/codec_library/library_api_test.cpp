// The exported functions as the plug-in calls them: accepted pairs, sizes, argument checks,
// handles and the init count. (Plane tables are proved by the round trips, which hand the library
// tightly packed frames; the names of codes by the plug-in's failure texts.)
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "codec_test_support.h"
#include "platform/parvolux_common64/parvolux_test_controls.h"

namespace {

using codec_test::extendedIn;
using codec_test::extendedOut;
using codec_test::shortForm;

class LibraryApi : public testing::Test {
protected:
    void SetUp() override {
        parvolux_test_reset();
        ASSERT_EQ(parvolux_library_init(), 0);
        ASSERT_EQ(parvolux_open(&m_handle), 0);
    }
    void TearDown() override {
        EXPECT_EQ(parvolux_close(m_handle), 0);
        EXPECT_EQ(parvolux_library_close(), 0);
    }
    int32_t query(const FrameFormat& in, const FrameFormat& out) {
        uint64_t reserved = 0;
        return parvolux_compress_query(m_handle, &in, &out, &reserved, nullptr);
    }
    int32_t begin(const FrameFormat& in, const FrameFormat& out) {
        const uint8_t* cookie = nullptr;
        uint64_t cookieSize = 0;
        return parvolux_compress_begin(m_handle, &in, &out, &cookie, &cookieSize, &m_bufferSize);
    }
    uint32_t m_handle = 0, m_bufferSize = 0;
};

TEST_F(LibraryApi, QueryAcceptsExactlyTheSixteenPairsInBothForms) {
    const uint32_t codes[] = {5,   10,  20,  22,  26,  28,  29,  51,  59,  101, 102, 103, 104,
                              105, 107, 108, 109, 110, 111, 112, 113, 114, 115, 118, 123, 0,
                              1,   106, 116, 117, 119, 120, 121, 122, 124, 254, 255};
    std::set<std::pair<uint32_t, uint32_t>> rows;
    for (const auto& row : codec_test::kStreamRows) rows.emplace(row.raw, row.compressed);
    for (uint32_t raw : codes)
        for (uint32_t compressed : codes) {
            const int32_t expected = rows.count({raw, compressed}) != 0 ? 0 : -4;
            SCOPED_TRACE(std::to_string(raw) + " -> " + std::to_string(compressed));
            EXPECT_EQ(query(shortForm(raw, 128, 128), shortForm(compressed, 0, 0)), expected);
            EXPECT_EQ(query(extendedIn(raw, 128, 128), extendedOut(compressed)), expected);
        }
}

TEST_F(LibraryApi, BeginRejectsBadFormatsAndSizes) {
    const struct {
        FrameFormat in, out;
        int32_t status;
    } cases[] = {{extendedIn(22, 0, 1080), extendedOut(101), -5},
                 {extendedIn(22, 1920, 0), extendedOut(101), -5},
                 {extendedIn(22, 1920, 1080), extendedOut(102), -4},
                 {extendedIn(21, 1920, 1080), extendedOut(101), -4},
                 // 65536 x 65536 RGBA64 is 32 GiB: its sizes do not fit 32 bits.
                 {extendedIn(26, 65536, 65536), extendedOut(110), -5},
                 {extendedIn(22, 0xFFFFFFFFu, 2), extendedOut(101), -5},
                 {extendedIn(29, 40000, 40000), extendedOut(103), -5},
                 {shortForm(22, 1920, 1080), shortForm(101, 0, 0), 0},
                 {extendedIn(22, 1920, 1080), extendedOut(101), 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.in.width) + "x" + std::to_string(c.in.height) + " " +
                     std::to_string(c.in.pixelFormat) + " -> " + std::to_string(c.out.pixelFormat));
        EXPECT_EQ(begin(c.in, c.out), c.status);
    }
    // Query names the same buffer size when asked.
    uint32_t fromQuery = 0;
    const FrameFormat in = extendedIn(22, 640, 480), out = extendedOut(101);
    ASSERT_EQ(parvolux_compress_query(m_handle, &in, &out, nullptr, &fromQuery), 0);
    ASSERT_EQ(begin(in, out), 0);
    EXPECT_EQ(fromQuery, m_bufferSize);
    // No bound without a height; rows too wide for the 32-bit row buffers are refused.
    const FrameFormat noHeight = extendedIn(22, 640, 0), wide = extendedIn(10, 1u << 29, 1),
                      luma = extendedOut(107);
    EXPECT_EQ(parvolux_compress_query(m_handle, &noHeight, &out, nullptr, &fromQuery), 0);
    EXPECT_EQ(parvolux_compress_query(m_handle, &wide, &luma, nullptr, &fromQuery), -5);
}

// The decoder answers the range and field order the encoder was given; the short form, and values
// it does not know, say nothing (as the zeros of older cookies do).
TEST_F(LibraryApi, CookieCarriesRangeAndFieldOrderToTheDecoder) {
    const auto given = [](uint32_t range, uint32_t fieldOrder) {
        FrameFormat in = extendedIn(29, 6, 4);
        in.range = range;
        in.fieldOrder = fieldOrder;
        return in;
    };
    const struct {
        FrameFormat in, out;
        uint32_t range, fieldOrder;
    } cases[] = {{given(2, 1), extendedOut(103), 2, 1},
                 {given(1, 2), extendedOut(103), 1, 2},
                 {given(1, 0), extendedOut(103), 1, 0},
                 {given(3, 7), extendedOut(103), 0, 0},
                 {shortForm(29, 6, 4), shortForm(103, 0, 0), 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.in.range) + " " + std::to_string(c.in.fieldOrder));
        const uint8_t* cookie = nullptr;
        uint64_t size = 0;
        ASSERT_EQ(parvolux_compress_begin(m_handle, &c.in, &c.out, &cookie, &size, &m_bufferSize),
                  0);
        EXPECT_LE(size, 8u);
        ParvoluxDecoder* decoder = nullptr;
        ASSERT_EQ(parvolux_decoder_open(cookie, size, 6, 4, 0, &decoder), 0);
        ParvoluxPictureInfo info{9, 9};
        EXPECT_EQ(parvolux_decoder_picture(decoder, &info), 0);
        EXPECT_EQ(info.range, c.range);
        EXPECT_EQ(info.fieldOrder, c.fieldOrder);
        EXPECT_EQ(parvolux_decoder_picture(decoder, nullptr), -3);
        parvolux_decoder_close(decoder);
    }
}

TEST_F(LibraryApi, CompressChecksItsArguments) {
    const codec_test::RawFrame raw =
        codec_test::makeRawFrame(22, 16, 8, codec_test::Content::Natural, 1);
    FramePlanes planes{};
    const FrameFormat in = extendedIn(22, 16, 8);
    ASSERT_EQ(parvolux_init_planes_common(m_handle, &in, &planes, raw.bytes.data()), 0);
    std::vector<uint8_t> out(4096);
    uint32_t size = 0;
    EXPECT_EQ(parvolux_compress(m_handle, &planes, out.data(), &size), -1) << "before begin";
    ASSERT_EQ(begin(in, extendedOut(101)), 0);
    EXPECT_EQ(parvolux_compress(m_handle, nullptr, out.data(), &size), -3);
    EXPECT_EQ(parvolux_compress(m_handle, &planes, nullptr, &size), -3);
    EXPECT_EQ(parvolux_compress(m_handle, &planes, out.data(), nullptr), -3);
    EXPECT_EQ(parvolux_compress(m_handle + 1000, &planes, out.data(), &size), -2);
    FramePlanes bad = planes;
    bad.plane[0].byteCount -= 1;
    EXPECT_EQ(parvolux_compress(m_handle, &bad, out.data(), &size), -3) << "plane too small";
    bad = planes;
    bad.plane[0].aux -= 1;
    EXPECT_EQ(parvolux_compress(m_handle, &bad, out.data(), &size), -3) << "stride too small";
    EXPECT_EQ(parvolux_compress(m_handle, &planes, out.data(), &size), 0);
    EXPECT_GT(size, 0u);
}

TEST(LibraryInit, IsReferenceCountedAndHandsOutDistinctHandles) {
    parvolux_test_reset();
    uint32_t handle = 0;
    EXPECT_EQ(parvolux_open(&handle), -7) << "before init";
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(parvolux_library_close(), -7);
    ASSERT_EQ(parvolux_library_init(), 0);
    ASSERT_EQ(parvolux_library_init(), 0);
    EXPECT_EQ(parvolux_library_close(), 0);
    std::set<uint32_t> handles;  // one init still open
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(parvolux_open(&handle), 0);
        EXPECT_TRUE(handle != 0 && handles.insert(handle).second) << handle;
    }
    for (uint32_t h : handles) EXPECT_EQ(parvolux_close(h), 0);
    EXPECT_EQ(parvolux_close(0), -2);
    EXPECT_EQ(parvolux_close(*handles.begin()), -2) << "closed already";
    EXPECT_EQ(parvolux_open(nullptr), -3);
    EXPECT_EQ(parvolux_library_close(), 0);
    EXPECT_EQ(parvolux_open(&handle), -7);
    const FrameFormat in = shortForm(22, 128, 128), out = shortForm(101, 0, 0);
    EXPECT_EQ(parvolux_compress_query(1, &in, &out, nullptr, nullptr), -7);
}

}  // namespace
