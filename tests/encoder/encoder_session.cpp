#include "tests/encoder/encoder_session.h"

#include <cstdarg>
#include <mutex>

#include "platform/iohost/driver.h"
#include "platform/iohost/plugin_module.h"
#include "plugin/encoder/parvolux_encoder.h"
#include "plugin/encoder/wrapper/host_api.h"

namespace {

using iohost::Host;

// Calls an object's Dispatch the way PluginDispatch does, arguments after the object pointer.
int32_t DispatchTo(IOPlugin::IPluginObjRef* object, uint32_t selector, ...) {
    va_list args;
    va_start(args, selector);
    const int32_t code = object->Dispatch(selector, args);
    va_end(args);
    return code;
}

class DirectEncoder final : public EncoderObject {
public:
    explicit DirectEncoder(const FormatDesc& row) : m_encoder(new ParvoluxEncoder(row)) {}
    ~DirectEncoder() override { m_encoder->Release(); }

    int32_t send(uint32_t selector, void* handle) override {
        return DispatchTo(m_encoder, selector, handle);
    }
    int32_t send(uint32_t selector) override { return DispatchTo(m_encoder, selector); }
    const void* address() const override { return m_encoder; }

private:
    ParvoluxEncoder* m_encoder;
};

class ModuleEncoder final : public EncoderObject {
public:
    explicit ModuleEncoder(iohost::Encoder encoder) : m_encoder(std::move(encoder)) {}

    int32_t send(uint32_t selector, void* handle) override {
        return m_encoder.send(selector, handle);
    }
    int32_t send(uint32_t selector) override { return m_encoder.send(selector); }
    const void* address() const override { return m_encoder.get(); }

private:
    iohost::Encoder m_encoder;
};

// Loaded once and kept until the process ends, after every object made from it is gone.
const iohost::PluginModule& Module() {
    static iohost::PluginModule module =
        iohost::PluginModule::load(iohost::PathNextToExecutable(iohost::DefaultModuleFileName()));
    return module;
}

void UseReferenceHostDirectly() {
    static std::once_flag once;
    std::call_once(once, [] { IOPlugin::s_HostAPI = Host::instance().api(); });
}

}  // namespace

std::string RouteName(Route route) {
    return route == Route::Direct ? "Direct" : "Module";
}

const std::vector<FormatDesc>& Table() {
    static const std::vector<FormatDesc> table = BuildFormatTable();
    return table;
}

EncoderSession::EncoderSession(Route route, size_t row) : m_row(Table().at(row)) {
    if (route == Route::Direct) {
        UseReferenceHostDirectly();
        m_object = std::make_unique<DirectEncoder>(m_row);
        m_createCode = errNone;
        return;
    }
    iohost::Driver driver(Module());
    iohost::Encoder encoder;
    m_createCode = driver.createEncoder(m_row.uuid, encoder);
    if (m_createCode == errNone) m_object = std::make_unique<ModuleEncoder>(std::move(encoder));
}

EncoderSession::~EncoderSession() {
    release();
}

void EncoderSession::release() {
    m_object.reset();
    m_callback.reset();
    m_params.reset();
}

int32_t EncoderSession::setCallback() {
    m_callback = Host::instance().createCallback();
    m_callback->setSink([this](iohost::HostBuffer& buffer) {
        Packet packet;
        packet.bytes = buffer.contents();
        packet.pts = buffer.getInt64("pts");
        packet.dts = buffer.getInt64("dts");
        packet.isKeyFrame = buffer.getUInt8("isKeyFrame");
        packet.lockedWhenDelivered = buffer.isLocked();
        packet.keys = buffer.keys();
        m_packets.push_back(std::move(packet));
        return static_cast<int32_t>(errNone);
    });
    return m_object->send(codecSetCallback, m_callback.handle());
}

int32_t EncoderSession::open(const iohost::StreamSettings& settings) {
    auto params = Host::instance().createBuffer();
    settings.applyTo(*params);
    return openWith(std::move(params));
}

int32_t EncoderSession::openWith(iohost::HostRef<iohost::HostBuffer> params) {
    m_params = std::move(params);
    m_cookie.clear();
    const int32_t code = m_object->send(codecOpen, m_params.handle());
    if (code == errNone && m_params) {
        if (auto bytes = m_params->getBytes("magicCookie")) m_cookie = std::move(*bytes);
    }
    return code;
}

int32_t EncoderSession::process(iohost::HostBuffer& frame) {
    return m_object->send(codecProcess, frame.handle());
}

int32_t EncoderSession::processNull() {
    return m_object->send(codecProcess, static_cast<void*>(nullptr));
}

iohost::HostRef<iohost::HostBuffer> MakeFrame(const std::vector<uint8_t>& bytes, uint32_t width,
                                              uint32_t height, int64_t pts) {
    return iohost::MakeFrameBuffer(bytes, width, height, pts);
}
