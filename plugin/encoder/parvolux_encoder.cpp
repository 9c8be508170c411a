#include "plugin/encoder/parvolux_encoder.h"

#include <cstring>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>

#include "plugin/encoder/wrapper/plugin_assert.h"

using IOPlugin::HostBufferRef;
using IOPlugin::HostLog;
using IOPlugin::HostPropertyCollectionRef;
using IOPlugin::IPropertyProvider;

namespace {

// Unlocks a locked input buffer once: where asked, or else when it goes out of scope.
class InputUnlock {
public:
    explicit InputUnlock(HostBufferRef& frame) : m_frame(&frame) {}
    ~InputUnlock() { unlock(); }
    InputUnlock(const InputUnlock&) = delete;
    InputUnlock& operator=(const InputUnlock&) = delete;
    void unlock() {
        if (m_frame != nullptr) (void)m_frame->Unlock();
        m_frame = nullptr;
    }

private:
    HostBufferRef* m_frame;
};

constexpr const char* kSourceFile = "plugin/encoder/parvolux_encoder";

// A property counts only when the host answers errNone with exactly this type and count.
const void* PropertyData(IPropertyProvider& provider, const char* key, uint32_t expectedType,
                         uint32_t expectedCount) {
    uint32_t type = 0;
    const void* data = nullptr;
    uint32_t count = 0;
    if (provider.GetProperty(key, &type, &data, &count) != errNone) return nullptr;
    if (type != expectedType || count != expectedCount) return nullptr;
    return data;
}

template <class T>
bool ReadValue(IPropertyProvider& provider, const char* key, uint32_t type, T& value) {
    const void* data = PropertyData(provider, key, type, 1);
    if (data == nullptr) return false;
    std::memcpy(&value, data, sizeof value);
    return true;
}

// Host codes for the settings on the left, codec library codes on the right.
uint32_t LibraryRange(uint8_t dataRange) {
    return dataRange == 1 ? 2 : 1;
}

uint32_t LibraryFieldOrder(uint8_t fieldOrder) {
    switch (fieldOrder) {
        case 2:
            return 1;
        case 4:
            return 2;
        default:
            return 0;
    }
}

}  // namespace

ParvoluxEncoder::ParvoluxEncoder(const FormatDesc& formatDesc) : m_formatDesc(formatDesc) {}

ParvoluxEncoder::~ParvoluxEncoder() {
    m_codec.reset();
}

void ParvoluxEncoder::Finish() {}

int32_t ParvoluxEncoder::Configure(HostPropertyCollectionRef&) {
    return errNone;
}

void ParvoluxEncoder::readSettings(HostBufferRef& params) {
    IOPlugin::GetStringProperty(params, "codecContainers", m_settings.codecContainers);
    IOPlugin::GetStringProperty(params, "path", m_settings.path);
    int32_t number = 0;
    if (ReadValue(params, "width", propInt32, number)) {
        m_settings.width = static_cast<uint32_t>(number);
    }
    if (ReadValue(params, "height", propInt32, number)) {
        m_settings.height = static_cast<uint32_t>(number);
    }
    (void)ReadValue(params, "fieldOrder", propUInt8, m_settings.fieldOrder);
    if (const void* rate = PropertyData(params, "frameRate", propInt32, 2)) {
        std::memcpy(m_settings.frameRate.data(), rate, sizeof m_settings.frameRate);
    }
    uint8_t flag = 0;
    m_settings.frameRateIsDrop = ReadValue(params, "frameRateIsDrop", propUInt8, flag) && flag;
    (void)ReadValue(params, "dataRange", propUInt8, m_settings.dataRange);
    flag = 0;
    m_settings.hasAlpha = ReadValue(params, "hasAlpha", propUInt8, flag) && flag;
}

int32_t ParvoluxEncoder::Open(HostBufferRef& params) {
    PARVOLUX_ASSERT(m_codec == nullptr, kSourceFile);
    readSettings(params);
    startCodec();
    if (m_status != errNone) return m_status;
    (void)params.SetProperty("magicCookie", propUInt8, m_cookie.data,
                             static_cast<uint32_t>(m_cookie.size));
    return errNone;
}

void ParvoluxEncoder::resetCodec() {
    m_codec.reset();
    m_inFormat = FrameFormat{};
    m_inFormat.formatCode = parvoluxFormatExtended;
    m_inFormat.extA = 1;
    m_cookie = Cookie{};
    m_compBufferSize = 0;
}

