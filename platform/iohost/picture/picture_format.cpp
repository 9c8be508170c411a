#include "platform/iohost/picture/picture_format.h"

#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace iohost {

namespace {

// Every bit set in any of the plane's 16-bit samples.
uint32_t BitsOfAnySample(const uint8_t* plane, uint64_t samples) {
    uint32_t any = 0;
    uint64_t i = 0;
#if defined(__SSE2__)
    __m128i all = _mm_setzero_si128();
    for (; i + 8 <= samples; i += 8)
        all = _mm_or_si128(all, _mm_loadu_si128(reinterpret_cast<const __m128i*>(plane + 2 * i)));
    all = _mm_or_si128(all, _mm_srli_si128(all, 8));
    all = _mm_or_si128(all, _mm_srli_si128(all, 4));
    all = _mm_or_si128(all, _mm_srli_si128(all, 2));
    any = static_cast<uint32_t>(_mm_cvtsi128_si32(all)) & 0xFFFFu;
#endif
    for (; i < samples; ++i) any |= plane[2 * i] | (uint32_t{plane[2 * i + 1]} << 8);
    return any;
}

}  // namespace

unsigned PictureFormat::planeCount() const {
    switch (packing) {
        case Packing::Rgb:
        case Packing::Rgba:
            return 1;
        case Packing::Gbr:
            return 3;
        case Packing::Gbra:
            return 4;
        case Packing::Planar:
            break;
    }
    return chroma == Chroma::Mono ? 1 : 3;
}

PlaneSize PictureFormat::plane(unsigned index) const {
    switch (packing) {
        case Packing::Rgb:
            return {width, height, 3};
        case Packing::Rgba:
            return {width, height, 4};
        case Packing::Gbr:
        case Packing::Gbra:
            return {width, height, 1};
        case Packing::Planar:
            break;
    }
    if (index == 0 || chroma == Chroma::Yuv444) return {width, height, 1};
    const uint32_t cw = width / 2 + width % 2;
    if (chroma == Chroma::Yuv422) return {cw, height, 1};
    return {cw, height / 2 + height % 2, 1};
}

uint64_t PictureFormat::planeBytes(unsigned index) const {
    const PlaneSize p = plane(index);
    return uint64_t{p.width} * p.height * p.components * bytesPerSample();
}

uint64_t PictureFormat::frameBytes() const {
    uint64_t total = 0;
    for (unsigned i = 0; i < planeCount(); ++i) total += planeBytes(i);
    return total;
}

unsigned PictureFormat::componentCount() const {
    if (packing == Packing::Rgb) return 3;
    if (packing == Packing::Rgba) return 4;
    return planeCount();
}

ComponentLayout PictureFormat::component(unsigned index) const {
    ComponentLayout c;
    c.bytes = bytesPerSample();
    if (packing == Packing::Rgb || packing == Packing::Rgba) {
        const uint32_t n = componentCount();
        c.offset = uint64_t{index} * c.bytes;
        c.count = uint64_t{width} * height;
        c.step = n * c.bytes;
        c.shift = bitDepth > 8 ? 0 : 8;  // packed 16-bit samples are high-aligned
        return c;
    }
    // Planar RGB stores G, B, R, A.
    static constexpr unsigned kGbrPlane[4] = {2, 0, 1, 3};
    const unsigned plane = packing == Packing::Planar ? index : kGbrPlane[index];
    for (unsigned p = 0; p < plane; ++p) c.offset += planeBytes(p);
    const PlaneSize size = this->plane(plane);
    c.count = uint64_t{size.width} * size.height;
    c.step = c.bytes;
    c.shift = 16 - bitDepth;
    return c;
}

void Repack(const PictureFormat& from, const uint8_t* src, const PictureFormat& to, uint8_t* dst) {
    for (unsigned c = 0; c < to.componentCount(); ++c) {
        const ComponentLayout in = from.component(c), out = to.component(c);
        for (uint64_t i = 0; i < out.count; ++i) out.store(dst, i, in.load(src, i));
    }
}

std::string SampleAboveDepth(const PictureFormat& format, const uint8_t* frame) {
    if (format.bitDepth <= 8 || format.bitDepth >= 16 || format.packing == Packing::Rgb ||
        format.packing == Packing::Rgba)
        return {};
    static constexpr const char* kYuv[] = {"Y", "U", "V"};
    static constexpr const char* kGbr[] = {"G", "B", "R", "A"};
    const uint32_t above = 0xFFFFu & ~((1u << format.bitDepth) - 1);
    for (unsigned p = 0; p < format.planeCount(); ++p) {
        const uint64_t samples = format.planeBytes(p) / 2;
        // One pass over the plane; the position only once something is found.
        if ((BitsOfAnySample(frame, samples) & above) != 0) {
            for (uint64_t i = 0;; ++i) {
                const uint32_t v = frame[2 * i] | (uint32_t{frame[2 * i + 1]} << 8);
                if ((v & above) == 0) continue;
                const uint32_t width = format.plane(p).width;
                return std::string("plane ") + (format.isRgb() ? kGbr[p] : kYuv[p]) + ", x " +
                       std::to_string(i % width) + ", y " + std::to_string(i / width) + ": " +
                       std::to_string(v);
            }
        }
        frame += format.planeBytes(p);
    }
    return {};
}

