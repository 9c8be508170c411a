/*
 * The codec library parvolux_common64, imported by name: the nine functions the plug-in calls and
 * the records they exchange. Every function but parvolux_get_string answers a status, 0 on success.
 *
 * Order of use: parvolux_library_init, parvolux_open; then any number of parvolux_compress_query,
 * or one parvolux_compress_begin and per frame parvolux_init_planes_common then parvolux_compress;
 * last parvolux_close and at once parvolux_library_close (both only for a nonzero handle).
 */
#ifndef PARVOLUX_CODEC_PARVOLUX_LIBRARY_H
#define PARVOLUX_CODEC_PARVOLUX_LIBRARY_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(PARVOLUX_COMMON64_BUILD)
#define PARVOLUX_COMMON64_API __declspec(dllexport)
#else
#define PARVOLUX_COMMON64_API __declspec(dllimport)
#endif
#else
#define PARVOLUX_COMMON64_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* formatCode 254 marks the extended form: the code then stands in pixelFormat and all nine
 * fields count; otherwise only width, height and formatCode do. */
enum { parvoluxFormatExtended = 254 };

typedef struct FrameFormat {
    uint32_t width;
    uint32_t height;
    uint32_t formatCode;
    uint32_t extA;
    uint32_t pixelFormat;
    uint32_t extB;
    uint32_t extC;
    uint32_t range;
    uint32_t fieldOrder;
} FrameFormat;

typedef struct FramePlane {
    const void* data;
    uint32_t aux; /* row stride in bytes */
    uint32_t byteCount;
} FramePlane;

typedef struct FramePlanes {
    FramePlane plane[4];
} FramePlanes;

/* Categories of parvolux_get_string. */
enum {
    parvoluxStringFormat = 1, /* format codes */
    parvoluxStringStatus = 2, /* status codes */
    parvoluxStringExtC = 3    /* values of extC */
};

PARVOLUX_COMMON64_API int32_t parvolux_library_init(void);
PARVOLUX_COMMON64_API int32_t parvolux_open(uint32_t* handle);
PARVOLUX_COMMON64_API int32_t parvolux_close(uint32_t handle);
PARVOLUX_COMMON64_API int32_t parvolux_library_close(void);
/* reserved: an 8-byte slot the library may write and nobody reads; bufferSize may be null. */
PARVOLUX_COMMON64_API int32_t parvolux_compress_query(uint32_t handle, const FrameFormat* in,
                                                      const FrameFormat* out, uint64_t* reserved,
                                                      uint32_t* bufferSize);
/* On success: the cookie (codec private bytes, owned by the library), its byte count, and the
 * compressed-buffer size that bounds every frame of this stream. */
PARVOLUX_COMMON64_API int32_t parvolux_compress_begin(uint32_t handle, const FrameFormat* in,
                                                      const FrameFormat* out,
                                                      const uint8_t** cookie, uint64_t* cookieSize,
                                                      uint32_t* bufferSize);
/* Fills one entry per plane of the raw frame at raw; the byteCounts sum to the bytes read. */
PARVOLUX_COMMON64_API int32_t parvolux_init_planes_common(uint32_t handle, const FrameFormat* in,
                                                          FramePlanes* planes, const void* raw);
/* out holds exactly the compressed-buffer size named by parvolux_compress_begin. */
PARVOLUX_COMMON64_API int32_t parvolux_compress(uint32_t handle, const FramePlanes* planes,
                                                void* out, uint32_t* outSize);
/* Never null. */
PARVOLUX_COMMON64_API const char* parvolux_get_string(int32_t category, int32_t code);

#ifdef __cplusplus
}
#endif

#endif /* PARVOLUX_CODEC_PARVOLUX_LIBRARY_H */
