// The encoder object behind every codec the plug-in registers, one per format table row. The
// host creates it for a row's id, hands it its callback, opens it with the stream's settings and
// then gives it raw frames one at a time. Open starts a codec library instance for the row's
// formats and publishes the codec's private bytes on the settings object as "magicCookie".
// DoProcess compresses one frame straight from the host's locked buffer (never copied) into a
// new host buffer of the size the library named, stamps it ("pts", "dts" = pts, "isKeyFrame" 1)
// and delivers it through the callback at once: one packet per frame, every packet a key frame.
//
// Every failure is answered as a result code with one message in the host's log; no exception
// leaves the object. A failed frame leaves the encoder running; a failed Open makes every frame
// answer errFail until the next Open. Frames before any Open answer errFail as well.
//
// No lock: calls on one encoder must not overlap; different encoders may run at once.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "codec/parvolux_codec.h"
#include "plugin/encoder/format_table.h"
#include "plugin/encoder/wrapper/plugin_api.h"

// The stream settings as read at Open. Of them the encoder uses width, height, fieldOrder and
// dataRange; the rest are kept as the host gave them.
struct CodecSettings {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t fieldOrder = 0;
    std::array<uint32_t, 2> frameRate = {0, 0};  // rate, then scale
    bool frameRateIsDrop = false;
    uint8_t dataRange = 0;
    bool hasAlpha = false;
    std::string path;
    std::string codecContainers;
};

class ParvoluxEncoder : public IOPlugin::IPluginCodecRef {
public:
    explicit ParvoluxEncoder(const FormatDesc& formatDesc);
    // Closes the library instance before anything else goes.
    ~ParvoluxEncoder() override;

    void Finish() override;
    int32_t Configure(IOPlugin::HostPropertyCollectionRef& config) override;
    // Reads the settings (absent keys keep their earlier values, the two flags become false),
    // starts the codec and publishes "magicCookie". Must not be called on a running encoder.
    int32_t Open(IOPlugin::HostBufferRef& params) override;
    // `frame` carries the raw bytes and "width", "height" (propInt32) and "pts" (propInt64).
    int32_t DoProcess(IOPlugin::HostBufferRef& frame) override;

private:
    void readSettings(IOPlugin::HostBufferRef& params);
    // Leaves the encoder running (m_status 0) or failed (errFail, reported, no instance).
    void startCodec();
    void resetCodec();

    CodecSettings m_settings;
    FormatDesc m_formatDesc;
    std::unique_ptr<ParvoluxCodec> m_codec;
    FrameFormat m_inFormat{};
    Cookie m_cookie;
    uint32_t m_compBufferSize = 0;
    int32_t m_status = errNone;
};
