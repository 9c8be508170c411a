// The exported decoder. A ParvoluxDecoder is a FrameDecoder behind an opaque C type. It decodes
// on the library's thread pool with the encoder's thread count, so a caller that sets the count
// for encoding decodes on as many threads.
#include <cstring>
#include <memory>
#include <new>

#include "platform/parvolux_common64/api/control_state.h"
#include "platform/parvolux_common64/api/library_state.h"
#include "platform/parvolux_common64/common/status.h"
#include "platform/parvolux_common64/decoder/frame_decoder.h"
#include "platform/parvolux_common64/format/format_catalog.h"
#include "platform/parvolux_common64/format/packet_format.h"
#include "platform/parvolux_common64/parvolux_decoder.h"

struct ParvoluxDecoder {
    parvolux::FrameDecoder frames;
    ParvoluxPictureInfo picture;
};

using namespace parvolux;

extern "C" {

PARVOLUX_COMMON64_API int32_t parvolux_decoder_open(const uint8_t* cookie, uint64_t cookieSize,
                                                    uint32_t width, uint32_t height, uint32_t flags,
                                                    ParvoluxDecoder** decoder) {
    if (decoder == nullptr) return kBadArgument;
    *decoder = nullptr;
    if (cookie == nullptr || cookieSize != kCookieSize ||
        (flags & ~uint32_t{parvoluxDecodeLowAligned}) != 0)
        return kBadArgument;
    const StreamFormat* stream = findStreamFormat(cookie[5]);
    if (stream == nullptr || std::memcmp(cookie, stream->fourcc, 4) != 0) return kBadArgument;
    if (cookie[4] != kBitstreamVersion) return kUnsupportedFormat;
    StreamGeometry geometry;
    if (!makeStreamGeometry(*stream, width, height, 1, geometry)) return kBadSize;
    // Values this library does not know read as "not said", like the zeros of older streams.
    const uint8_t range = cookie[kCookieRange], fields = cookie[kCookieFieldOrder];
    const ParvoluxPictureInfo picture{range <= parvoluxRangeFull ? range : 0u,
                                      fields <= parvoluxFieldsBottomFirst ? fields : 0u};
    try {
        *decoder = new ParvoluxDecoder{
            FrameDecoder(geometry, (flags & parvoluxDecodeLowAligned) != 0), picture};
    } catch (...) {
        return kOutOfMemory;
    }
    return kOk;
}

PARVOLUX_COMMON64_API int32_t parvolux_decoder_layout(const ParvoluxDecoder* decoder,
                                                      ParvoluxOutputLayout* layout) {
    if (decoder == nullptr || layout == nullptr) return kBadArgument;
    *layout = decoder->frames.layout();
    return kOk;
}

PARVOLUX_COMMON64_API int32_t parvolux_decoder_picture(const ParvoluxDecoder* decoder,
                                                       ParvoluxPictureInfo* info) {
    if (decoder == nullptr || info == nullptr) return kBadArgument;
    *info = decoder->picture;
    return kOk;
}

PARVOLUX_COMMON64_API int32_t parvolux_decoder_decode(ParvoluxDecoder* decoder, const void* packet,
                                                      uint64_t packetSize,
                                                      const ParvoluxOutputPlane* planes) {
    if (decoder == nullptr) return kBadArgument;
    try {
        const unsigned threads = controls::threads();
        const std::shared_ptr<ThreadPool> pool = LibraryState::get().pool(threads);
        return decoder->frames.decode(static_cast<const uint8_t*>(packet), packetSize, planes,
                                      pool.get(), threads);
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (...) {
        return kFailed;
    }
}

PARVOLUX_COMMON64_API void parvolux_decoder_close(ParvoluxDecoder* decoder) {
    delete decoder;
}

}  // extern "C"
