// A small blocking queue between two pipeline threads. Push waits while the
// queue is full, Pop while it is empty; neither spins. Finish lets the
// consumer drain what is left; Abort wakes both sides at once and drops the
// contents (their destructors free them).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace mce::ff {

template <class T> class BoundedQueue {
public:
    explicit BoundedQueue(std::size_t capacity) : m_capacity(capacity) {}

    // False when the queue was aborted; the item is then dropped.
    bool Push(T&& item)
    {
        std::unique_lock lock(m_mutex);
        m_notFull.wait(lock, [&] { return m_aborted || m_items.size() < m_capacity; });
        if (m_aborted)
            return false;
        m_items.push_back(std::move(item));
        m_notEmpty.notify_one();
        return true;
    }

    // False when aborted, or when finished and empty.
    bool Pop(T* item)
    {
        std::unique_lock lock(m_mutex);
        m_notEmpty.wait(lock, [&] { return m_aborted || m_finished || !m_items.empty(); });
        if (m_aborted || m_items.empty())
            return false;
        *item = std::move(m_items.front());
        m_items.pop_front();
        m_notFull.notify_one();
        return true;
    }

    void Finish()
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
        m_notEmpty.notify_all();
    }

    void Abort()
    {
        std::deque<T> dropped;
        {
            std::lock_guard lock(m_mutex);
            m_aborted = true;
            dropped.swap(m_items);
            m_notEmpty.notify_all();
            m_notFull.notify_all();
        }
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_notEmpty;
    std::condition_variable m_notFull;
    std::deque<T> m_items;
    std::size_t m_capacity;
    bool m_finished = false;
    bool m_aborted = false;
};

// Holds every pipeline thread while the encoding is paused.
class PauseGate {
public:
    void Pause()
    {
        std::lock_guard lock(m_mutex);
        m_paused = true;
    }
    void Resume()
    {
        std::lock_guard lock(m_mutex);
        m_paused = false;
        m_cv.notify_all();
    }
    void Open() // for good: used when the encoding is stopped
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_cv.notify_all();
    }
    void Wait()
    {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [&] { return m_open || !m_paused; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_paused = false;
    bool m_open = false;
};

} // namespace mce::ff
