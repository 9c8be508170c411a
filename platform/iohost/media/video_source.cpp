#include "platform/iohost/media/video_source.h"

#include "platform/iohost/files/input_error.h"

namespace iohost {

void CheckDepth(const std::string& name, uint64_t index, const PictureFormat& format,
                const uint8_t* frame) {
    const std::string where = SampleAboveDepth(format, frame);
    if (where.empty()) return;
    throw InputError(name + ": frame " + std::to_string(index) + ", " + where + " is above the " +
                     std::to_string(format.bitDepth) + " bits of " + format.pixelFormatName() +
                     " (--allow-bit-loss keeps only its low " + std::to_string(format.bitDepth) +
                     " bits)");
}

}  // namespace iohost
