// Which of the plug-in's codecs encodes a picture: the one the user names (by name or
// four-character code), or the one of the picture's family ("N-bit YUV 422", "N-bit RGBA", ...)
// with the fewest bits that still hold every bit of the input. A codec that keeps fewer bits
// than the input is taken only when the loss is allowed; otherwise the choice is refused with
// the nearest codec named.
#pragma once

#include <string>
#include <vector>

#include "platform/iohost/module/plugin_descriptions.h"
#include "platform/iohost/picture/picture_format.h"

namespace iohost {

struct CodecChoice {
    const CodecInfo* codec = nullptr;
    uint32_t droppedBits = 0;  // bits per sample the codec does not keep
};

// Throws InputError: no such codec, no codec of the family, or a loss that is not allowed.
[[nodiscard]] CodecChoice ChooseCodec(const std::vector<CodecInfo>& codecs,
                                      const PictureFormat& picture, const std::string& requested,
                                      bool allowBitLoss);

// The codec whose name (case-insensitive) or four-character code is `key`; null when none is.
[[nodiscard]] const CodecInfo* FindCodec(const std::vector<CodecInfo>& codecs,
                                         const std::string& key);

// Bits the codec keeps of each sample: the leading number of its name ("10-bit ..."), else its
// published bit depth.
[[nodiscard]] uint32_t SignificantBits(const CodecInfo& codec);

}  // namespace iohost
