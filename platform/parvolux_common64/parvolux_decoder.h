/*
 * Decoder of the library's compressed streams. The plug-in does not use it; tests and the
 * reference host's `iohost decode` do. A decoder begins from a stream's cookie and frame size and
 * decodes one packet at a time into caller-owned planes. A corrupt or truncated packet answers a
 * status; the decoder never reads outside the packet nor writes outside the planes it is given.
 * A frame's slices are decoded on the library's threads, as many as it encodes on (see
 * parvolux_test_set_threads); the output does not depend on their number.
 *
 * Output layout per compressed format (ask parvolux_decoder_layout; rows are `width` samples
 * of `samplesPerPixel` interleaved components, `bytesPerSample` each; 16-bit samples are
 * little-endian):
 *   P8RG, P8RA             one plane, packed "RGB" / "RGBA", 8-bit (the raw input's layout)
 *   P0RG, P2RG, P4RG       one plane, packed "RGB", 16-bit
 *   P0RA, P2RA, P4RA       one plane, packed "RGBA", 16-bit
 *   P8Y4                   planes "Y", "U", "V", 8-bit, full size
 *   P8Y2                   planes "Y", "U", "V", 8-bit, chroma (w+1)/2 wide (the UYVY input
 *                          comes back planar, as 4:2:2 YUV files store it)
 *   P8Y0                   planes "Y", "U", "V", 8-bit, chroma (w+1)/2 by (h+1)/2
 *   P8G0                   plane "Y", 8-bit
 *   P0Y4, P0Y2, P0Y0       planes "Y", "U", "V", 16-bit; 4:4:4, 4:2:2 and 4:2:0 as above
 *   P0G0                   plane "Y", 16-bit
 * A stream of N-bit samples (10, 12, 14) keeps the top N bits of each raw 16-bit sample. By
 * default they come back high-aligned like the input (v << (16 - N), `shift` = 16 - N, low bits
 * zero); with parvoluxDecodeLowAligned they come back as v (`shift` 0), as YUV4MPEG2 and raw
 * high-bit-depth files store them. P0Y0 chroma is the rounded mean of each vertical pair of
 * 4:2:2 chroma samples ((a + b + 1) / 2 of the top 10 bits; a lone last row is kept).
 */
#ifndef PARVOLUX_COMMON64_PARVOLUX_DECODER_H
#define PARVOLUX_COMMON64_PARVOLUX_DECODER_H

#include <stdint.h>

#include "codec/parvolux_library.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ParvoluxDecoder ParvoluxDecoder;

enum { parvoluxDecodeLowAligned = 1 };

typedef struct ParvoluxPlaneLayout {
    uint32_t width;           /* samples per row, per component */
    uint32_t height;          /* rows */
    uint32_t samplesPerPixel; /* interleaved components: 1, 3 or 4 */
    uint32_t bytesPerSample;  /* 1 or 2 */
    uint32_t significantBits; /* 8, 10, 12 or 14 */
    uint32_t shift;           /* a decoded value v is stored as v << shift */
    uint32_t rowBytes;        /* width * samplesPerPixel * bytesPerSample */
    char components[8];       /* NUL-terminated, in storage order: "RGB", "RGBA", "Y", "U", "V" */
} ParvoluxPlaneLayout;

typedef struct ParvoluxOutputLayout {
    uint32_t compressedFormat;
    uint32_t planeCount; /* 1, 3 */
    ParvoluxPlaneLayout plane[4];
} ParvoluxOutputLayout;

typedef struct ParvoluxOutputPlane {
    void* data;
    uint32_t stride;    /* bytes from one row to the next, at least rowBytes */
    uint64_t byteCount; /* at least stride * (height - 1) + rowBytes */
} ParvoluxOutputPlane;

/* What the encoder was told of the pictures, as the stream's cookie records it. A stream that
 * does not say (written before the library recorded it, or from the short FrameFormat) answers
 * unknown range and no fields. */
enum { parvoluxRangeUnknown = 0, parvoluxRangeLimited = 1, parvoluxRangeFull = 2 };
enum { parvoluxFieldsNone = 0, parvoluxFieldsTopFirst = 1, parvoluxFieldsBottomFirst = 2 };

typedef struct ParvoluxPictureInfo {
    uint32_t range;      /* parvoluxRange... */
    uint32_t fieldOrder; /* parvoluxFields...: none is progressive or unknown */
} ParvoluxPictureInfo;

/* Answers 0 and a decoder, -3 for a null argument or a cookie that is not the library's,
 * -4 for a stream or bitstream version it does not know, -5 for a frame size it cannot take,
 * -6 when out of memory. */
PARVOLUX_COMMON64_API int32_t parvolux_decoder_open(const uint8_t* cookie, uint64_t cookieSize,
                                                    uint32_t width, uint32_t height, uint32_t flags,
                                                    ParvoluxDecoder** decoder);
PARVOLUX_COMMON64_API int32_t parvolux_decoder_layout(const ParvoluxDecoder* decoder,
                                                      ParvoluxOutputLayout* layout);
PARVOLUX_COMMON64_API int32_t parvolux_decoder_picture(const ParvoluxDecoder* decoder,
                                                       ParvoluxPictureInfo* info);
/* Decodes one packet into planes[0..planeCount). Answers -3 for planes too small, -1 for a
 * corrupt or truncated packet (the planes may then hold part of a frame). */
PARVOLUX_COMMON64_API int32_t parvolux_decoder_decode(ParvoluxDecoder* decoder, const void* packet,
                                                      uint64_t packetSize,
                                                      const ParvoluxOutputPlane* planes);
PARVOLUX_COMMON64_API void parvolux_decoder_close(ParvoluxDecoder* decoder);

#ifdef __cplusplus
}
#endif

#endif /* PARVOLUX_COMMON64_PARVOLUX_DECODER_H */
