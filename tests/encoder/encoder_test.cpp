// The encoder object as the host drives it. Open: the settings it reads, the codec it starts, and
// what a failed start means for the frames that follow. Process: every way a frame can fail, each
// with its message, its code and what it leaves behind; and what a good frame becomes, in every
// format.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "tests/codec_library/codec_test_support.h"
#include "tests/encoder/encoder_fixture.h"

namespace {

using iohost::HostCall;
using iohost::HostFaults;
using iohost::HostOperation;
using Texts = std::vector<std::string>;

constexpr size_t kRgb8 = 0;
constexpr uint32_t kWidth = 16;
constexpr uint32_t kHeight = 8;

const std::string kPrefix = "Parvolux Plugin :: ";
const std::string kNoData = kPrefix + "No data to encode";
const std::string kNoSize = kPrefix + "Width/Height not set when encoding the frame";
const std::string kNoPts = kPrefix + "PTS not set when encoding the frame";
const std::string kNoOutput = kPrefix + "Failed to allocate the output buffer";
const std::string kNoBuffer = "Plugin Failed to create a buffer";
const std::string kBeginFailed = kPrefix + "compressBegin failed: Parvolux error ";

using OpenTest = EncoderTest;

// A raw frame of the row's input, from the codec library tests' model of the formats.
std::vector<uint8_t> RawFrame(const FormatDesc& row, uint32_t width, uint32_t height,
                              uint32_t seed) {
    return codec_test::makeRawFrame(row.rawFormat, width, height, codec_test::Content::Noise, seed)
        .bytes;
}

// The texts logged, with the address that ends each (sixteen upper-case digits) as "@".
Texts Logged() {
    static const std::regex address("0x[0-9A-F]{16}(,0\\})?\\)$");
    Texts log = LogTexts();
    for (auto& text : log) text = std::regex_replace(text, address, "@$1)");
    return log;
}

// A later open without the keys keeps the values read before, and a keyless open that succeeds
// takes frames of the size read earlier.
TEST_F(OpenTest, SettingsReachTheLibraryAsItsCodesAndAbsentKeysKeepThem) {
    struct Case {
        uint8_t dataRange;
        uint8_t fieldOrder;
        const char* codes;  // range, fieldOrder as the library gets them
    };
    const Case cases[] = {
        {1, 0, "2,0"}, {0, 0, "1,0"}, {2, 0, "1,0"}, {255, 0, "1,0"}, {1, 1, "2,0"},
        {1, 2, "2,1"}, {0, 3, "1,0"}, {1, 4, "2,2"}, {0, 5, "1,0"},   {0, 7, "1,0"},
    };
    auto empty = host().createBuffer();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.dataRange) + " " + std::to_string(c.fieldOrder));
        ASSERT_TRUE(Create(kRgb8));
        iohost::StreamSettings settings = Settings(24, 14);
        settings.dataRange = c.dataRange;
        settings.fieldOrder = c.fieldOrder;
        parvolux_test_fail(parvoluxFnCompressBegin, -5, 2);
        EXPECT_EQ(encoder().open(settings), errFail);
        EXPECT_EQ(encoder().openWith(empty.handle()), errFail);
        EXPECT_EQ(
            Logged(),
            Texts(2, kBeginFailed +
                         "(-5): bad size: compressBegin({{24,14,extended(254)},1,RGB24(22),0,"
                         "none(0)," +
                         c.codes + "}, {{0,0,extended(254)},1,P8RG(101),0,none(0),0,0}, {@,0})"));
        EXPECT_FALSE(empty->has("magicCookie"));
        EXPECT_EQ(parvolux_test_live_instances(), 0) << "the failed instance stays open";
        EXPECT_EQ(encoder().processNull(), errFail) << "running without its codec";
        host().log().clear();
    }
    ASSERT_EQ(encoder().openWith(empty.handle()), errNone);
    EXPECT_TRUE(empty->has("magicCookie"));
    EXPECT_EQ(process(*iohost::MakeFrameBuffer(RawFrame(row(), 24, 14, 8), 24, 14, 0)), errNone);

    // Without a settings object nothing is read: the size stays 0 and the range its default.
    ASSERT_TRUE(Create(kRgb8));
    parvolux_test_fail(parvoluxFnCompressBegin, -3, 1);
    EXPECT_EQ(encoder().openWith(nullptr), errFail);
    EXPECT_EQ(Logged(),
              Texts{kBeginFailed +
                    "(-3): bad argument: compressBegin({{0,0,extended(254)},1,RGB24(22),0,none(0),"
                    "1,0}, {{0,0,extended(254)},1,P8RG(101),0,none(0),0,0}, {@,0})"});
}

