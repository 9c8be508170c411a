// DoProcess: every way a frame can fail, each with its message, its code and what it leaves
// behind; and what a good frame becomes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/encoder/encoder_test_fixture.h"
#include "tests/encoder/test_frames.h"

namespace {

using iohost::HostBuffer;
using iohost::HostFaults;
using iohost::HostOperation;

constexpr size_t kRgb8 = 0;
constexpr uint32_t kWidth = 16;
constexpr uint32_t kHeight = 8;
constexpr size_t kRawBytes = kWidth * kHeight * 3;

void Stamp(HostBuffer& frame) {
    frame.setInt32("width", kWidth);
    frame.setInt32("height", kHeight);
    frame.setInt64("pts", 40);
}

// How a failing frame is set up: `prepare` gets a frame that holds the raw bytes only.
struct StepCase {
    const char* name;
    void (*prepare)(HostBuffer& frame, HostFaults& faults);
    int32_t code;
    std::vector<std::string> messages;
    // The frame properties read, in order; not checked when empty.
    std::vector<std::string> keysRead;
};

const std::vector<StepCase>& StepCases() {
    static const std::vector<StepCase> cases = {
        {"input lock refused",
         [](HostBuffer& f, HostFaults& faults) {
             Stamp(f);
             faults.failBufferLock(true);
         },
         errFail,
         {"Parvolux Plugin :: Failed to lock the input buffer"},
         {}},
        {"input locked with a null pointer",
         [](HostBuffer& f, HostFaults& faults) {
             Stamp(f);
             faults.lockWithNullPointer(true);
         },
         errUnsupported,
         {"Parvolux Plugin :: No data to encode"},
         {}},
        {"input locked with size 0",
         [](HostBuffer& f, HostFaults& faults) {
             Stamp(f);
             faults.lockWithZeroSize(true);
         },
         errUnsupported,
         {"Parvolux Plugin :: No data to encode"},
         {}},
        {"input buffer empty",
         [](HostBuffer& f, HostFaults&) {
             (void)f.assign({});
             Stamp(f);
         },
         errUnsupported,
         {"Parvolux Plugin :: No data to encode"},
         {}},
        {"no width",
         [](HostBuffer& f, HostFaults&) {
             f.setInt32("height", kHeight);
             f.setInt64("pts", 1);
         },
         errMissingProperty,
         {"Parvolux Plugin :: Width/Height not set when encoding the frame"},
         {"width"}},
        {"no height",
         [](HostBuffer& f, HostFaults&) {
             f.setInt32("width", kWidth);
             f.setInt64("pts", 1);
         },
         errMissingProperty,
         {"Parvolux Plugin :: Width/Height not set when encoding the frame"},
         {"width", "height"}},
        {"width of the wrong type",
         [](HostBuffer& f, HostFaults&) {
             Stamp(f);
             f.setInt64("width", kWidth);
         },
         errMissingProperty,
         {"Parvolux Plugin :: Width/Height not set when encoding the frame"},
         {"width"}},
        {"height with two values",
         [](HostBuffer& f, HostFaults&) {
             Stamp(f);
             const int32_t twice[2] = {kHeight, kHeight};
             f.setInt32s("height", twice);
         },
         errMissingProperty,
         {"Parvolux Plugin :: Width/Height not set when encoding the frame"},
         {"width", "height"}},
        {"no pts",
         [](HostBuffer& f, HostFaults&) {
             f.setInt32("width", kWidth);
             f.setInt32("height", kHeight);
         },
         errMissingProperty,
         {"Parvolux Plugin :: PTS not set when encoding the frame"},
         {"width", "height", "pts"}},
        {"pts of 32 bits",
         [](HostBuffer& f, HostFaults&) {
             Stamp(f);
             f.setInt32("pts", 40);
         },
         errMissingProperty,
         {"Parvolux Plugin :: PTS not set when encoding the frame"},
         {"width", "height", "pts"}},
        {"output buffer refused",
         [](HostBuffer& f, HostFaults& faults) {
             Stamp(f);
             faults.refuseCreations(1);
         },
         errAlloc,
         {"Plugin Failed to create a buffer",
          "Parvolux Plugin :: Failed to allocate the output buffer"},
         {}},
        {"output size refused",
         [](HostBuffer& f, HostFaults& faults) {
             Stamp(f);
             faults.failBufferSetSize(true);
         },
         errAlloc,
         {"Parvolux Plugin :: Failed to allocate the output buffer"},
         {}},
        {"output lock refused",
         [](HostBuffer& f, HostFaults& faults) {
             Stamp(f);
             faults.failNth(HostOperation::Lock, 2);
         },
         errAlloc,
         {"Parvolux Plugin :: Failed to lock the output buffer"},
         {}},
        {"raw buffer one byte short",
         [](HostBuffer& f, HostFaults&) {
             (void)f.assign(std::vector<uint8_t>(kRawBytes - 1, 7));
             Stamp(f);
         },
         errFail,
         {"Parvolux Plugin :: compress failed: rawSizeExpected(384) > inBufSize(383)"},
         {}},
    };
    return cases;
}

using ProcessTest = EncoderTest;

TEST_P(ProcessTest, EveryFailingStepReportsAndCleansUp) {
    ASSERT_TRUE(Start(kRgb8, kWidth, kHeight));
    const TestFrame good = MakeTestFrame(session().row(), kWidth, kHeight, 3);
    for (const StepCase& c : StepCases()) {
        SCOPED_TRACE(c.name);
        ClearRecords();
        host().calls().setEnabled(true);
        const size_t liveBefore = host().liveObjects();
        {
            auto frame = host().createBuffer();
            (void)frame->assign(good.raw);
            c.prepare(*frame, host().faults());
            EXPECT_EQ(session().process(*frame), c.code);
            host().faults().reset();
            EXPECT_EQ(LogTexts(), c.messages);
            EXPECT_FALSE(frame->isLocked()) << "the input was left locked";
            if (!c.keysRead.empty()) {
                EXPECT_EQ(host().calls().keys(hostGetProperty, frame.handle()), c.keysRead);
            }
            EXPECT_EQ(host().liveObjects(), liveBefore + 1) << "the output buffer was kept";
        }
        EXPECT_TRUE(session().packets().empty());

        // The encoder is still running: the next frame goes through.
        auto next = MakeFrame(good.raw, kWidth, kHeight, 41);
        EXPECT_EQ(session().process(*next), errNone);
        EXPECT_EQ(session().packets().size(), 1u);
        ClearRecords();
        session().clearPackets();
    }
}

TEST_P(ProcessTest, LibraryFailuresCarryTheFullText) {
    ASSERT_TRUE(Start(kRgb8, kWidth, kHeight));
    const TestFrame good = MakeTestFrame(session().row(), kWidth, kHeight, 5);
    auto frame = MakeFrame(good.raw, kWidth, kHeight, 0);
    const std::string data = Hex16(DataOf(*frame));
    const size_t live = host().liveObjects();

    parvolux_test_fail(parvoluxFnInitPlanesCommon, -3, 1);
    EXPECT_EQ(session().process(*frame), errFail);
    EXPECT_EQ(LogTexts(), std::vector<std::string>{
                              "Parvolux Plugin :: compress failed: Parvolux error (-3): bad "
                              "argument: initPlanesCommon({{16,8,extended(254)},1,RGB24(22),0,"
                              "none(0),2,0}, 0x" +
                              data + ")"});
    EXPECT_FALSE(frame->isLocked());
    EXPECT_EQ(host().liveObjects(), live);

    ClearRecords();
    host().calls().setEnabled(true);
    parvolux_test_fail(parvoluxFnCompress, -6, 1);
    EXPECT_EQ(session().process(*frame), errFail);
    // Only the input is unlocked; the output is dropped as it is.
    std::vector<const void*> unlocked;
    for (const auto& call : host().calls().calls()) {
        if (call.selector == hostBufferUnlock) unlocked.push_back(call.handle);
    }
    EXPECT_EQ(unlocked, std::vector<const void*>{frame.handle()});
    const std::vector<std::string> log = LogTexts();
    ASSERT_EQ(log.size(), 1u);
    const std::string head =
        "Parvolux Plugin :: compress failed: Parvolux error (-6): out of "
        "memory: compress({{0x" +
        data + ",48,384},{null,0,0},{null,0,0},{null,0,0}}, 0x";
    ASSERT_EQ(log[0].substr(0, head.size()), head);
    // The output's address ends the text: sixteen upper-case digits and the closing parenthesis.
    const std::string tail = log[0].substr(head.size());
    ASSERT_EQ(tail.size(), 17u) << tail;
    EXPECT_EQ(tail.find_first_not_of("0123456789ABCDEF"), 16u) << tail;
    EXPECT_EQ(tail.back(), ')');
    EXPECT_FALSE(frame->isLocked());
    EXPECT_EQ(host().liveObjects(), live);
    EXPECT_TRUE(session().packets().empty());

    EXPECT_EQ(session().process(*frame), errNone);
}

TEST_P(ProcessTest, GoodFramesBecomeStampedKeyFramePackets) {
    ASSERT_TRUE(Start(kRgb8, kWidth, kHeight));
    const TestFrame good = MakeTestFrame(session().row(), kWidth, kHeight, 9);
    const int64_t stamps[] = {0, 1001, -5, INT64_MAX};
    for (int64_t pts : stamps) {
        host().calls().clear();
        host().calls().setEnabled(true);
        auto frame = MakeFrame(good.raw, kWidth, kHeight, pts);
        EXPECT_EQ(session().process(*frame), errNone);
        // One output buffer per frame, stamped in this order.
        EXPECT_EQ(host().calls().keys(hostCreateObject).size(), 1u);
        const std::vector<std::string> stamped = {"pts", "dts", "isKeyFrame"};
        EXPECT_EQ(host().calls().keys(hostSetProperty), stamped);
        EXPECT_FALSE(frame->isLocked());
    }
    EXPECT_TRUE(LogTexts().empty());
    ASSERT_EQ(session().packets().size(), std::size(stamps));
    for (size_t i = 0; i < std::size(stamps); ++i) {
        const Packet& packet = session().packets()[i];
        EXPECT_EQ(packet.pts, stamps[i]);
        EXPECT_EQ(packet.dts, stamps[i]);
        EXPECT_EQ(packet.isKeyFrame, uint8_t{1});
        EXPECT_FALSE(packet.lockedWhenDelivered) << "delivered while still locked";
        EXPECT_EQ(packet.keys, (std::vector<std::string>{"dts", "isKeyFrame", "pts"}));
    }
}

TEST_P(ProcessTest, LargerRawBufferIsAccepted) {
    ASSERT_TRUE(Start(kRgb8, kWidth, kHeight));
    TestFrame good = MakeTestFrame(session().row(), kWidth, kHeight, 4);
    good.raw.resize(good.raw.size() + 100, 0xEE);
    auto frame = MakeFrame(good.raw, kWidth, kHeight, 0);
    EXPECT_EQ(session().process(*frame), errNone);
    EXPECT_EQ(session().packets().size(), 1u);
}

TEST_P(ProcessTest, DeliveryAnswerIsTheResult) {
    ASSERT_TRUE(Start(kRgb8, kWidth, kHeight));
    const TestFrame good = MakeTestFrame(session().row(), kWidth, kHeight, 4);
    auto frame = MakeFrame(good.raw, kWidth, kHeight, 0);
    const size_t live = host().liveObjects();
    host().faults().deliverAnswer(errUnsupported);
    EXPECT_EQ(session().process(*frame), errUnsupported);
    EXPECT_EQ(host().liveObjects(), live) << "the packet must be dropped after delivery";
    EXPECT_TRUE(LogTexts().empty());
}

TEST_P(ProcessTest, WithoutCallbackNothingIsDelivered) {
    ASSERT_TRUE(Create(kRgb8));
    ASSERT_EQ(session().open(Settings(kWidth, kHeight)), errNone);
    const TestFrame good = MakeTestFrame(session().row(), kWidth, kHeight, 4);
    auto frame = MakeFrame(good.raw, kWidth, kHeight, 0);
    const size_t live = host().liveObjects();
    EXPECT_EQ(session().process(*frame), errNoObject);
    EXPECT_EQ(host().liveObjects(), live);
    EXPECT_FALSE(frame->isLocked());

    // A callback that holds no host object is no better.
    EXPECT_EQ(session().object().send(codecSetCallback, nullptr), errNone);
    EXPECT_EQ(session().process(*frame), errNoObject);
}

TEST_P(ProcessTest, NoFrameAnswersNoInput) {
    ASSERT_TRUE(Start(kRgb8, kWidth, kHeight));
    EXPECT_EQ(session().processNull(), errNoInput);
    EXPECT_TRUE(LogTexts().empty());
}

INSTANTIATE_ON_BOTH_ROUTES(ProcessTest);

}  // namespace
