#include "platform/iohost/host/host_log.h"

#include <cstdio>

namespace iohost {

void HostLog::append(uint32_t level, std::string text) {
    std::lock_guard lock(m_mutex);
    if (m_echo) std::fprintf(stderr, "[plug-in %u] %s\n", level, text.c_str());
    m_entries.push_back(LogEntry{level, std::move(text)});
}

void HostLog::setEcho(bool echo) {
    std::lock_guard lock(m_mutex);
    m_echo = echo;
}

std::vector<LogEntry> HostLog::entries() const {
    std::lock_guard lock(m_mutex);
    return m_entries;
}

size_t HostLog::size() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

void HostLog::clear() {
    std::lock_guard lock(m_mutex);
    m_entries.clear();
}

}  // namespace iohost
