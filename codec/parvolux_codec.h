// One instance of the codec library, owned exclusively: opened by the constructor, closed by the
// destructor. Every library call that fails becomes a ParvoluxError whose text names the call
// and renders its arguments (FrameFormatText); the text is built only on failure. Nothing is
// retried and nothing is caught here: callers decide what a failure means (registration skips
// the format, the encoder fails the host's call).
//
// Not thread-safe: one owner uses an instance at a time. Different instances may run at once.
#pragma once

#include <cstdint>

#include "codec/parvolux_library.h"

// The codec private bytes named by compressBegin. The bytes belong to the library and stay valid
// while its instance is open; the plug-in never frees them. Only the low 32 bits of `size` are
// ever used.
struct Cookie {
    const uint8_t* data = nullptr;
    uint64_t size = 0;
};

class ParvoluxCodec {
public:
    // parvolux_library_init, then parvolux_open. When either fails it throws and nothing needs
    // closing: after a failed open the handle is still 0.
    ParvoluxCodec();
    // parvolux_close then parvolux_library_close, for a nonzero handle only.
    ~ParvoluxCodec();
    ParvoluxCodec(const ParvoluxCodec&) = delete;
    ParvoluxCodec& operator=(const ParvoluxCodec&) = delete;

    // Throws unless the library compresses `in` to `out`. `bufferSize` may be null.
    void compressQuery(const FrameFormat* in, const FrameFormat* out, uint32_t* bufferSize);
    // Starts the stream; `*bufferSize` becomes the size that bounds every compressed frame.
    [[nodiscard]] Cookie compressBegin(const FrameFormat* in, const FrameFormat* out,
                                       uint32_t* bufferSize);
    // The planes of the raw frame at `raw`, read in place (never copied); their byteCounts sum
    // to the bytes compress will read.
    [[nodiscard]] FramePlanes initPlanesCommon(const FrameFormat* in, const void* raw);
    // Compresses into `out`, which holds exactly the compressed-buffer size; answers the bytes
    // written.
    [[nodiscard]] uint32_t compress(const FramePlanes* planes, void* out);

private:
    uint32_t m_handle = 0;
};
