// A picture layout as media files store it, and the codec library's raw layouts.
//
// Files (YUV4MPEG2, raw frames) hold planar YUV (Y, then U and V, each plane's rows tightly
// packed; samples above 8 bits are little-endian 16-bit words holding the value low-aligned),
// planar RGB as ffmpeg's gbrp/gbrap layouts (planes G, B, R and alpha, stored like planar YUV) or
// packed RGB/RGBA (16-bit components little-endian and full-range). The codec's raw frames are
// what the plug-in's encoders take: the layouts below, 16-bit samples high-aligned (a 10-bit
// value v stored as v << 6). FrameConverter goes from the first to the second.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace iohost {

enum class Chroma { Yuv420, Yuv422, Yuv444, Mono };
// Planar: YUV or mono; Gbr/Gbra: planar RGB; Rgb/Rgba: packed RGB.
enum class Packing { Planar, Rgb, Rgba, Gbr, Gbra };
// Interlacing and colour range, when the source says.
enum class Scan { Unknown, Progressive, TopFirst, BottomFirst };
enum class Range { Unknown, Limited, Full };

struct PlaneSize {
    uint32_t width = 0;  // samples per row, per component
    uint32_t height = 0;
    uint32_t components = 1;  // interleaved components (packed RGB: 3 or 4)
};

// Where the samples of one colour component lie in a frame: `count` samples, the first at
// `offset`, `step` bytes apart, `bytes` wide, each value v standing for v << shift in 16 bits.
struct ComponentLayout {
    uint64_t offset = 0;
    uint64_t count = 0;
    uint32_t step = 1;
    uint32_t bytes = 1;
    uint32_t shift = 8;

    [[nodiscard]] uint32_t load(const uint8_t* frame, uint64_t i) const {
        return (stored(frame, i) << shift) & 0xFFFFu;
    }
    // The value as the frame stores it, bits above the depth included.
    [[nodiscard]] uint32_t stored(const uint8_t* frame, uint64_t i) const {
        const uint8_t* p = frame + offset + i * step;
        return bytes == 1 ? p[0] : p[0] | (uint32_t{p[1]} << 8);
    }
    void store(uint8_t* frame, uint64_t i, uint32_t value16) const {
        uint8_t* p = frame + offset + i * step;
        const uint32_t v = value16 >> shift;
        p[0] = static_cast<uint8_t>(v);
        if (bytes == 2) p[1] = static_cast<uint8_t>(v >> 8);
    }
};

struct PictureFormat {
    Packing packing = Packing::Planar;
    Chroma chroma = Chroma::Yuv420;  // planar only
    uint32_t bitDepth = 8;           // 8, 10, 12 or 16 (packed: 8 or 16)
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t rate = 25;  // frames per second as rate / scale
    uint32_t scale = 1;
    Scan scan = Scan::Unknown;
    Range range = Range::Unknown;

    [[nodiscard]] bool isRgb() const { return packing != Packing::Planar; }
    [[nodiscard]] bool hasAlpha() const {
        return packing == Packing::Rgba || packing == Packing::Gbra;
    }
    [[nodiscard]] uint32_t bytesPerSample() const { return bitDepth > 8 ? 2 : 1; }
    [[nodiscard]] unsigned planeCount() const;
    [[nodiscard]] PlaneSize plane(unsigned index) const;
    [[nodiscard]] uint64_t planeBytes(unsigned index) const;
    [[nodiscard]] uint64_t frameBytes() const;
    // Colour components: Y, U, V (mono: Y) or R, G, B (and A), whatever the storage order.
    [[nodiscard]] unsigned componentCount() const;
    [[nodiscard]] ComponentLayout component(unsigned index) const;
    // The pixel format's name as ffmpeg spells it: "yuv422p", "yuv420p10le", "gray", "rgb48le".
    [[nodiscard]] std::string pixelFormatName() const;
    // "1280x720 yuv422p 25/1 fps".
    [[nodiscard]] std::string describe() const;
};

// Copies every sample of `from` into the layout of `to`, which has the same size and colour
// components (planar RGB to packed RGB and back); values keep their 16-bit high-aligned meaning.
void Repack(const PictureFormat& from, const uint8_t* src, const PictureFormat& to, uint8_t* dst);

// Where the first sample lies whose value is above the format's depth ("plane G, x 3, y 0: 65535"),
// for the 10 to 14-bit layouts whose 16-bit words can hold more; empty when there is none.
[[nodiscard]] std::string SampleAboveDepth(const PictureFormat& format, const uint8_t* frame);

// Parses an ffmpeg-style pixel format name ("yuv420p", "yuv422p10", "yuv422p10le", "gray",
// "gray10le", "rgb24", "rgba", "rgb48le", "rgba64le", "gbrp10le", "gbrap12le") into `format`'s
// packing, chroma and depth.
[[nodiscard]] bool ParsePixelFormat(const std::string& name, PictureFormat& format);

// The codec library's raw layouts, by their format codes.
enum class RawLayout : uint32_t {
    Rgb24 = 22,
    Rgba32 = 20,
    Yuv444P8 = 29,
    Uyvy = 5,
    Yuv420P8 = 10,
    Rgb48 = 28,
    Rgba64 = 26,
    Yuv444P16 = 51,
    Yuv422P16 = 59,
};

[[nodiscard]] const char* RawLayoutName(RawLayout layout);
// Bytes of one raw frame (rows tightly packed); 0 for a zero size.
[[nodiscard]] uint64_t RawFrameBytes(RawLayout layout, uint32_t width, uint32_t height);

// The raw layout a codec takes, from what it publishes: colour model, subsampling, bit depth.
[[nodiscard]] std::optional<RawLayout> RawLayoutOf(int32_t colorModel, uint8_t hSubsampling,
                                                   uint8_t vSubsampling, int32_t bitDepth);

}  // namespace iohost
