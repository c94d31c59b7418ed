#include "engine/thread.h"

#include "tests/support/queue_dispatcher.h"

#include <gtest/gtest.h>

using testing_support::QueueDispatcher;

namespace {

class RecordingThread : public TThread {
public:
    RecordingThread() : TThread(true) {}
    std::thread::id executedOn, synchronizedOn;
    int loops = 0;

protected:
    void Execute() override {
        executedOn = std::this_thread::get_id();
        Synchronize([this] { synchronizedOn = std::this_thread::get_id(); });
        while (!Terminated() && loops < 1000000)
            ++loops;
    }
};

} // namespace

TEST(Thread, RunsExecuteAwayAndSynchronizesOnTheMainThread) {
    QueueDispatcher dispatcher;
    RecordingThread thread;
    std::thread::id terminatedOn;
    thread.OnTerminate = [&](TThread* sender) {
        EXPECT_EQ(sender, &thread);
        terminatedOn = std::this_thread::get_id();
    };
    EXPECT_EQ(thread.executedOn, std::thread::id());
    thread.Resume();
    ASSERT_TRUE(dispatcher.RunUntil([&] { return thread.Finished(); }));
    EXPECT_NE(thread.executedOn, std::this_thread::get_id());
    EXPECT_EQ(thread.synchronizedOn, std::this_thread::get_id());
    EXPECT_EQ(terminatedOn, std::this_thread::get_id());
}

TEST(Thread, OwnerMayFreeTheThreadInsideOnTerminate) {
    QueueDispatcher dispatcher;
    auto thread = std::make_unique<RecordingThread>();
    thread->FreeOnTerminate = true;
    bool freed = false;
    thread->OnTerminate = [&](TThread*) {
        thread.reset();
        freed = true;
    };
    thread->Terminate();
    thread->Resume();
    ASSERT_TRUE(dispatcher.RunUntil([&] { return freed; }));
    EXPECT_EQ(thread, nullptr);
}

TEST(Thread, SynchronizedExceptionsReachTheWorker) {
    QueueDispatcher dispatcher;
    struct Throwing : TThread {
        Throwing() : TThread(true) {}
        bool caught = false;
        void Execute() override {
            try {
                Synchronize([] { throw std::runtime_error("main"); });
            } catch (const std::runtime_error&) {
                caught = true;
            }
        }
    } thread;
    thread.Resume();
    ASSERT_TRUE(dispatcher.RunUntil([&] { return thread.Finished(); }));
    EXPECT_TRUE(thread.caught);
}
