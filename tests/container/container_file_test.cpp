// What the files written through the module hold. How the host's track properties become the
// main header, the stream headers and the stream formats (frame timing, bitmap headers with their
// wrapping arithmetic, four-character codes, audio formats with their channel masks); and whole
// files of one video and three audio tracks, whose header records are compared byte for byte with
// golden values, every payload with what was handed in, and the indexes by the independent
// reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "tests/container/container_fixture.h"

namespace container_test {
namespace {

constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 48;
constexpr uint32_t kFrames = 12;
const Bytes kCookie = {1, 2, 3, 4, 5};

// PCM 16-bit stereo, PCM 24-bit 5.1, float stereo (their formats are checked on their own).
const iohost::AudioTrackSettings kAudio[] = {
    Audio(48000, 2, 16, false, 2), Audio(48000, 6, 24, false, 3), Audio(44100, 2, 32, true, 2)};
const uint32_t kBlockAlign[] = {4, 18, 8};

struct Written {
    Packets video;
    std::vector<Packets> audio{3};
    uint32_t audioLength[3] = {};  // sample frames per track
};

uint32_t Largest(const Packets& packets) {
    size_t largest = 0;
    for (const auto& p : packets) largest = std::max(largest, p.size());
    return static_cast<uint32_t>(largest);
}

class ContainerFileTest : public ContainerTest {
protected:
    // A file holding just the header for one track (video when `video` is given).
    WrittenAvi writeHeader(const std::string& name, const iohost::VideoTrackSettings* video,
                           const iohost::AudioTrackSettings& audio = {}) {
        auto container = newContainer();
        iohost::Track track;
        EXPECT_EQ(video != nullptr ? container.addVideoTrack(*video, track)
                                   : container.addAudioTrack(audio, track),
                  errNone)
            << name;
        EXPECT_EQ(container.open(path(name)), errNone) << name;
        EXPECT_EQ(container.close(), errNone) << name;
        return ReadWritten(path(name));
    }
    // Video at 30000/1001 in packets of odd and even sizes, with the three audio tracks, one audio
    // packet per track after each frame.
    Written writeFourTrackFile(iohost::Container& container, const std::string& file) {
        Written in;
        iohost::Track video;
        std::vector<iohost::Track> audio(3);
        EXPECT_EQ(
            container.addVideoTrack(Video(kWidth, kHeight, "P8RG", 30000, 1001, kCookie), video),
            errNone);
        for (size_t k = 0; k < 3; ++k)
            EXPECT_EQ(container.addAudioTrack(kAudio[k], audio[k]), errNone);
        EXPECT_EQ(container.open(file), errNone);
        for (uint32_t i = 0; i < kFrames; ++i) {
            in.video.push_back(Packet(1000 + 37 * i, i));
            EXPECT_EQ(video.write(in.video.back()), errNone);
            for (size_t k = 0; k < 3; ++k) {
                const uint32_t count = k == 2 ? 1470 + i % 3 : 1601 + i % 2;
                in.audio[k].push_back(
                    Packet(size_t{count} * kBlockAlign[k], static_cast<uint32_t>(i * 4 + k)));
                EXPECT_EQ(audio[k].write(in.audio[k].back(), count), errNone);
                in.audioLength[k] += count;
            }
        }
        EXPECT_EQ(container.close(), errNone);
        return in;
    }
};

TEST_F(ContainerFileTest, BitmapHeaderFollowsTheTrackAndTheFormatTable) {
    struct Case {
        const char* what;
        uint32_t width, height;
        char fourcc[5];
        Bytes cookie;
        uint16_t bitCount;
        uint32_t sizeImage;
        uint16_t rcRight, rcBottom;
        // The frame time is scale in microseconds over rate, in wrapping 32-bit arithmetic.
        uint32_t rate = 25, scale = 1, microSecPerFrame = 40000;
    };
    const auto minus = [](uint32_t v) { return 0u - v; };
    const Case cases[] = {
        {"1080p", 1920, 1080, "P8RG", {}, 24, 6220800, 1920, 1080, 30000, 1001, 33366},
        {"negative height", 1920, minus(1080), "P8RG", {}, 24, minus(6220800), 1920, 1080},
        // 2.4e9 wraps to a negative number, which is then divided as a signed one.
        {"product past 2^31", 10000, 10000, "P8RG", {}, 24, minus(236870912), 10000, 10000},
        // -30 / 8 truncates toward zero to -3 (a shift or a floor would give -4). 4295e6 wraps to
        // 32704, then / 7.
        {"negative quotient", 3, minus(1), "P0G0", {}, 10, minus(3), 3, 1, 7, 4295, 4672},
        {"cookie of odd length", 16, 16, "P0RA", {9, 8, 7, 6, 5}, 40, 1280, 16, 16},
        {"code not in the table", 16, 16, "ABCD", {1}, 32, 1024, 16, 16, 24000, 1001, 41708},
        // The most negative width has no positive counterpart; its 16-bit extent is 0. 5e9 us
        // wraps modulo 2^32.
        {"most negative width", 0x80000000, 1, "P8RG", {}, 24, 0, 0, 1, 1, 5000, 705032704},
        {"extent past 16 bits", 70000, 2, "P8RG", {}, 24, 420000, 70000 - 65536, 2},
    };
    for (const Case& c : cases) {
        const iohost::VideoTrackSettings settings =
            Video(c.width, c.height, c.fourcc, c.rate, c.scale, c.cookie);
        const WrittenAvi file = writeHeader(std::string(c.what) + ".avi", &settings);
        const Golden strf =
            Golden()
                .u32s({40 + static_cast<uint32_t>(c.cookie.size()), c.width, c.height})
                .u16s({1, c.bitCount})
                .fourcc(c.fourcc)
                .u32s({c.sizeImage, 0, 0, 0, 0})
                .bytes(c.cookie);
        EXPECT_EQ(file.headerPayload("strf", 0), strf.data) << c.what;
        const Golden strh = Golden()
                                .fourcc("vids")
                                .fourcc(c.fourcc)
                                .u32s({0, 0, 0, c.scale, c.rate, 0, 0, 0, 10000, 0})
                                .u16s({0, 0, c.rcRight, c.rcBottom});
        EXPECT_EQ(file.headerPayload("strh", 0), strh.data) << c.what;
        ASSERT_TRUE(file.avi.mainHeader) << c.what;
        const auto& avih = *file.avi.mainHeader;
        EXPECT_EQ(std::tie(avih.width, avih.height, avih.microSecPerFrame),
                  std::tie(c.width, c.height, c.microSecPerFrame))
            << c.what;
    }
}

TEST_F(ContainerFileTest, AudioFormatsAndChannelMasks) {
    // WAVEFORMATEX up to wBitsPerSample, or WAVEFORMATEXTENSIBLE when `mask` is given.
    auto format = [](uint16_t tag, uint16_t channels, uint32_t rate, uint16_t block, uint16_t bits,
                     std::optional<uint32_t> mask = std::nullopt) {
        Golden g;
        g.u16s({mask ? uint16_t{0xFFFE} : tag, channels}).u32s({rate, rate * block});
        g.u16s({block, bits});
        if (mask) g.u16s({22, bits}).u32s({*mask}).bytes(SubFormat(tag));
        return g.data;
    };
    struct Case {
        const char* what;
        iohost::AudioTrackSettings settings;
        uint16_t blockAlign;
        Bytes strf;
    };
    const Case cases[] = {
        {"PCM 16 stereo", Audio(48000, 2, 16, false, 2), 4, format(1, 2, 48000, 4, 16)},
        {"PCM 24 5.1", Audio(48000, 6, 24, false, 3), 18, format(1, 6, 48000, 18, 24, 0x3F)},
        {"PCM 16 7.1", Audio(48000, 8, 16, false, 4), 16, format(1, 8, 48000, 16, 16, 0x63F)},
        {"float stereo", Audio(44100, 2, 32, true, 2), 8, format(3, 2, 44100, 8, 32)},
        {"float 5.1", Audio(48000, 6, 32, true, 3), 24, format(3, 6, 48000, 24, 32, 0x3F)},
        // Layouts that name no speakers give mask 0, which two channels cannot say plainly.
        {"stereo layout 0", Audio(48000, 2, 16, false, 0), 4, format(1, 2, 48000, 4, 16, 0)},
        {"stereo layout 9", Audio(48000, 2, 16, false, 9), 4, format(1, 2, 48000, 4, 16, 0)},
        {"mono layout 1", Audio(22050, 1, 16, false, 1), 2, format(1, 1, 22050, 2, 16)},
    };
    for (const Case& c : cases) {
        const WrittenAvi file = writeHeader(std::string(c.what) + ".avi", nullptr, c.settings);
        EXPECT_EQ(file.headerPayload("strf", 0), c.strf) << c.what;
        // dwScale, dwRate and dwSampleSize from the block size; without a video track the main
        // header keeps no frame time or size.
        ASSERT_TRUE(file.avi.mainHeader && file.avi.streams.size() == 1) << c.what;
        const auto& h = *file.avi.streams[0].header;
        const uint32_t block = c.blockAlign;
        EXPECT_EQ(std::tie(h.type, h.scale, h.rate, h.sampleSize),
                  std::make_tuple(avireader::fourcc("auds"), block, block * c.settings.samplingRate,
                                  block))
            << c.what;
        const auto& m = *file.avi.mainHeader;
        EXPECT_EQ(std::tie(m.microSecPerFrame, m.width, m.height), std::make_tuple(0u, 0u, 0u));
    }
}

TEST_F(ContainerFileTest, FilesAreWrittenAsDescribed) {
    auto container = newContainer();
    const Written in = writeFourTrackFile(container, path("four.avi"));
    EXPECT_EQ(logTexts(), std::vector<std::string>{});
    const WrittenAvi file = ReadWritten(path("four.avi"));
    EXPECT_EQ(Problems(file.avi), "");

    // Largest chunk on disk, header and pad byte included.
    uint32_t largestChunk = 0;
    for (const Packets* packets : {&in.video, &in.audio[0], &in.audio[1], &in.audio[2]}) {
        const uint32_t largest = Largest(*packets);
        largestChunk = std::max(largestChunk, largest + 8 + largest % 2);
    }
    // dwMicroSecPerFrame, dwMaxBytesPerSec, dwPaddingGranularity, dwFlags (AVIF_HASINDEX),
    // dwTotalFrames, dwInitialFrames, dwStreams, dwSuggestedBufferSize, dwWidth, dwHeight,
    // reserved.
    const Golden avih = Golden().u32s(
        {33366, 0, 0, 0x10, kFrames, 0, 4, largestChunk, kWidth, kHeight, 0, 0, 0, 0});
    EXPECT_EQ(file.headerPayload("avih"), avih.data);
    // Type and handler; dwFlags, wPriority and wLanguage, dwInitialFrames, dwScale, dwRate,
    // dwStart, dwLength, dwSuggestedBufferSize, dwQuality, dwSampleSize; rcFrame.
    const Golden videoStrh =
        Golden()
            .fourcc("vids")
            .fourcc("P8RG")
            .u32s({0, 0, 0, 1001, 30000, 0, kFrames, Largest(in.video), 10000, 0})
            .u16s({0, 0, kWidth, kHeight});
    EXPECT_EQ(file.headerPayload("strh", 0), videoStrh.data);
    EXPECT_EQ(file.streamPayloads(0), in.video);
    for (int k = 0; k < 3; ++k) {
        const uint32_t block = kBlockAlign[k];
        const Golden strh = Golden().fourcc("auds").u32s(
            {0, 0, 0, 0, block, block * kAudio[k].samplingRate, 0, in.audioLength[k],
             Largest(in.audio[k]), 10000, block, 0, 0});
        EXPECT_EQ(file.headerPayload("strh", k + 1), strh.data) << k;
        EXPECT_EQ(file.streamPayloads(k + 1), in.audio[k]) << k;
    }
    EXPECT_EQ(file.avi.odmlTotalFrames, kFrames);
    // Every video chunk is a key frame, no audio chunk is.
    ASSERT_TRUE(file.avi.oldIndex.has_value());
    EXPECT_EQ(file.avi.oldIndex->entries.size(), kFrames * 4);
    for (const auto& entry : file.avi.oldIndex->entries)
        EXPECT_EQ(entry.flags, entry.chunkId == avireader::fourcc("00dc") ? 0x10u : 0u);
}

}  // namespace
}  // namespace container_test
