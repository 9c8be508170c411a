// Raw frames for every format of the table, with what the library's decoder must give back for
// them (tight rows). The noise lies only where the stream keeps every bit (the top bits of 16-bit
// samples; 4:2:0 chroma rows in equal pairs): what the stream drops is the library's own concern.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/encoder/format_table.h"

using Planes = std::vector<std::vector<uint8_t>>;

struct TestFrame {
    std::vector<uint8_t> raw;
    Planes expectedPlanes;
};

[[nodiscard]] TestFrame MakeTestFrame(const FormatDesc& row, uint32_t width, uint32_t height,
                                      uint32_t seed);

// Decodes `packet` with the library's decoder and compares it with `expected`: empty when equal,
// else why not (decoder status or the first difference).
[[nodiscard]] std::string DecodeDifference(const std::vector<uint8_t>& cookie, uint32_t width,
                                           uint32_t height, const std::vector<uint8_t>& packet,
                                           const Planes& expected);