using ProcessTest = EncoderTest;

// Sixteen upper-case hexadecimal digits of an address, as the plug-in renders it.
std::string Hex16(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%016" PRIX64,
                  static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)));
    return text;
}

TEST_F(ProcessTest, EveryFailingStepReportsAndCleansUp) {
    using Frame = iohost::HostBuffer;
    const std::vector<uint8_t> good = RawFrame(row(), kWidth, kHeight, 3);
    // keys: how many of the frame properties width, height, pts were read, in that order (not
    // checked when 0). `fault` spoils a complete frame, or the host, in one way; `omit` is a
    // property the frame goes without.
    using Fault = void (*)(Frame&, HostFaults&);
    struct Case {
        const char* what;
        int32_t code;
        Texts messages;
        size_t keys;
        Fault fault;
        const char* omit = "";
        size_t cut = 0;  // bytes missing from the frame's end
    };
    const Texts keys = {"width", "height", "pts"};
    const Fault lockFails = [](Frame&, HostFaults& f) { f.failBufferLock(true); };
    const Fault nullLock = [](Frame&, HostFaults& f) { f.lockWithNullPointer(true); };
    const Fault zeroLock = [](Frame&, HostFaults& f) { f.lockWithZeroSize(true); };
    const Fault empty = [](Frame& b, HostFaults&) { (void)b.assign({}); };
    const Fault wideWidth = [](Frame& b, HostFaults&) { b.setInt64("width", kWidth); };
    const Fault twoHeights = [](Frame& b, HostFaults&) {
        b.setInt32s("height", std::vector<int32_t>{8, 8});
    };
    const Fault narrowPts = [](Frame& b, HostFaults&) { b.setInt32("pts", 40); };
    const Fault noOutput = [](Frame&, HostFaults& f) { f.refuseCreations(1); };
    const Fault noSize = [](Frame&, HostFaults& f) { f.failBufferSetSize(true); };
    const Fault outputLock = [](Frame&, HostFaults& f) { f.failNth(HostOperation::Lock, 2); };
    const std::string lock = kPrefix + "Failed to lock the ";
    const std::string shortRaw = kPrefix + "compress failed: rawSizeExpected(384) > inBufSize(383)";
    const Case cases[] = {
        {"input lock refused", errFail, {lock + "input buffer"}, 0, lockFails},
        {"input locked with a null pointer", errUnsupported, {kNoData}, 0, nullLock},
        {"input locked with a zero size", errUnsupported, {kNoData}, 0, zeroLock},
        {"input buffer empty", errUnsupported, {kNoData}, 0, empty},
        {"no width", errMissingProperty, {kNoSize}, 1, nullptr, "width"},
        {"width of 64 bits", errMissingProperty, {kNoSize}, 1, wideWidth},
        {"no height", errMissingProperty, {kNoSize}, 2, nullptr, "height"},
        {"height with two values", errMissingProperty, {kNoSize}, 2, twoHeights},
        {"no pts", errMissingProperty, {kNoPts}, 3, nullptr, "pts"},
        {"pts of 32 bits", errMissingProperty, {kNoPts}, 3, narrowPts},
        {"output buffer refused", errAlloc, {kNoBuffer, kNoOutput}, 0, noOutput},
        {"output size refused", errAlloc, {kNoOutput}, 0, noSize},
        {"output lock refused", errAlloc, {lock + "output buffer"}, 0, outputLock},
        {"raw buffer one byte short", errFail, {shortRaw}, 0, nullptr, "", 1},
    };
    ASSERT_TRUE(Start(kRgb8, kWidth, kHeight));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearRecords();
        const size_t liveBefore = host().liveObjects();
        {
            auto frame = host().createBuffer();
            (void)frame->assign({good.data(), good.size() - c.cut});
            const std::string omit = c.omit;
            if (omit != "width") frame->setInt32("width", kWidth);
            if (omit != "height") frame->setInt32("height", kHeight);
            if (omit != "pts") frame->setInt64("pts", 40);
            HostFaults& faults = host().faults();
            if (c.fault) c.fault(*frame, faults);

            EXPECT_EQ(process(*frame), c.code);
            faults.reset();
            EXPECT_EQ(LogTexts(), c.messages);
            EXPECT_FALSE(frame->isLocked()) << "the input was left locked";
            if (c.keys > 0) {
                EXPECT_EQ(host().calls().keys(hostGetProperty, frame.handle()),
                          Texts(keys.begin(), keys.begin() + c.keys));
            }
            EXPECT_EQ(host().liveObjects(), liveBefore + 1) << "the output buffer was kept";
        }
        EXPECT_TRUE(m_packets.empty());

        // The encoder is still running: the next frame goes through.
        EXPECT_EQ(process(*iohost::MakeFrameBuffer(good, kWidth, kHeight, 41)), errNone);
        EXPECT_EQ(m_packets.size(), 1u);
        m_packets.clear();
    }
}

