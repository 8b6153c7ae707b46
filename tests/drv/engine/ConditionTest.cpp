// What every condition of the scanner does to a job: the status lists the client's callback
// sees, what KRStopScan and KRStopJob return, how the device is let go (the RELEASE UNIT control
// value, no MEDIA CHECK after a job-ending condition), no thread left behind, and a next job in
// the same process that scans cleanly.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "EngineFixture.h"
#include "drv/device/CUsbIO.h"
#include "drv/engine/ExtPipe.h"
#include "drv/engine/ScanJob.h"
#include "drv/engine/Topology.h"
#include "drv/platform/KrThread.h"

using namespace enginefix;

namespace {

constexpr uint32_t kLines = 400;
constexpr uint32_t kLine = 304;
constexpr uint32_t kMultiFeedAsError = 0x10;  // ExtParam0: multi-feed detection that stops
constexpr uint32_t kSkewAsMessage = 0x40;     // ExtParam0: skew reported, the page goes on
constexpr uint32_t kSkewAsError = 0x80;
constexpr uint16_t kDataJpegTables = 0x8B;

using Codes = std::vector<int64_t>;

// The page-control commands of the device after the job's last image READ: what let the device
// go, with the RESERVE and RELEASE UNIT control byte.
std::vector<std::string> Tail(sim::SimScanner& s) {
  const std::vector<sim::Exchange> log = s.CommandLog();
  size_t last = 0;
  for (size_t i = 0; i < log.size(); ++i)
    if (log[i].command == "READ 0x0000") last = i;
  std::vector<std::string> tail;
  for (size_t i = last + 1; i < log.size(); ++i) {
    const std::string& name = log[i].command;
    if (name == "RELEASE UNIT" || name == "RESERVE UNIT")
      tail.push_back(name + " " + std::to_string(log[i].block[11]));
    else if (name == "MEDIA CHECK")
      tail.push_back(name);
  }
  return tail;
}

class Conditions : public EngineTest {
 protected:
  static void SetUpTestSuite() {
    testlog::Prepare("engine-conditions");
    std::thread([] {}).join();  // a sanitizer's own thread starts before any count
  }

  // A page of the running job that ends cleanly.
  void ScanAPage(Receiver& receiver, const std::string& what) {
    receiver.NextPage();
    ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 0), 0) << what;
    ASSERT_TRUE(receiver.WaitForPageEnd()) << what;
    ASSERT_EQ(KRStopScan(kCtrl, &handle, 0), 0) << what;
  }

  // After any condition: the next job in the same process scans one sheet cleanly.
  // `side` gives the page of a sheet (default: the scanner's raw front; an empty one: only
  // the page's size is checked).
  void ExpectCleanNextJob(sim::SimScanner& s, const SCANPARAMETER_UNION& p, const std::string& what,
                          const std::function<Bytes(uint32_t sheet)>& side = nullptr) {
    s.ClearSheetEvents();
    s.LoadSheets(1);
    const uint32_t sheet = s.Scanned().sheetsFed + 1;
    const Job next = RunJob(p, 0, 1, true);
    ASSERT_EQ(next.pages.size(), 1u) << what;
    ASSERT_EQ(next.pages[0].calls.size(), 1u) << what;
    EXPECT_EQ(CodesOf(next.pages[0].calls[0]), Codes{-2022}) << what;
    const Bytes expected = side ? side(sheet) : sim::SheetSide(sheet, 0, kLines, kLine);
    if (expected.empty()) {
      EXPECT_EQ(next.pages[0].data.size(), size_t(p.LineNum) * p.BytesPerLine) << what;
    } else {
      EXPECT_TRUE(next.pages[0].data == expected) << what;
    }
    EXPECT_EQ(next.stopScan, std::vector<long>{0}) << what;
    EXPECT_EQ(next.stopJob, 0) << what;
  }
};

struct Row {
  const char* what;
  sim::SheetEventKind kind;
  uint32_t extParam0;
  // The list of the call that ends the second page: a page of fixed length ends with its
  // last byte, after an error too (the rest padded).
  Codes secondPage;
  long stopSecond;                // KRStopScan of the second page
  bool jobGoesOn;                 // the third sheet is scanned
  std::vector<std::string> tail;  // see Tail()
};

const std::vector<std::string> kNormalEnd = {"RELEASE UNIT 0", "MEDIA CHECK", "RELEASE UNIT 2"};
const std::vector<std::string> kStopped = {"RELEASE UNIT 0", "RELEASE UNIT 2"};

const Row kRows[] = {
    {"jam", sim::SheetEventKind::Jam, 0, {-2013, -2022}, -2013, false, kStopped},
    {"cover open", sim::SheetEventKind::CoverOpen, 0, {-2014, -2022}, -2014, false, kStopped},
    {"misfeed", sim::SheetEventKind::Misfeed, 0, {-3211, -2022}, -3211, false, kStopped},
    {"cancel button",
     sim::SheetEventKind::HardwareCancel,
     0,
     {-2010, -2022},
     -2010,
     false,
     {"RELEASE UNIT 1", "RELEASE UNIT 2"}},
    {"multi-feed as message",
     sim::SheetEventKind::MultiFeed,
     0,
     {-3101, -2022},
     -3101,
     true,
     kNormalEnd},
    {"multi-feed as error",
     sim::SheetEventKind::MultiFeed,
     kMultiFeedAsError,
     {-3101, -2022},
     -3101,
     false,
     kStopped},
    {"multi-feed on release, message",
     sim::SheetEventKind::MultiFeedOnRelease,
     0,
     {-2022},
     -3101,
     true,
     kNormalEnd},
    {"multi-feed on release, error",
     sim::SheetEventKind::MultiFeedOnRelease,
     kMultiFeedAsError,
     {-2022},
     -3101,
     false,
     kStopped},
    {"multi-feed on media check, message",
     sim::SheetEventKind::MultiFeedOnMediaCheck,
     0,
     {-2022},
     -3101,
     true,
     kNormalEnd},
    {"skew as message",
     sim::SheetEventKind::Skew,
     kSkewAsMessage,
     {-2033, -2022},
     0,
     true,
     kNormalEnd},
    {"skew as error",
     sim::SheetEventKind::Skew,
     kSkewAsError,
     {-2033, -2022},
     -2033,
     false,
     kStopped},
    {"blank page", sim::SheetEventKind::BlankPage, 0, {-2039, -2022}, 0, true, kNormalEnd},
    // The second sheet is shorter than the page here, so the scanner's end of page comes.
    {"end of page with multi-feed, message",
     sim::SheetEventKind::MultiFeedAtEnd,
     0,
     {-3101, -2022},
     -3101,
     true,
     kNormalEnd},
    {"end of page with multi-feed, error",
     sim::SheetEventKind::MultiFeedAtEnd,
     kMultiFeedAsError,
     {-3101, -2022},
     -3101,
     false,
     kStopped},
};

}  // namespace

