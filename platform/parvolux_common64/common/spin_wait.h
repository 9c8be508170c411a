// A short spin before a thread sleeps. Waking a sleeping thread costs tens of microseconds on some
// virtual machines, a tenth of a small frame's work; the waits of a frame's threads for each other
// and for the next frame are mostly shorter than this spin.
#ifndef PARVOLUX_COMMON64_COMMON_SPIN_WAIT_H
#define PARVOLUX_COMMON64_COMMON_SPIN_WAIT_H

#include <chrono>
#include <thread>

namespace parvolux {

constexpr std::chrono::microseconds kSpinWait{200};

// Looks at ready() until it holds or kSpinWait has passed, yielding the processor in between.
// Answers ready()'s last answer.
template <class Ready>
bool spinUntil(Ready ready) {
    const auto until = std::chrono::steady_clock::now() + kSpinWait;
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace parvolux

#endif
