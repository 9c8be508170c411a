#include "platform/iohost/session/append_buffer_file.h"

#include <cstring>

namespace iohost {

AppendBufferFile::AppendBufferFile(fileio::File& file, size_t capacity)
    : m_file(file), m_capacity(capacity), m_base(file.tell()) {
    m_bytes.reserve(capacity);
}

bool AppendBufferFile::flush() {
    if (!m_failed && !m_bytes.empty()) {
        m_failed = m_file.write(m_bytes.data(), m_bytes.size()) != m_bytes.size();
        m_base += m_bytes.size();
        m_bytes.clear();
    }
    return !m_failed;
}

int64_t AppendBufferFile::size() {
    (void)flush();
    return m_file.size();
}

bool AppendBufferFile::seek(uint64_t offset) {
    if (!flush() || !m_file.seek(offset)) return false;
    m_base = offset;
    return true;
}

size_t AppendBufferFile::read(void* buffer, size_t count) {
    if (!flush()) return 0;
    const size_t got = m_file.read(buffer, count);
    m_base += got;
    return got;
}

size_t AppendBufferFile::write(const void* buffer, size_t count) {
    if (m_failed) return 0;
    if (m_bytes.size() + count > m_capacity && !flush()) return 0;
    if (count >= m_capacity) {
        const size_t written = m_file.write(buffer, count);
        m_failed = written != count;
        m_base += written;
        return written;
    }
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    m_bytes.insert(m_bytes.end(), bytes, bytes + count);
    return count;
}

size_t AppendBufferFile::writeAt(const void* buffer, size_t count, int64_t offset) {
    if (offset < 0) return 0;
    const auto at = static_cast<uint64_t>(offset);
    if (at >= m_base && at + count <= m_base + m_bytes.size()) {
        std::memcpy(m_bytes.data() + (at - m_base), buffer, count);
        return count;
    }
    if (!flush()) return 0;
    return m_file.writeAt(buffer, count, offset);
}

}  // namespace iohost
