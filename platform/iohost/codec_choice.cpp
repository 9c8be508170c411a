#include "platform/iohost/codec_choice.h"

#include <algorithm>
#include <cctype>

namespace iohost {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::string DefaultCodecName(const PictureFormat& format) {
    const bool deep = format.bitDepth > 8;
    if (format.packing == Packing::Rgb) return deep ? "14-bit RGB" : "8-bit RGB";
    if (format.packing == Packing::Rgba) return deep ? "14-bit RGBA" : "8-bit RGBA";
    const std::string depth = deep ? "10-bit " : "8-bit ";
    switch (format.chroma) {
        case Chroma::Yuv420:
            return depth + "YUV 420";
        case Chroma::Yuv422:
            return depth + "YUV 422";
        case Chroma::Yuv444:
            return depth + "YUV 444";
        case Chroma::Mono:
            return depth + "Y Only";
    }
    return {};
}

const CodecInfo* FindCodec(const std::vector<CodecInfo>& codecs, const std::string& key) {
    for (const CodecInfo& codec : codecs)
        if (Lower(codec.name) == Lower(key)) return &codec;
    uint32_t fourcc = 0;
    if (FourCCFromText(key, fourcc)) {
        for (const CodecInfo& codec : codecs)
            if (codec.fourcc == fourcc) return &codec;
    }
    return nullptr;
}

uint32_t SignificantBits(const CodecInfo& codec) {
    uint32_t bits = 0;
    for (char c : codec.name) {
        if (c < '0' || c > '9') break;
        bits = bits * 10 + static_cast<uint32_t>(c - '0');
    }
    return bits != 0 ? bits : static_cast<uint32_t>(codec.bitDepth);
}

}  // namespace iohost
