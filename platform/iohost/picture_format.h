// A picture layout as media files store it, and the codec library's raw layouts.
//
// Files (YUV4MPEG2, raw RGB) hold either planar YUV (Y, then U and V, each plane's rows tightly
// packed; samples above 8 bits are little-endian 16-bit words holding the value low-aligned) or
// packed RGB/RGBA (16-bit components little-endian and full-range). The codec's raw frames are
// what the plug-in's encoders take: the layouts below, 16-bit samples high-aligned (a 10-bit
// value v stored as v << 6). FrameConverter goes from the first to the second.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace iohost {

enum class Chroma { Yuv420, Yuv422, Yuv444, Mono };
enum class Packing { Planar, Rgb, Rgba };

struct PlaneSize {
    uint32_t width = 0;  // samples per row, per component
    uint32_t height = 0;
    uint32_t components = 1;  // interleaved components (packed RGB: 3 or 4)
};

struct PictureFormat {
    Packing packing = Packing::Planar;
    Chroma chroma = Chroma::Yuv420;  // planar only
    uint32_t bitDepth = 8;           // 8, 10, 12 or 16 (packed: 8 or 16)
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t rate = 25;  // frames per second as rate / scale
    uint32_t scale = 1;

    [[nodiscard]] uint32_t bytesPerSample() const { return bitDepth > 8 ? 2 : 1; }
    [[nodiscard]] unsigned planeCount() const;
    [[nodiscard]] PlaneSize plane(unsigned index) const;
    [[nodiscard]] uint64_t planeBytes(unsigned index) const;
    [[nodiscard]] uint64_t frameBytes() const;
    // The pixel format's name as ffmpeg spells it: "yuv422p", "yuv420p10le", "gray", "rgb48le".
    [[nodiscard]] std::string pixelFormatName() const;
    // "1280x720 yuv422p 25/1 fps".
    [[nodiscard]] std::string describe() const;
};

// Parses an ffmpeg-style pixel format name ("yuv420p", "yuv422p10", "yuv422p10le", "gray",
// "gray10le", "rgb24", "rgba", "rgb48le", "rgba64le") into `format`'s packing, chroma and depth.
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
