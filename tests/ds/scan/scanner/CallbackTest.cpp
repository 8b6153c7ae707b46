// The driver callback fed directly: what each kind of block does to the page buffer, the
// counters, the page status and the callback's result.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "ds/scan/scanner/ScanCallback.h"

using namespace ferrolite;

namespace {

class Callback : public ::testing::Test {
 protected:
  void SetUp() override {
    ScanPageState& p = gScanPage;
    p.gPageBuffer = static_cast<uint8_t*>(std::calloc(1, kBuffer));
    p.gScanSize = p.gPageBufSize = kBuffer;
    p.clearPageCounters();
    p.multifeedOccur = false;
    p.gApCacelScan = false;
    p.scanTotal = 100;
    p.setStatus(kPageRunning);
  }
  void TearDown() override {
    std::free(gScanPage.gPageBuffer);
    gScanPage.gPageBuffer = nullptr;
    gScanPage.gScanSize = gScanPage.gPageBufSize = 0;
  }
  long Feed(std::vector<uint8_t> data, std::vector<int64_t> codes, bool errorCounts = false) {
    STATUSLIST list;
    std::memset(&list, 0, sizeof list);
    for (size_t i = 0; i < codes.size(); ++i) list.Status[i] = codes[i];
    const uint32_t size = errorCounts ? 0xFFFFFFFFu : uint32_t(data.size());
    const long lines = errorCounts ? -1 : 2;
    uint32_t device = 0;
    return GetScanImage(0, &device, data.empty() ? nullptr : data.data(), size, lines, lines,
                        &list);
  }
  static constexpr uint32_t kBuffer = 64;
};

struct BlockCase {
  const char* what;
  std::vector<int64_t> codes;
  bool errorCounts;
  long result;
  int64_t status;
  uint32_t received;  // after 10 bytes were already in
  bool multifeed;
};

TEST_F(Callback, EachKindOfBlock) {
  const std::vector<BlockCase> cases = {
      {"plain data", {}, false, kCallbackGoOn, kPageRunning, 20, false},
      {"lone multi-feed keeps its data",
       {kStatusMultifeed},
       false,
       kCallbackGoOn,
       kStatusMultifeed,
       20,
       true},
      {"multi-feed and end of page",
       {kStatusMultifeed, kStatusEndOfPage},
       false,
       kCallbackPageDone,
       kPageEnd,
       20,
       true},
      {"end of file", {kStatusEndOfFile}, false, kCallbackPageDone, kPageEnd, 20, false},
      {"error without counts", {-2000}, true, kCallbackPageDone, -2000, 10, false},
      {"positive code ends the page, never cancels", {5}, false, kCallbackPageDone, 5, 20, false},
  };
  for (const BlockCase& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();  // a fresh page for each case
    SetUp();
    ASSERT_EQ(Feed(std::vector<uint8_t>(10, 1), {}), kCallbackGoOn);
    const uint32_t linesBefore = gScanPage.scanLines;
    std::vector<uint8_t> data =
        c.errorCounts ? std::vector<uint8_t>{} : std::vector<uint8_t>(10, 9);
    EXPECT_EQ(Feed(data, c.codes, c.errorCounts), c.result);
    EXPECT_EQ(gScanPage.lGetImageStatus.load(), c.status);
    EXPECT_EQ(gScanPage.scanReceived.load(), c.received);
    EXPECT_EQ(gScanPage.getImageSize.load(), c.received);
    EXPECT_EQ(gScanPage.scanLines.load(), linesBefore + (c.errorCounts ? 0 : 2));
    EXPECT_EQ(gScanPage.multifeedOccur.load(), c.multifeed);
    if (!c.errorCounts) {
      EXPECT_EQ(gScanPage.gPageBuffer[15], 9);
    }
  }
}

TEST_F(Callback, ReachingTheExpectedSizeEndsThePage) {
  EXPECT_EQ(Feed(std::vector<uint8_t>(60, 1), {}), kCallbackGoOn);
  EXPECT_EQ(Feed(std::vector<uint8_t>(40, 2), {}), kCallbackPageDone);
  EXPECT_EQ(gScanPage.lGetImageStatus.load(), kPageEnd);
}

TEST_F(Callback, BlankMarkEndsThePageAsBlank) {
  EXPECT_EQ(Feed({}, {kStatusBlankPaper}), kCallbackPageDone);
  EXPECT_TRUE(gScanPage.isBlankPage.load());
}

TEST_F(Callback, CancelReturns2) {
  gScanPage.gApCacelScan = true;
  EXPECT_EQ(Feed(std::vector<uint8_t>(10, 1), {}), kCallbackCancel);
  EXPECT_EQ(gScanPage.lGetImageStatus.load(), kPageCancel);
  gScanPage.gApCacelScan = false;
}

// A block larger than one growth step still lands whole, inside the buffer.
TEST_F(Callback, ABlockLargerThanOneStepGrowsTheBufferEnough) {
  gScanPage.scanTotal = 0xFFFFFFFFu;
  std::vector<uint8_t> big(kPageBufferStep + 1000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 13);
  ASSERT_EQ(Feed(std::vector<uint8_t>(10, 1), {}), kCallbackGoOn);
  ASSERT_EQ(Feed(big, {}), kCallbackGoOn);
  EXPECT_GE(gScanPage.gScanSize, 10 + big.size());
  EXPECT_GT(gScanPage.gScanSize, gScanPage.gPageBufSize);
  EXPECT_EQ(std::memcmp(gScanPage.gPageBuffer + 10, big.data(), big.size()), 0);
}

}  // namespace
