#include "platform/iohost/picture/avi_video_decoder.h"

#include <algorithm>

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

AviVideoDecoder::AviVideoDecoder(const std::string& path, unsigned decoders)
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

    const LibraryDecoder probe(m_cookie, m_format.width, m_format.height, 0, m_codecTag);
    // The library records only what sets a file apart: interlacing and full range; a stream that
    // says neither is progressive or unknown and limited or unknown, as a YUV4MPEG2 header without
    // the tags is.
    const ParvoluxPictureInfo picture = probe.picture();
    if (picture.fieldOrder == parvoluxFieldsTopFirst) m_format.scan = Scan::TopFirst;
    if (picture.fieldOrder == parvoluxFieldsBottomFirst) m_format.scan = Scan::BottomFirst;
    if (picture.range == parvoluxRangeFull) m_format.range = Range::Full;
    const ParvoluxOutputLayout& layout = probe.layout();
    const ParvoluxPlaneLayout& first = layout.plane[0];
    m_significantBits = first.significantBits;
    const std::string components = first.components;
    if (components == "RGB" || components == "RGBA") {
        m_format.packing = components == "RGB" ? Packing::Rgb : Packing::Rgba;
        m_format.bitDepth = first.bytesPerSample == 1 ? 8 : 16;
        open(0, decoders);
        return;
    }
    // Planar: low-aligned samples, as YUV4MPEG2 stores them.
    open(first.bytesPerSample == 2 ? parvoluxDecodeLowAligned : 0, decoders);
    m_format.packing = Packing::Planar;
    m_format.bitDepth = first.bytesPerSample == 1 ? 8 : first.significantBits;
    // From the stream's code, not the plane sizes: at one row or one column 4:2:0, 4:2:2 and
    // 4:4:4 planes can have the same size.
    const std::string kind = m_codecTag.substr(2);
    if (layout.planeCount == 1) {
        m_format.chroma = Chroma::Mono;
    } else if (kind == "Y0") {
        m_format.chroma = Chroma::Yuv420;
    } else if (kind == "Y2") {
        m_format.chroma = Chroma::Yuv422;
    } else {
        m_format.chroma = Chroma::Yuv444;
    }
}

AviVideoDecoder::~AviVideoDecoder() = default;

void AviVideoDecoder::open(uint32_t flags, unsigned decoders) {
    for (unsigned i = 0; i < std::max(1u, decoders); ++i)
        m_decoders.push_back(std::make_unique<LibraryDecoder>(m_cookie, m_format.width,
                                                              m_format.height, flags, m_codecTag));
}

void AviVideoDecoder::decode(size_t index, uint8_t* frame) {
    readPacket(index, m_packet);
    decodePacket(index, m_packet, frame, 0);
}

void AviVideoDecoder::readPacket(size_t index, std::vector<uint8_t>& packet) {
    if (!m_payloads.read(m_chunks.at(index), packet))
        throw InputError("frame " + std::to_string(index) + ": the file ends inside its packet");
}

void AviVideoDecoder::decodePacket(size_t index, std::span<const uint8_t> packet, uint8_t* frame,
                                   unsigned slot) {
    if (const std::string why = m_decoders.at(slot)->decode(packet, frame); !why.empty())
        throw InputError("frame " + std::to_string(index) + " does not decode: " + why);
}

}  // namespace iohost
