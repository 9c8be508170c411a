#include "platform/parvolux_common64/encoder/slice_schedule.h"

#include "platform/parvolux_common64/common/spin_wait.h"

namespace parvolux {

void SliceSchedule::reset(uint32_t slices, unsigned planes, unsigned slots) {
    std::lock_guard lock(m_mutex);
    m_pending.assign(slots, Pending{});
    m_slices = slices;
    m_nextSlice = 0;
    m_planes = planes;
    m_chunksLeft = uint64_t{slices} * planes;
}

SliceSchedule::Work SliceSchedule::next(unsigned slot) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        Pending& mine = m_pending[slot];
        if (mine.front < mine.back) {
            if (--m_chunksLeft == 0) changed();
            return {Step::Code, mine.slice, mine.front++, slot};
        }
        if (m_nextSlice < m_slices) return {Step::Predict, m_nextSlice++, 0, slot};
        // This slot has nothing of its own: take from the one with the most chunks left.
        unsigned from = 0, most = 0;
        for (unsigned s = 0; s < m_pending.size(); ++s) {
            const unsigned left = m_pending[s].back - m_pending[s].front;
            if (left > most) {
                from = s;
                most = left;
            }
        }
        if (most > 0) {
            if (--m_chunksLeft == 0) changed();
            Pending& theirs = m_pending[from];
            return {Step::Code, theirs.slice, --theirs.back, from};
        }
        if (m_chunksLeft == 0) return {};
        waitForChange(lock);
    }
}

void SliceSchedule::predicted(unsigned slot, uint32_t slice) {
    std::lock_guard lock(m_mutex);
    m_pending[slot] = {slice, 0, m_planes};
    changed();
}

void SliceSchedule::changed() {
    m_changes.fetch_add(1, std::memory_order_release);
    m_ready.notify_all();
}

void SliceSchedule::waitForChange(std::unique_lock<std::mutex>& lock) {
    const uint64_t seen = m_changes.load(std::memory_order_relaxed);
    lock.unlock();
    (void)spinUntil([&] { return m_changes.load(std::memory_order_acquire) != seen; });
    lock.lock();
    m_ready.wait(lock, [&] { return m_changes.load(std::memory_order_relaxed) != seen; });
}

}  // namespace parvolux
