// A bounded queue between two threads of the encode pipeline. close() wakes every waiter: push
// then fails and pop drains what is left before failing, so one failing stage stops the others.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace iohost {

template <class T>
class BlockingQueue {
public:
    explicit BlockingQueue(size_t capacity) : m_capacity(capacity) {}

    // False when the queue was closed (the item is dropped).
    [[nodiscard]] bool push(T item) {
        std::unique_lock lock(m_mutex);
        m_notFull.wait(lock, [&] { return m_closed || m_items.size() < m_capacity; });
        if (m_closed) return false;
        m_items.push_back(std::move(item));
        m_notEmpty.notify_one();
        return true;
    }

    // The next item; nullopt once the queue is closed and empty.
    [[nodiscard]] std::optional<T> pop() {
        std::unique_lock lock(m_mutex);
        m_notEmpty.wait(lock, [&] { return m_closed || !m_items.empty(); });
        if (m_items.empty()) return std::nullopt;
        T item = std::move(m_items.front());
        m_items.pop_front();
        m_notFull.notify_one();
        return item;
    }

    // Without waiting: false when the queue is full or closed (the item is dropped).
    [[nodiscard]] bool tryPush(T item) {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_items.size() >= m_capacity) return false;
        m_items.push_back(std::move(item));
        m_notEmpty.notify_one();
        return true;
    }

    // Without waiting: nullopt when the queue is empty.
    [[nodiscard]] std::optional<T> tryPop() {
        std::lock_guard lock(m_mutex);
        if (m_items.empty()) return std::nullopt;
        T item = std::move(m_items.front());
        m_items.pop_front();
        m_notFull.notify_one();
        return item;
    }

    void close() {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_notEmpty.notify_all();
        m_notFull.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_notEmpty, m_notFull;
    std::deque<T> m_items;
    size_t m_capacity;
    bool m_closed = false;
};

}  // namespace iohost
