// A record of the calls a plug-in makes into the host, so a test can check which properties it
// set or read and in which order. Off by default; recording costs a lock and a string per call.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace iohost {

struct HostCall {
    uint32_t selector = 0;  // an IopHostSelector
    std::string key;        // the property key for hostSetProperty / hostGetProperty, else empty
    const void* handle = nullptr;  // the object the call was about, when it names one

    bool operator==(const HostCall&) const = default;
};

class CallRecord {
public:
    void setEnabled(bool on) { m_enabled.store(on); }
    [[nodiscard]] bool enabled() const { return m_enabled.load(); }

    void add(uint32_t selector, const void* handle, const char* key = nullptr);
    [[nodiscard]] std::vector<HostCall> calls() const;
    // The keys of the calls with this selector, in order, optionally for one handle only.
    [[nodiscard]] std::vector<std::string> keys(uint32_t selector,
                                                const void* handle = nullptr) const;
    void clear();

private:
    std::atomic<bool> m_enabled{false};
    mutable std::mutex m_mutex;
    std::vector<HostCall> m_calls;
};

}  // namespace iohost
