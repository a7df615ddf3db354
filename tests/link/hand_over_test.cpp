// The hand-over queue of the hosts without an event loop: a receive thread's work runs on
// the main thread, in order, and a failing piece of work never leaves its sender blocked.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "link/hand_over.h"

namespace {

using kv::link::HandOverQueue;

// Runs the queue on this (the main) thread until n functions are waiting.
void WaitPending(const HandOverQueue &q, std::size_t n) {
    while (q.Pending() < n)
        std::this_thread::yield();
}

TEST(HandOver, RunsQueuedWorkOnTheMainThreadInOrderAndReleasesEachSender) {
    HandOverQueue q;
    const auto mainId = std::this_thread::get_id();
    std::vector<int> order;
    std::vector<std::thread::id> ranOn;
    std::atomic<int> released{0};
    std::vector<std::thread> senders;
    for (int i = 0; i < 3; ++i) {
        WaitPending(q, static_cast<std::size_t>(i));
        senders.emplace_back([&, i] {
            q.Run([&, i] {
                order.push_back(i);
                ranOn.push_back(std::this_thread::get_id());
            });
            ++released;
        });
    }
    WaitPending(q, 3);
    EXPECT_EQ(released, 0); // every sender waits for the main thread
    q.RunPending();
    for (auto &t : senders)
        t.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(ranOn, (std::vector<std::thread::id>(3, mainId)));
    EXPECT_EQ(q.Pending(), 0u);

    int direct = 0;
    q.Run([&] { ++direct; }); // on the main thread: at once
    EXPECT_EQ(direct, 1);
}

TEST(HandOver, ThrowingWorkReleasesItsSenderAndLeavesTheRestQueued) {
    HandOverQueue q;
    bool secondRan = false;
    std::thread first([&] { q.Run([] { throw std::runtime_error("log pane gone"); }); });
    WaitPending(q, 1);
    std::thread second([&] { q.Run([&] { secondRan = true; }); });
    WaitPending(q, 2);

    EXPECT_THROW(q.RunPending(), std::runtime_error);
    first.join(); // released although its work failed
    EXPECT_EQ(q.Pending(), 1u);
    EXPECT_FALSE(secondRan);
    q.RunPending();
    second.join();
    EXPECT_TRUE(secondRan);
}

} // namespace