void ParvoluxEncoder::startCodec() {
    resetCodec();
    m_status = errNone;
    try {
        m_codec = std::make_unique<ParvoluxCodec>();

        m_inFormat.width = m_settings.width;
        m_inFormat.height = m_settings.height;
        m_inFormat.formatCode = parvoluxFormatExtended;
        m_inFormat.extA = 1;
        m_inFormat.pixelFormat = m_formatDesc.rawFormat;
        m_inFormat.extB = 0;
        m_inFormat.extC = 0;
        m_inFormat.range = LibraryRange(m_settings.dataRange);
        m_inFormat.fieldOrder = LibraryFieldOrder(m_settings.fieldOrder);

        FrameFormat outFormat{};
        outFormat.formatCode = parvoluxFormatExtended;
        outFormat.extA = 1;
        outFormat.pixelFormat = m_formatDesc.compressedFormat;

        m_cookie = m_codec->compressBegin(&m_inFormat, &outFormat, &m_compBufferSize);
    } catch (const std::exception& e) {
        HostLog(0, "Parvolux Plugin :: compressBegin failed: %s", e.what());
        resetCodec();
        m_status = errFail;
    }
}

int32_t ParvoluxEncoder::DoProcess(HostBufferRef& frame) {
    if (m_status != errNone) return m_status;
    // Never opened: there is nothing to compress with, and the frame is left alone.
    if (m_codec == nullptr) return errFail;
    if (frame.IsEmpty()) return errNoInput;

    void* inData = nullptr;
    uint64_t inBufSize = 0;
    if (frame.Lock(&inData, &inBufSize) != errNone) {
        HostLog(0, "Parvolux Plugin :: Failed to lock the input buffer");
        return errFail;
    }
    // From here every way out unlocks the input once. Declared before the output reference, it
    // unlocks after that is destroyed, unless the order asks for it earlier (unlock()).
    InputUnlock input{frame};
    if (inData == nullptr || inBufSize == 0) {
        HostLog(0, "Parvolux Plugin :: No data to encode");
        return errUnsupported;
    }
    // Only their presence matters: a frame's size is the stream's, set at Open.
    if (PropertyData(frame, "width", propInt32, 1) == nullptr ||
        PropertyData(frame, "height", propInt32, 1) == nullptr) {
        HostLog(0, "Parvolux Plugin :: Width/Height not set when encoding the frame");
        return errMissingProperty;
    }
    int64_t pts = 0;
    if (!ReadValue(frame, "pts", propInt64, pts)) {
        HostLog(0, "Parvolux Plugin :: PTS not set when encoding the frame");
        return errMissingProperty;
    }

    std::optional<HostBufferRef> output;
    output.emplace();
    output->Create();
    if (output->IsEmpty() || output->SetSize(m_compBufferSize) != errNone) {
        HostLog(0, "Parvolux Plugin :: Failed to allocate the output buffer");
        return errAlloc;
    }
    void* outData = nullptr;
    uint64_t outBufSize = 0;
    if (output->Lock(&outData, &outBufSize) != errNone) {
        HostLog(0, "Parvolux Plugin :: Failed to lock the output buffer");
        return errAlloc;
    }
    PARVOLUX_ASSERT(outBufSize == m_compBufferSize, kSourceFile);

    uint32_t compressedSize = 0;
    try {
        // The library reads the host's locked bytes in place: no copy of the frame is made.
        const FramePlanes planes = m_codec->initPlanesCommon(&m_inFormat, inData);
        uint32_t rawSizeExpected = 0;
        for (const FramePlane& plane : planes.plane) rawSizeExpected += plane.byteCount;
        if (rawSizeExpected > inBufSize) {
            throw std::runtime_error("rawSizeExpected(" + std::to_string(rawSizeExpected) +
                                     ") > inBufSize(" + std::to_string(inBufSize) + ")");
        }
        compressedSize = m_codec->compress(&planes, outData);
    } catch (const std::exception& e) {
        HostLog(0, "Parvolux Plugin :: compress failed: %s", e.what());
        input.unlock();  // before the output reference goes
        return errFail;
    }

    input.unlock();
    (void)output->Unlock();
    (void)output->SetSize(compressedSize);

    const uint8_t keyFrame = 1;
    (void)output->SetProperty("pts", propInt64, &pts, 1);
    (void)output->SetProperty("dts", propInt64, &pts, 1);
    (void)output->SetProperty("isKeyFrame", propUInt8, &keyFrame, 1);

    const int32_t result = m_pCallback != nullptr && !m_pCallback->IsEmpty()
                               ? m_pCallback->Deliver(*output)
                               : errNoObject;
    output.reset();
    return result;
}
