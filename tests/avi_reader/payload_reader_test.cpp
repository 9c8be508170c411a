#include "platform/avi_reader/payload_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/avi_reader/avi_parser.h"
#include "tests/avi_reader/avi_builder.h"
#include "tests/avi_reader/temp_path.h"

namespace {

namespace fs = std::filesystem;

// A file in the temporary folder, removed at the end of the test. The name has characters outside
// ASCII, so that the UTF-8 path handling is exercised on Windows. Bytes may be placed at an offset,
// leaving a (sparse) gap before them.
class TempAvi {
public:
    explicit TempAvi(const std::vector<uint8_t>& bytes) { write(0, bytes); }
    ~TempAvi() {
        std::error_code ignored;
        fs::remove(m_path, ignored);
    }
    void write(uint64_t at, const std::vector<uint8_t>& bytes) {
        std::ofstream out(m_path, std::ios::binary | std::ios::in | std::ios::out);
        if (!out) out.open(m_path, std::ios::binary);
        out.seekp(std::streamoff(at));
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        m_good = m_good && out.good();
    }
    bool good() const { return m_good; }
    std::string utf8() const {
        const std::u8string s = m_path.u8string();
        return std::string(s.begin(), s.end());
    }

private:
    fs::path m_path = avitest::uniqueTempPath(fs::path(u8"avi_reader_test_\u00e9\u00df.avi"));
    bool m_good = true;
};

TEST(PayloadReader, ReadsEveryChunkOfAFileOnDisk) {
    const auto built = avitest::buildAvi(avitest::twoSegmentPlan());
    const TempAvi file(built.bytes);
    const auto avi = avireader::readAvi(file.utf8());
    ASSERT_TRUE(avi.problems.empty());
    EXPECT_EQ(avi.fileSize, built.bytes.size());
    ASSERT_EQ(avi.chunks.size(), 12u);

    avireader::PayloadReader reader(file.utf8());
    ASSERT_TRUE(reader.isOpen());
    std::vector<uint8_t> payload;
    for (const auto& chunk : avi.chunks) {
        ASSERT_TRUE(reader.read(chunk, payload));
        ASSERT_EQ(payload.size(), chunk.size);
        for (size_t i = 0; i < payload.size(); ++i) {
            ASSERT_EQ(payload[i], avitest::payloadByte(chunk.offset - 8, chunk.stream, i))
                << "chunk at " << chunk.offset << ", byte " << i;
        }
    }
    const auto audio = avireader::chunksOfStream(avi, 1);
    ASSERT_EQ(audio.size(), 7u);
    EXPECT_EQ(audio[4].segment, 1u);
    EXPECT_EQ(audio[3].size, 404u);
}

TEST(PayloadReader, ReportsChunksCutByTheEndOfTheFile) {
    auto bytes = avitest::buildAvi(avitest::twoSegmentPlan()).bytes;
    const auto avi = avireader::parseAvi(bytes.data(), bytes.size());
    const auto& last = avi.chunks.back();
    bytes.resize(size_t(last.offset) + 10);
    const TempAvi file(bytes);
    std::vector<uint8_t> payload;
    EXPECT_FALSE(avireader::readPayload(file.utf8(), last, payload));
    EXPECT_EQ(payload.size(), 10u);
    avireader::DataChunk beyond = last;
    beyond.offset = 1u << 30;
    EXPECT_FALSE(avireader::readPayload(file.utf8(), beyond, payload));
    EXPECT_TRUE(payload.empty());
}

// The second segment placed beyond 4 GiB, behind a JUNK chunk between the segments (kept sparse),
// so that every position in it needs more than 32 bits.
TEST(PayloadReader, ReadsPastFourGigabytes) {
    const auto built = avitest::buildAvi(avitest::twoSegmentPlan());
    const auto split = std::ptrdiff_t(built.layout.riff[1]);
    std::vector<uint8_t> head(built.bytes.begin(), built.bytes.begin() + split);
    head.insert(head.end(), {'J', 'U', 'N', 'K', 0xF0, 0xFF, 0xFF, 0xFF});
    const uint64_t moved = head.size() + uint64_t(0xFFFFFFF0u);
    const std::vector<uint8_t> tail(built.bytes.begin() + split, built.bytes.end());
    TempAvi file(head);
    file.write(moved, tail);
    ASSERT_TRUE(file.good());

    const auto avi = avireader::readAvi(file.utf8());
    EXPECT_EQ(avi.fileSize, moved + tail.size());
    ASSERT_EQ(avi.segments.size(), 2u);
    EXPECT_EQ(avi.segments[1].offset, moved);
    ASSERT_EQ(avi.chunks.size(), 12u);
    avireader::PayloadReader reader(file.utf8());
    std::vector<uint8_t> payload;
    for (size_t k = 7; k < 12; ++k) {
        const auto& chunk = avi.chunks[k];
        ASSERT_GT(chunk.offset, uint64_t(1) << 32);
        ASSERT_TRUE(reader.read(chunk, payload));
        const auto at = std::ptrdiff_t(chunk.offset - moved);
        EXPECT_TRUE(std::equal(payload.begin(), payload.end(), tail.begin() + at))
            << "chunk at " << chunk.offset;
    }
}

TEST(PayloadReader, MissingFileIsAProblemNotACrash) {
    const std::string path = avitest::uniqueTempPath("avi_reader_no_such_file.avi").string();
    const auto avi = avireader::readAvi(path);
    ASSERT_EQ(avi.problems.size(), 1u);
    EXPECT_NE(avi.problems[0].text.find("cannot open"), std::string::npos);
    std::vector<uint8_t> payload(5);
    EXPECT_FALSE(avireader::readPayload(path, avireader::DataChunk{}, payload));
    EXPECT_TRUE(payload.empty());
}

}  // namespace
