#include "platform/iohost/picture/frame_converter.h"

#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace iohost {

namespace {

uint16_t Load16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void Store16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

#if defined(__SSE2__)
__m128i Load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

void Store(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
#endif

// One row of 4:2:2 as U Y V Y. An odd width leaves the last pair's second luma sample outside the
// picture; the pair repeats its first.
void PackUyvyRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out, uint64_t w) {
    const uint64_t pairs = w / 2;
    uint64_t x = 0;
#if defined(__SSE2__)
    // Sixteen pairs at a time: U and V interleaved, then each U V pair with its two lumas.
    for (; x + 16 <= pairs; x += 16) {
        const __m128i us = Load(u + x), vs = Load(v + x);
        const __m128i lumaLo = Load(y + 2 * x), lumaHi = Load(y + 2 * x + 16);
        const __m128i uvLo = _mm_unpacklo_epi8(us, vs), uvHi = _mm_unpackhi_epi8(us, vs);
        Store(out + 4 * x, _mm_unpacklo_epi8(uvLo, lumaLo));
        Store(out + 4 * x + 16, _mm_unpackhi_epi8(uvLo, lumaLo));
        Store(out + 4 * x + 32, _mm_unpacklo_epi8(uvHi, lumaHi));
        Store(out + 4 * x + 48, _mm_unpackhi_epi8(uvHi, lumaHi));
    }
#endif
    for (; x < pairs; ++x) {
        out[4 * x] = u[x];
        out[4 * x + 1] = y[2 * x];
        out[4 * x + 2] = v[x];
        out[4 * x + 3] = y[2 * x + 1];
    }
    if (w % 2 != 0) {
        out[4 * pairs] = u[pairs];
        out[4 * pairs + 1] = out[4 * pairs + 3] = y[2 * pairs];
        out[4 * pairs + 2] = v[pairs];
    }
}

// One plane to 16-bit high-aligned samples; `rowRepeat` 2 writes every source row twice (clipped
// to `dstRows`).
uint8_t* WidenPlane(const uint8_t*& src, uint8_t* dst, const PlaneSize& plane, uint32_t depth,
                    uint32_t rowRepeat, uint32_t dstRows) {
    const uint32_t shift = 16 - depth;
    const size_t rowSamples = size_t{plane.width} * plane.components;
    const size_t dstRowBytes = rowSamples * 2;
    uint32_t written = 0;
    for (uint32_t y = 0; y < plane.height; ++y) {
        uint8_t* row = dst;
        size_t x = 0;
#if defined(__SSE2__)
        const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
        if (depth > 8) {
            for (; x + 8 <= rowSamples; x += 8)
                Store(row + 2 * x, _mm_sll_epi16(Load(src + 2 * x), count));
        } else {
            for (; x + 16 <= rowSamples; x += 16) {
                const __m128i bytes = Load(src + x), zero = _mm_setzero_si128();
                Store(row + 2 * x, _mm_sll_epi16(_mm_unpacklo_epi8(bytes, zero), count));
                Store(row + 2 * x + 16, _mm_sll_epi16(_mm_unpackhi_epi8(bytes, zero), count));
            }
        }
#endif
        for (; x < rowSamples; ++x) {
            const uint32_t v = depth > 8 ? Load16(src + 2 * x) : src[x];
            Store16(row + 2 * x, (v << shift) & 0xFFFFu);
        }
        src += rowSamples * (depth > 8 ? 2 : 1);
        dst += dstRowBytes;
        ++written;
        for (uint32_t r = 1; r < rowRepeat && written < dstRows; ++r, ++written) {
            std::memcpy(dst, row, dstRowBytes);
            dst += dstRowBytes;
        }
    }
    return dst;
}

uint8_t* FillNeutral(uint8_t* dst, uint64_t samples, bool wide) {
    if (!wide) {
        std::memset(dst, 0x80, samples);
        return dst + samples;
    }
    for (uint64_t i = 0; i < samples; ++i) Store16(dst + 2 * i, 0x8000);
    return dst + 2 * samples;
}

}  // namespace

