#include "codec/parvolux_codec.h"

#include <sstream>

#include "codec/frame_format_text.h"
#include "codec/parvolux_error.h"

namespace {

[[noreturn]] void ThrowFormats(int32_t status, const char* call, const FrameFormat* in,
                               const FrameFormat* out, const uint32_t* bufferSize) {
    std::ostringstream where;
    where << call << '(';
    FrameFormatText::format(where, in);
    where << ", ";
    FrameFormatText::format(where, out);
    where << ", ";
    FrameFormatText::bufferSize(where, bufferSize);
    where << ')';
    throw ParvoluxError(where.str(), status);
}

}  // namespace

ParvoluxCodec::ParvoluxCodec() {
    int32_t status = parvolux_library_init();
    if (status != 0) throw ParvoluxError("ParvoluxCodec(): parvolux_library_init()", status);
    status = parvolux_open(&m_handle);
    if (status != 0) {
        // The library is told nothing more about an instance it never opened.
        m_handle = 0;
        throw ParvoluxError("ParvoluxCodec(): parvolux_open()", status);
    }
}

ParvoluxCodec::~ParvoluxCodec() {
    if (m_handle != 0) {
        (void)parvolux_close(m_handle);
        (void)parvolux_library_close();
    }
}

void ParvoluxCodec::compressQuery(const FrameFormat* in, const FrameFormat* out,
                                  uint32_t* bufferSize) {
    uint64_t reserved = 0;
    const int32_t status = parvolux_compress_query(m_handle, in, out, &reserved, bufferSize);
    if (status != 0) ThrowFormats(status, "compressQuery", in, out, bufferSize);
}

Cookie ParvoluxCodec::compressBegin(const FrameFormat* in, const FrameFormat* out,
                                    uint32_t* bufferSize) {
    Cookie cookie;
    const int32_t status =
        parvolux_compress_begin(m_handle, in, out, &cookie.data, &cookie.size, bufferSize);
    if (status != 0) ThrowFormats(status, "compressBegin", in, out, bufferSize);
    return cookie;
}

FramePlanes ParvoluxCodec::initPlanesCommon(const FrameFormat* in, const void* raw) {
    FramePlanes planes{};
    const int32_t status = parvolux_init_planes_common(m_handle, in, &planes, raw);
    if (status != 0) {
        std::ostringstream where;
        where << "initPlanesCommon(";
        FrameFormatText::format(where, in);
        where << ", ";
        FrameFormatText::address(where, raw);
        where << ')';
        throw ParvoluxError(where.str(), status);
    }
    return planes;
}

uint32_t ParvoluxCodec::compress(const FramePlanes* planes, void* out) {
    uint32_t size = 0;
    const int32_t status = parvolux_compress(m_handle, planes, out, &size);
    if (status != 0) {
        std::ostringstream where;
        where << "compress(";
        FrameFormatText::planes(where, planes);
        where << ", ";
        FrameFormatText::address(where, out);
        where << ')';
        throw ParvoluxError(where.str(), status);
    }
    return size;
}
