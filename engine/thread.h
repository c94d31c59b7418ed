// Worker threads and the main thread they report to.
//
// The engine knows the main thread only through a dispatcher that the program installs at start
// (the Qt program runs routines through its event loop; tests run a queue on the test's thread).
// A TThread is created suspended, runs Execute on its own thread once resumed, reaches the main
// thread through Synchronize, and raises OnTerminate on the main thread after Execute has returned.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class TDispatcher {
public:
    virtual ~TDispatcher() = default;
    // Runs Routine on the main thread and returns once it has returned; inline when called on the
    // main thread itself. An exception of Routine reaches the caller.
    virtual void Synchronize(const std::function<void()>& routine) = 0;
    // Queues Routine for the main thread and returns at once.
    virtual void Queue(std::function<void()> routine) = 0;
};

// The dispatcher is installed once at start (tests install their own) and outlives every thread.
void SetDispatcher(TDispatcher* dispatcher);
TDispatcher* Dispatcher();

class TThread {
public:
    explicit TThread(bool createSuspended);
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts a suspended thread; a thread runs once.
    void Resume();
    // Asks Execute to stop at its next check.
    void Terminate() { m_terminated = true; }
    bool Terminated() const { return m_terminated; }
    // Execute has returned and OnTerminate has been raised.
    bool Finished() const { return m_finished; }

    // With FreeOnTerminate the owner frees the object once OnTerminate has returned (it may do so
    // inside its OnTerminate handler: nothing of the thread is touched after the handler returns).
    bool FreeOnTerminate = false;
    // Raised on the main thread after Execute has returned, with the thread as Sender.
    std::function<void(TThread* sender)> OnTerminate;

protected:
    virtual void Execute() = 0;
    // Runs Routine on the main thread while this thread waits.
    void Synchronize(const std::function<void()>& routine);

private:
    void Run();
    void Finish();

    std::thread m_thread;
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_started{false};
    bool m_finished = false;
    // Lets a queued Finish see that the object is gone.
    std::shared_ptr<TThread*> m_self;
};