std::optional<FrameConverter> FrameConverter::make(const PictureFormat& source, RawLayout target,
                                                   std::string& why) {
    const bool planar = source.packing == Packing::Planar;
    const bool mono = planar && source.chroma == Chroma::Mono;
    const bool eight = source.bitDepth == 8;
    const bool rgb = source.packing == Packing::Rgb || source.packing == Packing::Gbr;
    const bool rgba = source.packing == Packing::Rgba || source.packing == Packing::Gbra;
    bool ok = false;
    switch (target) {
        case RawLayout::Rgb24:
            ok = rgb && eight;
            break;
        case RawLayout::Rgba32:
            ok = rgba && eight;
            break;
        case RawLayout::Rgb48:
            ok = rgb;
            break;
        case RawLayout::Rgba64:
            ok = rgba;
            break;
        case RawLayout::Yuv420P8:
            ok = eight && (mono || (planar && source.chroma == Chroma::Yuv420));
            break;
        case RawLayout::Uyvy:
            ok = eight && (mono || (planar && source.chroma == Chroma::Yuv422));
            break;
        case RawLayout::Yuv444P8:
            ok = eight && (mono || (planar && source.chroma == Chroma::Yuv444));
            break;
        case RawLayout::Yuv444P16:
            ok = planar && source.chroma != Chroma::Yuv420 && source.chroma != Chroma::Yuv422;
            break;
        case RawLayout::Yuv422P16:
            ok = planar && source.chroma != Chroma::Yuv444;
            break;
    }
    if (!ok) {
        why = "a " + source.pixelFormatName() + " picture cannot be given to a codec taking " +
              RawLayoutName(target) + " frames";
        return std::nullopt;
    }
    return FrameConverter(source, target);
}

void FrameConverter::convert(const uint8_t* src, uint8_t* dst) const {
    const PictureFormat& s = m_source;
    const bool mono = s.packing == Packing::Planar && s.chroma == Chroma::Mono;
    const uint64_t w = s.width, h = s.height, cw = (w + 1) / 2;
    if (s.packing == Packing::Gbr || s.packing == Packing::Gbra) {
        PictureFormat packed = s;
        packed.packing = s.packing == Packing::Gbr ? Packing::Rgb : Packing::Rgba;
        packed.bitDepth = m_target == RawLayout::Rgb24 || m_target == RawLayout::Rgba32 ? 8 : 16;
        Repack(s, src, packed, dst);
        return;
    }
    switch (m_target) {
        case RawLayout::Rgb24:
        case RawLayout::Rgba32:
            std::memcpy(dst, src, targetBytes());
            return;
        case RawLayout::Rgb48:
        case RawLayout::Rgba64:
            if (s.bitDepth == 16) {
                std::memcpy(dst, src, targetBytes());
            } else {
                WidenPlane(src, dst, s.plane(0), s.bitDepth, 1, s.height);
            }
            return;
        case RawLayout::Yuv420P8:
        case RawLayout::Yuv444P8:
            if (mono) {
                std::memcpy(dst, src, w * h);
                FillNeutral(dst + w * h, targetBytes() - w * h, false);
            } else {
                std::memcpy(dst, src, targetBytes());
            }
            return;
        case RawLayout::Uyvy: {
            const uint8_t* u = src + w * h;
            const uint8_t* v = u + cw * h;
            const std::vector<uint8_t> neutral(mono ? cw : 0, 0x80);
            for (uint64_t row = 0; row < h; ++row)
                PackUyvyRow(src + row * w, mono ? neutral.data() : u + row * cw,
                            mono ? neutral.data() : v + row * cw, dst + row * cw * 4, w);
            return;
        }
        case RawLayout::Yuv444P16:
        case RawLayout::Yuv422P16: {
            uint8_t* out = WidenPlane(src, dst, s.plane(0), s.bitDepth, 1, s.height);
            if (mono) {
                const uint64_t cwOut = m_target == RawLayout::Yuv444P16 ? w : cw;
                FillNeutral(out, 2 * cwOut * h, true);
                return;
            }
            const uint32_t repeat = s.chroma == Chroma::Yuv420 ? 2 : 1;
            for (unsigned p = 1; p < 3; ++p)
                out = WidenPlane(src, out, s.plane(p), s.bitDepth, repeat, s.height);
            return;
        }
    }
}

}  // namespace iohost
