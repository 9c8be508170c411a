#include "plugin/encoder/parvolux_avi_container.h"

#include <cstring>
#include <exception>
#include <string>

#include "avi/four_cc.h"
#include "avi/little_endian_buffer.h"
#include "plugin/encoder/format_table.h"
#include "plugin/encoder/parvolux_avi_track_writer.h"

#if defined(_WIN32)
#include <windows.h>
#endif

using IOPlugin::HostBufferRef;
using IOPlugin::HostLog;
using IOPlugin::HostPropertyCollectionRef;
using IOPlugin::IPropertyProvider;

namespace {

constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint16_t kWaveFormatFloat = 3;
constexpr uint32_t kBitmapInfoHeaderSize = 40;
constexpr uint32_t kDefaultBitCount = 32;  // a code the format table does not know
constexpr uint32_t kStreamQuality = 10000;

// A value counts only when the host answers errNone with exactly this type and one value.
template <class T>
bool ReadValue(IPropertyProvider& provider, const char* key, uint32_t expectedType, T& value) {
    static_assert(sizeof(T) == 1 || sizeof(T) == 4 || sizeof(T) == 8);
    uint32_t type = 0;
    const void* data = nullptr;
    uint32_t count = 0;
    if (provider.GetProperty(key, &type, &data, &count) != errNone) return false;
    if (type != expectedType || count != 1 || data == nullptr) return false;
    std::memcpy(&value, data, sizeof value);
    return true;
}

uint32_t ReadUInt32(IPropertyProvider& provider, const char* key) {
    int32_t value = 0;
    return ReadValue(provider, key, propInt32, value) ? static_cast<uint32_t>(value) : 0;
}

// Rate first, then scale; 0 and 0 when unset.
void ReadFrameRate(IPropertyProvider& provider, uint32_t& rate, uint32_t& scale) {
    rate = 0;
    scale = 0;
    uint32_t type = 0;
    const void* data = nullptr;
    uint32_t count = 0;
    if (provider.GetProperty("frameRate", &type, &data, &count) != errNone) return;
    if (type != propInt32 || count != 2 || data == nullptr) return;
    uint32_t values[2] = {0, 0};
    std::memcpy(values, data, sizeof values);
    rate = values[0];
    scale = values[1];
}

// Any type: the codec's private bytes are taken as the host counts them.
std::vector<uint8_t> ReadCookie(IPropertyProvider& provider) {
    uint32_t type = 0;
    const void* data = nullptr;
    uint32_t count = 0;
    if (provider.GetProperty("magicCookie", &type, &data, &count) != errNone || data == nullptr) {
        return {};
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    return {bytes, bytes + count};
}

// The host's code carries its first character in the most significant byte; the file wants the
// characters in reading order.
uint32_t FileFourCC(uint32_t hostFourcc) {
    return fourCC(static_cast<uint8_t>(hostFourcc >> 24), static_cast<uint8_t>(hostFourcc >> 16),
                  static_cast<uint8_t>(hostFourcc >> 8), static_cast<uint8_t>(hostFourcc));
}

// Standard WAVEFORMATEXTENSIBLE speaker bits for the host's layouts.
uint32_t ChannelMask(int32_t audLayout) {
    switch (audLayout) {
        case 2:
            return 0x3;  // front left, front right
        case 3:
            return 0x3F;  // 5.1: adds front centre, low frequency, back left, back right
        case 4:
            return 0x63F;  // 7.1: adds side left, side right
        default:
            return 0;
    }
}

// |value| of a 32-bit field cut to 16 bits; INT32_MIN has no positive counterpart, so the
// negation is done unsigned.
int16_t AbsoluteExtent(uint32_t value) {
    const uint32_t magnitude = static_cast<int32_t>(value) < 0 ? 0u - value : value;
    return static_cast<int16_t>(magnitude);
}

// bitCount x height x width / 8, as a signed 32-bit number: the product wraps, the quotient is
// truncated toward zero (so a negative height gives a negative size).
uint32_t ImageSize(uint32_t bitCount, uint32_t width, uint32_t height) {
    const auto product = static_cast<int32_t>(bitCount * height * width);
    return static_cast<uint32_t>(product / 8);
}

std::vector<uint8_t> VideoFormat(uint32_t width, uint32_t height, uint32_t bitCount,
                                 uint32_t compression, const std::vector<uint8_t>& cookie) {
    LittleEndianBuffer out(kBitmapInfoHeaderSize + cookie.size());
    out.put32(kBitmapInfoHeaderSize + static_cast<uint32_t>(cookie.size()));  // biSize
    out.put32(width);                                                         // biWidth
    out.put32(height);                                                        // biHeight
    out.put16(1);                                                             // biPlanes
    out.put16(static_cast<uint16_t>(bitCount));                               // biBitCount
    out.putFourCC(compression);                                               // biCompression
    out.put32(ImageSize(bitCount, width, height));                            // biSizeImage
    out.put32(0);                                                             // biXPelsPerMeter
    out.put32(0);                                                             // biYPelsPerMeter
    out.put32(0);                                                             // biClrUsed
    out.put32(0);                                                             // biClrImportant
    out.putBytes(cookie.data(), cookie.size());
    return out.take();
}

#if defined(_WIN32)
// The path up to its first NUL; invalid sequences become U+FFFD.
std::wstring Utf16(const std::string& utf8) {
    const size_t length = std::strlen(utf8.c_str());
    if (length == 0 || length > 0x7FFFFFFF) return {};
    const int bytes = static_cast<int>(length);
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), bytes, nullptr, 0);
    if (units <= 0) return {};
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), bytes, wide.data(), units);
    return wide;
}
#endif

