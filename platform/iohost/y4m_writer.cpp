#include "platform/iohost/y4m_writer.h"

#include <stdexcept>

#include "platform/iohost/output_file.h"
#include "platform/iohost/y4m_reader.h"

namespace iohost {

VideoWriter::VideoWriter(const std::string& path, const PictureFormat& format, bool y4m)
    : m_file(OpenForWriting(path)), m_path(path), m_format(format), m_y4m(y4m) {
    if (!y4m) return;
    const std::string header = "YUV4MPEG2 W" + std::to_string(format.width) + " H" +
                               std::to_string(format.height) + " F" + std::to_string(format.rate) +
                               ":" + std::to_string(format.scale) + " Ip A1:1 C" +
                               Y4mColourTag(format) + "\n";
    put(header.data(), header.size());
}

VideoWriter::~VideoWriter() {
    if (m_file != nullptr) std::fclose(m_file);
}

void VideoWriter::put(const void* data, size_t size) {
    if (std::fwrite(data, 1, size, m_file) != size)
        throw std::runtime_error("cannot write to '" + m_path + "'");
}

void VideoWriter::write(const uint8_t* frame) {
    if (m_y4m) put("FRAME\n", 6);
    put(frame, static_cast<size_t>(m_format.frameBytes()));
}

void VideoWriter::close() {
    std::FILE* file = m_file;
    m_file = nullptr;
    if (std::fclose(file) != 0) throw std::runtime_error("cannot write to '" + m_path + "'");
}

}  // namespace iohost
