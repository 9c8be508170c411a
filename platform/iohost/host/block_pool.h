// The memory of host buffers that died, kept for the next ones. An export makes and drops a
// frame-sized buffer or two for every frame; memory given back to the system costs a page fault
// per 4 KB to take again, which on some virtual machines costs more than compressing the frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace iohost {

class BlockPool {
public:
    struct Block {
        std::unique_ptr<uint8_t[]> bytes;
        size_t capacity = 0;
    };

    // The process's pool, shared by every buffer.
    static BlockPool& shared();

    // A kept block of at least `size` bytes and at most twice that (a small buffer does not hold
    // a frame's worth), the one given last if several are, or none.
    [[nodiscard]] Block take(size_t size);
    // Keeps the block while fewer than kKept are; else the smallest kept one goes.
    void give(Block block);

private:
    static constexpr size_t kKept = 4;
    std::mutex m_mutex;
    std::vector<Block> m_blocks;
};

}  // namespace iohost
