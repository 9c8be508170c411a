#include "tests/container/container_fixture.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace container_test {

Golden& Golden::u8(uint8_t v) {
    data.push_back(v);
    return *this;
}

Golden& Golden::u16(uint16_t v) {
    return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8));
}

Golden& Golden::u32(uint32_t v) {
    return u16(static_cast<uint16_t>(v)).u16(static_cast<uint16_t>(v >> 16));
}

Golden& Golden::u16s(std::initializer_list<uint16_t> values) {
    for (uint16_t v : values) u16(v);
    return *this;
}

Golden& Golden::u32s(std::initializer_list<uint32_t> values) {
    for (uint32_t v : values) u32(v);
    return *this;
}

Golden& Golden::fourcc(const char (&text)[5]) {
    for (int i = 0; i < 4; ++i) u8(static_cast<uint8_t>(text[i]));
    return *this;
}

Golden& Golden::bytes(const std::vector<uint8_t>& more) {
    data.insert(data.end(), more.begin(), more.end());
    return *this;
}

std::vector<uint8_t> SubFormat(uint16_t tag) {
    return Golden()
        .u32(tag)
        .u16(0x0000)
        .u16(0x0010)
        .bytes({0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71})
        .data;
}

std::string FirstDifference(const std::vector<uint8_t>& expected,
                            const std::vector<uint8_t>& actual) {
    const size_t common = std::min(expected.size(), actual.size());
    for (size_t i = 0; i < common; ++i) {
        if (expected[i] != actual[i]) {
            std::ostringstream text;
            text << "first difference at offset " << i << ": expected "
                 << static_cast<int>(expected[i]) << ", got " << static_cast<int>(actual[i]);
            return text.str();
        }
    }
    if (expected.size() != actual.size()) {
        return "sizes differ: expected " + std::to_string(expected.size()) + ", got " +
               std::to_string(actual.size());
    }
    return {};
}

std::vector<uint8_t> WrittenAvi::headerPayload(const char (&id)[5], int stream) const {
    const uint32_t code = avireader::fourcc(id);
    const bool perStream = code == avireader::fourcc("strh") || code == avireader::fourcc("strf");
    for (const auto& node : avi.nodes) {
        if (node.id != code || (perStream && node.ref != stream)) continue;
        const uint64_t begin = node.offset + 8;
        if (begin + node.size > bytes.size()) break;
        return {bytes.begin() + static_cast<std::ptrdiff_t>(begin),
                bytes.begin() + static_cast<std::ptrdiff_t>(begin + node.size)};
    }
    ADD_FAILURE() << "no chunk " << id << " for stream " << stream;
    return {};
}

std::vector<std::vector<uint8_t>> WrittenAvi::streamPayloads(int stream) const {
    std::vector<std::vector<uint8_t>> payloads;
    for (const auto& chunk : avireader::chunksOfStream(avi, stream)) {
        const auto begin = static_cast<std::ptrdiff_t>(chunk.offset);
        payloads.emplace_back(bytes.begin() + begin, bytes.begin() + begin + chunk.size);
    }
    return payloads;
}

uint32_t WrittenAvi::streamCount() const {
    const std::vector<uint8_t> avih = headerPayload("avih");
    if (avih.size() < 28) return 0xFFFFFFFF;
    return static_cast<uint32_t>(avih[24]) | static_cast<uint32_t>(avih[25]) << 8 |
           static_cast<uint32_t>(avih[26]) << 16 | static_cast<uint32_t>(avih[27]) << 24;
}

WrittenAvi ReadWritten(const std::string& path) {
    WrittenAvi written;
    std::ifstream in(std::filesystem::path(std::u8string(path.begin(), path.end())),
                     std::ios::binary);
    written.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    written.avi = avireader::parseAvi(written.bytes.data(), written.bytes.size());
    return written;
}

std::string Problems(const avireader::AviFile& avi) {
    std::string text;
    for (const auto& problem : avi.problems) text += avireader::toString(problem) + "\n";
    for (const auto& problem : avireader::checkAvi(avi)) {
        text += avireader::toString(problem) + "\n";
    }
    return text;
}

VideoSource::VideoSource(const iohost::Driver& driver, uint32_t width, uint32_t height,
                         uint32_t rate, uint32_t scale)
    : m_width(width), m_height(height), m_rate(rate), m_scale(scale) {
    std::vector<iohost::CodecInfo> codecs;
    EXPECT_EQ(driver.listCodecs(codecs), errNone);
    const auto rgb = std::find_if(codecs.begin(), codecs.end(),
                                  [](const auto& codec) { return codec.name == "8-bit RGB"; });
    if (rgb == codecs.end()) {
        ADD_FAILURE() << "the 8-bit RGB codec is not published";
        return;
    }
    m_fourcc = rgb->fourcc;
    EXPECT_EQ(driver.createEncoder(rgb->uuid, m_encoder), errNone);
    EXPECT_EQ(m_encoder.setCallback([this](iohost::HostBuffer& packet) {
        m_packets.push_back(packet.contents());
        return m_target != nullptr ? m_target->write(packet) : errNone;
    }),
              errNone);
    iohost::StreamSettings settings;
    settings.width = width;
    settings.height = height;
    settings.rate = rate;
    settings.scale = scale;
    EXPECT_EQ(m_encoder.open(settings), errNone);
}

iohost::VideoTrackSettings VideoSource::trackSettings() const {
    iohost::VideoTrackSettings settings;
    settings.width = m_width;
    settings.height = m_height;
    settings.rate = m_rate;
    settings.scale = m_scale;
    settings.fourcc = m_fourcc;
    settings.cookie = m_encoder.cookie();
    return settings;
}

int32_t VideoSource::encode(uint32_t index, iohost::Track& track) {
    // A diagonal gradient that moves with the frame index, over a little noise.
    std::vector<uint8_t> raw(size_t{m_width} * m_height * 3);
    uint32_t noise = 0x9E3779B9u * (index + 1);
    for (uint32_t y = 0; y < m_height; ++y) {
        for (uint32_t x = 0; x < m_width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            uint8_t* pixel = &raw[(size_t{y} * m_width + x) * 3];
            pixel[0] = static_cast<uint8_t>(x + y + index * 3);
            pixel[1] = static_cast<uint8_t>(y * 2 + index);
            pixel[2] = static_cast<uint8_t>((noise >> 24) & 0x0F);
        }
    }
    m_target = &track;
    const int32_t code = m_encoder.process(raw, m_width, m_height, index);
    m_target = nullptr;
    return code;
}

std::vector<uint8_t> AudioPacket(uint32_t frames, uint32_t blockAlign, uint32_t seed) {
    std::vector<uint8_t> bytes(size_t{frames} * blockAlign);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + seed * 31);
    return bytes;
}

iohost::Container ContainerTest::newContainer() const {
    iohost::Container container;
    EXPECT_EQ(driver().createContainer(module_test::UuidFromHex(module_test::kContainerIdText),
                                       container),
              errNone);
    EXPECT_EQ(container.init(), errNone);
    return container;
}

std::string ContainerTest::path(const std::string& name) const {
    return m_dir.file(std::u8string(name.begin(), name.end()));
}

uint32_t ContainerTest::refCount(const iohost::PluginObject& object) {
    uint32_t count = 0;
    EXPECT_EQ(object.addRef(count), errNone);
    uint32_t after = 0;
    EXPECT_EQ(object.releaseExtra(after), errNone);
    EXPECT_EQ(after + 1, count);
    return after;
}

}  // namespace container_test