TEST_F(ProcessTest, LibraryFailuresCarryTheFullText) {
    ASSERT_TRUE(Start(kRgb8, kWidth, kHeight));
    auto frame = iohost::MakeFrameBuffer(RawFrame(row(), kWidth, kHeight, 5), kWidth, kHeight, 0);
    const std::string data = Hex16(DataOf(*frame));
    const size_t live = host().liveObjects();

    parvolux_test_fail(parvoluxFnInitPlanesCommon, -3, 1);
    EXPECT_EQ(process(*frame), errFail);
    EXPECT_EQ(LogTexts(), Texts{kPrefix +
                                "compress failed: Parvolux error (-3): bad argument: "
                                "initPlanesCommon({{16,8,extended(254)},1,RGB24(22),0,none(0),2,"
                                "0}, 0x" +
                                data + ")"});
    EXPECT_FALSE(frame->isLocked());
    EXPECT_EQ(host().liveObjects(), live);

    ClearRecords();
    parvolux_test_fail(parvoluxFnCompress, -6, 1);
    EXPECT_EQ(process(*frame), errFail);
    // Only the input is unlocked, before the output is dropped as it is.
    const auto calls = host().calls().calls();
    const auto unlock =
        std::find(calls.begin(), calls.end(), HostCall{hostBufferUnlock, "", frame.handle()});
    EXPECT_EQ(host().calls().keys(hostBufferUnlock).size(), 1u);
    EXPECT_TRUE(std::any_of(unlock, calls.end(), [&](const HostCall& c) {
        return c.selector == hostRelease && c.handle != frame.handle();
    }));
    EXPECT_EQ(Logged(),
              Texts{kPrefix + "compress failed: Parvolux error (-6): out of memory: compress({{0x" +
                    data + ",48,384},{null,0,0},{null,0,0},{null,0,0}}, @)"});
    EXPECT_FALSE(frame->isLocked());
    EXPECT_EQ(host().liveObjects(), live);
    EXPECT_TRUE(m_packets.empty());

    EXPECT_EQ(process(*frame), errNone);
}

TEST_F(ProcessTest, GoodFramesBecomeStampedKeyFramePackets) {
    ASSERT_TRUE(Start(kRgb8, kWidth, kHeight));
    // Finish changes nothing: the codec stays open.
    std::vector<uint8_t> good = RawFrame(row(), kWidth, kHeight, 9);
    for (int64_t pts : {int64_t{0}, int64_t{1001}, int64_t{-5}, INT64_MAX}) {
        SCOPED_TRACE(pts);
        EXPECT_EQ(encoder().finish(), errNone);
        ClearRecords();
        good.resize(good.size() + 50, 0xEE);  // a larger raw buffer is accepted
        auto frame = iohost::MakeFrameBuffer(good, kWidth, kHeight, pts);
        ASSERT_EQ(process(*frame), errNone);
        EXPECT_TRUE(LogTexts().empty());
        EXPECT_FALSE(frame->isLocked());
        // One output buffer per frame, stamped in this order and delivered unlocked.
        EXPECT_EQ(host().calls().keys(hostCreateObject).size(), 1u);
        EXPECT_EQ(host().calls().keys(hostSetProperty), (Texts{"pts", "dts", "isKeyFrame"}));
        const Packet& packet = m_packets.back();
        EXPECT_EQ(packet.pts, pts);
        EXPECT_EQ(packet.dts, pts);
        EXPECT_EQ(packet.isKeyFrame, uint8_t{1});
        EXPECT_FALSE(packet.lockedWhenDelivered);
    }
    EXPECT_EQ(m_packets.size(), 4u);
    EXPECT_EQ(parvolux_test_live_instances(), 1);
}

