// The services that several threads share: a language bundle, a compiled expression, user
// defaults and the system log, each used from four threads at once.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>
#include <vector>

#include "platform/foundation/Localization.h"
#include "platform/foundation/RegularExpression.h"
#include "platform/foundation/SystemLog.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TestFolder.h"

namespace {

using namespace foundation;

constexpr int kThreads = 4, kRounds = 25;

template <class Body>
void onThreads(Body body) {
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(body, t);
  for (auto& t : threads) t.join();
}

TEST(SharedServices, AreSafeFromSeveralThreads) {
  auto folder = testsupport::freshTestFolder("shared");
  std::filesystem::create_directories(folder / "de.lproj");
  std::ofstream(folder / "de.lproj" / "Localizable.strings") << "\"Err2013\" = \"Papierstau\";";
  auto bundle = LanguageBundle::open(folder / "de.lproj");  // tables load on first use
  ASSERT_TRUE(bundle);
  auto headers = RegularExpression::compile(u"\\[.*\\]");
  ASSERT_TRUE(headers);
  UserDefaults defaults("org.example.shared", folder);
  SystemLogCapture log;

  onThreads([&](int t) {
    for (int i = 0; i < kRounds; ++i) {
      EXPECT_EQ(bundle->localizedString("Err2013", "Paper jam"), "Papierstau");
      EXPECT_EQ(headers->allMatches(u"[English]\n1=Scan\n[Deutsch]\n").size(), 2u);
      std::string key = "thread" + std::to_string(t);
      EXPECT_TRUE(defaults.set(key, i));
      EXPECT_EQ(*defaults.integer(key), i);
      systemLogf(LogLevel::notice, "thread %d round %d", t, i);
    }
  });
  EXPECT_EQ(log.lines().size(), std::size_t{kThreads} * kRounds);
  UserDefaults reread("org.example.shared", folder);
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(*reread.integer("thread" + std::to_string(t)), kRounds - 1);
  }
}

}  // namespace