namespace {

// The roads a page takes from the scanner to the client.
enum class RoadKind {
  kRaw,         // grey as the scanner sends it, two-sided in duplex style 0 (READ pairs)
  kDeviceJpeg,  // grey the scanner compresses, decoded by a worker; two-sided in style 7
  kConversion,  // raw grey at 250 dpi, which the scanner lacks: scaled by a worker
};
struct Road {
  const char* name;
  const char* id;  // the test's name
  RoadKind kind;
};
void PrintTo(const Road& road, std::ostream* os) { *os << road.name; }
const Road kRoads[] = {{"raw", "Raw", RoadKind::kRaw},
                       {"device JPEG", "DeviceJpeg", RoadKind::kDeviceJpeg},
                       {"conversion", "Conversion", RoadKind::kConversion}};

SCANPARAMETER_UNION RoadPage(RoadKind kind, uint32_t method, uint32_t ctrl) {
  SCANPARAMETER_UNION p =
      kind == RoadKind::kConversion ? GreyPageAt(250, kLine, kLines) : RawGreyPage(kLines);
  p.ScanMethod = method;
  p.CtrlMode = ctrl;
  return p;
}

sim::Config RoadConfig(RoadKind kind, uint32_t sheets) {
  sim::Config config;
  config.profile =
      kind == RoadKind::kDeviceJpeg ? sim::ImageProfile::DeviceJpeg : sim::ImageProfile::Raw;
  config.duplexStyle = kind == RoadKind::kDeviceJpeg ? 7 : 0;
  config.sheets = sheets;
  return config;
}

// Bytes of a sheet's front as the scanner sends it on the road, under the device parameters
// of the job that scanned it.
size_t ScannerSideBytes(sim::SimScanner& s, const SCANPARAMETER_UNION& dev, RoadKind kind,
                        uint32_t sheet) {
  const Bytes raw = sim::SheetSide(sheet, 0, dev.LineNum, dev.BytesPerLine);
  if (kind != RoadKind::kDeviceJpeg) return raw.size();
  Bytes tables;
  for (const sim::ScanRecord::Block& b : s.Scanned().jobBlocks)
    if (b.dataType == kDataJpegTables) tables.assign(b.bytes.begin() + 4, b.bytes.end());
  if (tables.size() < 128) return 0;
  return sim::DeviceJpegScanData(
             sim::DeviceJpegFile(raw, dev.PixelNum, dev.LineNum, 1, 4, &tables[0], &tables[64]))
      .size();
}

// READs of image data in the command log: a job of one sheet on a scanner of its own gives
// those a sheet of its page takes (the read unit decides).
size_t ReadsPerSheet(const std::vector<sim::Exchange>& log) {
  return size_t(std::count_if(log.begin(), log.end(),
                              [](const sim::Exchange& e) { return e.command == "READ 0x0000"; }));
}

}  // namespace

// A road, and the scan method (1 one-sided, 4 two-sided).
class EveryCondition : public Conditions,
                       public ::testing::WithParamInterface<std::tuple<Road, uint32_t>> {};

