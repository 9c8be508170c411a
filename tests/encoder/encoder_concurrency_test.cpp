// Two encoders on two threads at once, each with its own stream: no lock is shared between
// them, so this is what the thread sanitizer watches.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "tests/encoder/encoder_fixture.h"
#include "tests/encoder/test_frames.h"

namespace {

using ConcurrencyTest = EncoderTest;

// Encodes `frames` frames on its own encoder; answers what went wrong, or nothing.
std::string EncodeStream(const iohost::Driver& driver, size_t row, uint32_t width, uint32_t height,
                         int frames) {
    iohost::Encoder encoder;
    std::vector<Packet> packets;
    if (const int32_t code = driver.createEncoder(Table()[row].uuid, encoder); code != errNone)
        return "create: " + std::to_string(code);
    if (RecordPackets(encoder, packets) != errNone) return "callback";
    if (encoder.open(Settings(width, height)) != errNone) return "open";
    for (int i = 0; i < frames; ++i) {
        const std::string at = "frame " + std::to_string(i) + ": ";
        const TestFrame frame =
            MakeTestFrame(Table()[row], width, height, static_cast<uint32_t>(row * 100 + i));
        if (const int32_t code = encoder.process(frame.raw, width, height, i); code != errNone)
            return at + std::to_string(code);
        if (packets.size() != static_cast<size_t>(i) + 1 || packets.back().pts != i)
            return at + "packet";
        if (auto diff = DecodeDifference(encoder.cookie(), width, height, packets.back().bytes,
                                         frame.expectedPlanes);
            !diff.empty())
            return at + diff;
    }
    return {};
}

TEST_F(ConcurrencyTest, TwoEncodersOnTwoThreads) {
    std::string first, second;
    std::thread a([&] { first = EncodeStream(driver(), 0, 96, 64, 24); });
    std::thread b([&] { second = EncodeStream(driver(), 10, 80, 45, 24); });
    a.join();
    b.join();
    EXPECT_EQ(first, "");
    EXPECT_EQ(second, "");
    EXPECT_TRUE(LogTexts().empty());
}

}  // namespace
