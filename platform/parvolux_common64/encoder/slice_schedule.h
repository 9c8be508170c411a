// Deals a frame's work out to the threads that code it: a slice's prediction, then one chunk per
// plane. A thread codes the chunks of the slice it predicted before it takes a new slice, so that
// the residuals are still in its cache. Once no slice is left, an idle thread takes chunks
// that another thread predicted and has not started, the last planes first: a frame then ends
// with its last slice's chunks shared, not with one thread coding a whole slice while the others
// wait. A thread's residuals are never rewritten while another codes from them, since a thread
// predicts again only while slices are left, and chunks are taken from it only once none is.
#ifndef PARVOLUX_COMMON64_ENCODER_SLICE_SCHEDULE_H
#define PARVOLUX_COMMON64_ENCODER_SLICE_SCHEDULE_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace parvolux {

class SliceSchedule {
public:
    enum class Step { Predict, Code, Done };
    struct Work {
        Step step = Step::Done;
        uint32_t slice = 0;
        unsigned plane = 0;
        unsigned owner = 0;  // the slot that predicted the slice and holds its residuals
    };

    // Starts a frame of `slices` slices of `planes` planes, coded by threads in slots
    // [0, slots). Not while a frame is under way.
    void reset(uint32_t slices, unsigned planes, unsigned slots);

    // The next piece of work for the thread in `slot`. Blocks while the only work left is the
    // chunks of slices that other threads are still predicting.
    Work next(unsigned slot);

    // The thread in `slot` has predicted `slice`, the last slice next() gave it.
    void predicted(unsigned slot, uint32_t slice);

private:
    // Both with the mutex held; waitForChange releases it while it waits.
    void changed();
    void waitForChange(std::unique_lock<std::mutex>& lock);

    struct Pending {
        uint32_t slice = 0;
        unsigned front = 0, back = 0;  // planes [front, back) not yet taken
    };

    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::atomic<uint64_t> m_changes{0};  // written with the mutex held, read while spinning
    std::vector<Pending> m_pending;      // per slot
    uint32_t m_slices = 0, m_nextSlice = 0;
    uint64_t m_chunksLeft = 0;  // not yet handed out
    unsigned m_planes = 0;
};

}  // namespace parvolux

#endif