// Every condition on the road, one-sided or two-sided, in page and batch mode: the condition
// comes on the second sheet's front, a READ into it. Two-sided, the sheet's front is the third
// page and its rear the fourth; a condition that only reports leaves the rear whole. The pages
// of the untouched sheets, and the page whose condition only reports, equal those of a job
// without conditions on the same road (the raw road's equal the scanner's sides).
TEST_P(EveryCondition, OnTheRoadInPageAndBatchMode) {
  const Road road = std::get<0>(GetParam());
  const uint32_t method = std::get<1>(GetParam());
  const bool duplex = method == 4;
  const size_t sides = duplex ? 2 : 1;
  // The road's pages of four sheets without a condition, two-sided and one-sided (what a next
  // job scans); the size of the scanner's second front places the conditions, the READs of a
  // sheet the hold points of the cancels.
  sim::SimScanner& clean = OpenAlone(RoadConfig(road.kind, 4));
  const Job reference = RunJob(RoadPage(road.kind, method, kCtrlFixed), 0);
  ASSERT_EQ(reference.pages.size(), 4 * sides) << road.name;
  // The road's chain: a decoder for the device's JPEG, a conversion (the scanner scans at
  // another resolution than the client's), or neither.
  SCANPARAMETER_UNION dev;
  Item()->pScanner->GetNewScanParameter(&dev);
  EXPECT_EQ((TopologyMask(Item()) & kTopologyRawFromJpeg) != 0, road.kind == RoadKind::kDeviceJpeg);
  EXPECT_EQ(dev.XRes != RoadPage(road.kind, method, 0).XRes, road.kind == RoadKind::kConversion);
  const size_t frontBytes = ScannerSideBytes(clean, dev, road.kind, 2);
  const auto expected = [&](uint32_t sheet, uint32_t side) -> const Bytes& {
    return reference.pages.at((sheet - 1) * sides + side).data;
  };
  const size_t reads = ReadsPerSheet(clean.CommandLog());
  ASSERT_EQ(reads % 4, 0u) << road.name;
  const uint32_t perSheet = uint32_t(reads / 4);
  OpenAlone(RoadConfig(road.kind, 4));
  const Job simplex = RunJob(RoadPage(road.kind, 1, kCtrlFixed), 0);
  ASSERT_EQ(simplex.pages.size(), 4u) << road.name;
  const auto oneSided = [&](uint32_t sheet) { return simplex.pages.at(sheet - 1).data; };
  if (road.kind == RoadKind::kRaw) {
    EXPECT_TRUE(expected(1, 0) == sim::SheetSide(1, 0, kLines, kLine));
  }
  // The raw sides are read in several READs; a JPEG side is smaller: halfway into it.
  const uint32_t offset = road.kind == RoadKind::kDeviceJpeg ? uint32_t(frontBytes / 2) : 100000;
  ASSERT_LT(offset, frontBytes);
  for (const Row& row : kRows) {
    // The conditions that leave the sheet's data as it was: the page arrives whole.
    const bool whole = row.jobGoesOn && row.kind != sim::SheetEventKind::BlankPage &&
                       row.kind != sim::SheetEventKind::MultiFeedAtEnd;
    for (const uint32_t ctrl : {kCtrlFixed | kCtrlPage, kCtrlFixed}) {
      // A blank front in style 0 ends both sides' READs at once: no road of its own.
      if (duplex && road.kind != RoadKind::kDeviceJpeg &&
          row.kind == sim::SheetEventKind::BlankPage)
        continue;
      const std::string what = std::string(road.name) + ", " + row.what +
                               (duplex ? ", duplex" : ", simplex") +
                               ((ctrl & kCtrlPage) != 0 ? ", page mode" : ", batch mode");
      sim::Config config = RoadConfig(road.kind, 3);
      config.sheetEvents = {{row.kind, 2, 0, offset, 0}};
      if (row.kind == sim::SheetEventKind::MultiFeedAtEnd) config.sheetLengths = {0, kLines / 2};
      sim::SimScanner& s = OpenAlone(config);
      const size_t threads = ThreadCount();
      SCANPARAMETER_UNION p = RoadPage(road.kind, method, ctrl);
      p.ExtParam0 = row.extParam0;
      const Job out = RunJob(p, 0, 8, true);
      const size_t hit = sides;  // the second sheet's first page
      ASSERT_GT(out.pages.size(), hit) << what;
      // The first sheet is untouched.
      for (size_t i = 0; i < sides; ++i) {
        EXPECT_TRUE(out.pages[i].data == expected(1, uint32_t(i))) << what;
        EXPECT_EQ(out.stopScan[i], 0) << what;
      }
      ASSERT_FALSE(out.pages[hit].calls.empty()) << what;
      EXPECT_EQ(CodesOf(out.pages[hit].calls.back()), row.secondPage) << what;
      // No call of that page but its last carries a code.
      for (size_t i = 0; i + 1 < out.pages[hit].calls.size(); ++i)
        EXPECT_EQ(CodesOf(out.pages[hit].calls[i]), Codes{}) << what;
      if (whole) {
        EXPECT_TRUE(out.pages[hit].data == expected(2, 0)) << what;
      }
      ASSERT_GT(out.stopScan.size(), hit) << what;
      EXPECT_EQ(out.stopScan[hit], row.stopSecond) << what;
      if (row.jobGoesOn) {
        ASSERT_EQ(out.pages.size(), 3 * sides) << what;
        if (duplex && row.kind != sim::SheetEventKind::MultiFeedAtEnd) {
          EXPECT_TRUE(out.pages[hit + 1].data == expected(2, 1)) << what;
        }
        if (duplex) {
          EXPECT_EQ(out.stopScan[hit + 1], 0) << what;
        }
        for (size_t i = 0; i < sides; ++i) {
          EXPECT_TRUE(out.pages[2 * sides + i].data == expected(3, uint32_t(i))) << what;
          EXPECT_EQ(out.stopScan[2 * sides + i], 0) << what;
        }
      } else {
        EXPECT_EQ(out.stopScan.size(), hit + 1) << what;
      }
      EXPECT_EQ(out.stopJob, 0) << what;
      EXPECT_EQ(Tail(s), row.tail) << what;
      EXPECT_EQ(Item()->bJobRunning, 0) << what;
      EXPECT_EQ(ThreadCount(), threads) << what;
      ExpectCleanNextJob(s, RoadPage(road.kind, 1, kCtrlFixed | kCtrlPage), what,
                         [&](uint32_t sheet) { return oneSided(sheet); });
      EXPECT_EQ(ThreadCount(), threads) << what;
    }
  }
  // The client's cancel on the second sheet: KRStopScan with cancel while the scanner holds
  // the sheet's first READ (page and batch mode), or the callback's answer on the sheet's
  // first page while a feeding scanner holds the third sheet's first READ (batch mode: in
  // page mode the answer races the IO thread's end of the page, which the cancel test shows).
  for (const bool byCallback : {false, true}) {
    for (const uint32_t ctrl : {kCtrlFixed | kCtrlPage, kCtrlFixed}) {
      const bool pageMode = (ctrl & kCtrlPage) != 0;
      if (byCallback && pageMode) continue;
      const std::string what = std::string(road.name) +
                               (byCallback ? ", the callback cancels" : ", KRStopScan cancels") +
                               (duplex ? ", duplex" : ", simplex") +
                               (pageMode ? ", page mode" : ", batch mode");
      sim::SimScanner& s = OpenAlone(RoadConfig(road.kind, 3));
      s.InjectFault(HoldRead(byCallback ? 2 * perSheet : perSheet));
      const size_t threads = ThreadCount();
      Receiver receiver;
      ASSERT_EQ(KRStartJob(kCtrl, &handle), 0) << what;
      ASSERT_EQ(SetParameter(RoadPage(road.kind, method, ctrl)), 0) << what;
      for (size_t i = 0; i < sides; ++i) ASSERT_NO_FATAL_FAILURE(ScanAPage(receiver, what));
      receiver.NextPage();
      std::atomic<bool> heldBeforeCancel{false};
      if (byCallback) {
        receiver.AnswerAfter(1, 2);
        receiver.inside = [&] { heldBeforeCancel = s.WaitHeld(30000); };
      }
      ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 0), 0) << what;
      long stop = 0;
      if (byCallback) {
        ASSERT_TRUE(receiver.WaitForPageEnd()) << what;
        while (!Item()->bCancel) std::this_thread::yield();
        ASSERT_TRUE(heldBeforeCancel) << what;
        s.ReleaseHeld();
        stop = KRStopScan(kCtrl, &handle, 0);
      } else {
        ASSERT_TRUE(s.WaitHeld(30000)) << what;
        stop = KRStopScan(kCtrl, &handle, 1);
      }
      EXPECT_EQ(stop, -2010) << what;
      EXPECT_EQ(KRStopJob(kCtrl, &handle), 0) << what;
      const std::vector<Receiver::Page> pages = receiver.Pages();
      ASSERT_EQ(pages.size(), sides + 1) << what;
      for (size_t i = 0; i < sides; ++i) {
        EXPECT_TRUE(pages[i].data == expected(1, uint32_t(i))) << what;
      }
      if (byCallback) {
        // The page the client cancelled had come whole.
        EXPECT_TRUE(pages[sides].data == expected(2, 0)) << what;
      } else if (!pages[sides].calls.empty()) {
        EXPECT_EQ(CodesOf(pages[sides].calls.back()).at(0), -2010) << what;
      }
      EXPECT_EQ(Tail(s), (std::vector<std::string>{"RELEASE UNIT 1", "RELEASE UNIT 2"})) << what;
      EXPECT_EQ(Item()->bJobRunning, 0) << what;
      EXPECT_EQ(ThreadCount(), threads) << what;
      ExpectCleanNextJob(s, RoadPage(road.kind, 1, kCtrlFixed | kCtrlPage), what,
                         [&](uint32_t sheet) { return oneSided(sheet); });
      EXPECT_EQ(ThreadCount(), threads) << what;
    }
  }
}

