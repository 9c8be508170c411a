#include "platform/avi_reader/avi_printer.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/avi_reader/avi_parser.h"
#include "tests/avi_reader/avi_builder.h"

namespace {

TEST(AviPrinter, OutlinesSegmentsIndexesAndChunkCounts) {
    const auto built = avitest::buildAvi(avitest::twoSegmentPlan());
    std::ostringstream out;
    avireader::printAvi(avireader::parseAvi(built.bytes.data(), built.bytes.size()), out);
    const std::string text = out.str();
    const std::string expected[] = {
        "2 RIFF segments, 2 streams, 12 data chunks\n",
        "'RIFF' 'AVIX' at " + std::to_string(built.layout.riff[1]),
        "    'avih' at 24, 56 bytes: 40000 us/frame, 64x48, 2 streams, 3 frames, flags 0x10",
        "      'strh' at " + std::to_string(built.layout.strh[0] - 8) +
            ", 56 bytes: 'vids' 'P8RG', rate 25/1",
        "BITMAPINFOHEADER 64x48, 24 bits, 'P8RG', biSize 44, image 9216 bytes, 4 private bytes",
        "WAVEFORMATEX tag 0x1, 2 channels, 48000 Hz, 16 bits, block 4",
        "'indx' at ",
        ": super index of '01wb', 2 entries in use",
        "'dmlh' at ",
        ": 5 total frames",
        "'movi' at " + std::to_string(built.layout.movi[1]) +
            ", 3252 bytes: 5 data chunks (2 '00dc', 3 '01wb')\n",
        "    'ix01' at " + std::to_string(built.layout.ix.at({1, 1})) +
            ", 48 bytes: 3 entries of '01wb'",
        "  'idx1' at ",
        ": 7 entries\n",
    };
    for (const auto& line : expected) {
        EXPECT_NE(text.find(line), std::string::npos) << "missing: " << line << "\nin:\n" << text;
    }
}

}  // namespace
