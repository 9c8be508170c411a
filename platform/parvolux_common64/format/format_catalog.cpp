#include "platform/parvolux_common64/format/format_catalog.h"

#include <array>

#include "codec/parvolux_library.h"

namespace parvolux {
namespace {

constexpr std::array<RawFormat, 9> kRawFormats{{
    {22, "RGB24", RawLayout::Rgb24},
    {20, "RGBA32", RawLayout::Rgba32},
    {29, "YUV444P8", RawLayout::Yuv444P8},
    {5, "UYVY", RawLayout::Uyvy},
    {10, "YUV420P8", RawLayout::Yuv420P8},
    {28, "RGB48", RawLayout::Rgb48},
    {26, "RGBA64", RawLayout::Rgba64},
    {51, "YUV444P16", RawLayout::Yuv444P16},
    {59, "YUV422P16", RawLayout::Yuv422P16},
}};

constexpr std::array<StreamFormat, 16> kStreams{{
    {101, "P8RG", 22, StreamKind::Rgb, 8},
    {102, "P8RA", 20, StreamKind::Rgba, 8},
    {103, "P8Y4", 29, StreamKind::Yuv444, 8},
    {104, "P8Y2", 5, StreamKind::Yuv422, 8},
    {105, "P8Y0", 10, StreamKind::Yuv420, 8},
    {107, "P8G0", 10, StreamKind::Luma, 8},
    {109, "P0RG", 28, StreamKind::Rgb, 10},
    {110, "P0RA", 26, StreamKind::Rgba, 10},
    {118, "P0Y4", 51, StreamKind::Yuv444, 10},
    {108, "P0Y2", 59, StreamKind::Yuv422, 10},
    {123, "P0Y0", 59, StreamKind::Yuv420, 10},
    {115, "P0G0", 59, StreamKind::Luma, 10},
    {111, "P2RG", 28, StreamKind::Rgb, 12},
    {112, "P2RA", 26, StreamKind::Rgba, 12},
    {113, "P4RG", 28, StreamKind::Rgb, 14},
    {114, "P4RA", 26, StreamKind::Rgba, 14},
}};

}  // namespace

const RawFormat* findRawFormat(uint32_t code) {
    for (const RawFormat& f : kRawFormats)
        if (f.code == code) return &f;
    return nullptr;
}

const StreamFormat* findStreamFormat(uint32_t code) {
    for (const StreamFormat& f : kStreams)
        if (f.code == code) return &f;
    return nullptr;
}

const StreamFormat* findPair(uint32_t rawCode, uint32_t compressedCode) {
    const StreamFormat* f = findStreamFormat(compressedCode);
    return f != nullptr && f->rawCode == rawCode ? f : nullptr;
}

std::span<const StreamFormat> streamFormats() {
    return kStreams;
}

const char* formatName(uint32_t code) {
    if (code == parvoluxFormatExtended) return "extended";
    if (const RawFormat* raw = findRawFormat(code)) return raw->name;
    if (const StreamFormat* stream = findStreamFormat(code)) return stream->fourcc;
    return "unknown";
}

unsigned planeCount(StreamKind kind) {
    switch (kind) {
        case StreamKind::Rgba:
            return 4;
        case StreamKind::Luma:
            return 1;
        default:
            return 3;
    }
}

bool isRgb(StreamKind kind) {
    return kind == StreamKind::Rgb || kind == StreamKind::Rgba;
}

unsigned planeShiftX(StreamKind kind, unsigned plane) {
    return plane > 0 && (kind == StreamKind::Yuv422 || kind == StreamKind::Yuv420) ? 1 : 0;
}

unsigned planeShiftY(StreamKind kind, unsigned plane) {
    return plane > 0 && kind == StreamKind::Yuv420 ? 1 : 0;
}

}  // namespace parvolux