// A scanner that stops answering in a page's READ: the READ ends at the transport's time-out
// (made short here), the page ends with the error and so does KRStopScan; the scanner is let
// go in step and the next job scans. Every transfer had a time-out.
TEST_F(Conditions, ASilentScannerEndsThePageAtItsTimeOut) {
  constexpr uint32_t kShortTimeoutMs = 100;
  struct ShortTimeout {
    ShortTimeout() { CUsbIO::SetBaseTimeout(kShortTimeoutMs); }
    ~ShortTimeout() { CUsbIO::SetBaseTimeout(0); }
  } shortTimeout;
  sim::SimScanner& s = OpenAlone(RoadConfig(RoadKind::kRaw, 2));
  s.InjectFault(SilentRead(0));
  const size_t threads = ThreadCount();
  SCANPARAMETER_UNION p = RoadPage(RoadKind::kRaw, 1, kCtrlFixed | kCtrlPage);
  Receiver receiver;
  ASSERT_EQ(KRStartJob(kCtrl, &handle), 0);
  ASSERT_EQ(SetParameter(p), 0);
  receiver.NextPage();
  ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 0), 0);
  ASSERT_TRUE(receiver.WaitForPageEnd());
  const long stop = KRStopScan(kCtrl, &handle, 0);
  EXPECT_NE(stop, 0);
  EXPECT_EQ(KRStopJob(kCtrl, &handle), 0);
  const std::vector<Receiver::Page> pages = receiver.Pages();
  ASSERT_EQ(pages.size(), 1u);
  ASSERT_FALSE(pages[0].calls.empty());
  EXPECT_EQ(CodesOf(pages[0].calls.back()).at(0), stop);
  const std::vector<uint32_t> timeouts = s.TransferTimeouts();
  EXPECT_EQ(std::count(timeouts.begin(), timeouts.end(), 0u), 0);
  EXPECT_EQ(s.ProtocolErrors(), 0u);
  EXPECT_EQ(Item()->bJobRunning, 0);
  EXPECT_EQ(ThreadCount(), threads);
  ExpectCleanNextJob(s, p, "after the silent READ");
}

// The client's cancel breaks a READ off in its data phase (the scanner took the READ and sends
// nothing yet): the transport takes what is left of that exchange before the job's end sends
// its next command, so the scanner meets no command on an open exchange, and the next job scans.
TEST_F(Conditions, ACancelInAReadsDataPhaseKeepsTheTransportInStep) {
  for (const uint32_t ctrl : {kCtrlFixed | kCtrlPage, kCtrlFixed}) {
    const std::string what = (ctrl & kCtrlPage) != 0 ? "page mode" : "batch mode";
    sim::SimScanner& s = OpenAlone(RoadConfig(RoadKind::kRaw, 2));
    s.InjectFault(SilentRead(0));
    const size_t threads = ThreadCount();
    Receiver receiver;
    ASSERT_EQ(KRStartJob(kCtrl, &handle), 0) << what;
    ASSERT_EQ(SetParameter(RoadPage(RoadKind::kRaw, 1, ctrl)), 0) << what;
    receiver.NextPage();
    ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 0), 0) << what;
    ASSERT_TRUE(s.WaitSilent(30000)) << what;
    EXPECT_EQ(KRStopScan(kCtrl, &handle, 1), -2010) << what;
    EXPECT_EQ(KRStopJob(kCtrl, &handle), 0) << what;
    EXPECT_EQ(s.ProtocolErrors(), 0u) << what;
    EXPECT_EQ(Tail(s), (std::vector<std::string>{"RELEASE UNIT 1", "RELEASE UNIT 2"})) << what;
    EXPECT_EQ(Item()->bJobRunning, 0) << what;
    EXPECT_EQ(ThreadCount(), threads) << what;
    ExpectCleanNextJob(s, RoadPage(RoadKind::kRaw, 1, kCtrlFixed | kCtrlPage), what);
    EXPECT_EQ(s.ProtocolErrors(), 0u) << what;
  }
}

INSTANTIATE_TEST_SUITE_P(Roads, EveryCondition,
                         ::testing::Combine(::testing::ValuesIn(kRoads), ::testing::Values(1u, 4u)),
                         [](const ::testing::TestParamInfo<std::tuple<Road, uint32_t>>& info) {
                           return std::string(std::get<0>(info.param).id) +
                                  (std::get<1>(info.param) == 4 ? "TwoSided" : "OneSided");
                         });

