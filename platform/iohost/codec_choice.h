// Which of the plug-in's codecs encodes a picture: the one the user names (by name or
// four-character code), or the natural one for the picture's layout and depth.
#pragma once

#include <string>
#include <vector>

#include "platform/iohost/picture_format.h"
#include "platform/iohost/plugin_descriptions.h"

namespace iohost {

// "8-bit YUV 422" for 8-bit 4:2:2, "10-bit YUV 422" for deeper 4:2:2, "14-bit RGB" for 16-bit
// RGB, and so on.
[[nodiscard]] std::string DefaultCodecName(const PictureFormat& format);

// The codec whose name (case-insensitive) or four-character code is `key`; null when none is.
[[nodiscard]] const CodecInfo* FindCodec(const std::vector<CodecInfo>& codecs,
                                         const std::string& key);

// Bits the codec keeps of each sample: the leading number of its name ("10-bit ..."), else its
// published bit depth.
[[nodiscard]] uint32_t SignificantBits(const CodecInfo& codec);

}  // namespace iohost
