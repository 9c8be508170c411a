// The nine exported functions. Each checks its arguments, answers a status and lets no
// exception escape.
#include <exception>
#include <new>

#include "codec/parvolux_library.h"
#include "platform/parvolux_common64/api/control_state.h"
#include "platform/parvolux_common64/api/encoder_instance.h"
#include "platform/parvolux_common64/api/library_state.h"
#include "platform/parvolux_common64/common/status.h"
#include "platform/parvolux_common64/format/format_catalog.h"
#include "platform/parvolux_common64/format/frame_geometry.h"

using namespace parvolux;

namespace {

template <class F>
int32_t guarded(F body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (...) {
        return kFailed;
    }
}

// Injected failure, then the library's init state, then the handle.
int32_t admit(ParvoluxFunction fn, uint32_t handle, EncoderInstance*& instance) {
    if (const int32_t injected = controls::enter(fn); injected != kOk) return injected;
    LibraryState& lib = LibraryState::get();
    if (!lib.initialized()) return kNotInitialized;
    instance = lib.find(handle);
    return instance != nullptr ? kOk : kBadHandle;
}

}  // namespace

extern "C" {

PARVOLUX_COMMON64_API int32_t parvolux_library_init(void) {
    if (const int32_t injected = controls::enter(parvoluxFnLibraryInit); injected != kOk)
        return injected;
    LibraryState::get().init();
    return kOk;
}

PARVOLUX_COMMON64_API int32_t parvolux_library_close(void) {
    if (const int32_t injected = controls::enter(parvoluxFnLibraryClose); injected != kOk)
        return injected;
    return guarded([]() -> int32_t { return LibraryState::get().close(); });
}

PARVOLUX_COMMON64_API int32_t parvolux_open(uint32_t* handle) {
    if (const int32_t injected = controls::enter(parvoluxFnOpen); injected != kOk) return injected;
    if (handle == nullptr) return kBadArgument;
    LibraryState& lib = LibraryState::get();
    if (!lib.initialized()) return kNotInitialized;
    return guarded([&]() -> int32_t {
        const int32_t status = lib.open(*handle);
        if (status == kOk) controls::instanceOpened();
        return status;
    });
}

PARVOLUX_COMMON64_API int32_t parvolux_close(uint32_t handle) {
    if (const int32_t injected = controls::enter(parvoluxFnClose); injected != kOk) return injected;
    LibraryState& lib = LibraryState::get();
    if (!lib.initialized()) return kNotInitialized;
    const int32_t status = lib.close(handle);
    if (status == kOk) controls::instanceClosed();
    return status;
}

PARVOLUX_COMMON64_API int32_t parvolux_compress_query(uint32_t handle, const FrameFormat* in,
                                                      const FrameFormat* out, uint64_t* reserved,
                                                      uint32_t* bufferSize) {
    EncoderInstance* instance = nullptr;
    if (const int32_t status = admit(parvoluxFnCompressQuery, handle, instance); status != kOk)
        return status;
    if (in == nullptr || out == nullptr) return kBadArgument;
    const uint32_t inCode = formatCodeOf(*in), outCode = formatCodeOf(*out);
    if (controls::refused(inCode) || controls::refused(outCode)) return kUnsupportedFormat;
    const StreamFormat* stream = nullptr;
    if (const int32_t status = resolveStream(*in, *out, stream); status != kOk) return status;
    if (reserved != nullptr) *reserved = 0;
    if (bufferSize != nullptr && in->width != 0 && in->height != 0) {
        StreamGeometry geometry;
        if (!makeStreamGeometry(*stream, in->width, in->height, 0, geometry)) return kBadSize;
        *bufferSize = geometry.bufferBound;
    }
    return kOk;
}

PARVOLUX_COMMON64_API int32_t parvolux_compress_begin(uint32_t handle, const FrameFormat* in,
                                                      const FrameFormat* out,
                                                      const uint8_t** cookie, uint64_t* cookieSize,
                                                      uint32_t* bufferSize) {
    EncoderInstance* instance = nullptr;
    if (const int32_t status = admit(parvoluxFnCompressBegin, handle, instance); status != kOk)
        return status;
    if (in == nullptr || out == nullptr || cookie == nullptr || cookieSize == nullptr ||
        bufferSize == nullptr)
        return kBadArgument;
    return guarded([&]() -> int32_t {
        const int32_t status = instance->begin(*in, *out, controls::predictor());
        if (status != kOk) return status;
        *cookie = instance->cookie().data();
        *cookieSize = instance->cookie().size();
        *bufferSize = instance->bufferSize();
        return kOk;
    });
}

PARVOLUX_COMMON64_API int32_t parvolux_init_planes_common(uint32_t handle, const FrameFormat* in,
                                                          FramePlanes* planes, const void* raw) {
    EncoderInstance* instance = nullptr;
    if (const int32_t status = admit(parvoluxFnInitPlanesCommon, handle, instance); status != kOk)
        return status;
    if (in == nullptr || planes == nullptr || raw == nullptr) return kBadArgument;
    return initPlanes(*in, raw, *planes);
}

PARVOLUX_COMMON64_API int32_t parvolux_compress(uint32_t handle, const FramePlanes* planes,
                                                void* out, uint32_t* outSize) {
    EncoderInstance* instance = nullptr;
    if (const int32_t status = admit(parvoluxFnCompress, handle, instance); status != kOk)
        return status;
    if (planes == nullptr || out == nullptr || outSize == nullptr) return kBadArgument;
    controls::noteInput(planes->plane[0].data);
    if (!instance->begun()) return kFailed;
    return guarded([&]() -> int32_t {
        const unsigned threads = controls::threads();
        const std::shared_ptr<ThreadPool> pool = LibraryState::get().pool(threads);
        return instance->compress(*planes, out, *outSize, pool.get(), threads);
    });
}

PARVOLUX_COMMON64_API const char* parvolux_get_string(int32_t category, int32_t code) {
    switch (category) {
        case parvoluxStringFormat:
            return code < 0 ? "unknown" : formatName(static_cast<uint32_t>(code));
        case parvoluxStringStatus:
            return statusName(code);
        case parvoluxStringExtC:
            return code == 0 ? "none" : "unknown";
        default:
            return "unknown";
    }
}

}  // extern "C"