// The client cancels at each point of the second page: held before its first block or in the
// middle of it (KRStopScan with 1, which breaks the held READ off), at its end (the callback
// answers 2), and between the second and third sheet. Every way ends the job, lets the device
// go with the cancel's control value and no MEDIA CHECK after it, joins every thread, and the
// next job scans cleanly.
TEST_F(Conditions, CancelAtEveryPointOfAPageInPageAndBatchMode) {
  enum Point { kBeforeFirstBlock, kMidPage, kEndOfPage, kBetweenSheets };
  const char* const names[] = {"before the first block", "mid-page", "at the end of the page",
                               "between sheets"};
  SCANPARAMETER_UNION p = RawGreyPage(kLines);
  for (const Point point : {kBeforeFirstBlock, kMidPage, kEndOfPage, kBetweenSheets}) {
    for (const uint32_t ctrl : {kCtrlFixed | kCtrlPage, kCtrlFixed}) {
      const bool pageMode = (ctrl & kCtrlPage) != 0;
      const std::string what =
          std::string(names[point]) + (pageMode ? ", page mode" : ", batch mode");
      sim::SimScanner& probe = OpenRaw(1);
      p.CtrlMode = ctrl;
      RunJob(p, 0);
      const uint32_t perSheet = uint32_t(ReadsPerSheet(probe.CommandLog()));
      ASSERT_GE(perSheet, 2u) << what;

      sim::SimScanner& s = OpenRaw(3);
      const size_t threads = ThreadCount();
      // The READ the scanner holds: the second sheet's first or second, or the third sheet's
      // first (so that a scanner feeding ahead waits there).
      const uint32_t held = point == kBeforeFirstBlock ? perSheet
                            : point == kMidPage        ? perSheet + 1
                                                       : 2 * perSheet;
      const bool holds = point != kEndOfPage || !pageMode;
      if (holds && !(point == kBetweenSheets && pageMode)) s.InjectFault(HoldRead(held));
      Receiver receiver;
      ASSERT_EQ(KRStartJob(kCtrl, &handle), 0) << what;
      ASSERT_EQ(SetParameter(p), 0) << what;
      ASSERT_NO_FATAL_FAILURE(ScanAPage(receiver, what));
      receiver.NextPage();
      std::atomic<bool> heldBeforeCancel{false};
      if (point == kEndOfPage) {
        receiver.AnswerAfter(1, 2);
        // A feeding scanner reaches the third sheet before the callback answers the cancel:
        // otherwise the IO thread may see the cancel first and never read there.
        if (!pageMode) receiver.inside = [&] { heldBeforeCancel = s.WaitHeld(30000); };
      }
      ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 0), 0) << what;
      long stop = 0;
      switch (point) {
        case kBeforeFirstBlock:
        case kMidPage:
          ASSERT_TRUE(s.WaitHeld(30000)) << what;
          stop = KRStopScan(kCtrl, &handle, 1);
          break;
        case kEndOfPage:
          ASSERT_TRUE(receiver.WaitForPageEnd()) << what;
          if (!pageMode) {
            // The cancel is the reader's, after the callback's answer: wait for it to land,
            // then let the scanner, held at the third sheet, go on.
            while (!Item()->bCancel) std::this_thread::yield();
            ASSERT_TRUE(heldBeforeCancel) << what;
            s.ReleaseHeld();
          }
          stop = KRStopScan(kCtrl, &handle, 0);
          break;
        case kBetweenSheets:
          ASSERT_TRUE(receiver.WaitForPageEnd()) << what;
          ASSERT_EQ(KRStopScan(kCtrl, &handle, 0), 0) << what;
          if (!pageMode) {
            ASSERT_TRUE(s.WaitHeld(30000)) << what;
          }
          stop = KRStopScan(kCtrl, &handle, 1);
          break;
      }
      // A page the cancel cut, a sheet a feeding scanner was in, or a page the callback
      // cancelled reports the cancel. At the end of a page in page mode the callback's cancel
      // may land before or after the IO thread ended the page: the page is whole either way,
      // and the device is let go accordingly.
      const bool cut =
          point == kBeforeFirstBlock || point == kMidPage || point == kEndOfPage || !pageMode;
      EXPECT_EQ(stop, cut ? -2010 : 0) << what;
      EXPECT_EQ(KRStopJob(kCtrl, &handle), 0) << what;
      EXPECT_EQ(Item()->bJobRunning, 0) << what;
      EXPECT_EQ(ThreadCount(), threads) << what;
      const std::vector<Receiver::Page> pages = receiver.Pages();
      ASSERT_EQ(pages.size(), 2u) << what;
      EXPECT_TRUE(pages[0].data == sim::SheetSide(1, 0, kLines, kLine)) << what;
      const std::vector<std::string> tail = Tail(s);
      if (point == kBeforeFirstBlock || point == kMidPage) {
        // The second page ends with the cancel (when the reader was still there to take it)
        // and the device lets the sheet go as cancelled.
        if (!pages[1].calls.empty()) {
          EXPECT_EQ(CodesOf(pages[1].calls.back()).at(0), -2010) << what;
        }
        EXPECT_EQ(tail, (std::vector<std::string>{"RELEASE UNIT 1", "RELEASE UNIT 2"})) << what;
      } else {
        EXPECT_TRUE(pages[1].data == sim::SheetSide(2, 0, kLines, kLine)) << what;
        // Between sheets in page mode the scanner had stopped; a batch scanner was let go in the
        // third sheet as cancelled.
        const std::vector<std::string> cancelled = {"RELEASE UNIT 1", "RELEASE UNIT 2"};
        if (point == kEndOfPage && pageMode) {
          EXPECT_TRUE(tail == kNormalEnd || tail == cancelled) << what;
        } else {
          EXPECT_EQ(tail, pageMode ? kNormalEnd : cancelled) << what;
        }
      }
      ExpectCleanNextJob(s, RawGreyPage(kLines), what);
      EXPECT_EQ(ThreadCount(), threads) << what;
    }
  }
}

namespace {

// What a job start meets: a condition of the scanner, or a failure of the host made by a hook.
struct StartFailure {
  const char* what;
  uint32_t method;
  std::function<void(sim::Config&)> scanner;  // the scanner's side
  enum Host { kNone, kFrontPipe, kRearPipe, kIoThread, kAllocation } host;
  long status;      // KRStartScan's result
  bool windowSent;  // the failure came after SET WINDOW
  RoadKind road = RoadKind::kRaw;
  const char* allocation = nullptr;  // kAllocation: the buffers whose names hold this fail
};

std::atomic<const char*> gFailAllocation{nullptr};
bool FailingAllocation(const char* what) {
  const char* name = gFailAllocation;
  return name == nullptr || std::strstr(what, name) == nullptr;
}

std::atomic<CScannerManagerScannerItem*> gFailPipesOf{nullptr};
std::atomic<bool> gFailRearPipeOnly{false};
void* FailingBlock(size_t bytes) {
  CScannerManagerScannerItem* item = gFailPipesOf;
  if (item != nullptr && (!gFailRearPipeOnly || item->Pipes[kPipeIoFront] != nullptr))
    return nullptr;
  return std::malloc(bytes);
}
const ExtPipeSystem kFailingPipes = {FailingBlock, nullptr, nullptr, nullptr};

sim::Fault CheckCondition(int opcode, int dataType, uint8_t key, uint16_t code) {
  sim::Fault f;
  f.opcode = opcode;
  f.dataType = dataType;
  f.senseKey = key;
  f.asc = uint8_t(code >> 8);
  f.ascq = uint8_t(code);
  return f;
}

}  // namespace

