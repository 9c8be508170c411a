#include "platform/avi_reader/payload_reader.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/avi_reader/avi_parser.h"
#include "tests/avi_reader/avi_builder.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(PayloadReader, ReportsCutAndMissingFiles) {
    const TempDir dir;
    auto bytes = avitest::buildAvi(avitest::twoSegmentPlan()).bytes;
    auto last = avireader::parseAvi(bytes.data(), bytes.size()).chunks.back();
    bytes.resize(size_t(last.offset) + 10);
    std::ofstream(dir.path / u8"cut.avi", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
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
