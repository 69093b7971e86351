// Frame buffers of the DMA endpoints that grow without being cleared.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace sim {

// Bytes of a frame on its way through a loop or link. A buffer grows without being cleared first:
// every byte is read from the board before anyone looks at it.
template <class T>
struct UnclearedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UnclearedAllocator<U>;
    };
    UnclearedAllocator() = default;
    template <class U>
    UnclearedAllocator(const UnclearedAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using FrameBytes = std::vector<uint8_t, UnclearedAllocator<uint8_t>>;

}  // namespace sim
