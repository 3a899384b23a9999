// The second thread that hashes beside the reading: a kept worker serves
// one caller at a time, another caller meanwhile gets a thread of its own,
// and every job runs to its end on whichever it got.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/platform.h"

namespace {

void Count(void* counter) { static_cast<std::atomic<int>*>(counter)->fetch_add(1); }

class KeptWorker : public ::testing::Test {
protected:
    void TearDown() override { PlatformEndKeptWorker(); }
};

TEST_F(KeptWorker, ServesOneCallerAtATimeAndStaysForTheNext) {
    PlatformKeepWorker();
    std::atomic<int> done{0};
    PlatformWorker* first = PlatformStartWorker();
    PlatformWorker* second = PlatformStartWorker();  // while the first is held
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    for (int i = 0; i < 3; ++i) {
        PlatformWorkerRun(first, Count, &done);
        PlatformWorkerRun(second, Count, &done);
        PlatformWorkerWait(first);
        PlatformWorkerWait(second);
    }
    PlatformStopWorker(second);
    PlatformStopWorker(first);
    EXPECT_EQ(done.load(), 6);

    // Released, the kept worker is the one handed out again, and still works.
    PlatformWorker* again = PlatformStartWorker();
    EXPECT_EQ(again, first);
    PlatformWorkerRun(again, Count, &done);
    PlatformStopWorker(again);
    EXPECT_EQ(done.load(), 7);
}

TEST_F(KeptWorker, EndedItLeavesEveryCallerAThreadOfItsOwn) {
    PlatformKeepWorker();
    PlatformWorker* kept = PlatformStartWorker();
    PlatformStopWorker(kept);
    PlatformEndKeptWorker();
    PlatformEndKeptWorker();  // nothing left to end

    std::atomic<int> done{0};
    PlatformWorker* worker = PlatformStartWorker();
    ASSERT_NE(worker, nullptr);
    PlatformWorkerRun(worker, Count, &done);
    PlatformStopWorker(worker);  // ends this one's thread
    EXPECT_EQ(done.load(), 1);
}

}  // namespace
