#include "platform/iohost/host/call_record.h"

namespace iohost {

void CallRecord::add(uint32_t selector, const void* handle, const char* key) {
    if (!enabled()) return;
    HostCall call{selector, key != nullptr ? std::string(key) : std::string(), handle};
    std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(call));
}

std::vector<HostCall> CallRecord::calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<std::string> CallRecord::keys(uint32_t selector, const void* handle) const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const auto& call : m_calls) {
        if (call.selector == selector && (handle == nullptr || call.handle == handle))
            out.push_back(call.key);
    }
    return out;
}

void CallRecord::clear() {
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

}  // namespace iohost
