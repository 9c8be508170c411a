// How the encoder deals a frame's work out to its threads: a thread codes the chunks of the slice
// it predicted before it takes another slice; an idle one takes another's chunks, last planes
// first, only once no slice is left, so that no thread ever predicts into residuals that are
// still being coded. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "platform/parvolux_common64/encoder/slice_schedule.h"

namespace {

using parvolux::SliceSchedule;
using Step = SliceSchedule::Step;

void ExpectWork(const SliceSchedule::Work& w, Step step, uint32_t slice, unsigned plane,
                unsigned owner) {
    EXPECT_EQ(w.step, step);
    if (step == Step::Done) return;
    EXPECT_EQ(w.slice, slice);
    if (step == Step::Code) {
        EXPECT_EQ(w.plane, plane);
        EXPECT_EQ(w.owner, owner);
    }
}

TEST(SliceSchedule, OwnChunksFirstThenOthersLastPlanesFirst) {
    SliceSchedule s;
    s.reset(3, 3, 2);
    ExpectWork(s.next(0), Step::Predict, 0, 0, 0);
    ExpectWork(s.next(1), Step::Predict, 1, 0, 0);
    s.predicted(0, 0);
    ExpectWork(s.next(0), Step::Code, 0, 0, 0);
    ExpectWork(s.next(0), Step::Code, 0, 1, 0);
    // Slot 1 has chunks of its own waiting: they come before the slice that is left.
    s.predicted(1, 1);
    ExpectWork(s.next(1), Step::Code, 1, 0, 1);
    ExpectWork(s.next(0), Step::Code, 0, 2, 0);
    ExpectWork(s.next(0), Step::Predict, 2, 0, 0);
    s.predicted(0, 2);
    // No slice left: slot 1 has one chunk of its own, then takes slot 0's, last planes first.
    ExpectWork(s.next(1), Step::Code, 1, 1, 1);
    ExpectWork(s.next(1), Step::Code, 1, 2, 1);
    ExpectWork(s.next(1), Step::Code, 2, 2, 0);
    ExpectWork(s.next(1), Step::Code, 2, 1, 0);
    ExpectWork(s.next(0), Step::Code, 2, 0, 0);
    ExpectWork(s.next(0), Step::Done, 0, 0, 0);
    ExpectWork(s.next(1), Step::Done, 0, 0, 0);

    // A new frame starts afresh, on one slot too.
    s.reset(1, 2, 1);
    ExpectWork(s.next(0), Step::Predict, 0, 0, 0);
    s.predicted(0, 0);
    ExpectWork(s.next(0), Step::Code, 0, 0, 0);
    ExpectWork(s.next(0), Step::Code, 0, 1, 0);
    ExpectWork(s.next(0), Step::Done, 0, 0, 0);
}

TEST(SliceSchedule, AnIdleThreadWaitsForAPredictionInFlight) {
    SliceSchedule s;
    s.reset(1, 3, 2);
    ExpectWork(s.next(0), Step::Predict, 0, 0, 0);
    SliceSchedule::Work got;
    std::thread idle([&] { got = s.next(1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    s.predicted(0, 0);
    idle.join();
    ExpectWork(got, Step::Code, 0, 2, 0);
}

// Threads that take their time at random: every chunk is coded once, after its slice's
// prediction, and the slot that holds its residuals predicts nothing else until it is coded.
TEST(SliceSchedule, EveryChunkOnceAndResidualsNeverOverwrittenWhileCoded) {
    constexpr uint32_t kSlices = 13;
    constexpr unsigned kPlanes = 3, kSlots = 4;
    SliceSchedule s;
    for (int frame = 0; frame < 50; ++frame) {
        const unsigned slots = 1 + frame % kSlots;
        s.reset(kSlices, kPlanes, slots);
        std::mutex m;
        std::vector<int> coded(kSlices * kPlanes, 0);
        std::vector<int> holding(slots, -1);  // the slice whose residuals a slot holds
        std::atomic<int> faults{0};
        auto run = [&](unsigned slot) {
            std::minstd_rand rng(frame * 31 + slot);
            for (;;) {
                const SliceSchedule::Work w = s.next(slot);
                if (w.step == Step::Done) return;
                if (w.step == Step::Predict) {
                    std::lock_guard lock(m);
                    holding[slot] = static_cast<int>(w.slice);
                }
                for (unsigned k = rng() % 50; k > 0; --k) std::this_thread::yield();
                std::lock_guard lock(m);
                if (w.step == Step::Predict) {
                    s.predicted(slot, w.slice);
                } else {
                    if (holding[w.owner] != static_cast<int>(w.slice)) ++faults;
                    ++coded[w.slice * kPlanes + w.plane];
                }
            }
        };
        std::vector<std::thread> threads;
        for (unsigned slot = 0; slot < slots; ++slot) threads.emplace_back(run, slot);
        for (std::thread& t : threads) t.join();
        EXPECT_EQ(faults, 0) << slots << " slots";
        for (int c : coded) ASSERT_EQ(c, 1) << slots << " slots";
    }
}

}  // namespace
