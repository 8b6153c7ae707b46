// The main-thread queue under several threads: order, waiting hand-overs, time-outs and close.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/foundation/MainThreadQueue.h"

namespace {

using namespace foundation;
using namespace std::chrono_literals;

TEST(MainThreadQueue, TasksFromManyThreadsRunOnTheOwnerInTheirOrder) {
  constexpr int kProducers = 4, kTasks = 300;
  MainThreadQueue queue;
  const auto owner = std::this_thread::get_id();
  std::vector<std::vector<int>> seen(kProducers);  // touched only by the owner
  std::atomic<int> ranElsewhere{0};
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (int i = 0; i < kTasks; ++i) {
        ASSERT_TRUE(queue.post([&, p, i] {
          if (std::this_thread::get_id() != owner) ++ranElsewhere;
          seen[p].push_back(i);
        }));
      }
    });
  }
  std::size_t ran = 0;
  while (ran < std::size_t{kProducers} * kTasks) ran += queue.drainFor(50ms);
  for (auto& t : producers) t.join();
  EXPECT_EQ(ranElsewhere.load(), 0);
  for (const auto& s : seen) {
    ASSERT_EQ(s.size(), std::size_t{kTasks});
    for (int i = 0; i < kTasks; ++i) ASSERT_EQ(s[i], i);
  }
  EXPECT_EQ(queue.pending(), 0u);
}

TEST(MainThreadQueue, PerformAndWaitReturnsOnceTheOwnerRanTheTask) {
  constexpr int kWorkers = 3, kCalls = 100;
  MainThreadQueue queue;
  int counter = 0;  // the owner's: no lock
  std::atomic<int> finished{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&] {
      for (int i = 0; i < kCalls; ++i) {
        int before = -1;
        ASSERT_TRUE(queue.performAndWait([&] { before = counter++; }));
        EXPECT_GE(before, 0) << "the task has run when the call returns";
      }
      ++finished;
    });
  }
  while (finished.load() < kWorkers) queue.drainFor(50ms);
  for (auto& t : workers) t.join();
  EXPECT_EQ(counter, kWorkers * kCalls);
}

TEST(MainThreadQueue, OnTheOwnerPerformRunsAtOnce) {
  MainThreadQueue queue;
  std::vector<char> order;
  queue.post([&] { order.push_back('a'); });
  EXPECT_TRUE(queue.performAndWait([&] { order.push_back('b'); }));
  EXPECT_EQ(order, std::vector<char>{'b'});
  // A task that posts again leaves its successor for the next drain.
  queue.post([&] {
    queue.post([&] { order.push_back('d'); });
    order.push_back('c');
  });
  EXPECT_EQ(queue.drain(), 2u);
  EXPECT_EQ(order, (std::vector<char>{'b', 'a', 'c'}));
  EXPECT_TRUE(queue.runOne());
  EXPECT_FALSE(queue.runOne());
  EXPECT_EQ(order.back(), 'd');

  std::thread([&] {
    EXPECT_FALSE(queue.onOwnerThread());
    queue.adoptCurrentThread();
    EXPECT_TRUE(queue.onOwnerThread());
    EXPECT_TRUE(queue.performAndWait([&] { order.push_back('e'); }));
  }).join();
  EXPECT_EQ(order.back(), 'e');
  EXPECT_FALSE(queue.onOwnerThread());
}

TEST(MainThreadQueue, ATaskNotStartedInTimeNeverRuns) {
  MainThreadQueue queue;
  std::atomic<bool> ran{false};
  bool answer = true;
  std::thread worker([&] { answer = queue.performAndWait([&] { ran = true; }, 20ms); });
  worker.join();  // the owner never drained
  EXPECT_FALSE(answer);
  EXPECT_EQ(queue.pending(), 0u);
  EXPECT_EQ(queue.drain(), 0u);
  EXPECT_FALSE(ran.load());

  // Nothing posted: the wait is bounded.
  EXPECT_EQ(queue.drainFor(10ms), 0u);
}

TEST(MainThreadQueue, CloseReleasesWaitersAndRefusesWork) {
  MainThreadQueue queue;
  std::atomic<bool> ran{false};
  bool answer = true;
  std::thread worker([&] { answer = queue.performAndWait([&] { ran = true; }); });
  while (queue.pending() == 0) std::this_thread::yield();
  queue.close();
  worker.join();
  EXPECT_FALSE(answer);
  EXPECT_FALSE(queue.post([&] { ran = true; }));
  EXPECT_FALSE(queue.performAndWait([&] { ran = true; }));
  EXPECT_EQ(queue.drainFor(10ms), 0u);
  EXPECT_FALSE(ran.load());
}

}  // namespace
