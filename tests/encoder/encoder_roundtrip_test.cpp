// Every format of the table, through the encoder and back through the library's decoder: the
// packet holds what went in, as far as the stream keeps it, and the library read the frame from
// the host's own buffer.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/encoder/encoder_test_fixture.h"
#include "tests/encoder/test_frames.h"

namespace {

class RoundTripTest : public EncoderTest {};

struct Size {
    uint32_t width;
    uint32_t height;
};

TEST_P(RoundTripTest, EveryFormatDecodesToItsInput) {
    // Odd sizes reach the last lone chroma column and row of the subsampled formats.
    const Size sizes[] = {{37, 19}, {2, 2}, {64, 48}};
    for (size_t row = 0; row < Table().size(); ++row) {
        for (const Size& size : sizes) {
            SCOPED_TRACE(Table()[row].name + " " + std::to_string(size.width) + "x" +
                         std::to_string(size.height));
            ASSERT_TRUE(Start(row, size.width, size.height));
            for (uint32_t seed = 1; seed <= 2; ++seed) {
                const TestFrame frame =
                    MakeTestFrame(session().row(), size.width, size.height, seed);
                ASSERT_EQ(frame.raw.size(), RawFrameSize(session().row(), size.width, size.height));
                auto buffer = MakeFrame(frame.raw, size.width, size.height, seed);
                ASSERT_EQ(session().process(*buffer), errNone)
                    << ::testing::PrintToString(LogTexts());
                // Zero copy: the library read the planes straight from the host's buffer.
                EXPECT_EQ(parvolux_test_last_input(), DataOf(*buffer));

                ASSERT_EQ(session().packets().size(), seed);
                std::vector<std::vector<uint8_t>> decoded;
                std::string why;
                ASSERT_TRUE(DecodePacket(session().cookie(), size.width, size.height,
                                         session().packets().back().bytes, decoded, why))
                    << why;
                EXPECT_EQ(FirstDifference(frame.expectedPlanes, decoded), "");
            }
            m_session.reset();
        }
    }
    EXPECT_TRUE(LogTexts().empty());
}

INSTANTIATE_ON_BOTH_ROUTES(RoundTripTest);

}  // namespace
