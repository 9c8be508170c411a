// Raw frames for every format of the table, with what the library's decoder must give back for
// them: the samples the stream keeps (the top N bits of 16-bit samples, 4:2:0 chroma as the
// rounded mean of vertical 4:2:2 pairs, luma alone for the Y-only streams), in the decoder's
// output layout (tight rows).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/encoder/format_table.h"

struct TestFrame {
    std::vector<uint8_t> raw;
    std::vector<std::vector<uint8_t>> expectedPlanes;
};

// Noise over every bit of every raw sample, from a fixed seed.
[[nodiscard]] TestFrame MakeTestFrame(const FormatDesc& row, uint32_t width, uint32_t height,
                                      uint32_t seed);

// The bytes of a raw frame of this row and size (the planes' sum).
[[nodiscard]] size_t RawFrameSize(const FormatDesc& row, uint32_t width, uint32_t height);

// Decodes one packet with the library's decoder into tight planes; on failure the text says why
// (and `planes` is left empty).
[[nodiscard]] bool DecodePacket(const std::vector<uint8_t>& cookie, uint32_t width, uint32_t height,
                                const std::vector<uint8_t>& packet,
                                std::vector<std::vector<uint8_t>>& planes, std::string& why);

// Empty when equal; else where the first difference is.
[[nodiscard]] std::string FirstDifference(const std::vector<std::vector<uint8_t>>& expected,
                                          const std::vector<std::vector<uint8_t>>& actual);
