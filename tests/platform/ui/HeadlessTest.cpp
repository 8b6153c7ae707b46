// The headless journal: alerts answered from several threads at once, each by its place in the
// order of alerts, with every entry kept and mirrored.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <utility>
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

TEST(HeadlessJournal, ScriptLinesItDoesNotUnderstand) {
  Journal& journal = Journal::shared();
  journal.reset();
  std::string error;
  EXPECT_TRUE(journal.parseScript("# a comment\n\nalert 3 1005\naction scan\n", &error)) << error;
  EXPECT_EQ(journal.nextAction(), ui::headless::UserAction::kScan);
  EXPECT_EQ(journal.nextAction(), ui::headless::UserAction::kDefault);
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"action dance\n", "line 1: not understood: action dance"},
      {"alert 1 ok\nalert 0 ok\n", "line 2: not understood: alert 0 ok"},
      {"alert x ok\n", "line 1: not understood: alert x ok"},
      {"action ok now\n", "line 1: not understood: action ok now"},
      {"press ok\n", "line 1: not understood: press ok"},
  };
  for (const auto& [text, expected] : bad) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(journal.parseScript(text, &error));
    EXPECT_EQ(error, expected);
  }
  EXPECT_FALSE(journal.loadScript("/nonexistent/ui-script.txt", &error));
  // The lines before a bad one apply: the third alert answers 1005, the first OK.
  EXPECT_EQ(journal.runAlert(2, "one", "", {"OK"}), ui::headless::kOkResponse);
  journal.runAlert(2, "two", "", {"OK"});
  EXPECT_EQ(journal.runAlert(2, "three", "", {"OK"}), 1005);
  journal.reset();
}

TEST(HeadlessJournal, AnAlertARealWindowShowedIsRecordedWithItsAnswerAndKeepsTheNumbering) {
  Journal& journal = Journal::shared();
  journal.reset();
  journal.scriptAlert(2, ui::headless::kCancelResponse);
  std::vector<ui::headless::Entry> mirrored;
  journal.setMirror([&](const ui::headless::Entry& e) { mirrored.push_back(e); });
  journal.recordAlert(2, "Error Code: 2013", "Paper jam.", {"OK", "Cancel"}, 1001);
  // The second alert is the script's, though the first never asked the script.
  EXPECT_EQ(journal.runAlert(2, "two", "", {"OK"}), ui::headless::kCancelResponse);
  const auto alerts = journal.alerts();
  ASSERT_EQ(alerts.size(), 2u);
  EXPECT_EQ(alerts[0].text, "Error Code: 2013");
  EXPECT_EQ(alerts[0].details, "Paper jam.");
  EXPECT_EQ(alerts[0].buttons, (std::vector<std::string>{"OK", "Cancel"}));
  EXPECT_EQ(alerts[0].response, 1001);
  EXPECT_EQ(mirrored.size(), 2u);
  journal.reset();
}

}  // namespace