// Holds a reference to an object for the length of a scope.
class ScopedReference {
public:
    explicit ScopedReference(IOPlugin::IPluginObjRef* object) : m_object(object) {
        m_object->AddRef();
    }
    ~ScopedReference() { m_object->Release(); }
    ScopedReference(const ScopedReference&) = delete;
    ScopedReference& operator=(const ScopedReference&) = delete;

private:
    IOPlugin::IPluginObjRef* m_object;
};

}  // namespace

ParvoluxAviContainer::ParvoluxAviContainer() {
    reset();
}

ParvoluxAviContainer::~ParvoluxAviContainer() {
    writer.reset();
    file.close();
}

void ParvoluxAviContainer::reset() {
    // Made first, so that a failed allocation leaves the container as it was; a writer touches
    // its file only from writeHeader on.
    auto fresh = std::make_unique<AviWriter>(file);
    writer.swap(fresh);
    fresh.reset();  // the old writer finalizes whatever it began, then the file can go
    file.close();
}

int32_t ParvoluxAviContainer::Init(HostPropertyCollectionRef&) {
    reset();
    return errNone;
}

int32_t ParvoluxAviContainer::Open(HostPropertyCollectionRef& props) {
    std::string path;
    (void)IOPlugin::GetStringProperty(props, "path", path);

    bool opened = false;
    if (path.empty()) {
        file.close();
    } else {
#if defined(_WIN32)
        const std::wstring widePath = Utf16(path);
        opened = file.open(widePath.c_str(), fileio::File::Write);
#else
        opened = file.open(path.c_str(), fileio::File::Write);
#endif
    }
    if (!opened) {
        HostLog(0, "Parvolux Plugin :: Failed to open output file: %s", path.c_str());
        return errFail;
    }

    try {
        writer->writeHeader();
    } catch (const std::exception& e) {
        HostLog(0, "Parvolux Plugin :: Failed to write AVI header: %s", e.what());
        return errFail;
    }
    return errNone;
}

int32_t ParvoluxAviContainer::AddTrack(HostPropertyCollectionRef& trackProps,
                                       HostPropertyCollectionRef& codecProps,
                                       IOPlugin::IPluginObjRef** track) {
    if (track == nullptr) return errInvalidParam;

    int32_t mediaType = 0;
    if (!ReadValue(trackProps, "mediaType", propInt32, mediaType) ||
        (mediaType != iopMediaAudio && mediaType != iopMediaVideo)) {
        return errInvalidParam;
    }
    if (mediaType == iopMediaVideo && videoTrack != nullptr) return errUnsupported;
    // The header already written has no stream list for a new track, and stream ids have two
    // digits.
    if (writer->headerWritten || writer->streams.size() >= AviWriter::kMaxStreams) {
        return errUnsupported;
    }

    uint32_t rate = 0;
    uint32_t scale = 0;
    ReadFrameRate(trackProps, rate, scale);

    try {
        return mediaType == iopMediaVideo
                   ? addVideoTrack(trackProps, codecProps, rate, scale, track)
                   : addAudioTrack(trackProps, track);
    } catch (const std::exception& e) {
        HostLog(0, "Parvolux Plugin :: Failed to add track: %s", e.what());
        return errFail;
    }
}

