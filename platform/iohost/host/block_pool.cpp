#include "platform/iohost/host/block_pool.h"

#include <algorithm>
#include <iterator>

namespace iohost {

BlockPool& BlockPool::shared() {
    // Never destroyed: buffers may die during the process's exit, after any static would.
    static BlockPool& pool = *new BlockPool;
    return pool;
}

BlockPool::Block BlockPool::take(size_t size) {
    std::lock_guard lock(m_mutex);
    const auto fits = [size](const Block& b) {
        return b.capacity >= size && b.capacity / 2 <= size;
    };
    // The one given last first: its bytes are the likeliest still in the caches.
    const auto found = std::find_if(m_blocks.rbegin(), m_blocks.rend(), fits);
    if (found == m_blocks.rend()) return {};
    Block block = std::move(*found);
    m_blocks.erase(std::next(found).base());
    return block;
}

void BlockPool::give(Block block) {
    if (!block.bytes) return;
    std::lock_guard lock(m_mutex);
    if (m_blocks.size() == kKept) {
        const auto smallest = std::min_element(
            m_blocks.begin(), m_blocks.end(),
            [](const Block& a, const Block& b) { return a.capacity < b.capacity; });
        if (smallest->capacity >= block.capacity) return;
        *smallest = std::move(block);
        return;
    }
    m_blocks.push_back(std::move(block));
}

}  // namespace iohost
