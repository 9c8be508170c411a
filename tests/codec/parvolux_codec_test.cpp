// ParvoluxCodec against the library stand-in: the order of the library calls, and the exact
// text of every failing call with its arguments rendered. What no call can reach (names the
// library does not know, the largest values, null arguments) is rendered directly at the end.
#include "codec/parvolux_codec.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "codec/frame_format_text.h"
#include "codec/parvolux_error.h"
#include "tests/codec/codec_test_support.h"

namespace {

constexpr FrameFormat kRgbIn = {16, 8, 254, 1, 22, 0, 0, 2, 0};
constexpr FrameFormat kRgbOut = {0, 0, 254, 1, 101, 0, 0, 0, 0};
constexpr char kRgbInText[] = "{{16,8,extended(254)},1,RGB24(22),0,none(0),2,0}";

using Failure = std::pair<std::string, int32_t>;

// The text and status of the ParvoluxError that `call` throws.
template <class Fn>
Failure FailureOf(Fn call) {
    try {
        call();
    } catch (const ParvoluxError& e) {
        return {e.what(), e.status()};
    }
    return {"no failure", 0};
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
    EXPECT_EQ(FailureOf([] { ParvoluxCodec codec; }),
              Failure("Parvolux error (-7): not initialized: ParvoluxCodec(): "
                      "parvolux_library_init()",
                      -7));
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnOpen), 0u);

    parvolux_test_reset();
    parvolux_test_fail(parvoluxFnOpen, -6, 1);
    EXPECT_EQ(FailureOf([] { ParvoluxCodec codec; }).first,
              "Parvolux error (-6): out of memory: ParvoluxCodec(): parvolux_open()");
    // Nothing was opened, so nothing is closed.
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnClose), 0u);
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnLibraryClose), 0u);
}

TEST_F(ParvoluxCodecTest, CompressQueryRendersBothFormatsAndTheSize) {
    ParvoluxCodec codec;
    // The short form shows three fields, whatever the others hold.
    const FrameFormat in = {128, 128, 22, 7, 8, 9, 10, 11, 12};
    const FrameFormat out = {0, 0, 101, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(FailureOf([&] { codec.compressQuery(&in, &out, nullptr); }).first, "no failure");

    parvolux_test_refuse_format(22);
    const std::string text =
        "Parvolux error (-4): unsupported format: compressQuery({128,128,RGB24(22)}, "
        "{0,0,P8RG(101)}, ";
    const Failure refused = FailureOf([&] { codec.compressQuery(&in, &out, nullptr); });
    EXPECT_EQ(refused.first, text + "null)");
    EXPECT_EQ(refused.second, -4);
    uint32_t size = 3000000000u;
    EXPECT_EQ(FailureOf([&] { codec.compressQuery(&in, &out, &size); }).first,
              text + "{0x" + Hex16(&size) + ",3000000000})");
}

TEST_F(ParvoluxCodecTest, CompressBeginFailsOnceWithTheExtendedFormsAndIsNotRetried) {
    ParvoluxCodec codec;
    uint32_t size = 0;
    parvolux_test_fail(parvoluxFnCompressBegin, -5, 1);
    EXPECT_EQ(FailureOf([&] { (void)codec.compressBegin(&kRgbIn, &kRgbOut, &size); }).first,
              "Parvolux error (-5): bad size: compressBegin(" + std::string(kRgbInText) +
                  ", {{0,0,extended(254)},1,P8RG(101),0,none(0),0,0}, {0x" + Hex16(&size) + ",0})");
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnCompressBegin), 1u);
    // The instance is still usable afterwards.
    EXPECT_EQ(FailureOf([&] { (void)codec.compressBegin(&kRgbIn, &kRgbOut, &size); }).first,
              "no failure");
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

    parvolux_test_fail(parvoluxFnCompress, -1, 1);
    EXPECT_EQ(FailureOf([&] { (void)codec.compress(&planes, out.data()); }).first,
              "Parvolux error (-1): failed: compress({{0x" + Hex16(raw.data()) + ",48," +
                  std::to_string(raw.size()) + "},{null,0,0},{null,0,0},{null,0,0}}, 0x" +
                  Hex16(out.data()) + ")");
    parvolux_test_fail(parvoluxFnInitPlanesCommon, -2, 1);
    EXPECT_EQ(FailureOf([&] { (void)codec.initPlanesCommon(&kRgbIn, raw.data()); }).first,
              "Parvolux error (-2): bad handle: initPlanesCommon(" + std::string(kRgbInText) +
                  ", 0x" + Hex16(raw.data()) + ")");
    // The library's own refusal of a null frame.
    EXPECT_EQ(FailureOf([&] { (void)codec.initPlanesCommon(&kRgbIn, nullptr); }).first,
              "Parvolux error (-3): bad argument: initPlanesCommon(" + std::string(kRgbInText) +
                  ", null)");
}

TEST(FailureTexts, RenderWhatNoLibraryCallReaches) {
    const FrameFormat unknown = {3, 5, 77, 0, 0, 0, 0, 0, 0};
    const FrameFormat widest = {4294967295u, 7, 254, 3, 59, 4, 9, 2, 2};
    std::ostringstream os;
    FrameFormatText::format(os, &unknown);
    FrameFormatText::format(os, &widest);
    FrameFormatText::address(os, reinterpret_cast<const void*>(uintptr_t{0x7ffde0c1f00d}));
    FrameFormatText::format(os, nullptr);
    FrameFormatText::bufferSize(os, nullptr);
    FrameFormatText::planes(os, nullptr);
    EXPECT_EQ(os.str(),
              "{3,5,unknown(77)}{{4294967295,7,extended(254)},3,YUV422P16(59),4,unknown(9),2,2}"
              "0x00007FFDE0C1F00Dnullnullnull");
    for (const int32_t status : {-99, 3, INT32_MIN}) {
        EXPECT_EQ(
            FailureOf([&] { throw ParvoluxError("where", status); }),
            Failure("Parvolux error (" + std::to_string(status) + "): unknown: where", status));
    }
}

}  // namespace
