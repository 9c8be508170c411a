// A small pool of worker threads that runs the slices of a frame. The calling thread takes part,
// so a pool of N-1 workers keeps N cores busy, and several callers (encoders on different
// threads) may share one pool: each call queues its own job and returns when that job is done.
// Tasks must not throw. A thread out of work spins briefly before it sleeps (spin_wait.h).
#ifndef PARVOLUX_COMMON64_COMMON_THREAD_POOL_H
#define PARVOLUX_COMMON64_COMMON_THREAD_POOL_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace parvolux {

class ThreadPool {
public:
    explicit ThreadPool(unsigned workers);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    unsigned workers() const { return static_cast<unsigned>(m_threads.size()); }

    // Runs task(index, slot) for every index in [0, count) on at most `threads` threads, the
    // caller included. slot < threads names the thread's share of per-thread scratch: 0 for
    // the caller, 1.. for helpers.
    void parallelFor(uint32_t count, unsigned threads,
                     const std::function<void(uint32_t index, unsigned slot)>& task);

private:
    struct Job {
        const std::function<void(uint32_t, unsigned)>* task;
        uint32_t count;
        unsigned helpersWanted;
        unsigned helpersJoined = 0;              // guarded by m_mutex
        std::atomic<unsigned> helpersActive{0};  // written with m_mutex held
        std::atomic<uint32_t> next{0};
    };

    static void run(Job& job, unsigned slot);
    void workerLoop();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<Job*> m_queue;
    std::atomic<uint64_t> m_posted{0};  // jobs queued so far, counted with m_mutex held
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

}  // namespace parvolux

#endif
