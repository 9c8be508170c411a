// ParvoluxCodec against the library stand-in: the order of the library calls, and the exact
// text of every failing call with its arguments rendered.
#include "codec/parvolux_codec.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "codec/parvolux_error.h"
#include "tests/codec/codec_test_support.h"

namespace {

constexpr FrameFormat kRgbIn = {16, 8, 254, 1, 22, 0, 0, 2, 0};
constexpr FrameFormat kRgbOut = {0, 0, 254, 1, 101, 0, 0, 0, 0};

// Runs `call` and answers the ParvoluxError it threw, or nothing.
template <class Fn>
std::optional<ParvoluxError> Failure(Fn call) {
    try {
        call();
    } catch (const ParvoluxError& e) {
        return e;
    }
    return std::nullopt;
}

using ParvoluxCodecTest = LibraryControlsTest;

TEST_F(ParvoluxCodecTest, OpensOneInstanceAndClosesItAtTheEnd) {
    {
        ParvoluxCodec codec;
        EXPECT_EQ(parvolux_test_call_count(parvoluxFnLibraryInit), 1u);
        EXPECT_EQ(parvolux_test_call_count(parvoluxFnOpen), 1u);
        EXPECT_EQ(parvolux_test_live_instances(), m_liveBefore + 1);
        EXPECT_EQ(parvolux_test_call_count(parvoluxFnClose), 0u);
    }
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnClose), 1u);
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnLibraryClose), 1u);
}

TEST_F(ParvoluxCodecTest, FailedStartUpCallsNothingMore) {
    parvolux_test_fail(parvoluxFnLibraryInit, -7, 1);
    auto error = Failure([] { ParvoluxCodec codec; });
    ASSERT_TRUE(error);
    EXPECT_STREQ(error->what(),
                 "Parvolux error (-7): not initialized: ParvoluxCodec(): parvolux_library_init()");
    EXPECT_EQ(error->status(), -7);
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnOpen), 0u);

    parvolux_test_reset();
    parvolux_test_fail(parvoluxFnOpen, -6, 1);
    error = Failure([] { ParvoluxCodec codec; });
    ASSERT_TRUE(error);
    EXPECT_STREQ(error->what(),
                 "Parvolux error (-6): out of memory: ParvoluxCodec(): parvolux_open()");
    // Nothing was opened, so nothing is closed.
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnClose), 0u);
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnLibraryClose), 0u);
}

TEST_F(ParvoluxCodecTest, CompressQueryRendersBothFormatsAndTheSize) {
    ParvoluxCodec codec;
    const FrameFormat in = {128, 128, 22, 0, 0, 0, 0, 0, 0};
    const FrameFormat out = {0, 0, 101, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(Failure([&] { codec.compressQuery(&in, &out, nullptr); }));

    parvolux_test_refuse_format(22);
    auto error = Failure([&] { codec.compressQuery(&in, &out, nullptr); });
    ASSERT_TRUE(error);
    EXPECT_STREQ(error->what(),
                 "Parvolux error (-4): unsupported format: "
                 "compressQuery({128,128,RGB24(22)}, {0,0,P8RG(101)}, null)");
    EXPECT_EQ(error->status(), -4);

    uint32_t size = 77;
    error = Failure([&] { codec.compressQuery(&in, &out, &size); });
    ASSERT_TRUE(error);
    EXPECT_EQ(std::string(error->what()),
              "Parvolux error (-4): unsupported format: "
              "compressQuery({128,128,RGB24(22)}, {0,0,P8RG(101)}, {0x" +
                  Hex16(&size) + ",77})");
}

TEST_F(ParvoluxCodecTest, CompressBeginFailureRendersTheExtendedForms) {
    ParvoluxCodec codec;
    const FrameFormat in = {1920, 1080, 254, 1, 22, 0, 0, 1, 0};
    uint32_t size = 0;
    parvolux_test_fail(parvoluxFnCompressBegin, -5, 1);
    const auto error = Failure([&] { (void)codec.compressBegin(&in, &kRgbOut, &size); });
    ASSERT_TRUE(error);
    EXPECT_EQ(std::string(error->what()),
              "Parvolux error (-5): bad size: "
              "compressBegin({{1920,1080,extended(254)},1,RGB24(22),0,none(0),1,0}, "
              "{{0,0,extended(254)},1,P8RG(101),0,none(0),0,0}, {0x" +
                  Hex16(&size) + ",0})");
}

TEST_F(ParvoluxCodecTest, CompressesFromTheCallersMemory) {
    ParvoluxCodec codec;
    uint32_t bufferSize = 0;
    const Cookie cookie = codec.compressBegin(&kRgbIn, &kRgbOut, &bufferSize);
    ASSERT_NE(cookie.data, nullptr);
    EXPECT_GT(cookie.size, 0u);
    ASSERT_GT(bufferSize, 0u);

    std::vector<uint8_t> raw(16 * 8 * 3);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i * 7);
    const FramePlanes planes = codec.initPlanesCommon(&kRgbIn, raw.data());
    EXPECT_EQ(planes.plane[0].data, raw.data());
    EXPECT_EQ(planes.plane[0].byteCount, raw.size());

    std::vector<uint8_t> out(bufferSize);
    const uint32_t written = codec.compress(&planes, out.data());
    EXPECT_GT(written, 0u);
    EXPECT_LE(written, bufferSize);
    EXPECT_EQ(parvolux_test_last_input(), raw.data());
}

