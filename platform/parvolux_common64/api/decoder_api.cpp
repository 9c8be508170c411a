// The exported decoder. A ParvoluxDecoder is a FrameDecoder behind an opaque C type.
#include <cstring>
#include <new>

#include "platform/parvolux_common64/common/status.h"
#include "platform/parvolux_common64/decoder/frame_decoder.h"
#include "platform/parvolux_common64/format/format_catalog.h"
#include "platform/parvolux_common64/format/packet_format.h"
#include "platform/parvolux_common64/parvolux_decoder.h"

struct ParvoluxDecoder {
    parvolux::FrameDecoder frames;
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
    try {
        *decoder =
            new ParvoluxDecoder{FrameDecoder(geometry, (flags & parvoluxDecodeLowAligned) != 0)};
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

PARVOLUX_COMMON64_API int32_t parvolux_decoder_decode(ParvoluxDecoder* decoder, const void* packet,
                                                      uint64_t packetSize,
                                                      const ParvoluxOutputPlane* planes) {
    if (decoder == nullptr) return kBadArgument;
    try {
        return decoder->frames.decode(static_cast<const uint8_t*>(packet), packetSize, planes);
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
