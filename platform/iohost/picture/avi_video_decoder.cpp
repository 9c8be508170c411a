#include "platform/iohost/picture/avi_video_decoder.h"

#include <cstring>

#include "platform/iohost/files/input_error.h"
#include "platform/iohost/files/input_file.h"

namespace iohost {

namespace {

constexpr uint32_t kVids = avireader::fourcc("vids");

// The path, once it is known to open for reading; else InputError with the system's reason.
const std::string& Readable(const std::string& path) {
    InputFile probe(path);
    return path;
}

}  // namespace

AviVideoDecoder::AviVideoDecoder(const std::string& path)
    : m_file(avireader::readAvi(Readable(path))), m_payloads(path) {
    if (!m_payloads.isOpen()) throw InputError("cannot open '" + path + "'");
    int stream = -1;
    for (size_t i = 0; i < m_file.streams.size(); ++i) {
        const auto& s = m_file.streams[i];
        if (s.header && s.header->type == kVids && s.video) {
            stream = static_cast<int>(i);
            break;
        }
    }
    if (stream < 0) throw InputError(path + ": no video stream");
    const auto& s = m_file.streams[static_cast<size_t>(stream)];
    m_chunks = avireader::chunksOfStream(m_file, stream);
    m_cookie = s.video->extra;
    m_codecTag = avireader::fourccText(s.video->compression);
    if (s.video->width <= 0 || s.video->height == 0)
        throw InputError(path + ": video stream has a bad frame size");
    m_format.width = static_cast<uint32_t>(s.video->width);
    m_format.height =
        static_cast<uint32_t>(s.video->height < 0 ? -s.video->height : s.video->height);
    m_format.rate = s.header->rate != 0 ? s.header->rate : 25;
    m_format.scale = s.header->scale != 0 ? s.header->scale : 1;

    open(0);
    // The library records only what sets a file apart: interlacing and full range; a stream that
    // says neither is progressive or unknown and limited or unknown, as a YUV4MPEG2 header without
    // the tags is.
    ParvoluxPictureInfo picture{};
    if (parvolux_decoder_picture(m_decoder, &picture) == 0) {
        if (picture.fieldOrder == parvoluxFieldsTopFirst) m_format.scan = Scan::TopFirst;
        if (picture.fieldOrder == parvoluxFieldsBottomFirst) m_format.scan = Scan::BottomFirst;
        if (picture.range == parvoluxRangeFull) m_format.range = Range::Full;
    }
    const ParvoluxPlaneLayout& first = m_layout.plane[0];
    m_significantBits = first.significantBits;
    const std::string components = first.components;
    if (components == "RGB" || components == "RGBA") {
        m_format.packing = components == "RGB" ? Packing::Rgb : Packing::Rgba;
        m_format.bitDepth = first.bytesPerSample == 1 ? 8 : 16;
        return;
    }
    // Planar: low-aligned samples, as YUV4MPEG2 stores them.
    if (first.bytesPerSample == 2) open(parvoluxDecodeLowAligned);
    m_format.packing = Packing::Planar;
    m_format.bitDepth = first.bytesPerSample == 1 ? 8 : first.significantBits;
    // From the stream's code, not the plane sizes: at one row or one column 4:2:0, 4:2:2 and
    // 4:4:4 planes can have the same size.
    const std::string kind = m_codecTag.substr(2);
    if (m_layout.planeCount == 1) {
        m_format.chroma = Chroma::Mono;
    } else if (kind == "Y0") {
        m_format.chroma = Chroma::Yuv420;
    } else if (kind == "Y2") {
        m_format.chroma = Chroma::Yuv422;
    } else {
        m_format.chroma = Chroma::Yuv444;
    }
}

AviVideoDecoder::~AviVideoDecoder() {
    if (m_decoder != nullptr) parvolux_decoder_close(m_decoder);
}

void AviVideoDecoder::open(uint32_t flags) {
    if (m_decoder != nullptr) parvolux_decoder_close(m_decoder);
    m_decoder = nullptr;
    const int32_t status = parvolux_decoder_open(m_cookie.data(), m_cookie.size(), m_format.width,
                                                 m_format.height, flags, &m_decoder);
    if (status != 0)
        throw InputError("the codec library cannot decode this " + m_codecTag +
                         " stream: " + parvolux_get_string(parvoluxStringStatus, status));
    if (parvolux_decoder_layout(m_decoder, &m_layout) != 0)
        throw InputError("the codec library gives no output layout for " + m_codecTag);
}

void AviVideoDecoder::decode(size_t index, uint8_t* frame) {
    if (!m_payloads.read(m_chunks.at(index), m_packet))
        throw InputError("frame " + std::to_string(index) + ": the file ends inside its packet");
    ParvoluxOutputPlane planes[4]{};
    uint8_t* p = frame;
    for (uint32_t i = 0; i < m_layout.planeCount; ++i) {
        const ParvoluxPlaneLayout& l = m_layout.plane[i];
        planes[i] = {p, l.rowBytes, uint64_t{l.rowBytes} * l.height};
        p += planes[i].byteCount;
    }
    const int32_t status =
        parvolux_decoder_decode(m_decoder, m_packet.data(), m_packet.size(), planes);
    if (status != 0)
        throw InputError("frame " + std::to_string(index) +
                         " does not decode: " + parvolux_get_string(parvoluxStringStatus, status));
}

}  // namespace iohost
