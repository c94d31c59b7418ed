// The tests' dispatcher.
#include "tests/support/queue_dispatcher.h"

#include <future>

namespace testing_support {

QueueDispatcher::QueueDispatcher() : m_main(std::this_thread::get_id()) {
    SetDispatcher(this);
}

QueueDispatcher::~QueueDispatcher() {
    if (Dispatcher() == this)
        SetDispatcher(nullptr);
}

void QueueDispatcher::Synchronize(const std::function<void()>& routine) {
    if (IsMainThread()) {
        routine();
        return;
    }
    std::packaged_task<void()> task(routine);
    std::future<void> done = task.get_future();
    Queue([&task] { task(); });
    done.get();
}

void QueueDispatcher::Queue(std::function<void()> routine) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(routine));
    }
    m_wake.notify_all();
}

void QueueDispatcher::RunPending() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(m_mutex);
        batch.swap(m_queue);
    }
    for (auto& routine : batch)
        routine();
}

bool QueueDispatcher::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        std::function<void()> routine;
        {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait_until(lock, deadline, [this] { return !m_queue.empty(); }))
                return done();
            routine = std::move(m_queue.front());
            m_queue.pop_front();
        }
        routine();
    }
    return true;
}

} // namespace testing_support
