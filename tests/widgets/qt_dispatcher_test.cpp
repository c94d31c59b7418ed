// The Qt dispatcher: synchronised calls from workers, inline calls on the main thread, queued calls.
#include "widgets/qt_dispatcher.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

TEST(QtDispatcher, SynchronizeRunsOnTheMainThreadAndCarriesExceptionsBack) {
    TQtDispatcher dispatcher;
    const auto mainThread = std::this_thread::get_id();
    std::thread::id ranOn;
    bool caught = false;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        dispatcher.Synchronize([&] { ranOn = std::this_thread::get_id(); });
        try {
            dispatcher.Synchronize([] { throw std::runtime_error("from main"); });
        } catch (const std::runtime_error& error) {
            caught = std::string(error.what()) == "from main";
        }
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 10000));
    worker.join();
    EXPECT_EQ(ranOn, mainThread);
    EXPECT_TRUE(caught);

    // On the main thread itself the routine runs at once.
    bool inline_ = false;
    dispatcher.Synchronize([&] { inline_ = true; });
    EXPECT_TRUE(inline_);
}

TEST(QtDispatcher, QueueRunsLaterOnTheMainThread) {
    TQtDispatcher dispatcher;
    int runs = 0;
    dispatcher.Queue([&] { ++runs; });
    EXPECT_EQ(runs, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return runs == 1; }, 5000));
}
