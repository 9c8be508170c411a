// A read-only run of zero bytes for payloads that a TestFile drops unread. Mapped once, lazily, so
// it costs neither memory nor the sanitizers' bookkeeping of a heap block of gigabytes.
#pragma once

#include <cstdint>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#endif

constexpr size_t kHugeBufferSize = size_t{3} << 29;  // 1.5 GiB

inline const uint8_t* hugeBuffer() {
#if defined(_WIN32)
    static void* const p =
        VirtualAlloc(nullptr, kHugeBufferSize, MEM_RESERVE | MEM_COMMIT, PAGE_READONLY);
#else
    static void* const p = mmap(nullptr, kHugeBufferSize, PROT_READ,
                                MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
#endif
    if (p == nullptr || p == reinterpret_cast<void*>(-1)) std::abort();  // -1: MAP_FAILED
    return static_cast<const uint8_t*>(p);
}
