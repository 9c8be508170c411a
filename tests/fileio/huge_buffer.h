// A read-only run of zero bytes, large enough for any payload the tests pass to a writer over a
// TestFile that drops it unread. Mapped once and lazily, so it costs neither memory nor the
// sanitizers' bookkeeping of a heap block of gigabytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#endif

constexpr size_t kHugeBufferSize = size_t{3} << 29;  // 1.5 GiB

inline const uint8_t* hugeBuffer() {
    static const uint8_t* const pages = [] {
#if defined(_WIN32)
        void* p = VirtualAlloc(nullptr, kHugeBufferSize, MEM_RESERVE | MEM_COMMIT, PAGE_READONLY);
#else
        void* p = mmap(nullptr, kHugeBufferSize, PROT_READ,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        p = p == MAP_FAILED ? nullptr : p;
#endif
        if (p == nullptr) {
            std::abort();
        }
        return static_cast<const uint8_t*>(p);
    }();
    return pages;
}
