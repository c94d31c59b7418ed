// The tests' dispatcher: routines for the "main thread" wait in a queue that the test's own thread runs.
#pragma once

#include "engine/thread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace testing_support {

class QueueDispatcher : public TDispatcher {
public:
    // Installs itself as the engine's dispatcher; the creating thread is the main thread.
    QueueDispatcher();
    ~QueueDispatcher() override;

    void Synchronize(const std::function<void()>& routine) override;
    void Queue(std::function<void()> routine) override;

    // Runs queued routines until Done returns true; false when the time-out passed first.
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds timeout = std::chrono::seconds(60));
    // Runs what is queued now.
    void RunPending();
    bool IsMainThread() const { return std::this_thread::get_id() == m_main; }

private:
    std::thread::id m_main;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
};

} // namespace testing_support