// A job start that fails at any of its steps: KRStartScan reports the step's status, no thread
// and no pipe is left, the device is released (RELEASE UNIT 2), and the next job scans cleanly.
TEST_F(Conditions, AJobStartFailingAtEachStepLeavesNothingBehind) {
  using F = StartFailure;
  const StartFailure cases[] = {
      {"scanner busy at the reserve", 1,
       [](sim::Config& c) { c.reserve = sim::ReserveAnswer::Busy; }, F::kNone, -2001, false},
      {"scanner reserved for another host", 1,
       [](sim::Config& c) { c.reserve = sim::ReserveAnswer::Locked; }, F::kNone, -2008, false},
      {"cover open at the media check", 1,
       [](sim::Config& c) { c.faults = {CheckCondition(0xE8, -1, 2, 0x8002)}; }, F::kNone, -2014,
       false},
      {"window refused", 1,
       [](sim::Config& c) { c.faults = {CheckCondition(0xE4, -1, 5, 0x2600)}; }, F::kNone, -2005,
       true},
      {"duplex transfer mode unreadable", 4,
       [](sim::Config& c) { c.faults = {CheckCondition(0xA8, 0xB2, 5, 0x2600)}; }, F::kNone, -2005,
       true},
      {"no memory for the first pipe", 1, nullptr, F::kFrontPipe, -2006, true},
      {"no memory for the rear pipe", 4, nullptr, F::kRearPipe, -2006, true},
      {"the IO thread cannot start", 1, nullptr, F::kIoThread, -2023, true},
      {"no memory for the work buffer", 4, nullptr, F::kAllocation, -2006, true, RoadKind::kRaw,
       "work buffer"},
      {"no memory for the client buffer, whole or reduced", 1, nullptr, F::kAllocation, -2006, true,
       RoadKind::kRaw, "client buffer"},
      {"no memory for the conversion pipeline", 1, nullptr, F::kAllocation, -2006, true,
       RoadKind::kConversion, "pipeline"},
      {"no memory for the JPEG decoder's buffer", 4, nullptr, F::kAllocation, -2006, true,
       RoadKind::kDeviceJpeg, "JPEG decode buffer"},
  };
  for (const StartFailure& c : cases) {
    sim::Config config = RoadConfig(c.road, 2);
    if (c.scanner) c.scanner(config);
    sim::SimScanner& s = OpenAlone(config);
    const size_t threads = ThreadCount();
    const SCANPARAMETER_UNION p = RoadPage(c.road, c.method, kCtrlFixed | kCtrlPage);
    ASSERT_EQ(KRStartJob(kCtrl, &handle), 0) << c.what;
    ASSERT_EQ(SetParameter(p), 0) << c.what;
    if (c.host == F::kFrontPipe || c.host == F::kRearPipe) {
      gFailRearPipeOnly = c.host == F::kRearPipe;
      gFailPipesOf = Item();
      SetExtPipeSystem(&kFailingPipes);
    }
    std::optional<ThreadCreationLimit> limit;
    if (c.host == F::kIoThread) limit.emplace(0);
    if (c.host == F::kAllocation) {
      gFailAllocation = c.allocation;
      SetJobStartAllocationHook(FailingAllocation);
    }
    Receiver receiver;
    const long start = KRStartScan(kCtrl, &handle, Receiver::Callback, 0);
    limit.reset();
    gFailPipesOf = nullptr;
    SetExtPipeSystem(nullptr);
    SetJobStartAllocationHook(nullptr);
    gFailAllocation = nullptr;
    EXPECT_EQ(start, c.status) << c.what;
    EXPECT_EQ(ThreadCount(), threads) << c.what;
    for (CExtPipe* pipe : Item()->JobPipes) EXPECT_EQ(pipe, nullptr) << c.what;
    for (CExtPipe* pipe : Item()->Pipes) EXPECT_EQ(pipe, nullptr) << c.what;
    EXPECT_EQ(Item()->pWorkBuffer, nullptr) << c.what;
    EXPECT_EQ(Item()->pClientBuffer, nullptr) << c.what;
    EXPECT_EQ(Item()->pJpegDecodeBuffer, nullptr) << c.what;
    EXPECT_EQ(Item()->pFrontPipeline, nullptr) << c.what;
    EXPECT_EQ(Item()->bJobRunning, 0) << c.what;
    const sim::ScanRecord record = s.Scanned();
    ASSERT_FALSE(record.releaseArguments.empty()) << c.what;
    EXPECT_EQ(record.releaseArguments.back(), 2) << c.what;
    EXPECT_EQ(record.sheetsFed, 0u) << c.what;
    const std::vector<std::string> names = devicefix::Names(s);
    EXPECT_EQ(std::count(names.begin(), names.end(), "SET WINDOW") != 0, c.windowSent) << c.what;
    EXPECT_EQ(KRStopJob(kCtrl, &handle), 0) << c.what;
    EXPECT_TRUE(receiver.Pages().empty()) << c.what;
    s.ClearFaults();
    // Off the raw road the next page is checked by its size.
    ExpectCleanNextJob(s, RoadPage(c.road, 1, kCtrlFixed | kCtrlPage), c.what, [&](uint32_t sheet) {
      return c.road == RoadKind::kRaw ? sim::SheetSide(sheet, 0, kLines, kLine) : Bytes{};
    });
    EXPECT_EQ(ThreadCount(), threads) << c.what;
  }
}

// The whole page's client buffer cannot be had: the job goes on with a buffer of the read unit,
// the client takes the page in several calls, and the page arrives whole.
TEST_F(Conditions, AClientBufferTooLargeForMemoryGivesThePageInBlocks) {
  sim::SimScanner& s = OpenRaw(1);
  const size_t threads = ThreadCount();
  SCANPARAMETER_UNION p = RawGreyPage(kLines);
  p.CtrlMode = kCtrlFixed | kCtrlPage;
  gFailAllocation = "whole client buffer";
  SetJobStartAllocationHook(FailingAllocation);
  const Job job = RunJob(p, 0, 1, true);
  SetJobStartAllocationHook(nullptr);
  gFailAllocation = nullptr;
  ASSERT_EQ(job.pages.size(), 1u);
  EXPECT_TRUE(job.pages[0].data == sim::SheetSide(1, 0, kLines, kLine));
  EXPECT_GT(job.pages[0].calls.size(), 1u);
  EXPECT_EQ(CodesOf(job.pages[0].calls.back()), Codes{-2022});
  EXPECT_EQ(job.stopScan, std::vector<long>{0});
  EXPECT_EQ(job.stopJob, 0);
  EXPECT_EQ(ThreadCount(), threads);
  EXPECT_EQ(s.Scanned().releaseArguments.back(), 2);
}

