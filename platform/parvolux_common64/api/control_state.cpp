#include "platform/parvolux_common64/api/control_state.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/parvolux_common64/common/status.h"

namespace parvolux::controls {
namespace {

struct Failure {
    int32_t status = 0;
    int64_t remaining = 0;  // -1: always
    uint32_t nth = 0;       // counts down to the failing call
};

struct State {
    std::mutex mutex;
    Failure failures[parvoluxFnCount];
    std::vector<uint32_t> refused;
    std::atomic<uint32_t> calls[parvoluxFnCount] = {};
    std::atomic<int32_t> live{0};
    std::atomic<const void*> lastInput{nullptr};
    std::atomic<uint32_t> threads{0};
    std::atomic<uint8_t> predictor{static_cast<uint8_t>(Predictor::Median)};
};

State& state() {
    static State s;
    return s;
}

bool valid(int fn) {
    return fn >= 0 && fn < parvoluxFnCount;
}

}  // namespace

int32_t enter(ParvoluxFunction fn) {
    State& s = state();
    s.calls[fn].fetch_add(1, std::memory_order_relaxed);
    std::lock_guard lock(s.mutex);
    Failure& f = s.failures[fn];
    if (f.nth != 0) {
        if (--f.nth == 0) return f.status;
        return kOk;
    }
    if (f.remaining == 0) return kOk;
    if (f.remaining > 0) --f.remaining;
    return f.status;
}

bool refused(uint32_t code) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return std::find(s.refused.begin(), s.refused.end(), code) != s.refused.end();
}

void noteInput(const void* plane0) {
    state().lastInput.store(plane0);
}
void instanceOpened() {
    state().live.fetch_add(1);
}
void instanceClosed() {
    state().live.fetch_sub(1);
}

unsigned threads() {
    const uint32_t t = state().threads.load();
    if (t != 0) return t;
    return std::max(1u, std::thread::hardware_concurrency());
}

Predictor predictor() {
    return static_cast<Predictor>(state().predictor.load());
}

}  // namespace parvolux::controls

using parvolux::controls::state;

extern "C" {

PARVOLUX_COMMON64_API void parvolux_test_reset(void) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    for (auto& f : s.failures) f = {};
    s.refused.clear();
    for (auto& c : s.calls) c.store(0);
    s.threads.store(0);
    s.predictor.store(static_cast<uint8_t>(parvolux::Predictor::Median));
    s.lastInput.store(nullptr);
}

PARVOLUX_COMMON64_API void parvolux_test_refuse_format(uint32_t code) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.refused.push_back(code);
}

PARVOLUX_COMMON64_API void parvolux_test_fail(int fn, int32_t status, int32_t times) {
    if (!parvolux::controls::valid(fn)) return;
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.failures[fn] = {status, times < 0 ? -1 : int64_t{times}, 0};
}

PARVOLUX_COMMON64_API void parvolux_test_fail_nth(int fn, int32_t status, uint32_t n) {
    if (!parvolux::controls::valid(fn)) return;
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.failures[fn] = {status, 0, n};
}

PARVOLUX_COMMON64_API uint32_t parvolux_test_call_count(int fn) {
    return parvolux::controls::valid(fn) ? state().calls[fn].load() : 0;
}

PARVOLUX_COMMON64_API int32_t parvolux_test_live_instances(void) {
    return state().live.load();
}

PARVOLUX_COMMON64_API const void* parvolux_test_last_input(void) {
    return state().lastInput.load();
}

PARVOLUX_COMMON64_API void parvolux_test_set_threads(uint32_t threads) {
    state().threads.store(threads);
}

PARVOLUX_COMMON64_API uint32_t parvolux_test_threads(void) {
    return parvolux::controls::threads();
}

PARVOLUX_COMMON64_API int32_t parvolux_test_set_predictor(uint32_t predictor) {
    if (predictor >= parvolux::kPredictorCount) return parvolux::kBadArgument;
    state().predictor.store(static_cast<uint8_t>(predictor));
    return parvolux::kOk;
}

}  // extern "C"
