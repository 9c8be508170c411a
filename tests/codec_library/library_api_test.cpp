// The nine exported functions as the plug-in calls them: accepted pairs, names, statuses, plane
// tables, handles and the init count.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "codec/parvolux_library.h"
#include "codec_test_support.h"
#include "platform/parvolux_common64/parvolux_test_controls.h"

namespace {

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
    int32_t begin(const FrameFormat& in, const FrameFormat& out, uint32_t* size = nullptr) {
        const uint8_t* cookie = nullptr;
        uint64_t cookieSize = 0;
        uint32_t bufferSize = 0;
        const int32_t status =
            parvolux_compress_begin(m_handle, &in, &out, &cookie, &cookieSize, &bufferSize);
        if (size != nullptr) *size = bufferSize;
        return status;
    }
    uint32_t m_handle = 0;
};

const uint32_t kAllCodes[] = {5,   10,  20,  22,  26,  28,  29,  51,  59,  101, 102, 103, 104,
                              105, 107, 108, 109, 110, 111, 112, 113, 114, 115, 118, 123, 0,
                              1,   106, 116, 117, 119, 120, 121, 122, 124, 254, 255};

TEST_F(LibraryApi, QueryAcceptsExactlyTheSixteenPairsInBothForms) {
    std::set<std::pair<uint32_t, uint32_t>> rows;
    for (const auto& row : codec_test::streamRows()) rows.emplace(row.raw, row.compressed);
    ASSERT_EQ(rows.size(), 16u);
    for (uint32_t raw : kAllCodes)
        for (uint32_t compressed : kAllCodes) {
            const bool row = rows.count({raw, compressed}) != 0;
            SCOPED_TRACE(std::to_string(raw) + " -> " + std::to_string(compressed));
            EXPECT_EQ(query(codec_test::shortForm(raw, 128, 128),
                            codec_test::shortForm(compressed, 0, 0)) == 0,
                      row);
            EXPECT_EQ(query(codec_test::extendedIn(raw, 128, 128),
                            codec_test::extendedOut(compressed)) == 0,
                      row);
            if (!row) {
                EXPECT_EQ(query(codec_test::shortForm(raw, 128, 128),
                                codec_test::shortForm(compressed, 0, 0)),
                          -4);
            }
        }
}

TEST_F(LibraryApi, QueryNamesTheBufferSizeWhenAsked) {
    uint32_t fromQuery = 0, fromBegin = 0;
    const FrameFormat in = codec_test::extendedIn(22, 640, 480), out = codec_test::extendedOut(101);
    ASSERT_EQ(parvolux_compress_query(m_handle, &in, &out, nullptr, &fromQuery), 0);
    ASSERT_EQ(begin(in, out, &fromBegin), 0);
    EXPECT_EQ(fromQuery, fromBegin);
}

TEST_F(LibraryApi, BeginRejectsBadFormatsAndSizes) {
    const struct {
        FrameFormat in, out;
        int32_t status;
    } cases[] = {
        {codec_test::extendedIn(22, 0, 1080), codec_test::extendedOut(101), -5},
        {codec_test::extendedIn(22, 1920, 0), codec_test::extendedOut(101), -5},
        {codec_test::extendedIn(22, 1920, 1080), codec_test::extendedOut(102), -4},
        {codec_test::extendedIn(21, 1920, 1080), codec_test::extendedOut(101), -4},
        // 65536 x 65536 RGBA64 is 32 GiB: its sizes do not fit 32 bits.
        {codec_test::extendedIn(26, 65536, 65536), codec_test::extendedOut(110), -5},
        {codec_test::extendedIn(22, 0xFFFFFFFFu, 2), codec_test::extendedOut(101), -5},
        {codec_test::extendedIn(29, 40000, 40000), codec_test::extendedOut(103), -5},
        {codec_test::shortForm(22, 1920, 1080), codec_test::shortForm(101, 0, 0), 0},
        {codec_test::extendedIn(22, 1920, 1080), codec_test::extendedOut(101), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.in.width) + "x" + std::to_string(c.in.height) + " " +
                     std::to_string(c.in.pixelFormat) + " -> " + std::to_string(c.out.pixelFormat));
        EXPECT_EQ(begin(c.in, c.out), c.status);
    }
}

