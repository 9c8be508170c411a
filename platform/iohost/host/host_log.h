// The host's log: what a plug-in sends with hostLog, kept in arrival order with its level, and
// echoed to standard error when asked (the command line does; tests usually do not).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace iohost {

struct LogEntry {
    uint32_t level = 0;
    std::string text;

    bool operator==(const LogEntry&) const = default;
};

class HostLog {
public:
    void append(uint32_t level, std::string text);
    void setEcho(bool echo);

    [[nodiscard]] std::vector<LogEntry> entries() const;
    [[nodiscard]] size_t size() const;
    void clear();

private:
    mutable std::mutex m_mutex;
    std::vector<LogEntry> m_entries;
    bool m_echo = false;
};

}  // namespace iohost
