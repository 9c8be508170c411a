#include "platform/iohost/media/video_source.h"

#include <algorithm>

#include "platform/iohost/files/input_error.h"
#include "platform/iohost/files/input_file.h"

namespace iohost {

size_t ReadFrameInPieces(InputFile& file, uint8_t* frame, size_t bytes,
                         const VideoSource::PieceArrived& arrived) {
    // A quarter of a small second-level cache: the piece is still there when it is used.
    const size_t piece = arrived ? size_t{256} << 10 : bytes;
    size_t done = 0;
    while (done < bytes) {
        const size_t want = std::min(piece, bytes - done);
        const size_t got = file.read(frame + done, want);
        if (got > 0 && arrived) arrived(done, done + got);
        done += got;
        if (got < want) break;
    }
    return done;
}

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