TEST_F(ProcessTest, DeliveryAndItsAbsenceDecideTheAnswer) {
    ASSERT_TRUE(Start(kRgb8, kWidth, kHeight));
    auto frame = iohost::MakeFrameBuffer(RawFrame(row(), kWidth, kHeight, 4), kWidth, kHeight, 0);
    const size_t live = host().liveObjects();
    EXPECT_EQ(encoder().processNull(), errNoInput);

    host().faults().deliverAnswer(errUnsupported);
    EXPECT_EQ(process(*frame), errUnsupported) << "the callback's answer is the result";
    EXPECT_EQ(host().liveObjects(), live) << "the packet must be dropped after delivery";
    host().faults().reset();

    // An encoder that was never given a callback delivers nothing, nor does one given a callback
    // that holds no host object.
    ASSERT_TRUE(Create(kRgb8, false));
    EXPECT_EQ(process(*frame), errFail) << "never opened";
    ASSERT_EQ(encoder().open(Settings(kWidth, kHeight)), errNone);
    const size_t opened = host().liveObjects();
    EXPECT_EQ(process(*frame), errNoObject);
    EXPECT_EQ(encoder().setCallbackHandle(nullptr), errNone);
    EXPECT_EQ(process(*frame), errNoObject);
    EXPECT_EQ(host().liveObjects(), opened);
    EXPECT_FALSE(frame->isLocked());
    EXPECT_TRUE(LogTexts().empty());
}

// Every format of the table, through the encoder and back through the library's decoder: the
// packet holds what went in, as far as the stream keeps it, and the library read the frame from
// the host's own buffer.
TEST_F(ProcessTest, EveryFormatDecodesToItsInput) {
    // Odd sizes reach the last lone chroma column and row of the subsampled formats.
    const std::pair<uint32_t, uint32_t> sizes[] = {{37, 19}, {2, 2}, {64, 48}};
    for (size_t r = 0; r < Table().size(); ++r) {
        for (const auto& [width, height] : sizes) {
            SCOPED_TRACE(Table()[r].name + " " + std::to_string(width) + "x" +
                         std::to_string(height));
            const codec_test::StreamRow& stream = codec_test::kStreamRows[r];  // in table order
            ASSERT_EQ(stream.compressed, Table()[r].compressedFormat);
            ASSERT_TRUE(Start(r, width, height));
            for (uint32_t seed = 1; seed <= 2; ++seed) {
                // Noise fills the library's bound; a gradient leaves most of it unused.
                const auto content =
                    seed == 1 ? codec_test::Content::Noise : codec_test::Content::Gradient;
                const auto frame =
                    codec_test::makeRawFrame(stream.raw, width, height, content, seed);
                auto buffer = iohost::MakeFrameBuffer(frame.bytes, width, height, seed);
                ASSERT_EQ(process(*buffer), errNone) << ::testing::PrintToString(LogTexts());
                // Zero copy: the library read the planes straight from the host's buffer.
                EXPECT_EQ(parvolux_test_last_input(), DataOf(*buffer));
                ASSERT_EQ(m_packets.size(), seed);
                codec_test::Planes decoded;
                ASSERT_EQ(codec_test::decodePacket(encoder().cookie(), width, height,
                                                   m_packets.back().bytes, decoded),
                          0);
                codec_test::expectSamePlanes(decoded,
                                             codec_test::expectedOutput(stream, frame, false));
                // Exactly the library's packet for the frame, nothing of the buffer beyond it.
                EXPECT_EQ(m_packets.back().bytes,
                          codec_test::Session(stream, width, height).compress(frame));
            }
        }
    }
    EXPECT_TRUE(LogTexts().empty());
}

}  // namespace
