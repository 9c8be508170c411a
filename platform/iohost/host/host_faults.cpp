#include "platform/iohost/host/host_faults.h"

namespace iohost {

void HostFaults::refuseCreations(uint32_t n) {
    std::lock_guard lock(m_mutex);
    m_refuseCreations = n;
}

void HostFaults::refuseListAppends(uint32_t n) {
    std::lock_guard lock(m_mutex);
    m_refuseAppends = n;
}

void HostFaults::refuseSetProperty(const std::string& key) {
    std::lock_guard lock(m_mutex);
    m_refusedKeys.insert(key);
}

void HostFaults::failBufferLock(bool on) {
    std::lock_guard lock(m_mutex);
    m_failLock = on;
}

void HostFaults::failBufferSetSize(bool on) {
    std::lock_guard lock(m_mutex);
    m_failSetSize = on;
}

void HostFaults::lockWithNullPointer(bool on) {
    std::lock_guard lock(m_mutex);
    m_lockNull = on;
}

void HostFaults::lockWithZeroSize(bool on) {
    std::lock_guard lock(m_mutex);
    m_lockZero = on;
}

void HostFaults::deliverAnswer(std::optional<int32_t> code) {
    std::lock_guard lock(m_mutex);
    m_deliverAnswer = code;
}

void HostFaults::failNth(HostOperation op, uint32_t n, int32_t code) {
    std::lock_guard lock(m_mutex);
    m_sweeps[static_cast<size_t>(op)] = Sweep{n, code};
}

void HostFaults::reset() {
    std::lock_guard lock(m_mutex);
    m_refuseCreations = 0;
    m_refuseAppends = 0;
    m_refusedKeys.clear();
    m_failLock = m_failSetSize = m_lockNull = m_lockZero = false;
    m_deliverAnswer.reset();
    m_sweeps.fill(Sweep{});
}

std::optional<int32_t> HostFaults::onCall(HostOperation op) {
    std::lock_guard lock(m_mutex);
    Sweep& sweep = m_sweeps[static_cast<size_t>(op)];
    if (sweep.remaining == 0) return std::nullopt;
    if (--sweep.remaining != 0) return std::nullopt;
    return sweep.code;
}

std::optional<int32_t> HostFaults::onCreate() {
    if (auto code = onCall(HostOperation::Create)) return code;
    std::lock_guard lock(m_mutex);
    if (m_refuseCreations == 0) return std::nullopt;
    --m_refuseCreations;
    return errAlloc;
}

std::optional<int32_t> HostFaults::onAppend() {
    if (auto code = onCall(HostOperation::Append)) return code;
    std::lock_guard lock(m_mutex);
    if (m_refuseAppends == 0) return std::nullopt;
    --m_refuseAppends;
    return errFail;
}

std::optional<int32_t> HostFaults::onSetProperty(const std::string& key) {
    if (auto code = onCall(HostOperation::Set)) return code;
    std::lock_guard lock(m_mutex);
    if (m_refusedKeys.count(key) != 0) return errFail;
    return std::nullopt;
}

std::optional<int32_t> HostFaults::onLock() {
    if (auto code = onCall(HostOperation::Lock)) return code;
    std::lock_guard lock(m_mutex);
    if (m_failLock) return errFail;
    return std::nullopt;
}

std::optional<int32_t> HostFaults::onSetSize() {
    if (auto code = onCall(HostOperation::SetSize)) return code;
    std::lock_guard lock(m_mutex);
    if (m_failSetSize) return errFail;
    return std::nullopt;
}

std::optional<int32_t> HostFaults::onDeliver() {
    if (auto code = onCall(HostOperation::Deliver)) return code;
    std::lock_guard lock(m_mutex);
    return m_deliverAnswer;
}

bool HostFaults::lockNull() const {
    std::lock_guard lock(m_mutex);
    return m_lockNull;
}

bool HostFaults::lockZero() const {
    std::lock_guard lock(m_mutex);
    return m_lockZero;
}

}  // namespace iohost