// The IO thread's own job start (offsets, calibration, gamma) fails after KRStartScan returned:
// the first page reports the device's status, the job ends, and the device is released.
TEST_F(Conditions, AFailureInTheIoThreadsJobStartReachesTheFirstPage) {
  sim::Config config;
  config.faults = {CheckCondition(0xAA, 0x95, 5, 0x2600)};  // the offsets block is refused
  sim::SimScanner& s = OpenRaw(2, config);
  const size_t threads = ThreadCount();
  SCANPARAMETER_UNION p = RawGreyPage(kLines);
  p.CtrlMode = kCtrlFixed | kCtrlPage;
  const Job out = RunJob(p, 0, 16, true);
  ASSERT_EQ(out.pages.size(), 1u);
  ASSERT_FALSE(out.pages[0].calls.empty());
  EXPECT_EQ(CodesOf(out.pages[0].calls.back()).at(0), -2005);
  EXPECT_EQ(out.stopScan, std::vector<long>{-2005});
  EXPECT_EQ(out.stopJob, 0);
  EXPECT_EQ(ThreadCount(), threads);
  EXPECT_EQ(s.Scanned().releaseArguments.back(), 2);
  EXPECT_EQ(s.Scanned().sheetsFed, 0u);
  s.ClearFaults();
  ExpectCleanNextJob(s, p, "after the IO thread's failure");
}

// The reader thread of a page cannot start: KRStartScan says so (-2023) and leaves the job
// running; the client's KRStopJob ends it cleanly, reporting the cancel of the page the scanner
// was reading (held at its first READ here, so the cancel always finds it there).
TEST_F(Conditions, AReaderThatCannotStartLeavesTheJobToKRStopJob) {
  sim::SimScanner& s = OpenRaw(2);
  s.InjectFault(HoldRead(0));
  const size_t threads = ThreadCount();
  SCANPARAMETER_UNION p = RawGreyPage(kLines);
  p.CtrlMode = kCtrlFixed | kCtrlPage;
  ASSERT_EQ(KRStartJob(kCtrl, &handle), 0);
  ASSERT_EQ(SetParameter(p), 0);
  std::optional<ThreadCreationLimit> limit(1);  // the IO thread, not the reader
  const long start = KRStartScan(kCtrl, &handle, Receiver::Callback, 0);
  limit.reset();
  EXPECT_EQ(start, -2023);
  EXPECT_EQ(Item()->bJobRunning, 1);
  ASSERT_TRUE(s.WaitHeld(30000));
  EXPECT_EQ(KRStopJob(kCtrl, &handle), -2010);
  EXPECT_EQ(Item()->bJobRunning, 0);
  EXPECT_EQ(ThreadCount(), threads);
  EXPECT_EQ(s.Scanned().releaseArguments.back(), 2);
  ExpectCleanNextJob(s, RawGreyPage(kLines), "after the reader's failure");
}

namespace {

// A model whose duplex multi-feed style reports a front's multi-feed with the rear page (no
// model of the device table has one).
class DuplexMultiFeedModel : public CScanner {
 public:
  DuplexMultiFeedModel(const ModelTraits& traits, const Device_Features* features, uint32_t style)
      : CScanner(traits, features) {
    m_duplexMultiFeedStyle = style;
  }
};

}  // namespace

// Duplex multi-feed forwarding (style 0 READ pairs): style 1 moves a multi-feed message from
// the front page to the rear page, style 2 reports it on both, and style 1 turns a multi-feed
// that stops the scanner into the rear page's error, the front page arriving as it was read.
// The rear page delivers the front's bytes up to the multi-feed clean and lists the code with
// the rest.
TEST_F(Conditions, DuplexMultiFeedIsForwardedToTheRearPage) {
  struct Case {
    const char* what;
    uint32_t style;
    uint32_t extParam0;
    Codes front, rear;
    long stopFront, stopRear;
    bool jobGoesOn;
  };
  const Case cases[] = {
      {"message, style 1", 1, 0, {-2022}, {-3101, -2022}, 0, -3101, true},
      {"message, style 2", 2, 0, {-3101, -2022}, {-3101, -2022}, -3101, -3101, true},
      {"error, style 1", 1, kMultiFeedAsError, {-2022}, {-3101, -2022}, 0, -3101, false},
  };
  for (const Case& c : cases) {
    for (const uint32_t ctrl : {kCtrlFixed | kCtrlPage, kCtrlFixed}) {
      const std::string what = std::string(c.what) + ((ctrl & kCtrlPage) ? ", page" : ", batch");
      sim::Config config;
      config.duplexStyle = 0;
      // A message comes in the first READ pair (the rest of the front follows it); a multi-feed
      // that stops the scanner in the second, so the first pair is the rear's clean part.
      const uint32_t at = c.extParam0 == 0 ? 10000 : 100000;
      config.sheetEvents = {{sim::SheetEventKind::MultiFeed, 1, 0, at, 0}};
      sim::SimScanner& s = OpenRaw(2, config);
      UseModel<DuplexMultiFeedModel>(SupportedFeaturesWithout(kFeatureNone), c.style);
      const size_t threads = ThreadCount();
      SCANPARAMETER_UNION p = RawGreyPage(kLines);
      p.ScanMethod = 4;
      p.CtrlMode = ctrl;
      p.ExtParam0 = c.extParam0;
      const Job job = RunJob(p, 0, 8, true);
      ASSERT_GE(job.pages.size(), 2u) << what;
      ASSERT_FALSE(job.pages[0].calls.empty()) << what;
      ASSERT_FALSE(job.pages[1].calls.empty()) << what;
      // No call of the front lists the code unless the style keeps it there.
      bool frontListed = false;
      for (const Receiver::Call& call : job.pages[0].calls)
        for (int64_t code : CodesOf(call)) frontListed |= code == -3101;
      EXPECT_EQ(frontListed, c.stopFront != 0) << what;
      EXPECT_EQ(CodesOf(job.pages[0].calls.back()).back(), -2022) << what;
      EXPECT_EQ(job.stopScan[0], c.stopFront) << what;
      // The rear, one call: the front's bytes up to the multi-feed clean, then the code (the
      // scanner that stopped brought no more).
      EXPECT_EQ(CodesOf(job.pages[1].calls.back()), (Codes{-3101, -2022})) << what;
      const size_t clean = Item()->dwReadUnit;  // the first READ pair's
      ASSERT_TRUE(clean > 0 && clean < kLines * kLine) << what;
      const Bytes rear = sim::SheetSide(1, 1, kLines, kLine);
      ASSERT_GE(job.pages[1].data.size(), clean) << what;
      EXPECT_TRUE(std::equal(rear.begin(), rear.begin() + long(clean), job.pages[1].data.begin()))
          << what;
      EXPECT_EQ(job.stopScan[1], c.stopRear) << what;
      EXPECT_EQ(job.pages.size(), c.jobGoesOn ? 4u : 2u) << what;
      EXPECT_EQ(job.stopJob, 0) << what;
      EXPECT_EQ(Item()->bJobRunning, 0) << what;
      EXPECT_EQ(ThreadCount(), threads) << what;
      ExpectCleanNextJob(s, RawGreyPage(kLines), what);
    }
  }
}

