// Worker threads over std::thread.
#include "engine/thread.h"

#include <stdexcept>

namespace {

std::atomic<TDispatcher*> installedDispatcher{nullptr};

} // namespace

void SetDispatcher(TDispatcher* dispatcher) {
    installedDispatcher = dispatcher;
}

TDispatcher* Dispatcher() {
    return installedDispatcher;
}

TThread::TThread(bool createSuspended) : m_self(std::make_shared<TThread*>(this)) {
    if (!createSuspended)
        Resume();
}

TThread::~TThread() {
    // The owner must not free a running thread; should it happen, stop the thread rather than leave it
    // running over freed memory.
    *m_self = nullptr;
    if (m_thread.joinable()) {
        Terminate();
        m_thread.join();
    }
}

void TThread::Resume() {
    if (m_started.exchange(true))
        return;
    if (!Dispatcher())
        throw std::logic_error("No dispatcher installed for worker threads");
    m_thread = std::thread([this] { Run(); });
}

void TThread::Synchronize(const std::function<void()>& routine) {
    Dispatcher()->Synchronize(routine);
}

void TThread::Run() {
    try {
        Execute();
    } catch (...) {
        // Execute handles its own failures; anything that still escapes ends the thread quietly.
    }
    std::weak_ptr<TThread*> self = m_self;
    Dispatcher()->Queue([self] {
        if (auto alive = self.lock(); alive && *alive)
            (*alive)->Finish();
    });
}

void TThread::Finish() {
    if (m_thread.joinable())
        m_thread.join();
    m_finished = true;
    // A copy, so that the owner may free this object inside the handler.
    const auto handler = OnTerminate;
    if (handler)
        handler(this);
}