TEST_F(LibraryApi, BeginAnswersAShortCookieNamingTheStream) {
    for (const auto& row : codec_test::streamRows()) {
        const FrameFormat in = codec_test::extendedIn(row.raw, 320, 240),
                          out = codec_test::extendedOut(row.compressed);
        const uint8_t* cookie = nullptr;
        uint64_t cookieSize = 0;
        uint32_t bufferSize = 0;
        ASSERT_EQ(parvolux_compress_begin(m_handle, &in, &out, &cookie, &cookieSize, &bufferSize),
                  0);
        ASSERT_NE(cookie, nullptr);
        ASSERT_LE(cookieSize, 16u);
        ASSERT_GE(cookieSize, 5u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(cookie), 4), row.fourcc);
        EXPECT_EQ(cookie[4], 1) << "bitstream version";
    }
}

TEST_F(LibraryApi, InitPlanesDescribesEveryRawLayout) {
    const uint32_t w = 5, h = 3, cw = 3, ch = 2;
    const struct {
        uint32_t code;
        std::vector<std::pair<uint32_t, uint32_t>> planes;  // stride, rows
    } cases[] = {
        {22, {{15, h}}},
        {20, {{20, h}}},
        {29, {{w, h}, {w, h}, {w, h}}},
        {5, {{12, h}}},
        {10, {{w, h}, {cw, ch}, {cw, ch}}},
        {28, {{30, h}}},
        {26, {{40, h}}},
        {51, {{10, h}, {10, h}, {10, h}}},
        {59, {{10, h}, {6, h}, {6, h}}},
    };
    static uint8_t raw[1024];
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        for (bool extended : {false, true}) {
            const FrameFormat in = extended ? codec_test::extendedIn(c.code, w, h)
                                            : codec_test::shortForm(c.code, w, h);
            FramePlanes planes{};
            ASSERT_EQ(parvolux_init_planes_common(m_handle, &in, &planes, raw), 0);
            const uint8_t* next = raw;
            for (size_t p = 0; p < 4; ++p) {
                const FramePlane& plane = planes.plane[p];
                if (p >= c.planes.size()) {
                    EXPECT_EQ(plane.data, nullptr);
                    EXPECT_EQ(plane.aux, 0u);
                    EXPECT_EQ(plane.byteCount, 0u);
                    continue;
                }
                EXPECT_EQ(plane.data, next) << "plane " << p;
                EXPECT_EQ(plane.aux, c.planes[p].first) << "plane " << p;
                EXPECT_EQ(plane.byteCount, c.planes[p].first * c.planes[p].second) << "plane " << p;
                next += plane.byteCount;
            }
        }
    }
    FramePlanes planes{};
    const FrameFormat unknown = codec_test::shortForm(101, w, h);
    EXPECT_EQ(parvolux_init_planes_common(m_handle, &unknown, &planes, raw), -4);
    EXPECT_EQ(parvolux_init_planes_common(m_handle, &unknown, &planes, nullptr), -3);
}

TEST_F(LibraryApi, CompressChecksItsArguments) {
    const codec_test::StreamRow& row = codec_test::streamRows()[0];
    const codec_test::RawFrame raw =
        codec_test::makeRawFrame(row.raw, 16, 8, codec_test::Content::Natural, 1);
    FramePlanes planes{};
    const FrameFormat in = codec_test::extendedIn(row.raw, 16, 8);
    ASSERT_EQ(parvolux_init_planes_common(m_handle, &in, &planes, raw.bytes.data()), 0);
    std::vector<uint8_t> out(4096);
    uint32_t size = 0;
    EXPECT_EQ(parvolux_compress(m_handle, &planes, out.data(), &size), -1) << "before begin";
    ASSERT_EQ(begin(in, codec_test::extendedOut(row.compressed)), 0);
    EXPECT_EQ(parvolux_compress(m_handle, nullptr, out.data(), &size), -3);
    EXPECT_EQ(parvolux_compress(m_handle, &planes, nullptr, &size), -3);
    EXPECT_EQ(parvolux_compress(m_handle, &planes, out.data(), nullptr), -3);
    EXPECT_EQ(parvolux_compress(m_handle + 1000, &planes, out.data(), &size), -2);
    FramePlanes small = planes;
    small.plane[0].byteCount -= 1;
    EXPECT_EQ(parvolux_compress(m_handle, &small, out.data(), &size), -3);
    FramePlanes narrow = planes;
    narrow.plane[0].aux -= 1;
    EXPECT_EQ(parvolux_compress(m_handle, &narrow, out.data(), &size), -3);
    EXPECT_EQ(parvolux_compress(m_handle, &planes, out.data(), &size), 0);
    EXPECT_GT(size, 0u);
}

