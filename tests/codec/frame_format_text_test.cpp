// The renderings that go into the texts of failed library calls. Names are the library's own
// ("extended" for 254, "RGB24" for 22, "P8RG" for 101, "none" for extC 0, "unknown" otherwise).
#include "codec/frame_format_text.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/codec/codec_test_support.h"

namespace {

template <class Fn>
std::string Render(Fn fn) {
    std::ostringstream os;
    fn(os);
    return os.str();
}

TEST(FrameFormatText, FormatsInShortAndExtendedForm) {
    struct Case {
        const char* what;
        FrameFormat format;
        const char* text;
    };
    const Case cases[] = {
        {"short form keeps the first three fields only",
         {1920, 1080, 22, 7, 8, 9, 10, 11, 12},
         "{1920,1080,RGB24(22)}"},
        {"short form with a compressed code", {0, 0, 101, 0, 0, 0, 0, 0, 0}, "{0,0,P8RG(101)}"},
        {"short form with a code the library does not know",
         {3, 5, 77, 0, 0, 0, 0, 0, 0},
         "{3,5,unknown(77)}"},
        {"extended form shows all nine",
         {1920, 1080, 254, 1, 22, 0, 0, 1, 0},
         "{{1920,1080,extended(254)},1,RGB24(22),0,none(0),1,0}"},
        {"extended output form",
         {0, 0, 254, 1, 101, 0, 0, 0, 0},
         "{{0,0,extended(254)},1,P8RG(101),0,none(0),0,0}"},
        {"extended form, unsigned decimal and an unknown extC",
         {4294967295u, 7, 254, 3, 59, 4, 9, 2, 2},
         "{{4294967295,7,extended(254)},3,YUV422P16(59),4,unknown(9),2,2}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Render([&](std::ostream& os) { FrameFormatText::format(os, &c.format); }),
                  c.text);
    }
}

TEST(FrameFormatText, NullPointersRenderAsNull) {
    EXPECT_EQ(Render([](std::ostream& os) { FrameFormatText::format(os, nullptr); }), "null");
    EXPECT_EQ(Render([](std::ostream& os) { FrameFormatText::bufferSize(os, nullptr); }), "null");
    EXPECT_EQ(Render([](std::ostream& os) { FrameFormatText::planes(os, nullptr); }), "null");
    EXPECT_EQ(Render([](std::ostream& os) { FrameFormatText::address(os, nullptr); }), "null");
}

TEST(FrameFormatText, AddressesHaveSixteenUpperCaseDigits) {
    const auto* low = reinterpret_cast<const void*>(uintptr_t{0xab});
    EXPECT_EQ(Render([&](std::ostream& os) { FrameFormatText::address(os, low); }),
              "0x00000000000000AB");
    const auto* high = reinterpret_cast<const void*>(uintptr_t{0x7ffde0c1f00d});
    EXPECT_EQ(Render([&](std::ostream& os) { FrameFormatText::address(os, high); }),
              "0x00007FFDE0C1F00D");
}

TEST(FrameFormatText, BufferSizeShowsAddressAndCurrentValue) {
    uint32_t size = 0;
    EXPECT_EQ(Render([&](std::ostream& os) { FrameFormatText::bufferSize(os, &size); }),
              "{0x" + Hex16(&size) + ",0}");
    size = 3000000000u;
    EXPECT_EQ(Render([&](std::ostream& os) { FrameFormatText::bufferSize(os, &size); }),
              "{0x" + Hex16(&size) + ",3000000000}");
}

TEST(FrameFormatText, PlanesShowAllFourEntries) {
    uint8_t bytes[64] = {};
    FramePlanes planes{};
    planes.plane[0] = {bytes, 8, 32};
    planes.plane[1] = {bytes + 32, 4, 16};
    planes.plane[2] = {bytes + 48, 4, 16};
    EXPECT_EQ(Render([&](std::ostream& os) { FrameFormatText::planes(os, &planes); }),
              "{{0x" + Hex16(bytes) + ",8,32},{0x" + Hex16(bytes + 32) + ",4,16},{0x" +
                  Hex16(bytes + 48) + ",4,16},{null,0,0}}");
}

}  // namespace
