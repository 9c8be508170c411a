#include "platform/iohost/session/codec_choice.h"

#include <algorithm>
#include <cctype>

#include "platform/iohost/files/input_error.h"

namespace iohost {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The end of the codec names of the picture's family: "-bit RGB", "-bit YUV 422", ...
std::string FamilyName(const PictureFormat& format) {
    if (format.isRgb()) return format.hasAlpha() ? "-bit RGBA" : "-bit RGB";
    switch (format.chroma) {
        case Chroma::Yuv420:
            return "-bit YUV 420";
        case Chroma::Yuv422:
            return "-bit YUV 422";
        case Chroma::Yuv444:
            return "-bit YUV 444";
        case Chroma::Mono:
            break;
    }
    return "-bit Y Only";
}

std::string Describe(const CodecInfo& codec) {
    return "'" + codec.name + "' (" + FourCCToText(codec.fourcc) + ")";
}

CodecChoice Checked(const CodecInfo& codec, const PictureFormat& picture, bool allowBitLoss) {
    const uint32_t kept = SignificantBits(codec);
    if (kept >= picture.bitDepth) return {&codec, 0};
    if (!allowBitLoss)
        throw InputError(Describe(codec) + " keeps " + std::to_string(kept) + " of the " +
                         std::to_string(picture.bitDepth) + " bits per sample of " +
                         picture.pixelFormatName() +
                         "; add --allow-bit-loss to encode it anyway, losing " +
                         std::to_string(picture.bitDepth - kept) + " bits per sample");
    return {&codec, picture.bitDepth - kept};
}

}  // namespace

CodecChoice ChooseCodec(const std::vector<CodecInfo>& codecs, const PictureFormat& picture,
                        const std::string& requested, bool allowBitLoss) {
    if (!requested.empty()) {
        const CodecInfo* codec = FindCodec(codecs, requested);
        if (codec == nullptr)
            throw InputError("no codec named '" + requested + "' (see iohost info)");
        return Checked(*codec, picture, allowBitLoss);
    }
    const std::string family = FamilyName(picture);
    const CodecInfo* best = nullptr;  // the fewest bits that hold the input, else the most
    for (const CodecInfo& codec : codecs) {
        if (!codec.name.ends_with(family) ||
            codec.name.size() != family.size() + std::to_string(SignificantBits(codec)).size())
            continue;
        const uint32_t bits = SignificantBits(codec), bestBits = best ? SignificantBits(*best) : 0;
        const bool holds = bits >= picture.bitDepth, bestHolds = bestBits >= picture.bitDepth;
        if (best == nullptr || (holds && (!bestHolds || bits < bestBits)) ||
            (!holds && !bestHolds && bits > bestBits))
            best = &codec;
    }
    if (best == nullptr)
        throw InputError("the plug-in has no" + family.substr(4) + " codec for " +
                         picture.pixelFormatName());
    if (SignificantBits(*best) < picture.bitDepth && !allowBitLoss)
        throw InputError("no codec keeps the " + std::to_string(picture.bitDepth) +
                         " bits per sample of " + picture.pixelFormatName() + "; the nearest, " +
                         Describe(*best) + ", keeps " + std::to_string(SignificantBits(*best)) +
                         ": add --allow-bit-loss to encode with it anyway");
    return Checked(*best, picture, allowBitLoss);
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