// A model with the multi-feed forward (feature 34, in no model of the device table): the IO
// thread keeps a multi-feed for the page's end packet instead of the data. Taken as a message,
// the page arrives whole with its end alone in the list and KRStopScan reports the multi-feed;
// otherwise the READ that met it ends the page as an end of page and the job stops with it.
TEST_F(Conditions, TheMultiFeedForwardOfAModelThatHasIt) {
  struct Case {
    const char* what;
    uint32_t extParam0;
    bool jobGoesOn;
  };
  for (const Case& c : {Case{"message", 0, true}, Case{"error", kMultiFeedAsError, false}}) {
    sim::Config config;
    config.sheetEvents = {{sim::SheetEventKind::MultiFeed, 1, 0, 100000, 0}};
    sim::SimScanner& s = OpenRaw(2, config);
    std::vector<Device_Features> features = SupportedFeaturesWithout(kFeatureNone);
    features.push_back(kFeatureMultiFeedForward);
    UseFeatures(features);
    const size_t threads = ThreadCount();
    SCANPARAMETER_UNION p = RawGreyPage(kLines);
    p.CtrlMode = kCtrlFixed | kCtrlPage;
    p.ExtParam0 = c.extParam0;
    const Job job = RunJob(p, 0, 8, true);
    ASSERT_FALSE(job.pages.empty()) << c.what;
    ASSERT_FALSE(job.pages[0].calls.empty()) << c.what;
    EXPECT_EQ(CodesOf(job.pages[0].calls.back()), Codes{-2022}) << c.what;
    if (c.jobGoesOn) {
      EXPECT_TRUE(job.pages[0].data == sim::SheetSide(1, 0, kLines, kLine)) << c.what;
    }
    EXPECT_EQ(job.stopScan.at(0), -3101) << c.what;
    EXPECT_EQ(job.pages.size(), c.jobGoesOn ? 2u : 1u) << c.what;
    EXPECT_EQ(job.stopJob, 0) << c.what;
    EXPECT_EQ(ThreadCount(), threads) << c.what;
    ExpectCleanNextJob(s, RawGreyPage(kLines), c.what);
  }
}

// A multi-feed or skew the scanner only reports, on the chains of workers that make new data
// packets of the device's JPEG (decoded and converted, re-encoded for a JPEG client, decoded,
// converted and re-encoded): the page still lists the message and KRStopScan reports a
// multi-feed, and the next page comes clean.
TEST_F(Conditions, AMessageCrossesEveryChainOfJpegWorkers) {
  struct Chain {
    const char* what;
    uint16_t res;
    bool jpegClient;  // on a model that re-encodes
    uint8_t mask;     // the chain's topology
  };
  struct Message {
    const char* what;
    sim::SheetEventKind kind;
    uint32_t extParam0;
    Codes codes;
    long stop;
  };
  const Chain chains[] = {{"decoded and converted", 250, false, 0xA1},
                          {"re-encoded", 300, true, 0x41},
                          {"decoded, converted and re-encoded", 250, true, 0x21}};
  const Message messages[] = {
      {"multi-feed", sim::SheetEventKind::MultiFeed, 0, {-3101, -2022}, -3101},
      {"skew", sim::SheetEventKind::Skew, kSkewAsMessage, {-2033, -2022}, 0}};
  for (const Chain& chain : chains) {
    for (const Message& message : messages) {
      const std::string what = std::string(chain.what) + ", " + message.what;
      sim::Config config;
      config.sheets = 2;
      config.sheetEvents = {{message.kind, 1, 0, 1000, 0}};
      if (chain.jpegClient) config.inquiryPatches = {JpegWindowPatch()};
      OpenAlone(config);
      if (chain.jpegClient) UseFeatures(SupportedFeaturesWithout(kFeatureExtendedModes));
      const size_t threads = ThreadCount();
      SCANPARAMETER_UNION p = Client(chain.res, chain.jpegClient ? 0x4000004 : 4, 24);
      p.ScanMethod = 1;
      p.Width = 608;
      p.Length = 240;
      p.PixelNum = p.Width * chain.res / 300 / 8 * 8;
      p.LineNum = p.Length * chain.res / 300;
      p.BytesPerLine = p.PixelNum * 3;
      p.CtrlMode = kCtrlFixed;
      p.ExtParam0 = message.extParam0;
      if (chain.jpegClient) p.Compression = 132;
      const Job job = RunJob(p, 0);
      // The job's flags outlive its end (its pipelines do not).
      EXPECT_EQ(TopologyMask(Item()) | kTopologyPipeline, chain.mask) << what;
      ASSERT_EQ(job.pages.size(), 2u) << what;
      ASSERT_FALSE(job.pages[0].calls.empty()) << what;
      EXPECT_EQ(CodesOf(job.pages[0].calls.back()), message.codes) << what;
      EXPECT_EQ(job.stopScan[0], message.stop) << what;
      ASSERT_FALSE(job.pages[1].calls.empty()) << what;
      EXPECT_EQ(CodesOf(job.pages[1].calls.back()), Codes{-2022}) << what;
      EXPECT_EQ(job.stopScan[1], 0) << what;
      EXPECT_EQ(job.stopJob, 0) << what;
      EXPECT_EQ(ThreadCount(), threads) << what;
    }
  }
}
