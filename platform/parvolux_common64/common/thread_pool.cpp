#include "platform/parvolux_common64/common/thread_pool.h"

#include <algorithm>

#include "platform/parvolux_common64/common/spin_wait.h"

namespace parvolux {

ThreadPool::ThreadPool(unsigned workers) {
    m_threads.reserve(workers);
    for (unsigned i = 0; i < workers; ++i) m_threads.emplace_back([this] { workerLoop(); });
}

ThreadPool::~ThreadPool() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads) t.join();
}

void ThreadPool::run(Job& job, unsigned slot) {
    for (uint32_t i; (i = job.next.fetch_add(1, std::memory_order_relaxed)) < job.count;)
        (*job.task)(i, slot);
}

void ThreadPool::parallelFor(uint32_t count, unsigned threads,
                             const std::function<void(uint32_t, unsigned)>& task) {
    const unsigned helpers =
        std::min({workers(), threads > 0 ? threads - 1 : 0u, count > 0 ? count - 1 : 0u});
    if (helpers == 0) {
        for (uint32_t i = 0; i < count; ++i) task(i, 0);
        return;
    }
    Job job;
    job.task = &task;
    job.count = count;
    job.helpersWanted = helpers;
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(&job);
        m_posted.fetch_add(1, std::memory_order_release);
    }
    if (helpers == 1)
        m_wake.notify_one();
    else
        m_wake.notify_all();
    run(job, 0);
    (void)spinUntil([&] { return job.helpersActive.load(std::memory_order_acquire) == 0; });
    // Every index is taken; wait for helpers still running theirs, and make sure no helper can
    // pick up the job once this frame is gone.
    std::unique_lock lock(m_mutex);
    const auto queued = std::find(m_queue.begin(), m_queue.end(), &job);
    if (queued != m_queue.end()) m_queue.erase(queued);
    m_done.wait(lock, [&] { return job.helpersActive == 0; });
}

void ThreadPool::workerLoop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_queue.empty() && !m_stop) {
            const uint64_t seen = m_posted.load(std::memory_order_relaxed);
            lock.unlock();
            (void)spinUntil([&] { return m_posted.load(std::memory_order_acquire) != seen; });
            lock.lock();
        }
        m_wake.wait(lock, [&] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty()) return;  // stopping
        Job* job = m_queue.front();
        const unsigned slot = ++job->helpersJoined;
        ++job->helpersActive;
        if (job->helpersJoined >= job->helpersWanted) m_queue.pop_front();
        lock.unlock();
        run(*job, slot);
        lock.lock();
        if (--job->helpersActive == 0) m_done.notify_all();
    }
}

}  // namespace parvolux
