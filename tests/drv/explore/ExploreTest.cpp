// The scenario explorer's fixed list of seeds, in shards that run side by side, and the
// regression rows: scenarios it found faults with, run again as they were found.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

#include "TestLog.h"
#include "tests/drv/explore/Explorer.h"

namespace {

constexpr uint32_t kScenarios = 240;  // in-scope scenarios of the fixed list
constexpr uint32_t kShards = 6;

// The in-scope scenarios of the fixed list, from seed 1 on.
std::vector<explore::Scenario> FixedList() {
  std::vector<explore::Scenario> list;
  for (uint64_t seed = 1; list.size() < kScenarios; ++seed) {
    explore::Scenario s = explore::Draw(seed);
    if (explore::KnownOpen(s) == nullptr) list.push_back(s);
  }
  return list;
}

class ExploreEngine : public ::testing::TestWithParam<uint32_t> {
 protected:
  static void SetUpTestSuite() {
    testlog::Prepare("engine-explore");
    // A sanitizer's runtime starts a thread of its own with the first thread: that happens
    // here, before any scenario counts threads.
    std::thread([] {}).join();
  }
};

void Expect(const explore::Scenario& s) {
  const explore::Outcome o = explore::Run(s);
  std::string failures;
  for (const std::string& f : o.failures) failures += "\n  " + f;
  EXPECT_TRUE(o.ok()) << failures << "\n  reproduce: " << explore::ReproduceLine(s);
}

}  // namespace

TEST_P(ExploreEngine, FixedSeedsRunClean) {
  const std::vector<explore::Scenario> list = FixedList();
  for (size_t i = GetParam(); i < list.size(); i += kShards) Expect(list[i]);
}

INSTANTIATE_TEST_SUITE_P(Shards, ExploreEngine, ::testing::Range(0u, kShards));

// Scenarios the explorer found faults with, by seed. A row whose fault is still open (the
// scenario is on the known-open list) is skipped; it runs from the day the list lets it in.
struct Row {
  uint64_t seed;
  const char* found;
};
const Row kRegressionRows[] = {
    {12, "a skew as error with 1 MB blocks: -2033, then no more calls, no end of page"},
    {362, "a skew as error to end of page: -2033, then no more calls, no end of page"},
    {40, "style 4, blank front: the rear page comes good without a READ of it"},
    {160, "style 0, blank front: the rear page is reported good unread"},
    {465, "style 5, blank front: every later page is one side off"},
    {174, "style 3 with JobPages 3: pages 4 and 5 hold other bytes"},
    {1108, "style 1 with JobPages 3, to end of page: the rear of sheet 2 is cut short"},
    {1072, "style 7 with JobPages 1: the reader dies on a missing pipe (SIGSEGV)"},
    {1075, "style 2: the second sheet's front holds other bytes"},
    {1562, "style 7, skew on the rear: the rear page reported good, the next front wrong"},
    {477, "style 7, KRTerminateDevice after the front page's KRStopScan(0) hangs"},
    {8, "a scanner that stops answering its READ: the page waits for ever, no time-out ends it"},
    {9675, "style 5, a multi-feed in the front's last READ: the rear comes empty, reported good"},
    {4468, "continuous, 150 dpi in blocks: the sheet behind a short one and its multi-feed lost"},
    {4737, "continuous, tiny area: a multi-feed in the part of a sheet past the page is lost"},
    {6877,
     "style 6, a front read to its last byte in whole READs: the rear's start sent as its end"},
};

class ExploreRegression : public ::testing::TestWithParam<Row> {
 protected:
  static void SetUpTestSuite() { testlog::Prepare("engine-explore-rows"); }
};

TEST_P(ExploreRegression, RunsClean) {
  const explore::Scenario s = explore::Draw(GetParam().seed);
  if (const char* open = explore::KnownOpen(s)) GTEST_SKIP() << "waits for " << open;
  Expect(s);
}

INSTANTIATE_TEST_SUITE_P(Found, ExploreRegression, ::testing::ValuesIn(kRegressionRows),
                         [](const ::testing::TestParamInfo<Row>& info) {
                           return "Seed" + std::to_string(info.param.seed);
                         });

// The fixed list crosses every axis: each profile, source, duplex style, colour, delivery,
// condition and client action comes in it, so a narrower generator or a wider known-open list
// shows here.
TEST(ExploreEngineList, CrossesEveryAxis) {
  std::set<std::string> seen;
  for (const explore::Scenario& s : FixedList()) {
    seen.insert("profile " + std::to_string(int(s.profile)));
    seen.insert("source " + std::to_string(int(s.source)));
    if (s.source == explore::Source::Duplex) seen.insert("style " + std::to_string(s.duplexStyle));
    seen.insert("colour " + std::to_string(int(s.colour)));
    seen.insert("delivery " + std::to_string(int(s.delivery)));
    seen.insert("condition " + std::to_string(int(s.condition)));
    seen.insert("action " + std::to_string(int(s.action)));
    seen.insert("end " + std::to_string(s.toEndOfPage));
    EXPECT_EQ(explore::Describe(s), explore::Describe(explore::Draw(s.seed)));
  }
  for (const char* axis : {"profile ", "source ", "colour ", "delivery ", "action "}) {
    const size_t n = std::string(axis) == "profile "  ? 2
                     : std::string(axis) == "source " ? 3
                     : std::string(axis) == "action " ? 5
                     : std::string(axis) == "colour " ? 5
                                                      : 3;
    for (size_t v = 0; v < n; ++v) EXPECT_EQ(seen.count(axis + std::to_string(v)), 1u) << axis << v;
  }
  for (int style = 0; style < 8; ++style)
    EXPECT_EQ(seen.count("style " + std::to_string(style)), 1u) << "style " << style;
  for (int c = 0; c <= int(explore::Condition::Slow); ++c)
    EXPECT_EQ(seen.count("condition " + std::to_string(c)), 1u) << "condition " << c;
}
