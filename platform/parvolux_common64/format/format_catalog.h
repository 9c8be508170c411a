// The library's formats: the raw frame layouts it reads, the compressed streams it writes, and
// which raw layout feeds which stream. A (raw, compressed) pair is supported exactly when a
// stream names that raw code; everything the library accepts is decided here.
#ifndef PARVOLUX_COMMON64_FORMAT_FORMAT_CATALOG_H
#define PARVOLUX_COMMON64_FORMAT_FORMAT_CATALOG_H

#include <cstdint>
#include <span>

namespace parvolux {

// Raw frames: rows tightly packed; 16-bit samples little-endian and high-aligned.
enum class RawLayout : uint8_t {
    Rgb24,      // packed R, G, B bytes
    Rgba32,     // packed R, G, B, A bytes
    Yuv444P8,   // planes Y, U, V, full size
    Uyvy,       // packed U0 Y0 V0 Y1 per pixel pair
    Yuv420P8,   // planes Y, U, V; chroma (w+1)/2 by (h+1)/2
    Rgb48,      // packed R, G, B, 16-bit
    Rgba64,     // packed R, G, B, A, 16-bit
    Yuv444P16,  // planes Y, U, V, 16-bit
    Yuv422P16,  // planes Y, U, V, 16-bit; chroma (w+1)/2 wide
};

struct RawFormat {
    uint32_t code;
    const char* name;
    RawLayout layout;
};

// What a stream codes. RGB streams code G, B-G, R-G (and A); YUV streams code their planes as
// they are, 4:2:0 chroma at half height; luma streams code Y alone.
enum class StreamKind : uint8_t { Rgb, Rgba, Yuv444, Yuv422, Yuv420, Luma };

struct StreamFormat {
    uint32_t code;       // compressed format code
    const char* fourcc;  // also the stream's name
    uint32_t rawCode;    // the raw input it takes
    StreamKind kind;
    uint8_t bits;  // coded bits per sample: the top bits of each raw sample
};

const RawFormat* findRawFormat(uint32_t code);
const StreamFormat* findStreamFormat(uint32_t code);
// The stream for a (raw, compressed) pair, or null when the pair is not supported.
const StreamFormat* findPair(uint32_t rawCode, uint32_t compressedCode);
std::span<const StreamFormat> streamFormats();

// Category-1 name of a format code; "extended" for the extended-form marker, "unknown" else.
const char* formatName(uint32_t code);

unsigned planeCount(StreamKind kind);
bool isRgb(StreamKind kind);
// log2 of the chroma subsampling of a coded plane.
unsigned planeShiftX(StreamKind kind, unsigned plane);
unsigned planeShiftY(StreamKind kind, unsigned plane);

}  // namespace parvolux

#endif
