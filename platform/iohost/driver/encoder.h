// The host's side of one encoder object: its callback, its stream settings and its frames.
// Each call answers the plug-in's code. The encoder's packets reach the sink given to
// setCallback, one call per packet, on the thread that called process().
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/iohost/driver/plugin_object.h"
#include "platform/iohost/host/host.h"

namespace iohost {

// The settings an encoder is opened with, set as properties on a host buffer.
struct StreamSettings {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t fieldOrder = 0;
    uint32_t rate = 25;  // "frameRate", two propInt32: rate then scale
    uint32_t scale = 1;
    bool frameRateIsDrop = false;
    uint8_t dataRange = 0;
    bool hasAlpha = false;
    std::string path;
    std::string codecContainers;

    // Sets every setting as a property, with the types the encoder reads.
    void applyTo(PropertyStore& properties) const;
};

class Encoder : public PluginObject {
public:
    using PluginObject::PluginObject;
    Encoder(Encoder&&) noexcept = default;
    Encoder& operator=(Encoder&&) noexcept = default;
    ~Encoder() override;

    // Creates a callback with this sink and hands it over with codecSetCallback. The encoder
    // keeps its own reference to the callback; so does this holder, until it dies.
    [[nodiscard]] int32_t setCallback(CodecCallback::Sink sink);
    // codecSetCallback with any handle (null included).
    [[nodiscard]] int32_t setCallbackHandle(void* handle);
    [[nodiscard]] CodecCallback* callback() const { return m_callback.get(); }

    // codecConfigure with a new empty collection, or with the one given (null handle allowed).
    [[nodiscard]] int32_t configure();
    [[nodiscard]] int32_t configureWith(void* collection);

    // Sets the settings on a new host buffer, sends codecOpen with it and, on success, reads
    // back "magicCookie". The buffer is kept (params()) until the next open.
    [[nodiscard]] int32_t open(const StreamSettings& settings);
    // codecOpen with a buffer the caller prepared (null handle allowed); the cookie is read back
    // from it when it holds one.
    [[nodiscard]] int32_t openWith(void* buffer);
    [[nodiscard]] const std::vector<uint8_t>& cookie() const { return m_cookie; }
    [[nodiscard]] HostBuffer* params() const { return m_params.get(); }

    // codecProcess with a frame buffer ("width", "height", "pts" and the bytes set by the caller).
    [[nodiscard]] int32_t process(HostBuffer& frame);
    // codecProcess with a null buffer handle.
    [[nodiscard]] int32_t processNull();
    // Makes a frame buffer from the bytes and properties, then codecProcess.
    [[nodiscard]] int32_t process(std::span<const uint8_t> bytes, uint32_t width, uint32_t height,
                                  int64_t pts);

    [[nodiscard]] int32_t finish();
    [[nodiscard]] int32_t query(int64_t value, uint8_t& flag);

private:
    HostRef<CodecCallback> m_callback;
    HostRef<HostBuffer> m_params;
    std::vector<uint8_t> m_cookie;
};

// A frame buffer holding a copy of `bytes`, with "width", "height" (propInt32) and "pts"
// (propInt64) set.
[[nodiscard]] HostRef<HostBuffer> MakeFrameBuffer(std::span<const uint8_t> bytes, uint32_t width,
                                                  uint32_t height, int64_t pts);

}  // namespace iohost
