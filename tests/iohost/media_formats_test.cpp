// The host-side media plumbing: YUV4MPEG2 headers, the conversions into the codec's raw layouts,
// WAV files and the frame comparison behind --verify.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/iohost/frame_comparer.h"
#include "platform/iohost/frame_converter.h"
#include "platform/iohost/input_error.h"
#include "platform/iohost/wav_reader.h"
#include "platform/iohost/wav_writer.h"
#include "platform/iohost/y4m_reader.h"
#include "tests/iohost/cli_test_support.h"

namespace iohost_test {
namespace {

using namespace iohost;

TEST(Y4mHeader, ColourTagsGiveLayoutAndDepth) {
    struct Case {
        const char* tags;
        Chroma chroma;
        uint32_t depth;
        const char* written;  // the tag written back
    } cases[] = {
        {" W4 H2 F30000:1001 C420jpeg", Chroma::Yuv420, 8, "420jpeg"},
        {" W4 H2 F25:1 C420mpeg2 XYSCSS=420MPEG2", Chroma::Yuv420, 8, "420jpeg"},
        {" W4 H2 F25:1 C420paldv", Chroma::Yuv420, 8, "420jpeg"},
        {" W4 H2 F25:1", Chroma::Yuv420, 8, "420jpeg"},
        {" W4 H2 F25:1 Ip A1:1 C422", Chroma::Yuv422, 8, "422"},
        {" W4 H2 F25:1 C444", Chroma::Yuv444, 8, "444"},
        {" W4 H2 F25:1 Cmono", Chroma::Mono, 8, "mono"},
        {" W4 H2 F25:1 C422p10", Chroma::Yuv422, 10, "422p10"},
        {" W4 H2 F25:1 C420p12", Chroma::Yuv420, 12, "420p12"},
        {" W4 H2 F25:1 C444p16", Chroma::Yuv444, 16, "444p16"},
        {" W4 H2 F25:1 Cmono10", Chroma::Mono, 10, "mono10"},
    };
    for (const Case& c : cases) {
        PictureFormat f;
        ParseY4mHeader(c.tags, f);
        EXPECT_EQ(f.chroma, c.chroma) << c.tags;
        EXPECT_EQ(f.bitDepth, c.depth) << c.tags;
        EXPECT_EQ(f.width, 4u);
        EXPECT_EQ(Y4mColourTag(f), c.written) << c.tags;
    }
    PictureFormat ntsc;
    ParseY4mHeader(" W720 H480 F30000:1001", ntsc);
    EXPECT_EQ(ntsc.rate, 30000u);
    EXPECT_EQ(ntsc.scale, 1001u);
}

TEST(Y4mHeader, MalformedHeadersNameTheTag) {
    struct Case {
        const char* tags;
        const char* message;
    } cases[] = {
        {" H2 F25:1", "no frame size"},
        {" W0 H2", "bad width 'W0'"},
        {" W4 Hx", "bad height 'Hx'"},
        {" W4 H2 F25", "bad frame rate 'F25'"},
        {" W4 H2 F25:0", "bad frame rate"},
        {" W4 H2 C411", "unsupported colour space 'C411'"},
        {" W4 H2 C444alpha", "unsupported colour space"},
        {" W4 H2 C420jpegp10", "unsupported colour space"},
        {" W4 H2 Z9", "unknown tag 'Z9'"},
    };
    for (const Case& c : cases) {
        PictureFormat f;
        try {
            ParseY4mHeader(c.tags, f);
            ADD_FAILURE() << "accepted: " << c.tags;
        } catch (const InputError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(PixelFormats, FrameSizesFollowTheLayout) {
    struct Case {
        const char* name;
        uint64_t bytes;  // for 5x3
    } cases[] = {
        {"yuv420p", 15 + 2 * 3 * 2},
        {"yuv422p", 15 + 2 * 3 * 3},
        {"yuv444p", 45},
        {"gray", 15},
        {"yuv422p10le", 2 * (15 + 2 * 9)},
        {"gray16", 30},
        {"rgb24", 45},
        {"rgba", 60},
        {"rgb48le", 90},
        {"rgba64le", 120},
    };
    for (const Case& c : cases) {
        PictureFormat f;
        ASSERT_TRUE(ParsePixelFormat(c.name, f)) << c.name;
        f.width = 5;
        f.height = 3;
        EXPECT_EQ(f.frameBytes(), c.bytes) << c.name;
    }
    PictureFormat f;
    EXPECT_FALSE(ParsePixelFormat("yuv411p", f));
    EXPECT_FALSE(ParsePixelFormat("yuv422p9", f));
    EXPECT_EQ(RawFrameBytes(RawLayout::Uyvy, 5, 3), 36u);
    EXPECT_EQ(RawFrameBytes(RawLayout::Yuv422P16, 5, 3), 30u + 36u);
}

PictureFormat Planar(Chroma chroma, uint32_t depth, uint32_t w, uint32_t h) {
    PictureFormat f;
    f.chroma = chroma;
    f.bitDepth = depth;
    f.width = w;
    f.height = h;
    return f;
}

std::vector<uint8_t> Convert(const PictureFormat& f, RawLayout target,
                             const std::vector<uint8_t>& src) {
    std::string why;
    auto converter = FrameConverter::make(f, target, why);
    EXPECT_TRUE(converter.has_value()) << why;
    if (!converter) return {};
    EXPECT_EQ(converter->sourceBytes(), src.size());
    std::vector<uint8_t> out(converter->targetBytes(), 0xEE);
    converter->convert(src.data(), out.data());
    return out;
}

TEST(FrameConverter, PlanarFourTwoTwoInterleavesToUyvy) {
    // 3x1: Y 1 2 3, U 10 11, V 20 21; the odd last pair repeats its luma.
    const auto out =
        Convert(Planar(Chroma::Yuv422, 8, 3, 1), RawLayout::Uyvy, {1, 2, 3, 10, 11, 20, 21});
    EXPECT_EQ(out, (std::vector<uint8_t>{10, 1, 20, 2, 11, 3, 21, 3}));
    const auto mono = Convert(Planar(Chroma::Mono, 8, 2, 1), RawLayout::Uyvy, {7, 9});
    EXPECT_EQ(mono, (std::vector<uint8_t>{0x80, 7, 0x80, 9}));
}

TEST(FrameConverter, DeepSamplesBecomeHighAlignedAndChromaRowsRepeat) {
    // 2x3 4:2:0 at 10 bits: Y 6 samples, U and V 1x2 each; into 4:2:2 16-bit.
    std::vector<uint8_t> src;
    auto put = [&](uint16_t v) {
        src.push_back(static_cast<uint8_t>(v));
        src.push_back(static_cast<uint8_t>(v >> 8));
    };
    for (uint16_t v : {1, 2, 3, 4, 5, 1023}) put(v);
    for (uint16_t v : {100, 200}) put(v);  // U rows
    for (uint16_t v : {300, 400}) put(v);  // V rows
    const auto out = Convert(Planar(Chroma::Yuv420, 10, 2, 3), RawLayout::Yuv422P16, src);
    std::vector<uint16_t> words(out.size() / 2);
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = static_cast<uint16_t>(out[2 * i] | (out[2 * i + 1] << 8));
    EXPECT_EQ(words, (std::vector<uint16_t>{1 << 6, 2 << 6, 3 << 6, 4 << 6, 5 << 6, 1023 << 6,
                                            100 << 6, 100 << 6, 200 << 6,  // U, 3 rows
                                            300 << 6, 300 << 6, 400 << 6}));
    const auto mono = Convert(Planar(Chroma::Mono, 12, 1, 1), RawLayout::Yuv444P16, {0xFF, 0x0F});
    EXPECT_EQ(mono, (std::vector<uint8_t>{0xF0, 0xFF, 0x00, 0x80, 0x00, 0x80}));
}

TEST(FrameConverter, RefusesPicturesTheCodecCannotTake) {
    struct Case {
        PictureFormat format;
        RawLayout target;
    } cases[] = {
        {Planar(Chroma::Yuv420, 8, 4, 4), RawLayout::Uyvy},
        {Planar(Chroma::Yuv422, 10, 4, 4), RawLayout::Uyvy},
        {Planar(Chroma::Yuv444, 8, 4, 4), RawLayout::Yuv422P16},
        {Planar(Chroma::Yuv422, 8, 4, 4), RawLayout::Rgb24},
        {Planar(Chroma::Yuv420, 8, 4, 4), RawLayout::Yuv444P16},
    };
    for (const Case& c : cases) {
        std::string why;
        EXPECT_FALSE(FrameConverter::make(c.format, c.target, why).has_value());
        EXPECT_NE(why.find("cannot be given"), std::string::npos) << why;
    }
}

TEST(FrameComparer, ReportsTheFirstDifferenceAtTheCodecsPrecision) {
    PictureFormat source = Planar(Chroma::Yuv444, 8, 2, 1);
    std::string why;
    auto comparer = FrameComparer::make(source, source, 8, why);
    ASSERT_TRUE(comparer) << why;
    const std::vector<uint8_t> a{1, 2, 3, 4, 5, 6};
    std::vector<uint8_t> b = a;
    EXPECT_EQ(comparer->compare(a.data(), b.data()), "");
    b[3] = 9;
    EXPECT_EQ(comparer->compare(a.data(), b.data()),
              "plane U, x 1, y 0: source 4, decoded 9 (top 8 bits)");

    // A 16-bit source against a 10-bit stream compares the top 10 bits only.
    PictureFormat rgb;
    rgb.packing = Packing::Rgb;
    rgb.bitDepth = 16;
    rgb.width = rgb.height = 1;
    auto deep = FrameComparer::make(rgb, rgb, 10, why);
    ASSERT_TRUE(deep);
    const std::vector<uint8_t> full{0xFF, 0xFF, 0x00, 0x80, 0x01, 0x00};
    const std::vector<uint8_t> kept{0xC0, 0xFF, 0x00, 0x80, 0x00, 0x00};
    EXPECT_EQ(deep->compare(full.data(), kept.data()), "");
    const std::vector<uint8_t> off{0x80, 0xFF, 0x00, 0x80, 0x00, 0x00};
    EXPECT_NE(deep->compare(full.data(), off.data()).find("plane RGB, x 0, y 0"),
              std::string::npos);

    EXPECT_FALSE(FrameComparer::make(Planar(Chroma::Yuv422, 8, 2, 2),
                                     Planar(Chroma::Yuv420, 8, 2, 2), 8, why));
    EXPECT_NE(why.find("yuv422p"), std::string::npos);
}

TEST(Wav, WrittenFilesReadBackWithTheirLayout) {
    ScratchDir dir;
    struct Case {
        AudioFormat format;
        uint32_t audLayout;
    } cases[] = {
        {{48000, 2, 16, false, 0x3}, 2},  {{44100, 1, 16, false, 0x4}, 1},
        {{48000, 6, 24, false, 0x3F}, 3}, {{96000, 8, 32, false, 0x63F}, 4},
        {{48000, 2, 32, true, 0x3}, 2},   {{22050, 3, 16, false, 0x7}, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> samples(c.format.blockAlign() * 37);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 7 + 3);
        const std::string path = dir / "t.wav";
        WriteWav(path, c.format, samples);
        WavReader reader(path);
        EXPECT_EQ(reader.format().channels, c.format.channels);
        EXPECT_EQ(reader.format().bitsPerSample, c.format.bitsPerSample);
        EXPECT_EQ(reader.format().isFloat, c.format.isFloat);
        EXPECT_EQ(reader.format().sampleRate, c.format.sampleRate);
        EXPECT_EQ(reader.format().audLayout(), c.audLayout) << c.format.channels;
        EXPECT_EQ(reader.frames(), 37u);
        std::vector<uint8_t> back(samples.size() + 16);
        EXPECT_EQ(reader.read(back.data(), 100), 37u);
        back.resize(samples.size());
        EXPECT_EQ(back, samples);
    }
}

TEST(Wav, MalformedFilesAreRefusedWithTheReason) {
    ScratchDir dir;
    const AudioFormat stereo{48000, 2, 16, false, 0x3};
    const std::vector<uint8_t> good = MakeWav(stereo, std::vector<uint8_t>(400, 1));
    auto patched = [&](size_t offset, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> b = good;
        std::memcpy(b.data() + offset, bytes.data(), bytes.size());
        return b;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* message;
    } cases[] = {
        {"empty", {}, "not a WAV file"},
        {"not RIFF", patched(0, {'R', 'I', 'F', 'X'}), "not a WAV file"},
        {"ADPCM", patched(20, {2, 0}), "sample format 2 is not supported"},
        {"8-bit", patched(34, {8, 0}), "8-bit PCM WAV samples are not supported"},
        {"9 channels", patched(22, {9, 0}), "9 channels are not supported"},
        {"block align", patched(32, {6, 0}), "block alignment 6"},
        {"truncated data", std::vector<uint8_t>(good.begin(), good.end() - 100),
         "data chunk is truncated: 300 of 400 bytes"},
        {"no data", std::vector<uint8_t>(good.begin(), good.begin() + 36), "no data chunk"},
    };
    for (const Case& c : cases) {
        const std::string path = dir / "bad.wav";
        WriteBytes(path, c.bytes);
        try {
            WavReader reader(path);
            ADD_FAILURE() << c.what << " accepted";
        } catch (const InputError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
                << c.what << ": " << e.what();
        }
    }
}

}  // namespace
}  // namespace iohost_test
