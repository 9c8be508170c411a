#include "platform/iohost/driver/encoder.h"

#include <array>

namespace iohost {

void StreamSettings::applyTo(PropertyStore& properties) const {
    properties.setString("codecContainers", codecContainers);
    properties.setString("path", path);
    properties.setInt32("width", static_cast<int32_t>(width));
    properties.setInt32("height", static_cast<int32_t>(height));
    properties.setUInt8("fieldOrder", fieldOrder);
    const std::array<int32_t, 2> frameRate{static_cast<int32_t>(rate), static_cast<int32_t>(scale)};
    properties.setInt32s("frameRate", frameRate);
    properties.setUInt8("frameRateIsDrop", frameRateIsDrop ? 1 : 0);
    properties.setUInt8("dataRange", dataRange);
    properties.setUInt8("hasAlpha", hasAlpha ? 1 : 0);
}

HostRef<HostBuffer> MakeFrameBuffer(std::span<const uint8_t> bytes, uint32_t width, uint32_t height,
                                    int64_t pts) {
    auto frame = Host::instance().createBuffer();
    (void)frame->assign(bytes);  // a new buffer is never locked
    frame->setInt32("width", static_cast<int32_t>(width));
    frame->setInt32("height", static_cast<int32_t>(height));
    frame->setInt64("pts", pts);
    return frame;
}

Encoder::~Encoder() {
    // The plug-in object goes first, while the callback it may still hold is alive anyway
    // through its own reference; the order keeps the log of host calls natural.
    reset();
}

int32_t Encoder::setCallback(CodecCallback::Sink sink) {
    auto callback = Host::instance().createCallback();
    callback->setSink(std::move(sink));
    const int32_t code = send(codecSetCallback, callback.handle());
    m_callback = std::move(callback);
    return code;
}

int32_t Encoder::setCallbackHandle(void* handle) {
    return send(codecSetCallback, handle);
}

int32_t Encoder::configure() {
    auto collection = Host::instance().createCollection();
    return configureWith(collection.handle());
}

int32_t Encoder::configureWith(void* collection) {
    return send(codecConfigure, collection);
}

int32_t Encoder::open(const StreamSettings& settings) {
    auto params = Host::instance().createBuffer();
    settings.applyTo(*params);
    m_params = std::move(params);
    return openWith(m_params.handle());
}

int32_t Encoder::openWith(void* buffer) {
    m_cookie.clear();
    const int32_t code = send(codecOpen, buffer);
    if (code == errNone && buffer != nullptr) {
        auto object = Host::instance().find(buffer);
        if (object && object->kind() == ObjectKind::Buffer) {
            if (auto cookie = static_cast<HostBuffer&>(*object).value("magicCookie"))
                m_cookie = std::move(cookie->bytes);
        }
    }
    return code;
}

int32_t Encoder::process(HostBuffer& frame) {
    return send(codecProcess, frame.handle());
}

int32_t Encoder::processNull() {
    return send(codecProcess, static_cast<void*>(nullptr));
}

int32_t Encoder::process(std::span<const uint8_t> bytes, uint32_t width, uint32_t height,
                         int64_t pts) {
    auto frame = MakeFrameBuffer(bytes, width, height, pts);
    return process(*frame);
}

int32_t Encoder::finish() {
    return send(codecFinish);
}

int32_t Encoder::query(int64_t value, uint8_t& flag) {
    return send(codecQuery, value, &flag);
}

}  // namespace iohost
