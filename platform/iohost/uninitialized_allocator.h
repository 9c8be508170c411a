// An allocator whose value-initialisation leaves trivial elements as they are, so that a byte
// block can grow without first being zero-filled. A host owes the plug-in no particular contents
// in a buffer it has just sized, and filling a frame-sized packet buffer that the codec will
// overwrite costs as much as a good part of the compression.
#pragma once

#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace iohost {

template <typename T>
class UninitializedAllocator : public std::allocator<T> {
public:
    template <typename U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };

    UninitializedAllocator() = default;
    template <typename U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}

    template <typename U>
    void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(at)) U;
    }
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

}  // namespace iohost
