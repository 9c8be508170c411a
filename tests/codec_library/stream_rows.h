// The sixteen (raw, compressed) pairs of the product's format table, in its order: the stream's
// name, the bits kept of each sample, and the decoder's output layout (planes, components in the
// first, chroma subsampled across and down). The fuzzer shares it.
#pragma once

#include <cstdint>

namespace codec_test {

struct StreamRow {
    uint32_t raw, compressed;
    const char* fourcc;
    unsigned bits, planes, components, subX, subY;
};

inline constexpr StreamRow kStreamRows[16] = {
    {22, 101, "P8RG", 8, 1, 3, 0, 0},  {20, 102, "P8RA", 8, 1, 4, 0, 0},
    {29, 103, "P8Y4", 8, 3, 1, 0, 0},  {5, 104, "P8Y2", 8, 3, 1, 1, 0},
    {10, 105, "P8Y0", 8, 3, 1, 1, 1},  {10, 107, "P8G0", 8, 1, 1, 0, 0},
    {28, 109, "P0RG", 10, 1, 3, 0, 0}, {26, 110, "P0RA", 10, 1, 4, 0, 0},
    {51, 118, "P0Y4", 10, 3, 1, 0, 0}, {59, 108, "P0Y2", 10, 3, 1, 1, 0},
    {59, 123, "P0Y0", 10, 3, 1, 1, 1}, {59, 115, "P0G0", 10, 1, 1, 0, 0},
    {28, 111, "P2RG", 12, 1, 3, 0, 0}, {26, 112, "P2RA", 12, 1, 4, 0, 0},
    {28, 113, "P4RG", 14, 1, 3, 0, 0}, {26, 114, "P4RA", 14, 1, 4, 0, 0},
};

}  // namespace codec_test
