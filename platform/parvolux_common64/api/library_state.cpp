#include "platform/parvolux_common64/api/library_state.h"

#include "platform/parvolux_common64/common/status.h"

namespace parvolux {

LibraryState& LibraryState::get() {
    static LibraryState* state = new LibraryState;  // deliberately never destroyed
    return *state;
}

void LibraryState::init() {
    std::lock_guard lock(m_mutex);
    ++m_initCount;
}

int32_t LibraryState::close() {
    std::shared_ptr<ThreadPool> pool;
    {
        std::lock_guard lock(m_mutex);
        if (m_initCount == 0) return kNotInitialized;
        if (--m_initCount == 0) pool = std::move(m_pool);
    }
    return kOk;  // the pool, if it was the last reference, joins its workers here
}

bool LibraryState::initialized() {
    std::lock_guard lock(m_mutex);
    return m_initCount > 0;
}

int32_t LibraryState::open(uint32_t& handle) {
    auto instance = std::make_unique<EncoderInstance>();
    std::lock_guard lock(m_mutex);
    while (m_nextHandle == 0 || m_instances.count(m_nextHandle) != 0) ++m_nextHandle;
    handle = m_nextHandle++;
    m_instances.emplace(handle, std::move(instance));
    return kOk;
}

int32_t LibraryState::close(uint32_t handle) {
    std::unique_ptr<EncoderInstance> instance;
    std::lock_guard lock(m_mutex);
    const auto it = m_instances.find(handle);
    if (it == m_instances.end()) return kBadHandle;
    instance = std::move(it->second);
    m_instances.erase(it);
    return kOk;
}

EncoderInstance* LibraryState::find(uint32_t handle) {
    std::lock_guard lock(m_mutex);
    const auto it = m_instances.find(handle);
    return it == m_instances.end() ? nullptr : it->second.get();
}

std::shared_ptr<ThreadPool> LibraryState::pool(unsigned threads) {
    if (threads <= 1) return nullptr;
    std::shared_ptr<ThreadPool> old;
    std::lock_guard lock(m_mutex);
    if (m_pool == nullptr || m_pool->workers() != threads - 1) {
        old = std::move(m_pool);
        m_pool = std::make_shared<ThreadPool>(threads - 1);
    }
    return m_pool;
}

}  // namespace parvolux
