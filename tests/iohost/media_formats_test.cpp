// The host-side media plumbing where the round trips cannot see it: YUV4MPEG2 tags the AVI file
// drops, and the conversions into the codec's raw layouts, pinned byte by byte because a fault
// that the way back would undo (a swapped plane, say) survives a round trip.
#include "platform/iohost/files/input_error.h"
#include "platform/iohost/media/wav_reader.h"
#include "platform/iohost/media/wav_writer.h"
#include "platform/iohost/media/y4m_reader.h"
#include "platform/iohost/picture/frame_comparer.h"
#include "platform/iohost/picture/frame_converter.h"
#include "tests/iohost/cli_test_support.h"

namespace iohost_test {
namespace {

using namespace iohost;

// The common tags are walked by every round trip; these are the aliases and what the AVI drops.
TEST(Y4mHeader, AliasesRatesAndWhatTheFileCannotHold) {
    const struct {
        const char* tags;
        Chroma chroma;
        uint32_t depth;
        const char* written;  // the tag written back
    } cases[] = {
        {" W4 H2 F30000:1001 C420mpeg2 XYSCSS=420MPEG2", Chroma::Yuv420, 8, "420jpeg"},
        {" W4 H2 F25:1 C420paldv", Chroma::Yuv420, 8, "420jpeg"},
        {" W4 H2 F25:1", Chroma::Yuv420, 8, "420jpeg"},
        {" W4 H2 F25:1 C444p16", Chroma::Yuv444, 16, "444p16"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tags);
        PictureFormat f;
        ParseY4mHeader(c.tags, f);
        EXPECT_EQ(f.chroma, c.chroma);
        EXPECT_EQ(f.bitDepth, c.depth);
        EXPECT_EQ(Y4mColourTag(f), c.written);
    }
    PictureFormat f;
    std::vector<std::string> notes;
    ParseY4mHeader(" W4 H2 F25:1 Ib A5:7 XCOLORRANGE=FULL C420mpeg2", f, &notes);
    EXPECT_EQ(notes,
              (std::vector<std::string>{"sample aspect ratio 5:7", "chroma siting 420mpeg2"}));
    EXPECT_EQ(Y4mHeader(f), "YUV4MPEG2 W4 H2 F25:1 Ib C420jpeg XCOLORRANGE=FULL\n");
}

PictureFormat Planar(Chroma chroma, uint32_t depth, uint32_t w, uint32_t h) {
    return {.chroma = chroma, .bitDepth = depth, .width = w, .height = h};
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

TEST(FrameConverter, ProducesTheCodecsRawLayouts) {
    // 3x1 4:2:2: Y 1 2 3, U 10 11, V 20 21; the odd last pair repeats its luma.
    EXPECT_EQ(Convert(Planar(Chroma::Yuv422, 8, 3, 1), RawLayout::Uyvy, {1, 2, 3, 10, 11, 20, 21}),
              (std::vector<uint8_t>{10, 1, 20, 2, 11, 3, 21, 3}));
    EXPECT_EQ(Convert(Planar(Chroma::Mono, 8, 2, 1), RawLayout::Uyvy, {7, 9}),
              (std::vector<uint8_t>{0x80, 7, 0x80, 9}));
    // Rows long enough for sixteen pairs at a time, with pairs and a half left over.
    for (uint32_t w : {35u, 69u}) {
        std::vector<uint8_t> planes(size_t{w} * 2 + size_t{(w + 1) / 2} * 2 * 2);
        for (size_t i = 0; i < planes.size(); ++i) planes[i] = static_cast<uint8_t>(i * 37 + 11);
        const uint8_t* y = planes.data();
        const uint8_t* u = y + size_t{w} * 2;
        const uint8_t* v = u + size_t{(w + 1) / 2} * 2;
        std::vector<uint8_t> expected;
        for (uint32_t row = 0; row < 2; ++row)
            for (uint32_t x = 0; x < w; x += 2) {
                const size_t c = size_t{row} * ((w + 1) / 2) + x / 2;
                const uint8_t* luma = y + size_t{row} * w;
                expected.insert(expected.end(), {u[c], luma[x], v[c], luma[x + 1 < w ? x + 1 : x]});
            }
        EXPECT_EQ(Convert(Planar(Chroma::Yuv422, 8, w, 2), RawLayout::Uyvy, planes), expected) << w;
    }
    EXPECT_EQ(Convert(Planar(Chroma::Mono, 12, 1, 1), RawLayout::Yuv444P16, {0xFF, 0x0F}),
              (std::vector<uint8_t>{0xF0, 0xFF, 0x00, 0x80, 0x00, 0x80}));

    // Rows long enough for eight or sixteen samples at a time, and some left over: 10 and 8-bit
    // samples high-aligned in 16 bits.
    for (uint32_t depth : {10u, 8u}) {
        const uint32_t w = 29;
        std::vector<uint8_t> src(size_t{w} * 3 * (depth > 8 ? 2 : 1));
        std::vector<uint8_t> expected;
        for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 29 + 5);
        for (size_t i = 0; i < size_t{w} * 3; ++i) {
            const uint32_t v = depth > 8 ? (src[2 * i] | (src[2 * i + 1] & 3) << 8) : src[i];
            if (depth > 8) src[2 * i + 1] &= 3;
            expected.push_back(static_cast<uint8_t>(v << (16 - depth)));
            expected.push_back(static_cast<uint8_t>(v << (16 - depth) >> 8));
        }
        PictureFormat rgb = Planar(Chroma::Yuv444, depth, w, 1);
        rgb.packing = Packing::Rgb;
        EXPECT_EQ(Convert(rgb, RawLayout::Rgb48, src), expected) << depth;
    }

    // 2x3 4:2:0 at 10 bits into 4:2:2 16-bit: samples high-aligned, chroma rows repeated.
    std::vector<uint8_t> src;
    for (uint16_t v : {1, 2, 3, 4, 5, 1023, 100, 200, 300, 400}) {
        src.push_back(static_cast<uint8_t>(v));
        src.push_back(static_cast<uint8_t>(v >> 8));
    }
    const auto out = Convert(Planar(Chroma::Yuv420, 10, 2, 3), RawLayout::Yuv422P16, src);
    std::vector<uint8_t> expected;
    for (uint16_t v : {1, 2, 3, 4, 5, 1023, 100, 100, 200, 300, 300, 400}) {
        expected.push_back(static_cast<uint8_t>(v << 6));
        expected.push_back(static_cast<uint8_t>(v >> 2));
    }
    EXPECT_EQ(out, expected);
}

// A sample with bits above the depth, wherever it is in the plane, is named.
TEST(SampleAboveDepth, FindsTheFirstAnywhereInThePlane) {
    const PictureFormat f = Planar(Chroma::Mono, 10, 37, 2);
    for (uint32_t at : {0u, 17u, 36u, 43u, 73u}) {
        std::vector<uint8_t> frame(size_t{37} * 2 * 2);
        for (size_t i = 0; i < frame.size(); i += 2) frame[i] = 0xFF, frame[i + 1] = 0x03;
        EXPECT_EQ(SampleAboveDepth(f, frame.data()), "");
        frame[2 * at + 1] = 0x04;
        EXPECT_EQ(SampleAboveDepth(f, frame.data()), "plane Y, x " + std::to_string(at % 37) +
                                                         ", y " + std::to_string(at / 37) + ": " +
                                                         std::to_string(0x4FF));
    }
}

// A frame larger than a piece comes in order and whole, each piece is compared as it comes, and
// a frame cut inside a later piece is truncated, not short.
TEST(Y4mReader, HandsAFrameOverInPiecesEachCompared) {
    const ScratchDir dir;
    const std::string path = WriteSource(dir, "big.y4m", "yuv444p", 520, 512, 2);
    const std::string whole = ReadFile(path);
    Y4mReader reader(path);
    const auto bytes = static_cast<size_t>(reader.format().frameBytes());
    std::vector<uint8_t> frame(bytes), decoded(bytes);
    std::vector<std::pair<size_t, size_t>> pieces;
    ASSERT_TRUE(reader.readInPieces(
        frame.data(), [&](size_t begin, size_t end) { pieces.emplace_back(begin, end); }));
    ASSERT_GT(pieces.size(), 2u);
    for (size_t i = 0; i < pieces.size(); ++i)
        EXPECT_EQ(pieces[i].first, i == 0 ? 0 : pieces[i - 1].second);
    EXPECT_EQ(pieces.back().second, bytes);
    const size_t start = whole.find("FRAME\n") + 6;
    EXPECT_EQ(std::string(frame.begin(), frame.end()), whole.substr(start, bytes));

    std::string why;
    const auto comparer = FrameComparer::make(reader.format(), reader.format(), 8, why);
    ASSERT_TRUE(comparer) << why;
    const auto compareInPieces = [&] {
        FrameComparer::Pass pass(*comparer, frame.data(), decoded.data());
        for (const auto& [begin, end] : pieces) pass.arrived(begin, end);
        return pass.result();
    };
    decoded = frame;
    EXPECT_EQ(compareInPieces(), "");
    for (const size_t at : {pieces.front().first, pieces[1].first + 7, bytes - 1}) {
        decoded = frame;
        decoded[at] ^= 1;
        EXPECT_NE(compareInPieces(), "") << at;
    }

    WriteFile(dir / "cut.y4m", whole.substr(0, whole.size() - bytes + pieces[1].second + 5));
    Y4mReader cut(dir / "cut.y4m");
    ASSERT_TRUE(cut.read(frame.data()));
    try {
        (void)cut.readInPieces(frame.data(), [](size_t, size_t) {});
        ADD_FAILURE() << "a cut frame was read";
    } catch (const InputError& e) {
        EXPECT_TRUE(Has(e.what(), "frame 1 is truncated: " + std::to_string(pieces[1].second + 5) +
                                      " of " + std::to_string(bytes)))
            << e.what();
    }
}

std::string Le(uint64_t v, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
    return out;
}

// RF64, as ffmpeg writes audio over 4 GiB, and a data chunk that claims more than the file holds
// are read, the second to its end with a note where asked and refused otherwise; audio a frame or
// less longer than the video is no news.
TEST(WavReader, ReadsRf64AndADataChunkCutShort) {
    const ScratchDir dir;
    std::vector<uint8_t> samples(40);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 7);
    const std::vector<uint8_t> made = MakeWav({48000, 2, 16, false, 0x3}, samples);
    const std::string wav(made.begin(), made.end());
    std::string rf64 = "RF64" + Le(~0u, 4) + "WAVEds64" + Le(28, 4) + Le(wav.size() + 28, 8) +
                       Le(40, 8) + Le(10, 8) + Le(0, 4) + wav.substr(12);
    rf64.replace(rf64.find("data") + 4, 4, Le(~0u, 4));
    const struct {
        std::string bytes;
        size_t frames, notes;
    } cases[] = {{rf64, 10, 0}, {wav.substr(0, wav.size() - 8), 8, 1}};
    for (const auto& c : cases) {
        WriteFile(dir / "a.wav", c.bytes);
        WavReader reader(dir / "a.wav", WavReader::ShortData::ReadToEnd);
        EXPECT_EQ(reader.notes().size(), c.notes);
        std::vector<uint8_t> got(samples.size());
        EXPECT_EQ(reader.read(got.data(), 10), c.frames);
        got.resize(c.frames * 4);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), samples.begin()));
    }
    EXPECT_THROW(WavReader(dir / "a.wav"), InputError);  // the cut one, unless read to its end
    EXPECT_EQ(AudioLengthNote(48000 * 2 + 1920, 48000, 50, 25, 1), "");
    EXPECT_EQ(AudioLengthNote(48000 * 3, 48000, 50, 25, 1),
              "the audio runs 1.00 s longer than the video's 50 frames (2.00 s); the file keeps "
              "all of it");
}

}  // namespace
}  // namespace iohost_test
