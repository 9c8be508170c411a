// Process-wide state of the library: the reference-counted init, the open handles and the
// thread pool that codes slices. The pool is made on first use and ended when the last init is
// closed, so that no thread outlives the library's use; the state itself is never destroyed, so
// that process exit never joins threads from a module's tear-down.
#ifndef PARVOLUX_COMMON64_API_LIBRARY_STATE_H
#define PARVOLUX_COMMON64_API_LIBRARY_STATE_H

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "platform/parvolux_common64/api/encoder_instance.h"
#include "platform/parvolux_common64/common/thread_pool.h"

namespace parvolux {

class LibraryState {
public:
    static LibraryState& get();

    void init();
    [[nodiscard]] int32_t close();  // kNotInitialized when not initialised
    bool initialized();

    // Nonzero handles, never reused while open.
    [[nodiscard]] int32_t open(uint32_t& handle);
    [[nodiscard]] int32_t close(uint32_t handle);
    // Calls on one handle never overlap, so the instance is used outside the lock.
    EncoderInstance* find(uint32_t handle);

    // A pool that runs `threads` threads in all (the caller included), or null for one.
    std::shared_ptr<ThreadPool> pool(unsigned threads);

private:
    std::mutex m_mutex;
    uint32_t m_initCount = 0;
    uint32_t m_nextHandle = 1;
    std::map<uint32_t, std::unique_ptr<EncoderInstance>> m_instances;
    std::shared_ptr<ThreadPool> m_pool;
};

}  // namespace parvolux

#endif
