// Two encoders on two threads at once, each with its own stream: no lock is shared between
// them, so this is what the thread sanitizer watches.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "tests/encoder/encoder_test_fixture.h"
#include "tests/encoder/test_frames.h"

namespace {

using ConcurrencyTest = EncoderTest;

// Encodes `frames` frames on its own encoder; answers what went wrong, or nothing.
std::string EncodeStream(Route route, size_t row, uint32_t width, uint32_t height, int frames) {
    EncoderSession session(route, row);
    if (session.createCode() != errNone) return "create: " + std::to_string(session.createCode());
    if (session.setCallback() != errNone) return "callback";
    if (session.open(Settings(width, height)) != errNone) return "open";
    for (int i = 0; i < frames; ++i) {
        const TestFrame frame =
            MakeTestFrame(session.row(), width, height, static_cast<uint32_t>(row * 100 + i));
        auto buffer = MakeFrame(frame.raw, width, height, i);
        if (const int32_t code = session.process(*buffer); code != errNone) {
            return "frame " + std::to_string(i) + ": " + std::to_string(code);
        }
        std::vector<std::vector<uint8_t>> decoded;
        std::string why;
        if (!DecodePacket(session.cookie(), width, height, session.packets().back().bytes, decoded,
                          why)) {
            return "frame " + std::to_string(i) + ": " + why;
        }
        if (auto diff = FirstDifference(frame.expectedPlanes, decoded); !diff.empty()) {
            return "frame " + std::to_string(i) + ": " + diff;
        }
        if (session.packets().back().pts != i) return "frame " + std::to_string(i) + ": pts";
    }
    return {};
}

TEST_P(ConcurrencyTest, TwoEncodersOnTwoThreads) {
    std::string first, second;
    std::thread a([&] { first = EncodeStream(GetParam(), 0, 96, 64, 24); });
    std::thread b([&] { second = EncodeStream(GetParam(), 10, 80, 45, 24); });
    a.join();
    b.join();
    EXPECT_EQ(first, "");
    EXPECT_EQ(second, "");
    EXPECT_TRUE(LogTexts().empty());
}

INSTANTIATE_ON_BOTH_ROUTES(ConcurrencyTest);

}  // namespace
