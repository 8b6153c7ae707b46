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
    {498, "style 7 with JobPages 1: the next job's pages taken for the first sheet's rear"},
    {865, "style 4 with JobPages 1: the next job's pages taken for the first sheet's rear"},
    {44, "to end of page at a converted resolution: the scaling fails with -2006"},
    {659, "style 6, blank front: the rear page reported blank as well"},
    {6880, "style 7, blank front: the rear page reported blank as well"},
    {3054, "style 2, blank sheet: the blank read's block taken for the next sheet's first bytes"},
    {1810, "continuous style 3, blank sheet: an empty page after the blank one"},
    {4671, "style 4, skew on a front: the job goes on after the skew's KRStopScan"},
    {76, "device JPEG style 2 refused at KRStartScan: judged a plain job that lost its pages"},
    {2466, "style 0, blank rear: the front page reported blank with the front's image"},
    {2108, "continuous, a multi-feed at the end of a sheet longer than the page: never reported"},
    {4866, "style 6 with JobPages 1, blank rear: a side no page takes held to reach the client"},
    {6245, "style 2, a multi-feed in the READ that ends a short sheet: the front runs past it"},
    {6531, "continuous, unplugged between sheets: the next job's page begins inside its sheet"},
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

// The oracle's map of client pages to sheets: a job of JobPages pages ends once they were
// started, and the next page starts the next job on the next sheet.
TEST(ExploreEngineList, PagesMapToTheSheetsTheirJobFed) {
  struct Case {
    explore::Source source;
    uint32_t jobPages;
    uint32_t sheets;
    std::vector<std::pair<uint32_t, uint32_t>> pages;  // sheet, side of each client page
  };
  using explore::Source;
  const Case cases[] = {
      {Source::Front, 0, 3, {{1, 0}, {2, 0}, {3, 0}}},
      {Source::Rear, 2, 3, {{1, 1}, {2, 1}, {3, 1}}},
      {Source::Duplex, 0, 2, {{1, 0}, {1, 1}, {2, 0}, {2, 1}}},
      // Two sheets a job; the second sheet's rear is left out.
      {Source::Duplex, 3, 4, {{1, 0}, {1, 1}, {2, 0}, {3, 0}, {3, 1}, {4, 0}}},
      {Source::Duplex, 1, 3, {{1, 0}, {2, 0}, {3, 0}}},
      {Source::Duplex, 2, 3, {{1, 0}, {1, 1}, {2, 0}, {2, 1}, {3, 0}, {3, 1}}},
      // The last job has fewer sheets than it would take.
      {Source::Duplex, 3, 3, {{1, 0}, {1, 1}, {2, 0}, {3, 0}, {3, 1}}},
  };
  for (const Case& c : cases) {
    explore::Scenario s;
    s.source = c.source;
    s.jobPages = c.jobPages;
    s.sheetLengths.assign(c.sheets, 300);
    const std::string what = "source " + std::to_string(int(c.source)) + ", JobPages " +
                             std::to_string(c.jobPages) + ", " + std::to_string(c.sheets) +
                             " sheets";
    ASSERT_EQ(explore::PagesOfSheets(s), c.pages.size()) << what;
    for (uint32_t i = 0; i < c.pages.size(); ++i) {
      const explore::SheetSide at = explore::SheetOfPage(s, i);
      EXPECT_EQ(at.sheet, c.pages[i].first) << what << ", page " << i;
      EXPECT_EQ(at.side, c.pages[i].second) << what << ", page " << i;
      uint32_t back = 0;
      EXPECT_TRUE(explore::PageOfSheet(s, at.sheet, at.side, &back)) << what << ", page " << i;
      EXPECT_EQ(back, i) << what;
      const bool last = i + 1 == c.pages.size() || c.pages[i + 1].first != at.sheet;
      EXPECT_EQ(explore::LastPageOfSheet(s, i), last) << what << ", page " << i;
    }
  }
  // A side no page takes: the rear of a job's last sheet when JobPages is odd.
  explore::Scenario odd;
  odd.source = Source::Duplex;
  odd.jobPages = 3;
  odd.sheetLengths.assign(4, 300);
  uint32_t page = 0;
  EXPECT_FALSE(explore::PageOfSheet(odd, 2, 1, &page));
}
