#include "platform/iohost/media/y4m_reader.h"

#include <charconv>
#include <sstream>

#include "platform/iohost/files/input_error.h"

namespace iohost {

namespace {

constexpr char kSignature[] = "YUV4MPEG2";
constexpr size_t kMaxHeaderLine = 1024;

bool ParseUnsigned(const std::string& text, uint32_t& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

bool ParseColourTag(const std::string& tag, Chroma& chroma, uint32_t& depth,
                    std::vector<std::string>* notes) {
    std::string base = tag;
    depth = 8;
    for (const char* suffix : {"p10", "p12", "p16"}) {
        const std::string s = suffix;
        if (base.size() > s.size() && base.compare(base.size() - s.size(), s.size(), s) == 0) {
            depth = static_cast<uint32_t>(std::stoul(s.substr(1)));
            base.resize(base.size() - s.size());
        }
    }
    if (base.rfind("mono", 0) == 0 && base.size() > 4) {  // mono10, mono12, mono16
        uint32_t bits = 0;
        if (!ParseUnsigned(base.substr(4), bits) || (bits != 10 && bits != 12 && bits != 16))
            return false;
        depth = bits;
        base = "mono";
    }
    if (base == "420jpeg" || base == "420mpeg2" || base == "420paldv" || base == "420") {
        chroma = Chroma::Yuv420;
        if (notes != nullptr && (base == "420mpeg2" || base == "420paldv"))
            notes->push_back("chroma siting " + base);
    } else if (base == "422") {
        chroma = Chroma::Yuv422;
    } else if (base == "444") {
        chroma = Chroma::Yuv444;
    } else if (base == "mono") {
        chroma = Chroma::Mono;
    } else {
        return false;
    }
    // The 8-bit forms of 4:2:0 name their chroma siting; the deep ones are plain "420pNN".
    return depth == 8 || base == "420" || base == "422" || base == "444" || base == "mono";
}

}  // namespace

void ParseY4mHeader(const std::string& tags, PictureFormat& format,
                    std::vector<std::string>* notes) {
    format.packing = Packing::Planar;
    format.chroma = Chroma::Yuv420;
    format.bitDepth = 8;
    format.width = format.height = 0;
    format.rate = 25;
    format.scale = 1;
    format.scan = Scan::Unknown;
    format.range = Range::Unknown;
    std::istringstream words(tags);
    for (std::string word; words >> word;) {
        const char key = word[0];
        const std::string value = word.substr(1);
        switch (key) {
            case 'W':
                if (!ParseUnsigned(value, format.width) || format.width == 0)
                    throw InputError("YUV4MPEG2 header: bad width '" + word + "'");
                break;
            case 'H':
                if (!ParseUnsigned(value, format.height) || format.height == 0)
                    throw InputError("YUV4MPEG2 header: bad height '" + word + "'");
                break;
            case 'F': {
                const size_t colon = value.find(':');
                if (colon == std::string::npos ||
                    !ParseUnsigned(value.substr(0, colon), format.rate) ||
                    !ParseUnsigned(value.substr(colon + 1), format.scale) || format.rate == 0 ||
                    format.scale == 0)
                    throw InputError("YUV4MPEG2 header: bad frame rate '" + word + "'");
                break;
            }
            case 'C':
                if (!ParseColourTag(value, format.chroma, format.bitDepth, notes))
                    throw InputError("YUV4MPEG2 header: unsupported colour space '" + word + "'");
                break;
            case 'I':
                if (value == "p") format.scan = Scan::Progressive;
                if (value == "t") format.scan = Scan::TopFirst;
                if (value == "b") format.scan = Scan::BottomFirst;
                if (value == "m" && notes != nullptr) notes->push_back("mixed interlacing");
                break;
            case 'A':
                if (value != "1:1" && value != "0:0" && notes != nullptr)
                    notes->push_back("sample aspect ratio " + value);
                break;
            case 'X':
                if (value == "COLORRANGE=FULL") format.range = Range::Full;
                if (value == "COLORRANGE=LIMITED") format.range = Range::Limited;
                break;
            default:
                throw InputError("YUV4MPEG2 header: unknown tag '" + word + "'");
        }
    }
    if (format.width == 0 || format.height == 0)
        throw InputError("YUV4MPEG2 header: no frame size (W and H tags)");
}

std::string Y4mColourTag(const PictureFormat& format) {
    if (format.packing != Packing::Planar) return {};
    std::string tag;
    switch (format.chroma) {
        case Chroma::Yuv420:
            tag = format.bitDepth > 8 ? "420" : "420jpeg";
            break;
        case Chroma::Yuv422:
            tag = "422";
            break;
        case Chroma::Yuv444:
            tag = "444";
            break;
        case Chroma::Mono:
            tag = "mono";
            if (format.bitDepth > 8) tag.append(std::to_string(format.bitDepth));
            return tag;
    }
    if (format.bitDepth > 8) {
        tag.push_back('p');
        tag.append(std::to_string(format.bitDepth));
    }
    return tag;
}

std::string Y4mHeader(const PictureFormat& format) {
    std::string header = "YUV4MPEG2 W" + std::to_string(format.width) + " H" +
                         std::to_string(format.height) + " F" + std::to_string(format.rate) + ":" +
                         std::to_string(format.scale);
    static constexpr const char* kScan[] = {"", " Ip", " It", " Ib"};
    header += kScan[static_cast<int>(format.scan)];
    header += " C" + Y4mColourTag(format);
    if (format.range == Range::Full) header += " XCOLORRANGE=FULL";
    if (format.range == Range::Limited) header += " XCOLORRANGE=LIMITED";
    return header + "\n";
}

Y4mReader::Y4mReader(const std::string& path) : Y4mReader(std::make_unique<InputFile>(path)) {}

Y4mReader::Y4mReader(std::unique_ptr<InputFile> file) : m_file(std::move(file)) {
    bool atEnd = false;
    const std::string line = readLine(kMaxHeaderLine, atEnd);
    if (line.rfind(kSignature, 0) != 0 ||
        (line.size() > sizeof kSignature - 1 && line[sizeof kSignature - 1] != ' '))
        throw InputError(m_file->name() + ": not a YUV4MPEG2 stream (no \"YUV4MPEG2\" signature)");
    if (atEnd) throw InputError(m_file->name() + ": YUV4MPEG2 header is not terminated");
    try {
        ParseY4mHeader(line.substr(sizeof kSignature - 1), m_format, &m_notes);
    } catch (const InputError& e) {
        throw InputError(m_file->name() + ": " + e.what());
    }
    m_headerBytes = line.size() + 1;
}

std::string Y4mReader::readLine(size_t limit, bool& atEnd) {
    std::string line;
    atEnd = false;
    char c = 0;
    while (line.size() < limit) {
        if (m_file->read(&c, 1) != 1) {
            atEnd = true;
            return line;
        }
        if (c == '\n') return line;
        line.push_back(c);
    }
    atEnd = true;  // over-long: treated as unterminated
    return line;
}

bool Y4mReader::readInPieces(uint8_t* frame, const PieceArrived& arrived) {
    bool atEnd = false;
    const std::string marker = readLine(kMaxHeaderLine, atEnd);
    if (atEnd && marker.empty()) return false;
    if (marker.rfind("FRAME", 0) != 0 || (marker.size() > 5 && marker[5] != ' '))
        frameError(": expected a FRAME marker");
    if (atEnd) frameError(": truncated FRAME marker");
    const uint64_t bytes = m_format.frameBytes();
    const size_t got = ReadFrameInPieces(*m_file, frame, static_cast<size_t>(bytes), arrived);
    if (got != bytes)
        frameError(" is truncated: " + std::to_string(got) + " of " + std::to_string(bytes) +
                   " bytes");
    if (!m_acceptAboveDepth) CheckDepth(m_file->name(), m_frames, m_format, frame);
    ++m_frames;
    return true;
}

void Y4mReader::frameError(const std::string& what) const {
    std::string text = m_file->name() + ": frame " + std::to_string(m_frames) + what;
    const bool halfSampleRows =
        m_format.bitDepth > 8 && m_format.width % 2 == 1 &&
        (m_format.chroma == Chroma::Yuv420 || m_format.chroma == Chroma::Yuv422);
    if (halfSampleRows)
        text +=
            " (ffmpeg's yuv4mpegpipe writer cuts the last chroma sample of each row in half "
            "at odd widths above 8 bits; send such video as -f rawvideo with --pix " +
            m_format.pixelFormatName() + " --size " + std::to_string(m_format.width) + "x" +
            std::to_string(m_format.height) + " --rate " + std::to_string(m_format.rate) + "/" +
            std::to_string(m_format.scale) + ")";
    throw InputError(text);
}

std::optional<uint64_t> Y4mReader::frameCount() const {
    const auto size = m_file->size();
    if (!size || *size < m_headerBytes) return std::nullopt;
    return (*size - m_headerBytes) / (m_format.frameBytes() + 6);
}

}  // namespace iohost