int32_t ParvoluxAviContainer::addVideoTrack(HostPropertyCollectionRef& trackProps,
                                            HostPropertyCollectionRef& codecProps, uint32_t rate,
                                            uint32_t scale, IOPlugin::IPluginObjRef** track) {
    const uint32_t width = ReadUInt32(trackProps, "width");
    const uint32_t height = ReadUInt32(trackProps, "height");
    // No frame time can be derived without a rate.
    if (rate == 0) return errInvalidParam;

    const size_t index = writer->addStream(fourCC("vids"));
    auto* trackWriter = new ParvoluxAviTrackWriter(this, index, true);
    videoTrack = trackWriter;

    const uint32_t microSecPerFrame = scale * 1000000u / rate;

    const std::vector<uint8_t> cookie = ReadCookie(codecProps);
    const uint32_t hostFourcc = ReadUInt32(codecProps, "4cc");
    const FormatDesc* row = FindFormatByFourcc(hostFourcc);
    const uint32_t bitCount = row != nullptr ? row->bitCount : kDefaultBitCount;

    writer->mainHeader.dwMicroSecPerFrame = microSecPerFrame;
    writer->mainHeader.dwWidth = width;
    writer->mainHeader.dwHeight = height;

    AviStream& stream = writer->stream(index);
    stream.header = AviStreamHeader{};
    stream.header.fccType = fourCC("vids");
    stream.header.fccHandler = FileFourCC(hostFourcc);
    stream.header.dwScale = scale;
    stream.header.dwRate = rate;
    stream.header.dwQuality = kStreamQuality;
    stream.header.rcFrame = AviRect{0, 0, AbsoluteExtent(width), AbsoluteExtent(height)};
    stream.format = VideoFormat(width, height, bitCount, FileFourCC(hostFourcc), cookie);

    trackWriter->AddRef();  // the host's
    *track = trackWriter;
    return errNone;
}

int32_t ParvoluxAviContainer::addAudioTrack(HostPropertyCollectionRef& trackProps,
                                            IOPlugin::IPluginObjRef** track) {
    const uint32_t samplingRate = ReadUInt32(trackProps, "samplingRate");
    const uint32_t numChannels = ReadUInt32(trackProps, "numChannels");
    const uint32_t sampleBits = ReadUInt32(trackProps, "sampleBits");
    uint8_t isFloat = 0;
    (void)ReadValue(trackProps, "isFloat", propUInt8, isFloat);
    int32_t audLayout = 0;
    (void)ReadValue(trackProps, "audLayout", propInt32, audLayout);

    audioTracks.reserve(audioTracks.size() + 1);  // so that the append below cannot fail
    const size_t index = writer->addStream(fourCC("auds"));
    auto* trackWriter = new ParvoluxAviTrackWriter(this, index, false);
    audioTracks.push_back(trackWriter);

    writer->stream(index).setAudioFormat(isFloat != 0 ? kWaveFormatFloat : kWaveFormatPcm,
                                         static_cast<uint16_t>(numChannels), samplingRate,
                                         static_cast<uint16_t>(sampleBits), ChannelMask(audLayout));

    trackWriter->AddRef();  // the host's
    *track = trackWriter;
    return errNone;
}

int32_t ParvoluxAviContainer::Close() {
    // Dropping the track references below can drop the last references to this container.
    const ScopedReference self(this);

    int32_t status = errNone;
    try {
        writer->finalize();
    } catch (const std::exception& e) {
        HostLog(0, "Parvolux Plugin :: Failed to finalize AVI: %s", e.what());
        status = errFail;
    }
    reset();

    std::vector<ParvoluxAviTrackWriter*> audio;
    audio.swap(audioTracks);
    for (ParvoluxAviTrackWriter* trackWriter : audio) trackWriter->Release();
    if (videoTrack != nullptr) {
        ParvoluxAviTrackWriter* video = videoTrack;
        videoTrack = nullptr;
        video->Release();
    }
    return status;
}

int32_t ParvoluxAviContainer::writeVideoPacket(uint64_t streamIndex, HostBufferRef* packet) {
    if (packet == nullptr || packet->IsEmpty()) return errNone;
    return writePacket(streamIndex, packet, 1, true);
}

int32_t ParvoluxAviContainer::writeAudioPacket(uint64_t streamIndex, HostBufferRef* packet) {
    if (packet == nullptr || packet->IsEmpty()) return errNone;
    int64_t duration = 0;
    (void)ReadValue(*packet, "duration", propInt64, duration);
    return writePacket(streamIndex, packet, static_cast<uint32_t>(duration), false);
}

int32_t ParvoluxAviContainer::writePacket(uint64_t streamIndex, HostBufferRef* packet,
                                          uint32_t duration, bool isVideo) {
    void* data = nullptr;
    uint64_t size = 0;
    if (packet->Lock(&data, &size) != errNone) return errNone;

    int32_t result = errNone;
    try {
        writer->writeChunk(static_cast<size_t>(streamIndex), data, size, duration, isVideo);
    } catch (const std::exception& e) {
        if (isVideo) {
            HostLog(0, "Parvolux Plugin :: Failed to write AVI video chunk: %s", e.what());
        } else {
            HostLog(0, "Parvolux Plugin :: Failed to write AVI audio chunk: %s", e.what());
        }
        result = errFail;
    }
    (void)packet->Unlock();
    return result;
}
