#include "platform/iohost/media/y4m_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "platform/iohost/files/output_file.h"
#include "platform/iohost/files/system_error.h"
#include "platform/iohost/media/y4m_reader.h"

namespace iohost {

VideoWriter::VideoWriter(const std::string& path, const PictureFormat& format, bool y4m)
    : VideoWriter(OpenForWriting(path), path, format, y4m) {}

VideoWriter::VideoWriter(std::FILE* file, std::string name, const PictureFormat& format, bool y4m)
    : m_file(file), m_path(std::move(name)), m_format(format), m_y4m(y4m) {
    if (!y4m) return;
    const std::string header = Y4mHeader(format);
    put(header.data(), header.size());
}

VideoWriter::~VideoWriter() {
    if (m_file != nullptr && m_file != stdout) std::fclose(m_file);
}

void VideoWriter::fail() const {
    throw std::runtime_error("cannot write to '" + m_path + "': " + StreamWriteReason());
}

// Straight to the descriptor, without the stream's buffer: a signal that interrupts a write to a
// pipe is retried where it stopped, so a stop never leaves part of a frame.
void VideoWriter::put(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
#ifdef _WIN32
    const int fd = _fileno(m_file);
#else
    const int fd = fileno(m_file);
#endif
    while (size > 0) {
#ifdef _WIN32
        const int n = _write(fd, p, static_cast<unsigned>(std::min<size_t>(size, 1u << 30)));
#else
        const ssize_t n = ::write(fd, p, size);
#endif
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail();
        p += n;
        size -= static_cast<size_t>(n);
    }
}

void VideoWriter::write(const uint8_t* frame) {
    if (m_y4m) put("FRAME\n", 6);
    put(frame, static_cast<size_t>(m_format.frameBytes()));
}

void VideoWriter::close() {
    std::FILE* file = m_file;
    m_file = nullptr;
    if (file == stdout ? std::fflush(file) != 0 : std::fclose(file) != 0) fail();
}

}  // namespace iohost