TEST_F(LibraryApi, PaddedStridesCompressLikeTightRows) {
    const codec_test::StreamRow& row = codec_test::streamRows()[2];  // planar 4:4:4
    const uint32_t w = 37, h = 11;
    const codec_test::RawFrame raw =
        codec_test::makeRawFrame(row.raw, w, h, codec_test::Content::Natural, 4);
    codec_test::Session session(row, w, h);
    const std::vector<uint8_t> tight = session.compress(raw);
    // The same frame with 64-byte rows.
    std::vector<uint8_t> padded(3 * 64 * h, 0xEE);
    FramePlanes planes{};
    for (unsigned p = 0; p < 3; ++p) {
        for (uint32_t y = 0; y < h; ++y)
            std::copy_n(raw.bytes.data() + raw.planeOffset[p] + y * w, w,
                        padded.data() + (p * h + y) * 64);
        planes.plane[p] = {padded.data() + p * h * 64, 64, 64 * h};
    }
    std::vector<uint8_t> out(session.bufferSize());
    uint32_t size = 0;
    ASSERT_EQ(parvolux_compress(session.handle(), &planes, out.data(), &size), 0);
    out.resize(size);
    EXPECT_EQ(out, tight);
}

TEST_F(LibraryApi, HandlesAreNonzeroAndDistinct) {
    std::set<uint32_t> handles{m_handle};
    EXPECT_NE(m_handle, 0u);
    for (int i = 0; i < 5; ++i) {
        uint32_t h = 0;
        ASSERT_EQ(parvolux_open(&h), 0);
        EXPECT_NE(h, 0u);
        EXPECT_TRUE(handles.insert(h).second);
    }
    for (uint32_t h : handles) {
        if (h != m_handle) {
            EXPECT_EQ(parvolux_close(h), 0);
        }
    }
    EXPECT_EQ(parvolux_close(0), -2);
    EXPECT_EQ(parvolux_close(0xDEADBEEF), -2);
    EXPECT_EQ(parvolux_open(nullptr), -3);
}

TEST(LibraryInit, IsReferenceCounted) {
    parvolux_test_reset();
    uint32_t handle = 0;
    EXPECT_EQ(parvolux_open(&handle), -7) << "before init";
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(parvolux_library_close(), -7);
    ASSERT_EQ(parvolux_library_init(), 0);
    ASSERT_EQ(parvolux_library_init(), 0);
    EXPECT_EQ(parvolux_library_close(), 0);
    ASSERT_EQ(parvolux_open(&handle), 0) << "one init still open";
    EXPECT_EQ(parvolux_close(handle), 0);
    EXPECT_EQ(parvolux_library_close(), 0);
    EXPECT_EQ(parvolux_open(&handle), -7);
    const FrameFormat in = codec_test::shortForm(22, 128, 128),
                      out = codec_test::shortForm(101, 0, 0);
    EXPECT_EQ(parvolux_compress_query(1, &in, &out, nullptr, nullptr), -7);
}

TEST(LibraryStrings, NameEveryCodeAndNeverAnswerNull) {
    const struct {
        int32_t category, code;
        const char* name;
    } cases[] = {
        {1, 22, "RGB24"},
        {1, 20, "RGBA32"},
        {1, 29, "YUV444P8"},
        {1, 5, "UYVY"},
        {1, 10, "YUV420P8"},
        {1, 28, "RGB48"},
        {1, 26, "RGBA64"},
        {1, 51, "YUV444P16"},
        {1, 59, "YUV422P16"},
        {1, 254, "extended"},
        {1, 101, "P8RG"},
        {1, 123, "P0Y0"},
        {1, 108, "P0Y2"},
        {1, 115, "P0G0"},
        {1, 114, "P4RA"},
        {1, 0, "unknown"},
        {1, -1, "unknown"},
        {1, 106, "unknown"},
        {2, 0, "ok"},
        {2, -1, "failed"},
        {2, -2, "bad handle"},
        {2, -3, "bad argument"},
        {2, -4, "unsupported format"},
        {2, -5, "bad size"},
        {2, -6, "out of memory"},
        {2, -7, "not initialized"},
        {2, 1, "unknown"},
        {2, -8, "unknown"},
        {3, 0, "none"},
        {3, 1, "unknown"},
        {0, 0, "unknown"},
        {4, 0, "unknown"},
        {-1, 22, "unknown"},
    };
    for (const auto& c : cases) {
        const char* name = parvolux_get_string(c.category, c.code);
        ASSERT_NE(name, nullptr);
        EXPECT_STREQ(name, c.name) << "category " << c.category << " code " << c.code;
    }
    for (const auto& row : codec_test::streamRows()) {
        EXPECT_STREQ(parvolux_get_string(1, static_cast<int32_t>(row.compressed)), row.fourcc);
        EXPECT_STREQ(parvolux_get_string(1, static_cast<int32_t>(row.raw)), row.rawName);
    }
}

}  // namespace