std::string PictureFormat::pixelFormatName() const {
    std::string name;
    if (packing == Packing::Rgb) return bitDepth > 8 ? "rgb48le" : "rgb24";
    if (packing == Packing::Rgba) return bitDepth > 8 ? "rgba64le" : "rgba";
    if (packing == Packing::Gbr || packing == Packing::Gbra) {
        name = packing == Packing::Gbr ? "gbrp" : "gbrap";
        if (bitDepth > 8) name += std::to_string(bitDepth) + "le";
        return name;
    }
    switch (chroma) {
        case Chroma::Yuv420:
            name = "yuv420p";
            break;
        case Chroma::Yuv422:
            name = "yuv422p";
            break;
        case Chroma::Yuv444:
            name = "yuv444p";
            break;
        case Chroma::Mono:
            name = "gray";
            break;
    }
    if (bitDepth > 8) name += std::to_string(bitDepth) + "le";
    return name;
}

std::string PictureFormat::describe() const {
    return std::to_string(width) + "x" + std::to_string(height) + " " + pixelFormatName() + " " +
           std::to_string(rate) + "/" + std::to_string(scale) + " fps";
}

bool ParsePixelFormat(const std::string& text, PictureFormat& format) {
    std::string name = text;
    if (name.size() > 2 && name.compare(name.size() - 2, 2, "le") == 0)
        name.resize(name.size() - 2);
    static const std::pair<const char*, PictureFormat> kNames[] = {
        {"rgb24", {Packing::Rgb, Chroma::Yuv444, 8}},
        {"rgba", {Packing::Rgba, Chroma::Yuv444, 8}},
        {"rgb48", {Packing::Rgb, Chroma::Yuv444, 16}},
        {"rgba64", {Packing::Rgba, Chroma::Yuv444, 16}},
        {"gray", {Packing::Planar, Chroma::Mono, 8}},
        {"gray10", {Packing::Planar, Chroma::Mono, 10}},
        {"gray12", {Packing::Planar, Chroma::Mono, 12}},
        {"gray16", {Packing::Planar, Chroma::Mono, 16}},
    };
    for (const auto& [known, value] : kNames) {
        if (name == known) {
            format.packing = value.packing;
            format.chroma = value.chroma;
            format.bitDepth = value.bitDepth;
            return true;
        }
    }
    static const struct {
        const char* prefix;
        Packing packing;
        Chroma chroma;
    } kPlanar[] = {
        {"yuv420p", Packing::Planar, Chroma::Yuv420}, {"yuv422p", Packing::Planar, Chroma::Yuv422},
        {"yuv444p", Packing::Planar, Chroma::Yuv444}, {"gbrap", Packing::Gbra, Chroma::Yuv444},
        {"gbrp", Packing::Gbr, Chroma::Yuv444},
    };
    for (const auto& planar : kPlanar) {
        const std::string p = planar.prefix;
        if (name.rfind(p, 0) != 0) continue;
        const std::string depth = name.substr(p.size());
        uint32_t bits = 0;
        if (depth.empty()) bits = 8;
        if (depth == "10") bits = 10;
        if (depth == "12") bits = 12;
        if (depth == "14" && planar.packing == Packing::Gbr) bits = 14;
        if (depth == "16") bits = 16;
        if (bits == 0) return false;
        format.packing = planar.packing;
        format.chroma = planar.chroma;
        format.bitDepth = bits;
        return true;
    }
    return false;
}

const char* RawLayoutName(RawLayout layout) {
    switch (layout) {
        case RawLayout::Rgb24:
            return "RGB24";
        case RawLayout::Rgba32:
            return "RGBA32";
        case RawLayout::Yuv444P8:
            return "YUV444P8";
        case RawLayout::Uyvy:
            return "UYVY";
        case RawLayout::Yuv420P8:
            return "YUV420P8";
        case RawLayout::Rgb48:
            return "RGB48";
        case RawLayout::Rgba64:
            return "RGBA64";
        case RawLayout::Yuv444P16:
            return "YUV444P16";
        case RawLayout::Yuv422P16:
            return "YUV422P16";
    }
    return "unknown";
}

uint64_t RawFrameBytes(RawLayout layout, uint32_t width, uint32_t height) {
    const uint64_t w = width, h = height, cw = (w + 1) / 2, ch = (h + 1) / 2;
    switch (layout) {
        case RawLayout::Rgb24:
            return 3 * w * h;
        case RawLayout::Rgba32:
            return 4 * w * h;
        case RawLayout::Yuv444P8:
            return 3 * w * h;
        case RawLayout::Uyvy:
            return 4 * cw * h;
        case RawLayout::Yuv420P8:
            return w * h + 2 * cw * ch;
        case RawLayout::Rgb48:
            return 6 * w * h;
        case RawLayout::Rgba64:
            return 8 * w * h;
        case RawLayout::Yuv444P16:
            return 6 * w * h;
        case RawLayout::Yuv422P16:
            return 2 * w * h + 4 * cw * h;
    }
    return 0;
}

std::optional<RawLayout> RawLayoutOf(int32_t colorModel, uint8_t hSubsampling, uint8_t vSubsampling,
                                     int32_t bitDepth) {
    const bool wide = bitDepth > 8;
    switch (colorModel) {
        case 1:
            return wide ? RawLayout::Rgb48 : RawLayout::Rgb24;
        case 3:
            return wide ? RawLayout::Rgba64 : RawLayout::Rgba32;
        case 8:
            return RawLayout::Uyvy;
        case 7:
            if (hSubsampling == 1 && vSubsampling == 1)
                return wide ? RawLayout::Yuv444P16 : RawLayout::Yuv444P8;
            if (wide && hSubsampling == 2 && vSubsampling == 1) return RawLayout::Yuv422P16;
            if (!wide && hSubsampling == 2 && vSubsampling == 2) return RawLayout::Yuv420P8;
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

}  // namespace iohost
