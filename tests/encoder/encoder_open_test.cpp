// Open: the settings it reads, the codec it starts, the cookie it publishes, and what a failed
// start means for the frames that follow.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/encoder/parvolux_encoder.h"
#include "tests/encoder/encoder_test_fixture.h"
#include "tests/encoder/test_frames.h"

namespace {

constexpr size_t kRgb8 = 0;
constexpr const char* kBeginFailed = "Parvolux Plugin :: compressBegin failed: ";
// The output format every RGB 8-bit encoder asks for, as rendered in the texts.
constexpr const char* kRgbOut = "{{0,0,extended(254)},1,P8RG(101),0,none(0),0,0}";

using OpenTest = EncoderTest;

// Host calls other than taking and dropping references (what wrapping a lent handle costs).
std::vector<uint32_t> CallsBeyondReferences() {
    std::vector<uint32_t> selectors;
    for (const auto& call : iohost::Host::instance().calls().calls()) {
        if (call.selector != hostAddRef && call.selector != hostRelease) {
            selectors.push_back(call.selector);
        }
    }
    return selectors;
}

// The in-format part of a compressBegin failure text: "{{...}}" up to ", {{0,0".
std::string RenderedInput(const std::string& message) {
    const std::string open = "compressBegin(";
    const size_t from = message.find(open);
    const size_t to = message.find(", {{0,0,");
    if (from == std::string::npos || to == std::string::npos)
        return "(no input in: " + message + ")";
    return message.substr(from + open.size(), to - from - open.size());
}

TEST_P(OpenTest, PublishesTheCookieOnTheSettings) {
    ASSERT_TRUE(Start(kRgb8, 32, 16));
    const auto cookie = session().params()->value("magicCookie");
    ASSERT_TRUE(cookie);
    EXPECT_EQ(cookie->type, static_cast<uint32_t>(propUInt8));
    EXPECT_EQ(cookie->count, cookie->bytes.size());
    EXPECT_FALSE(cookie->bytes.empty());
    EXPECT_TRUE(LogTexts().empty());
    EXPECT_EQ(parvolux_test_live_instances(), m_instancesBefore + 1);
}

TEST_P(OpenTest, FailedBeginIsReportedWithTheWholeLibraryText) {
    ASSERT_TRUE(Create(kRgb8));
    ASSERT_EQ(session().setCallback(), errNone);
    parvolux_test_fail(parvoluxFnCompressBegin, -5, 1);
    EXPECT_EQ(session().open(Settings(1920, 1080)), errFail);
    EXPECT_FALSE(session().params()->has("magicCookie"));
    EXPECT_EQ(parvolux_test_live_instances(), m_instancesBefore)
        << "the failed instance stays open";

    const std::vector<std::string> log = LogTexts();
    ASSERT_EQ(log.size(), 1u);
    const std::string head =
        std::string(kBeginFailed) +
        "Parvolux error (-5): bad size: compressBegin({{1920,1080,extended(254)"
        "},1,RGB24(22),0,none(0),2,0}, " +
        kRgbOut + ", {0x";
    ASSERT_EQ(log[0].substr(0, head.size()), head);
    // The size's address is the encoder's own member: it lies inside the object.
    const std::string digits = log[0].substr(head.size(), 16);
    ASSERT_EQ(digits.find_first_not_of("0123456789ABCDEF"), std::string::npos) << digits;
    const uint64_t address = std::stoull(digits, nullptr, 16);
    const auto object = reinterpret_cast<uintptr_t>(session().object().address());
    EXPECT_GE(address, object);
    EXPECT_LT(address, object + sizeof(ParvoluxEncoder));
    EXPECT_EQ(log[0], head + digits + ",0})");
}

TEST_P(OpenTest, FailedOpenRefusesEveryFrameWithoutTouchingIt) {
    ASSERT_TRUE(Create(kRgb8));
    ASSERT_EQ(session().setCallback(), errNone);
    parvolux_test_fail(parvoluxFnCompressBegin, -1, 1);
    ASSERT_EQ(session().open(Settings(16, 8)), errFail);
    ClearRecords();
    host().calls().setEnabled(true);

    const TestFrame good = MakeTestFrame(session().row(), 16, 8, 1);
    auto frame = MakeFrame(good.raw, 16, 8, 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(session().process(*frame), errFail);
    EXPECT_EQ(session().processNull(), errFail);
    EXPECT_EQ(CallsBeyondReferences(), std::vector<uint32_t>{}) << "the frame was touched";
    EXPECT_TRUE(LogTexts().empty());
    EXPECT_TRUE(session().packets().empty());
}

TEST_P(OpenTest, LibraryThatCannotOpenIsReportedTheSameWay) {
    ASSERT_TRUE(Create(kRgb8));
    parvolux_test_fail(parvoluxFnOpen, -6, 1);
    EXPECT_EQ(session().open(Settings(16, 8)), errFail);
    EXPECT_EQ(LogTexts(), std::vector<std::string>{std::string(kBeginFailed) +
                                                   "Parvolux error (-6): out of memory: "
                                                   "ParvoluxCodec(): parvolux_open()"});
    // The next Open starts afresh.
    EXPECT_EQ(session().open(Settings(16, 8)), errNone);
}

TEST_P(OpenTest, FramesBeforeOpenAreRefusedUntouched) {
    ASSERT_TRUE(Create(kRgb8));
    ASSERT_EQ(session().setCallback(), errNone);
    host().calls().setEnabled(true);
    const TestFrame good = MakeTestFrame(session().row(), 16, 8, 1);
    auto frame = MakeFrame(good.raw, 16, 8, 0);
    EXPECT_EQ(session().process(*frame), errFail);
    EXPECT_EQ(session().processNull(), errFail);
    // Wrapping the handle for the call is all that happened to it: no lock, no property read.
    EXPECT_EQ(CallsBeyondReferences(), std::vector<uint32_t>{});
    EXPECT_TRUE(LogTexts().empty());
}

TEST_P(OpenTest, SettingsWithoutAHostObjectReadNothing) {
    ASSERT_TRUE(Create(kRgb8));
    EXPECT_EQ(session().openWith({}), errFail);
    const std::vector<std::string> log = LogTexts();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(RenderedInput(log[0]), "{{0,0,extended(254)},1,RGB24(22),0,none(0),1,0}");
}

TEST_P(OpenTest, RangeAndFieldOrderAreMappedToTheLibrarysCodes) {
    struct Case {
        uint8_t dataRange;
        uint8_t fieldOrder;
        const char* tail;  // range, fieldOrder as the library gets them
    };
    const Case cases[] = {
        {1, 0, "2,0"}, {0, 0, "1,0"}, {2, 0, "1,0"}, {255, 0, "1,0"}, {1, 1, "2,0"},
        {1, 2, "2,1"}, {0, 3, "1,0"}, {1, 4, "2,2"}, {0, 5, "1,0"},   {0, 7, "1,0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("dataRange " + std::to_string(c.dataRange) + ", fieldOrder " +
                     std::to_string(c.fieldOrder));
        ASSERT_TRUE(Create(kRgb8));
        ClearRecords();
        iohost::StreamSettings settings = Settings(24, 16);
        settings.dataRange = c.dataRange;
        settings.fieldOrder = c.fieldOrder;
        parvolux_test_fail(parvoluxFnCompressBegin, -1, 1);
        EXPECT_EQ(session().open(settings), errFail);
        const std::vector<std::string> log = LogTexts();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(RenderedInput(log[0]),
                  std::string("{{24,16,extended(254)},1,RGB24(22),0,none(0),") + c.tail + "}");
    }
}

TEST_P(OpenTest, AbsentDataRangeAtFirstOpenGivesRangeOne) {
    ASSERT_TRUE(Create(kRgb8));
    auto params = host().createBuffer();
    params->setInt32("width", 24);
    params->setInt32("height", 16);
    parvolux_test_fail(parvoluxFnCompressBegin, -1, 1);
    EXPECT_EQ(session().openWith(std::move(params)), errFail);
    const std::vector<std::string> log = LogTexts();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(RenderedInput(log[0]), "{{24,16,extended(254)},1,RGB24(22),0,none(0),1,0}");
}

TEST_P(OpenTest, AbsentKeysKeepTheirValuesAtTheNextOpen) {
    ASSERT_TRUE(Create(4));  // 8-bit YUV 420: the frame size shows in the planes
    ASSERT_EQ(session().setCallback(), errNone);
    iohost::StreamSettings settings = Settings(24, 14);
    settings.dataRange = 1;
    settings.fieldOrder = 4;
    parvolux_test_fail(parvoluxFnCompressBegin, -1, 1);
    ASSERT_EQ(session().open(settings), errFail);

    // A second Open with no keys at all starts from what the first one read.
    ClearRecords();
    parvolux_test_fail(parvoluxFnCompressBegin, -1, 1);
    EXPECT_EQ(session().openWith(host().createBuffer()), errFail);
    std::vector<std::string> log = LogTexts();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(RenderedInput(log[0]), "{{24,14,extended(254)},1,YUV420P8(10),0,none(0),2,2}");

    // A keyless Open that succeeds encodes frames of the size read earlier.
    ClearRecords();
    ASSERT_EQ(session().openWith(host().createBuffer()), errNone);
    EXPECT_TRUE(session().params()->has("magicCookie"));
    const TestFrame frame = MakeTestFrame(session().row(), 24, 14, 8);
    auto buffer = MakeFrame(frame.raw, 24, 14, 0);
    ASSERT_EQ(session().process(*buffer), errNone);
    ASSERT_EQ(session().packets().size(), 1u);
    std::vector<std::vector<uint8_t>> decoded;
    std::string why;
    ASSERT_TRUE(
        DecodePacket(session().cookie(), 24, 14, session().packets()[0].bytes, decoded, why))
        << why;
    EXPECT_EQ(FirstDifference(frame.expectedPlanes, decoded), "");
}

TEST_P(OpenTest, ConfigureAndFinishChangeNothing) {
    ASSERT_TRUE(Start(kRgb8, 16, 8));
    auto config = host().createCollection();
    config->setInt32("width", 999);
    EXPECT_EQ(session().object().send(codecConfigure, config.handle()), errNone);
    EXPECT_EQ(session().object().send(codecFinish), errNone);
    const TestFrame frame = MakeTestFrame(session().row(), 16, 8, 2);
    auto buffer = MakeFrame(frame.raw, 16, 8, 0);
    EXPECT_EQ(session().process(*buffer), errNone);
    EXPECT_EQ(session().object().send(codecFinish), errNone);
    EXPECT_EQ(session().process(*buffer), errNone);
    EXPECT_EQ(session().packets().size(), 2u);
    EXPECT_EQ(parvolux_test_live_instances(), m_instancesBefore + 1) << "Finish closed the codec";
}

INSTANTIATE_ON_BOTH_ROUTES(OpenTest);

// Opening a running encoder is a broken host contract: the plug-in stops with the assertion.
TEST(OpenDeathTest, SecondOpenOfARunningEncoderAsserts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            EncoderSession session(Route::Direct, 0);
            if (session.open(Settings(16, 8)) == errNone) (void)session.open(Settings(16, 8));
        },
        "m_codec == nullptr.*plugin/encoder/parvolux_encoder");
}

}  // namespace
