#include "platform/parvolux_common64/common/instruction_sets.h"

#include <atomic>

namespace parvolux {
namespace {

std::atomic<bool> g_avx2Allowed{true}, g_bmiAllowed{true};

std::atomic<bool>& allowedFlag(InstructionSet set) {
    return set == InstructionSet::Avx2 ? g_avx2Allowed : g_bmiAllowed;
}

bool present(InstructionSet set) {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool avx2 = __builtin_cpu_supports("avx2") != 0;
    static const bool bmi =
        __builtin_cpu_supports("bmi") != 0 && __builtin_cpu_supports("bmi2") != 0;
    return set == InstructionSet::Avx2 ? avx2 : bmi;
#else
    (void)set;
    return false;
#endif
}

}  // namespace

bool usable(InstructionSet set) {
    return present(set) && allowedFlag(set).load(std::memory_order_relaxed);
}

void allow(InstructionSet set, bool allowed) {
    allowedFlag(set).store(allowed, std::memory_order_relaxed);
}

}  // namespace parvolux
