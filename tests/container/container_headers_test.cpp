// How the host's track properties become the main header, the stream headers and the stream
// formats: frame timing, bitmap headers with their wrapping arithmetic, four-character codes, and
// audio formats with their channel masks.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/container/container_fixture.h"

namespace container_test {
namespace {

uint32_t U32At(const std::vector<uint8_t>& bytes, size_t offset) {
    if (offset + 4 > bytes.size()) return 0xDEADBEEF;
    return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

class ContainerHeadersTest : public ContainerTest {
protected:
    // A file holding just the header for one video track; the container answers are checked.
    WrittenAvi writeVideoHeader(const iohost::VideoTrackSettings& settings,
                                const std::string& name) {
        auto container = newContainer();
        iohost::Track track;
        EXPECT_EQ(container.addVideoTrack(settings, track), errNone) << name;
        EXPECT_EQ(container.open(path(name)), errNone) << name;
        EXPECT_EQ(container.close(), errNone) << name;
        return ReadWritten(path(name));
    }

    WrittenAvi writeAudioHeader(const iohost::AudioTrackSettings& settings,
                                const std::string& name) {
        auto container = newContainer();
        iohost::Track track;
        EXPECT_EQ(container.addAudioTrack(settings, track), errNone) << name;
        EXPECT_EQ(container.open(path(name)), errNone) << name;
        EXPECT_EQ(container.close(), errNone) << name;
        return ReadWritten(path(name));
    }
};

TEST_F(ContainerHeadersTest, FrameTimeIsScaleInMicrosecondsOverRateInWrapping32Bits) {
    struct Case {
        uint32_t rate;
        uint32_t scale;
        uint32_t microSecPerFrame;
    };
    for (const Case& c : {Case{30000, 1001, 33366}, Case{25, 1, 40000}, Case{24000, 1001, 41708},
                          Case{1, 5000, 705032704},  // 5e9 wraps modulo 2^32
                          Case{7, 4295, 4672}}) {    // 4295e6 wraps to 32704, then / 7
        iohost::VideoTrackSettings settings;
        settings.width = 16;
        settings.height = 8;
        settings.rate = c.rate;
        settings.scale = c.scale;
        settings.fourcc = module_test::HostFourcc("P8RG");
        const std::string name = "rate" + std::to_string(c.rate) + "_" + std::to_string(c.scale);
        const WrittenAvi file = writeVideoHeader(settings, name + ".avi");
        EXPECT_EQ(U32At(file.headerPayload("avih"), 0), c.microSecPerFrame) << name;
        const std::vector<uint8_t> strh = file.headerPayload("strh", 0);
        EXPECT_EQ(U32At(strh, 20), c.scale) << name;
        EXPECT_EQ(U32At(strh, 24), c.rate) << name;
    }
}

TEST_F(ContainerHeadersTest, BitmapHeaderFollowsTheTrackAndTheFormatTable) {
    struct Case {
        const char* what;
        uint32_t width;
        uint32_t height;
        char fourcc[5];
        std::vector<uint8_t> cookie;
        uint16_t bitCount;
        uint32_t sizeImage;
        uint16_t rcRight;
        uint16_t rcBottom;
    };
    const std::vector<Case> cases = {
        {"1080p", 1920, 1080, "P8RG", {}, 24, 6220800, 1920, 1080},
        {"negative height",
         1920,
         static_cast<uint32_t>(-1080),
         "P8RG",
         {},
         24,
         static_cast<uint32_t>(-6220800),
         1920,
         1080},
        // 2.4e9 wraps to a negative number, which is then divided as a signed one.
        {"product past 2^31",
         10000,
         10000,
         "P8RG",
         {},
         24,
         static_cast<uint32_t>(-236870912),
         10000,
         10000},
        // -30 / 8 truncates toward zero to -3 (a shift or a floor would give -4).
        {"negative quotient",
         3,
         static_cast<uint32_t>(-1),
         "P0G0",
         {},
         10,
         static_cast<uint32_t>(-3),
         3,
         1},
        {"cookie of odd length", 16, 16, "P0RA", {9, 8, 7, 6, 5}, 40, 1280, 16, 16},
        {"code not in the table", 16, 16, "ABCD", {1}, 32, 1024, 16, 16},
        // The most negative width has no positive counterpart; its 16-bit extent is 0.
        {"most negative width", 0x80000000, 1, "P8RG", {}, 24, 0, 0, 1},
        {"extent past 16 bits", 70000, 2, "P8RG", {}, 24, 420000, 70000 - 65536, 2},
    };
    for (const Case& c : cases) {
        iohost::VideoTrackSettings settings;
        settings.width = c.width;
        settings.height = c.height;
        settings.fourcc = module_test::HostFourcc(c.fourcc);
        settings.cookie = c.cookie;
        const WrittenAvi file = writeVideoHeader(settings, std::string(c.what) + ".avi");

        const Golden strf =
            Golden()
                .u32s({40 + static_cast<uint32_t>(c.cookie.size()), c.width, c.height})
                .u16s({1, c.bitCount})
                .fourcc(c.fourcc)
                .u32s({c.sizeImage, 0, 0, 0, 0})
                .bytes(c.cookie);
        EXPECT_EQ(FirstDifference(strf.data, file.headerPayload("strf", 0)), "") << c.what;

        const Golden strh = Golden()
                                .fourcc("vids")
                                .fourcc(c.fourcc)
                                .u32s({0, 0, 0, 1, 25, 0, 0, 0, 10000, 0})
                                .u16s({0, 0, c.rcRight, c.rcBottom});
        EXPECT_EQ(FirstDifference(strh.data, file.headerPayload("strh", 0)), "") << c.what;

        const std::vector<uint8_t> avih = file.headerPayload("avih");
        EXPECT_EQ(U32At(avih, 32), c.width) << c.what;
        EXPECT_EQ(U32At(avih, 36), c.height) << c.what;
    }
}

TEST_F(ContainerHeadersTest, VideoTrackWithoutCodecCollectionHasNoCodeAndNoCookie) {
    iohost::VideoTrackSettings settings;
    settings.width = 8;
    settings.height = 4;
    settings.fourcc = module_test::HostFourcc("P8RG");
    settings.cookie = {1, 2, 3};
    settings.withCodecCollection = false;
    const WrittenAvi file = writeVideoHeader(settings, "nocodec.avi");
    const Golden strf =
        Golden().u32s({40, 8, 4}).u16s({1, 32}).u32s({0, 32 * 8 * 4 / 8, 0, 0, 0, 0});
    EXPECT_EQ(FirstDifference(strf.data, file.headerPayload("strf", 0)), "");
    EXPECT_EQ(U32At(file.headerPayload("strh", 0), 4), 0u) << "fccHandler";
}

TEST_F(ContainerHeadersTest, AudioFormatsAndChannelMasks) {
    struct Case {
        const char* what;
        uint32_t rate;
        uint32_t channels;
        uint32_t bits;
        bool isFloat;
        uint32_t audLayout;
        uint16_t blockAlign;
        std::vector<uint8_t> strf;
    };
    // WAVEFORMATEX up to wBitsPerSample, and WAVEFORMATEXTENSIBLE.
    auto plain = [](uint16_t tag, uint16_t channels, uint32_t rate, uint16_t block, uint16_t bits) {
        return Golden().u16s({tag, channels}).u32s({rate, rate * block}).u16s({block, bits}).data;
    };
    auto extensible = [](uint16_t tag, uint16_t channels, uint32_t rate, uint16_t block,
                         uint16_t bits, uint32_t mask) {
        return Golden()
            .u16s({0xFFFE, channels})
            .u32s({rate, rate * block})
            .u16s({block, bits, 22, bits})
            .u32(mask)
            .bytes(SubFormat(tag))
            .data;
    };
    const std::vector<Case> cases = {
        {"PCM 16 stereo", 48000, 2, 16, false, 2, 4, plain(1, 2, 48000, 4, 16)},
        {"PCM 24 5.1", 48000, 6, 24, false, 3, 18, extensible(1, 6, 48000, 18, 24, 0x3F)},
        {"PCM 16 7.1", 48000, 8, 16, false, 4, 16, extensible(1, 8, 48000, 16, 16, 0x63F)},
        {"float stereo", 44100, 2, 32, true, 2, 8, plain(3, 2, 44100, 8, 32)},
        {"float 5.1", 48000, 6, 32, true, 3, 24, extensible(3, 6, 48000, 24, 32, 0x3F)},
        // Layouts that name no speakers give mask 0, which two channels cannot say plainly.
        {"stereo layout 0", 48000, 2, 16, false, 0, 4, extensible(1, 2, 48000, 4, 16, 0)},
        {"stereo layout 9", 48000, 2, 16, false, 9, 4, extensible(1, 2, 48000, 4, 16, 0)},
        {"mono layout 1", 22050, 1, 16, false, 1, 2, plain(1, 1, 22050, 2, 16)},
    };
    for (const Case& c : cases) {
        iohost::AudioTrackSettings settings;
        settings.samplingRate = c.rate;
        settings.numChannels = c.channels;
        settings.sampleBits = c.bits;
        settings.isFloat = c.isFloat;
        settings.audLayout = c.audLayout;
        const WrittenAvi file = writeAudioHeader(settings, std::string(c.what) + ".avi");
        EXPECT_EQ(FirstDifference(c.strf, file.headerPayload("strf", 0)), "") << c.what;
        const std::vector<uint8_t> strh = file.headerPayload("strh", 0);
        EXPECT_EQ(U32At(strh, 0), 0x73647561u) << c.what << ": fccType auds";
        EXPECT_EQ(U32At(strh, 20), c.blockAlign) << c.what << ": dwScale";
        EXPECT_EQ(U32At(strh, 24), c.blockAlign * c.rate) << c.what << ": dwRate";
        EXPECT_EQ(U32At(strh, 44), c.blockAlign) << c.what << ": dwSampleSize";
        // Without a video track the main header keeps no frame time or size.
        const std::vector<uint8_t> avih = file.headerPayload("avih");
        EXPECT_EQ(U32At(avih, 0), 0u) << c.what;
        EXPECT_EQ(U32At(avih, 32), 0u) << c.what;
        EXPECT_EQ(U32At(avih, 36), 0u) << c.what;
    }
}

TEST_F(ContainerHeadersTest, AudioReadsTypedPropertiesOnly) {
    // Any nonzero "isFloat" byte means float; channel count and sample width use their low 16 bits.
    auto track = host().createCollection();
    track->setInt32("mediaType", 1);
    track->setInt32("samplingRate", 8000);
    track->setInt32("numChannels", 0x10002);
    track->setInt32("sampleBits", 0x10020);
    track->setUInt8("isFloat", 2);
    track->setInt32("audLayout", 2);
    auto container = newContainer();
    iohost::Track audio;
    ASSERT_EQ(container.addTrackWith(track.handle(), nullptr, audio), errNone);
    ASSERT_EQ(container.open(path("typed.avi")), errNone);
    ASSERT_EQ(container.close(), errNone);
    const WrittenAvi file = ReadWritten(path("typed.avi"));
    const Golden strf = Golden().u16s({3, 2}).u32s({8000, 64000}).u16s({8, 32});
    EXPECT_EQ(FirstDifference(strf.data, file.headerPayload("strf", 0)), "");
}

TEST_F(ContainerHeadersTest, AudioChunksLastTheirPacketsDuration) {
    iohost::AudioTrackSettings settings;  // 16-bit stereo at 48000
    auto container = newContainer();
    iohost::Track audio;
    ASSERT_EQ(container.addAudioTrack(settings, audio), errNone);
    ASSERT_EQ(container.open(path("durations.avi")), errNone);
    const std::vector<uint8_t> packet = AudioPacket(100, 4, 1);
    EXPECT_EQ(audio.write(packet), errNone);                 // no "duration": 0
    EXPECT_EQ(audio.write(packet, 0x100000010LL), errNone);  // low 32 bits: 16
    EXPECT_EQ(audio.write(packet, 100), errNone);
    ASSERT_EQ(container.close(), errNone);

    const WrittenAvi file = ReadWritten(path("durations.avi"));
    EXPECT_EQ(U32At(file.headerPayload("strh", 0), 32), 116u) << "dwLength";
    ASSERT_EQ(file.avi.standardIndexes.size(), 1u);
    ASSERT_EQ(file.avi.standardIndexes[0].entries.size(), 3u);
    for (const auto& entry : file.avi.standardIndexes[0].entries) {
        EXPECT_EQ(entry.size, 400u | avireader::kNotKeyFrame) << "audio chunks are not key frames";
    }
    ASSERT_TRUE(file.avi.oldIndex.has_value());
    for (const auto& entry : file.avi.oldIndex->entries) EXPECT_EQ(entry.flags, 0u);
}

}  // namespace
}  // namespace container_test
