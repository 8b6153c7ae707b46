// The headless journal: alerts answered from several threads at once, each by its place in the
// order of alerts, with every entry kept and mirrored.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "platform/ui/Headless.h"

namespace {

using ui::headless::Journal;

TEST(HeadlessJournal, AlertsFromSeveralThreadsAreNumberedOnce) {
  Journal& journal = Journal::shared();
  journal.reset();
  constexpr int kThreads = 4, kAlertsEach = 50;
  // Every fifth alert is cancelled.
  for (int n = 5; n <= kThreads * kAlertsEach; n += 5) {
    journal.scriptAlert(n, ui::headless::kCancelResponse);
  }
  std::atomic<int> mirrored{0};
  journal.setMirror([&](const ui::headless::Entry&) { ++mirrored; });
  std::atomic<int> cancelled{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kAlertsEach; ++i) {
        if (journal.runAlert(2, "thread " + std::to_string(t), "", {"OK", "Cancel"}) ==
            ui::headless::kCancelResponse) {
          ++cancelled;
        }
        journal.record("DialogBox", "progress", std::to_string(i));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(journal.alertCount(), size_t(kThreads * kAlertsEach));
  EXPECT_EQ(cancelled, kThreads * kAlertsEach / 5);
  EXPECT_EQ(journal.entries().size(), size_t(2 * kThreads * kAlertsEach));
  EXPECT_EQ(mirrored, 2 * kThreads * kAlertsEach);
  std::map<std::string, int> perThread;
  for (const auto& alert : journal.alerts()) ++perThread[alert.text];
  EXPECT_EQ(perThread.size(), size_t(kThreads));
  for (const auto& [text, count] : perThread) EXPECT_EQ(count, kAlertsEach) << text;
  journal.reset();
}

}  // namespace
