#include "platform/avi_reader/payload_reader.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/avi_reader/avi_parser.h"
#include "tests/avi_reader/avi_builder.h"
#include "tests/support/temp_dir.h"

namespace {

// Writes `bytes` at `at` of a new (at 0) or existing file; a gap before them stays unwritten.
void write(const std::filesystem::path& path, const std::vector<uint8_t>& bytes, uint64_t at = 0) {
    std::ofstream out(path,
                      std::ios::binary | std::ios::out | (at ? std::ios::in : std::ios::trunc));
    out.seekp(std::streamoff(at));
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The second segment lies beyond 4 GiB, behind a JUNK chunk (a sparse gap), so that every
// position in it needs more than 32 bits; the name is not ASCII, for the UTF-8 path on Windows.
TEST(PayloadReader, ReadsEveryChunkPastFourGigabytes) {
    const TempDir dir;
    const std::u8string name = u8"avi_reader_\u00e9\u00df.avi";
    const auto built = avitest::buildAvi(avitest::twoSegmentPlan());
    const auto split = built.bytes.begin() + long(built.at.at("riff1"));
    std::vector<uint8_t> head(built.bytes.begin(), split);
    head.insert(head.end(), {'J', 'U', 'N', 'K', 0xF0, 0xFF, 0xFF, 0xFF});
    const uint64_t moved = head.size() + 0xFFFFFFF0u, shift = moved - built.at.at("riff1");
    write(dir.path / name, head);
    write(dir.path / name, {split, built.bytes.end()}, moved);

    const auto avi = avireader::readAvi(dir.file(name));
    EXPECT_EQ(avi.fileSize, built.bytes.size() + shift);
    EXPECT_EQ(avi.segments.at(1).offset, moved);
    ASSERT_EQ(avi.chunks.size(), 12u);
    avireader::PayloadReader reader(dir.file(name));
    std::vector<uint8_t> payload;
    for (const auto& chunk : avi.chunks) {
        const uint64_t header = chunk.offset - 8 - (chunk.segment == 1 ? shift : 0);
        ASSERT_TRUE(reader.read(chunk, payload));
        ASSERT_EQ(payload.size(), chunk.size);
        for (size_t i = 0; i < chunk.size; ++i)
            ASSERT_EQ(payload[i], avitest::payloadByte(header, chunk.stream, i)) << header;
    }
}

TEST(PayloadReader, ReportsCutAndMissingFiles) {
    const TempDir dir;
    auto bytes = avitest::buildAvi(avitest::twoSegmentPlan()).bytes;
    auto last = avireader::parseAvi(bytes.data(), bytes.size()).chunks.back();
    bytes.resize(size_t(last.offset) + 10);
    write(dir.path / u8"cut.avi", bytes);
    std::vector<uint8_t> payload;
    EXPECT_FALSE(avireader::readPayload(dir.file(u8"cut.avi"), last, payload));
    EXPECT_EQ(payload.size(), 10u);
    last.offset = 1u << 30;
    EXPECT_FALSE(avireader::readPayload(dir.file(u8"cut.avi"), last, payload));
    EXPECT_TRUE(payload.empty());
    const auto avi = avireader::readAvi(dir.file(u8"missing.avi"));
    ASSERT_EQ(avi.problems.size(), 1u);
    EXPECT_NE(avi.problems[0].text.find("cannot open"), std::string::npos);
    EXPECT_FALSE(avireader::readPayload(dir.file(u8"missing.avi"), last, payload));
}

}  // namespace
