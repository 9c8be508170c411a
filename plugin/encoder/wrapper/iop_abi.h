/*
 * The IOPlugin C interface shared by the host application and its plug-ins: two dispatch
 * functions (one on each side), 32-bit selectors, variadic arguments and signed 32-bit result
 * codes. This header is all that the two sides have in common; it is plain C so that either side
 * can be written in any language.
 *
 * Variadic arguments travel as these C types: handles and object pointers as void*; selectors,
 * levels, type codes, counts and flags as uint32_t; the size of hostBufferSetSize as uint64_t;
 * the value of hostQuery and codecQuery as int64_t; out-pointers as pointers to the stated widths.
 */
#ifndef PARVOLUX_IOP_ABI_H
#define PARVOLUX_IOP_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t (*IopDispatchFn)(uint32_t selector, ...);

/* The host record (received by pluginInit) and the plug-in record (filled in by it): packed,
 * 12 bytes, the dispatch pointer unaligned at offset 4. Copy the fields with memcpy. */
#pragma pack(push, 1)
typedef struct HostAPI {
    uint32_t version; /* 0: no usable interface */
    IopDispatchFn dispatch;
} HostAPI;

typedef struct PluginAPI {
    uint32_t version;
    IopDispatchFn dispatch;
} PluginAPI;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(HostAPI) == 12, "HostAPI is 12 packed bytes");
static_assert(sizeof(PluginAPI) == 12, "PluginAPI is 12 packed bytes");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(HostAPI) == 12, "HostAPI is 12 packed bytes");
_Static_assert(sizeof(PluginAPI) == 12, "PluginAPI is 12 packed bytes");
#else
/* C99 has no static assertion: an array of negative size stops the build instead. */
typedef char IopHostApiIs12PackedBytes[sizeof(HostAPI) == 12 ? 1 : -1];
typedef char IopPluginApiIs12PackedBytes[sizeof(PluginAPI) == 12 ? 1 : -1];
#endif

/* The module's only export. */
typedef int32_t (*PluginInitFn)(const HostAPI* host, PluginAPI* plugin);
#define IOP_PLUGIN_INIT_NAME "pluginInit"

/* Result codes of every selector on either side. */
enum IopResult {
    errNoInput = 1, /* an encoder frame call without a frame */
    errNone = 0,
    errFail = -1,
    errVersion = -2,
    errInvalidParam = -3,
    errAlloc = -4,
    errNoCodec = -5,
    errMissingProperty = -6,
    errUnsupported = -7,
    errNoObject = -8
};

/* Property value type codes; a value is (type, pointer to the first of count values, count). */
enum IopPropertyType { propUInt8 = 2, propInt32 = 6, propInt64 = 7, propString = 10 };

/* Selectors the host sends to the plug-in. */
enum IopPluginSelector {
    plugCreateObject = 1,            /* const uint8_t classId[16], void** outObject */
    plugAddRef = 2,                  /* void* object, uint32_t* outCount */
    plugRelease = 3,                 /* void* object, uint32_t* outCount */
    plugQueryCodec = 4,              /* const uint8_t codecId[16], void* collection, void* list */
    plugNop1 = 0x10000001,           /* none */
    plugNop2 = 0x10000002,           /* none */
    plugListCodecs = 0x10000003,     /* void* list */
    plugListContainers = 0x10000004, /* void* list */
    plugGetInfo = 0x10000005,        /* void* collection */

    /* Object selectors: the object pointer comes first, then the arguments shown. */
    codecConfigure = 0x10010001,   /* void* collection */
    codecOpen = 0x10010002,        /* void* buffer (stream settings) */
    codecFinish = 0x10010003,      /* none */
    codecSetCallback = 0x10010004, /* void* callback */
    codecProcess = 0x10010005,     /* void* buffer (one frame) */
    codecQuery = 0x10010006,       /* int64_t value, uint8_t* outFlag */
    codecQueryState = 0x10010007,  /* uint8_t* outFlag */
    contInit = 0x10020001,         /* void* collection */
    contOpen = 0x10020002,         /* void* collection */
    contAddTrack = 0x100200a1, /* void* trackCollection, void* codecCollection, void** outTrack */
    contClose = 0x100200f1,    /* none */
    trackWrite = 0x10021001    /* void* buffer (one packet) */
};

/* Selectors the plug-in sends to the host. */
enum IopHostSelector {
    hostCreateObject = 1,        /* const uint8_t classId[16], void** outHandle */
    hostAddRef = 2,              /* void* handle, uint32_t* outCount */
    hostRelease = 3,             /* void* handle, uint32_t* outCount */
    hostLog = 0x10001,           /* uint32_t level, const char* text */
    hostSetProperty = 0x20001,   /* void* handle, const char* key, uint32_t type, const void* data,
                                    uint32_t count */
    hostGetProperty = 0x20002,   /* void* handle, const char* key, uint32_t* outType, const void**
                                    outData, uint32_t* outCount */
    hostListAdd = 0x30001,       /* void* list, void* item */
    hostBufferSetSize = 0x40001, /* void* buffer, uint64_t size */
    hostBufferLock = 0x40002,    /* void* buffer, void** outData, uint64_t* outSize */
    hostBufferUnlock = 0x40003,  /* void* buffer */
    hostDeliver = 0x10010005,    /* void* callback, void* buffer */
    hostQuery = 0x10010006       /* void* callback, int64_t value, uint8_t* outFlag */
};

/* Class ids for hostCreateObject, 16 bytes in memory order. */
#define IOP_PROPERTY_COLLECTION_CLASS_ID                                                          \
    {                                                                                             \
        0x35, 0x97, 0x35, 0x26, 0x5c, 0x1b, 0x41, 0x77, 0xac, 0x79, 0xe5, 0xca, 0x72, 0xe0, 0x80, \
            0xd3                                                                                  \
    }
#define IOP_BUFFER_CLASS_ID                                                                       \
    {                                                                                             \
        0x54, 0xcf, 0xc0, 0x86, 0x5f, 0xe2, 0x11, 0xe7, 0x8c, 0x3f, 0x9a, 0x21, 0x4c, 0xf0, 0x93, \
            0xae                                                                                  \
    }

/* Media types and codec direction as published in properties. */
enum IopMediaType { iopMediaAudio = 1, iopMediaVideo = 2, iopMediaContainer = 3 };
enum IopCodecDirection { iopCodecEncoder = 2 };

#ifdef __cplusplus
}
#endif

#endif /* PARVOLUX_IOP_ABI_H */