TEST_F(ParvoluxCodecTest, InitPlanesAndCompressFailuresRenderTheirArguments) {
    ParvoluxCodec codec;
    uint32_t bufferSize = 0;
    (void)codec.compressBegin(&kRgbIn, &kRgbOut, &bufferSize);
    std::vector<uint8_t> raw(16 * 8 * 3);
    const std::string inText = "{{16,8,extended(254)},1,RGB24(22),0,none(0),2,0}";

    parvolux_test_fail(parvoluxFnInitPlanesCommon, -2, 1);
    auto error = Failure([&] { (void)codec.initPlanesCommon(&kRgbIn, raw.data()); });
    ASSERT_TRUE(error);
    EXPECT_EQ(std::string(error->what()), "Parvolux error (-2): bad handle: initPlanesCommon(" +
                                              inText + ", 0x" + Hex16(raw.data()) + ")");

    // The library's own refusal of a null frame, rendered as "null".
    error = Failure([&] { (void)codec.initPlanesCommon(&kRgbIn, nullptr); });
    ASSERT_TRUE(error);
    EXPECT_EQ(std::string(error->what()),
              "Parvolux error (-3): bad argument: initPlanesCommon(" + inText + ", null)");

    const FramePlanes planes = codec.initPlanesCommon(&kRgbIn, raw.data());
    std::vector<uint8_t> out(bufferSize);
    parvolux_test_fail(parvoluxFnCompress, -1, 1);
    error = Failure([&] { (void)codec.compress(&planes, out.data()); });
    ASSERT_TRUE(error);
    EXPECT_EQ(std::string(error->what()),
              "Parvolux error (-1): failed: compress({{0x" + Hex16(raw.data()) + ",48," +
                  std::to_string(raw.size()) + "},{null,0,0},{null,0,0},{null,0,0}}, 0x" +
                  Hex16(out.data()) + ")");
}

TEST_F(ParvoluxCodecTest, FailuresAreNotRetried) {
    ParvoluxCodec codec;
    uint32_t bufferSize = 0;
    parvolux_test_fail(parvoluxFnCompressBegin, -1, 1);
    EXPECT_TRUE(Failure([&] { (void)codec.compressBegin(&kRgbIn, &kRgbOut, &bufferSize); }));
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnCompressBegin), 1u);
    // The instance is still usable afterwards.
    EXPECT_FALSE(Failure([&] { (void)codec.compressBegin(&kRgbIn, &kRgbOut, &bufferSize); }));
}

}  // namespace
