// Every job ends: each way a client ends a job (KRStopJob, KRStopScan with cancel, the
// callback's cancel) on each page of a duplex sheet returns, joins every thread of the job and
// leaves the device ready, so the next job in the same process scans a clean page.
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "PipeSupport.h"
#include "ScanJobRunner.h"
#include "Watchdog.h"
#include "drv/engine/ExtPipe.h"
#include "drv/engine/ScanJob.h"

using namespace enginefix;

namespace {

constexpr uint32_t kLines = 400;
constexpr uint32_t kLine = 304;

// How the client ends the job on a page.
enum class ClientEnd {
  kStopJobBeforeThePage,  // KRStopJob before the page is started
  kStopScanCancel,        // KRStartScan, then KRStopScan(1) and KRStopJob
  kStopJob,               // KRStartScan, then KRStopJob
  kCallbackCancels,       // the callback answers 2 on the page's first call; KRStopScan(0)
};
const char* Name(ClientEnd end) {
  switch (end) {
    case ClientEnd::kStopJobBeforeThePage:
      return "KRStopJob";
    case ClientEnd::kStopScanCancel:
      return "KRStartScan then KRStopScan(1)";
    case ClientEnd::kStopJob:
      return "KRStartScan then KRStopJob";
    case ClientEnd::kCallbackCancels:
      return "the callback answers 2";
  }
  return "?";
}

bool CancelReported(long status) { return status == 0 || status == -2010; }

class JobEnd : public JobTest {
 protected:
  static void SetUpTestSuite() { PrepareSuite("engine-job-end"); }

  // A scanner of the duplex style with three sheets, raw or compressing its sides.
  sim::SimScanner& OpenDuplex(uint8_t style, bool raw) {
    sim::Config config;
    config.duplexStyle = style;
    config.profile = raw ? sim::ImageProfile::Raw : sim::ImageProfile::DeviceJpeg;
    config.sheets = 3;
    return OpenAlone(config);
  }
  static SCANPARAMETER_UNION DuplexPage(uint32_t ctrl) {
    SCANPARAMETER_UNION p = RawGreyPage(kLines);
    p.ScanMethod = 4;
    p.CtrlMode = ctrl;
    return p;
  }

  // The client ends the job its way on the next page (in blocks of `block` bytes); every call
  // returns within the watchdog's bound, a cancel reports 0 or -2010, the callback's -2010.
  void EndOnThePage(ClientEnd end, Receiver& receiver, long block, const std::string& what) {
    testsupport::Watchdog watchdog(what);
    if (end == ClientEnd::kStopJobBeforeThePage) {
      EXPECT_PRED1(CancelReported, KRStopJob(kCtrl, &handle)) << what;
      return;
    }
    receiver.NextPage();
    if (end == ClientEnd::kCallbackCancels) receiver.AnswerAfter(1, 2);
    ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, block), 0) << what;
    switch (end) {
      case ClientEnd::kStopScanCancel:
        EXPECT_PRED1(CancelReported, KRStopScan(kCtrl, &handle, 1)) << what;
        EXPECT_EQ(KRStopJob(kCtrl, &handle), 0) << what;
        break;
      case ClientEnd::kStopJob:
        EXPECT_PRED1(CancelReported, KRStopJob(kCtrl, &handle)) << what;
        break;
      case ClientEnd::kCallbackCancels:
        ASSERT_TRUE(receiver.WaitForPageEnd()) << what;
        EXPECT_EQ(KRStopScan(kCtrl, &handle, 0), -2010) << what;
        EXPECT_EQ(KRStopJob(kCtrl, &handle), 0) << what;
        break;
      case ClientEnd::kStopJobBeforeThePage:
        break;
    }
  }
  // The job ended with every thread joined, and the next job scans cleanly.
  void ExpectEndedAndNextClean(sim::SimScanner& s, bool raw, size_t threads,
                               const std::string& what) {
    EXPECT_EQ(Item()->bJobRunning, 0) << what;
    EXPECT_EQ(ThreadCount(), threads) << what;
    ExpectCleanNextJob(s, raw, what);
    EXPECT_EQ(ThreadCount(), threads) << what;
  }

  // The next job scans one sheet's front whole: the scanner's own bytes on the raw road, a
  // page of the window's size from the device's JPEG.
  void ExpectCleanNextJob(sim::SimScanner& s, bool raw, const std::string& what) {
    s.ClearSheetEvents();
    s.LoadSheets(1);
    const uint32_t sheet = s.Scanned().sheetsFed + 1;
    const Job next = RunJob(RawGreyPage(kLines), 0, 1, true);
    ASSERT_EQ(next.startScan, std::vector<long>{0}) << what;
    ASSERT_EQ(next.pages.size(), 1u) << what;
    ASSERT_FALSE(next.pages[0].calls.empty()) << what;
    EXPECT_EQ(CodesOf(next.pages[0].calls.back()), std::vector<int64_t>{-2022}) << what;
    if (raw) {
      EXPECT_TRUE(next.pages[0].data == sim::SheetSide(sheet, 0, kLines, kLine)) << what;
    } else {
      EXPECT_EQ(next.pages[0].data.size(), size_t(kLines) * kLine) << what;
    }
    EXPECT_EQ(next.stopScan, std::vector<long>{0}) << what;
    EXPECT_EQ(next.stopJob, 0) << what;
  }
};

}  // namespace

// The styles that send each side with packets of its own (6 and 7, the supported model's): a
// cancel on the rear page, after the front page ended, drains both sides to the job's end,
// raw and device JPEG, page and batch mode.
TEST_F(JobEnd, ACancelOnTheRearPageOfTheApartStylesEndsTheJob) {
  for (const uint8_t style : {uint8_t(6), uint8_t(7)}) {
    for (const bool raw : {true, false}) {
      for (const uint32_t ctrl : {kCtrlFixed | kCtrlPage, kCtrlFixed}) {
        for (const ClientEnd end : {ClientEnd::kStopJobBeforeThePage, ClientEnd::kStopScanCancel,
                                    ClientEnd::kStopJob, ClientEnd::kCallbackCancels}) {
          const std::string what =
              "style " + std::to_string(style) + (raw ? ", raw" : ", device JPEG") +
              ((ctrl & kCtrlPage) != 0 ? ", page mode, " : ", batch mode, ") + Name(end);
          sim::SimScanner& s = OpenDuplex(style, raw);
          const size_t threads = ThreadCount();
          const SCANPARAMETER_UNION p = DuplexPage(ctrl);
          Receiver receiver;
          ASSERT_EQ(KRStartJob(kCtrl, &handle), 0) << what;
          ASSERT_EQ(SetParameter(p), 0) << what;
          receiver.NextPage();
          ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 0), 0) << what;
          ASSERT_TRUE(receiver.WaitForPageEnd()) << what;
          ASSERT_EQ(KRStopScan(kCtrl, &handle, 0), 0) << what;
          ASSERT_NO_FATAL_FAILURE(EndOnThePage(end, receiver, 0, what));
          const std::vector<Receiver::Page> pages = receiver.Pages();
          ASSERT_GE(pages.size(), 1u) << what;
          if (raw) {
            EXPECT_TRUE(pages[0].data == sim::SheetSide(1, 0, kLines, kLine)) << what;
          } else {
            EXPECT_EQ(pages[0].data.size(), size_t(kLines) * kLine) << what;
          }
          ExpectEndedAndNextClean(s, raw, threads, what);
        }
      }
    }
  }
}

// A two-sided job that ends at its page limit on a front page, the rear of its sheet still on
// its way: the job's end drains it, and the next job starts the device job from scratch.
TEST_F(JobEnd, AJobEndedAtItsPageLimitLeavesTheDeviceReady) {
  for (const uint32_t ctrl : {kCtrlFixed | kCtrlPage, kCtrlFixed}) {
    const std::string what = (ctrl & kCtrlPage) != 0 ? "page mode" : "batch mode";
    sim::SimScanner& s = OpenDuplex(7, true);
    const size_t threads = ThreadCount();
    SCANPARAMETER_UNION p = DuplexPage(ctrl);
    p.JobPages = 3;
    Job job;
    {
      testsupport::Watchdog watchdog(what);
      job = RunJob(p, 0, 8, true);
    }
    ASSERT_EQ(job.pages.size(), 3u) << what;
    for (uint32_t i = 0; i < 3; ++i) {
      EXPECT_TRUE(job.pages[i].data == sim::SheetSide(i / 2 + 1, i % 2, kLines, kLine))
          << what << ", page " << i + 1;
      EXPECT_EQ(job.stopScan[i], 0) << what << ", page " << i + 1;
    }
    EXPECT_EQ(job.stopJob, 0) << what;
    EXPECT_EQ(Item()->bJobRunning, 0) << what;
    EXPECT_EQ(ThreadCount(), threads) << what;
    ExpectCleanNextJob(s, true, what);
    EXPECT_EQ(ThreadCount(), threads) << what;
  }
}

// A batch job whose client is pages behind: the scanner fills the pipe and waits for room before
// its next sheet. A cancel then ends the job there, without feeding a sheet only to throw it
// away.
TEST_F(JobEnd, ACancelWhileTheScannerWaitsForRoomFeedsNoOtherSheet) {
  constexpr uint32_t kSheetLines = 3300;  // a page of a megabyte
  sim::SimScanner& s = OpenRaw(10);
  const size_t threads = ThreadCount();
  SCANPARAMETER_UNION p = RawGreyPage(kSheetLines);
  p.CtrlMode = kCtrlFixed;
  p.CacheSize = 4 << 20;  // pipes of 4 MiB: a few pages ahead of the client
  Receiver receiver;
  ASSERT_EQ(KRStartJob(kCtrl, &handle), 0);
  ASSERT_EQ(SetParameter(p), 0);
  receiver.NextPage();
  ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 0), 0);
  ASSERT_TRUE(receiver.WaitForPageEnd());
  // The client holds the first page while the scanner's pages fill the pipe.
  CExtPipe* pipe = Item()->Pipes[kPipeIoFront];
  while (pipe->GetWriteWaitSize() == 0) std::this_thread::yield();
  const uint32_t fed = s.Scanned().sheetsFed;
  ASSERT_LT(fed, 10u);
  {
    testsupport::Watchdog watchdog("a cancel while the scanner waits for room");
    EXPECT_EQ(KRStopScan(kCtrl, &handle, 0), 0);
    EXPECT_PRED1(CancelReported, KRStopJob(kCtrl, &handle));
  }
  EXPECT_EQ(s.Scanned().sheetsFed, fed);
  EXPECT_EQ(Item()->bJobRunning, 0);
  EXPECT_EQ(ThreadCount(), threads);
  const std::vector<Receiver::Page> pages = receiver.Pages();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_TRUE(pages[0].data == sim::SheetSide(1, 0, kSheetLines, kLine));
  ExpectCleanNextJob(s, true, "after the cancel");
}

// A jam while the scanner reads a sheet's rear in the style that reads the sides by turns: the
// front page, cut short with it, ends in the jam too instead of being padded and reported good.
// Raw and device JPEG, on a long page that takes several reads a side.
TEST_F(JobEnd, ARearJamCutsTheFrontPageOfTheSheetWithIt) {
  constexpr uint32_t kLongPage = 3300;
  for (const bool raw : {true, false}) {
    for (const uint32_t ctrl : {kCtrlFixed | kCtrlPage, kCtrlFixed}) {
      const std::string what = std::string(raw ? "raw" : "device JPEG") +
                               ((ctrl & kCtrlPage) != 0 ? ", page mode" : ", batch mode");
      sim::Config config;
      config.duplexStyle = 7;
      config.profile = raw ? sim::ImageProfile::Raw : sim::ImageProfile::DeviceJpeg;
      config.sheets = 2;
      config.sheetEvents = {{sim::SheetEventKind::Jam, 1, 1, 1000, 0}};
      sim::SimScanner& s = OpenAlone(config);
      const size_t threads = ThreadCount();
      SCANPARAMETER_UNION p = DuplexPage(ctrl);
      p.Length = p.LineNum = kLongPage;
      Job job;
      {
        testsupport::Watchdog watchdog(what);
        job = RunJob(p, 0, 4, true);
      }
      ASSERT_EQ(job.pages.size(), 1u) << what;
      ASSERT_FALSE(job.pages[0].calls.empty()) << what;
      EXPECT_EQ(CodesOf(job.pages[0].calls.back()).at(0), -2013) << what;
      EXPECT_EQ(job.stopScan, std::vector<long>{-2013}) << what;
      EXPECT_EQ(job.stopJob, 0) << what;
      EXPECT_EQ(Item()->bJobRunning, 0) << what;
      EXPECT_EQ(ThreadCount(), threads) << what;
      ExpectCleanNextJob(s, raw, what);
    }
  }
}

// Every page start leaves the reader's read state as a fresh page needs it, whichever way it
// begins: a sheet's first page, a continuous scan, and a rear page (which keeps its sheet's
// sources and forward record).
TEST_F(JobEnd, EveryPageStartResetsTheWholeReadState) {
  OpenRaw(1);
  CScannerManagerScannerItem* item = Item();
  const auto dirty = [item] {
    item->dwReadPending = 7;
    item->dwReadCurrentType = kPacketImage;
    item->dwReadPreviousType = kPacketImage;
    item->bReadEndPadding = item->bReadMessagePresent = item->bReadNotEnoughData = 1;
    item->dwReadMessage = 9;
    item->bRearCountTaken = item->bEndPacketStashed = item->bForwardPending = 1;
    item->bForward = item->bContinuousEndPending = 1;
    item->dwForwardFrontPacketSize = item->dwForwardFrontBytes = item->dwForwardCounter = 5;
    item->lMessageStatus = -3101;
    item->dwReaderStage = 2;
  };
  struct Case {
    const char* what;
    std::function<void()> start;
    uint32_t stage;
    bool newSheet;
  };
  const Case cases[] = {
      {"a sheet's first page", [item] { StartPage(item); }, 0, true},
      {"a continuous scan", [item] { PrepareContinuousRead(item); }, 3, true},
      {"a rear page",
       [item] {
         item->bRearPageNext = 1;
         StartPage(item);
         item->bRearPageNext = 0;
       },
       4, false},
  };
  for (const Case& c : cases) {
    dirty();
    c.start();
    EXPECT_EQ(item->dwReaderStage, c.stage) << c.what;
    EXPECT_EQ(item->dwReadPending, 0u) << c.what;
    EXPECT_EQ(item->dwReadCurrentType, uint32_t(kPacketEndOfPage)) << c.what;
    EXPECT_EQ(item->bReadEndPadding | item->bReadMessagePresent | item->bReadNotEnoughData, 0)
        << c.what;
    EXPECT_EQ(item->dwReadMessage, 0u) << c.what;
    EXPECT_EQ(item->bRearCountTaken, 0) << c.what;
    EXPECT_EQ(item->dwForwardFrontPacketSize, 0u) << c.what;
    if (c.newSheet) {
      EXPECT_EQ(item->dwReadPreviousType, uint32_t(kPacketEndOfPage)) << c.what;
      EXPECT_EQ(item->bEndPacketStashed | item->bForwardPending | item->bForward, 0) << c.what;
      EXPECT_EQ(item->bContinuousEndPending, 0) << c.what;
      EXPECT_EQ(item->dwForwardFrontBytes | item->dwForwardCounter, 0u) << c.what;
      EXPECT_EQ(item->lMessageStatus, 0) << c.what;
    } else {
      // The rear page reads on from its front's forward record.
      EXPECT_EQ(item->dwForwardFrontBytes, 5u) << c.what;
      EXPECT_EQ(item->bForwardPending, 1) << c.what;
    }
  }
}

// A cancel on a front page in the middle of its delivery, in every duplex style and one-sided:
// KRStopScan(1) or KRStopJob right after the page started, or the callback's cancel on its first
// block. The job ends, its threads are joined and the next job scans a clean page.
TEST_F(JobEnd, ACancelInTheMiddleOfAPageEndsTheJobInEveryStyle) {
  for (const int style : {-1, 0, 1, 2, 3, 4, 5, 6, 7}) {
    for (const bool raw : {true, false}) {
      // Device JPEG comes two-sided only in the styles that send each side apart.
      if (!raw && style >= 0 && style < 6) continue;
      for (const uint32_t ctrl : {kCtrlFixed | kCtrlPage, kCtrlFixed}) {
        for (const ClientEnd end :
             {ClientEnd::kStopScanCancel, ClientEnd::kStopJob, ClientEnd::kCallbackCancels}) {
          const std::string what =
              (style < 0 ? std::string("one-sided") : "style " + std::to_string(style)) +
              (raw ? ", raw" : ", device JPEG") +
              ((ctrl & kCtrlPage) != 0 ? ", page mode, " : ", batch mode, ") + Name(end);
          sim::SimScanner& s = OpenDuplex(uint8_t(style < 0 ? 7 : style), raw);
          const size_t threads = ThreadCount();
          SCANPARAMETER_UNION p = DuplexPage(ctrl);
          if (style < 0) p.ScanMethod = 1;
          Receiver receiver;
          ASSERT_EQ(KRStartJob(kCtrl, &handle), 0) << what;
          ASSERT_EQ(SetParameter(p), 0) << what;
          ASSERT_NO_FATAL_FAILURE(EndOnThePage(end, receiver, 10 * kLine, what));
          ExpectEndedAndNextClean(s, raw, threads, what);
        }
      }
    }
  }
}

// The other roads to the page end's wait on a packet that never comes: a jam on the front page
// after which the client starts the next page anyway, and a device status with a wrong
// controller id while the next sheet's page is set up (its window, its unit). Each ends the job
// within the bound, with every thread joined, and the next job scans a clean page.
TEST_F(JobEnd, AFailedSheetAndTheNextPageEndTheJob) {
  constexpr int kSetWindow = 0xE4;
  constexpr int kReserveUnit = 0xE6;
  struct Road {
    const char* what;
    int opcode;  // the command whose status carries the wrong id; -1: a jam instead
    uint32_t skip;
  };
  const Road roads[] = {
      {"a jam on the front", -1, 0},
      // The job start's window goes through.
      {"a wrong controller id at the next sheet's window", kSetWindow, 1},
      // The job start's and the first sheet's go through.
      {"a wrong controller id at the next sheet's unit", kReserveUnit, 2},
  };
  for (const uint8_t style : {uint8_t(6), uint8_t(7)}) {
    for (const bool raw : {true, false}) {
      for (const uint32_t ctrl : {kCtrlFixed | kCtrlPage, kCtrlFixed}) {
        for (const Road& road : roads) {
          const std::string what =
              "style " + std::to_string(style) + (raw ? ", raw" : ", device JPEG") +
              ((ctrl & kCtrlPage) != 0 ? ", page mode, " : ", batch mode, ") + road.what;
          sim::Config config;
          config.duplexStyle = style;
          config.profile = raw ? sim::ImageProfile::Raw : sim::ImageProfile::DeviceJpeg;
          config.sheets = 3;
          if (road.opcode < 0) config.sheetEvents = {{sim::SheetEventKind::Jam, 1, 0, 1000, 0}};
          sim::SimScanner& s = OpenAlone(config);
          if (road.opcode >= 0) {
            sim::Fault f;
            f.kind = sim::FaultKind::WrongIdInStatus;
            f.opcode = road.opcode;
            f.skip = road.skip;
            s.InjectFault(f);
          }
          const size_t threads = ThreadCount();
          const SCANPARAMETER_UNION p = DuplexPage(ctrl);
          Receiver receiver;
          {
            testsupport::Watchdog watchdog(what);
            ASSERT_EQ(KRStartJob(kCtrl, &handle), 0) << what;
            ASSERT_EQ(SetParameter(p), 0) << what;
            // Pages until one fails, then one more start, as a client that does not look.
            bool failed = false;
            for (int page = 0; page < 6 && !failed; ++page) {
              receiver.NextPage();
              if (KRStartScan(kCtrl, &handle, Receiver::Callback, 0) != 0) {
                failed = true;
                break;
              }
              ASSERT_TRUE(receiver.WaitForPageEnd()) << what << ", page " << page + 1;
              failed = KRStopScan(kCtrl, &handle, 0) != 0;
            }
            EXPECT_TRUE(failed) << what;
            receiver.NextPage();
            if (KRStartScan(kCtrl, &handle, Receiver::Callback, 0) == 0) {
              ASSERT_TRUE(receiver.WaitForPageEnd()) << what << ", the page after the failure";
              KRStopScan(kCtrl, &handle, 0);
            }
            KRStopJob(kCtrl, &handle);
          }
          s.ClearFaults();
          ExpectEndedAndNextClean(s, raw, threads, what);
        }
      }
    }
  }
}

// A client that holds its callback while the scanner's pages fill the job's pipes, then cancels:
// KRStopScan(1) or KRStopJob from its own thread (the callback returns once the cancel is in),
// or the held callback answers 2. The cancel wakes every thread that waits on a pipe, every call
// returns, every thread is joined and the next job scans a clean page. Style 7 (the supported
// model's) on its front and its rear page, raw and device JPEG (a decoder between the scanner
// and the reader), page and batch mode.
TEST_F(JobEnd, ACancelWhileThePipesAreFullEndsTheJob) {
  constexpr uint32_t kSheetLines = 3300;  // a page of a megabyte
  constexpr long kBlock = 10 * kLine;     // the client's block: most of the page stays behind
  enum class Cancel { kStopScan, kStopJob, kCallback };
  for (const bool rear : {false, true}) {
    for (const bool raw : {true, false}) {
      for (const uint32_t ctrl : {kCtrlFixed | kCtrlPage, kCtrlFixed}) {
        for (const Cancel cancel : {Cancel::kStopScan, Cancel::kStopJob, Cancel::kCallback}) {
          const std::string what = std::string(rear ? "rear page" : "front page") +
                                   (raw ? ", raw" : ", device JPEG") +
                                   ((ctrl & kCtrlPage) != 0 ? ", page mode, " : ", batch mode, ") +
                                   (cancel == Cancel::kStopScan  ? "KRStopScan(1)"
                                    : cancel == Cancel::kStopJob ? "KRStopJob"
                                                                 : "the callback answers 2");
          sim::Config config;
          config.duplexStyle = 7;
          config.profile = raw ? sim::ImageProfile::Raw : sim::ImageProfile::DeviceJpeg;
          config.sheets = 10;
          sim::SimScanner& s = OpenAlone(config);
          const size_t threads = ThreadCount();
          SCANPARAMETER_UNION p = DuplexPage(ctrl);
          p.Length = p.LineNum = kSheetLines;
          p.CacheSize = 4 << 20;  // pipes of a few pages: the scanner soon waits for room
          CScannerManagerScannerItem* item = Item();
          // The job can go no further without the client: a producer waits for room in a pipe,
          // the scanner waits for the next page's start, or it has fed every sheet.
          const auto stalled = [item] {
            if (item->bIOThreadWaiting != 0 || item->bIOThreadEnded != 0) return true;
            for (CExtPipe* pipe : item->JobPipes)
              if (pipe != nullptr && pipe->GetWriteWaitSize() != 0) return true;
            return false;
          };
          std::atomic<bool> holding{false}, hold{false};
          Receiver receiver;
          receiver.inside = [&] {
            if (!hold) return;
            holding = true;
            if (cancel == Cancel::kCallback) {
              while (!stalled()) std::this_thread::yield();
            } else {
              while (item->bCancel == 0) std::this_thread::yield();
            }
            hold = false;
          };
          {
            testsupport::Watchdog watchdog(what);
            ASSERT_EQ(KRStartJob(kCtrl, &handle), 0) << what;
            ASSERT_EQ(SetParameter(p), 0) << what;
            if (rear) {
              receiver.NextPage();
              ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 0), 0) << what;
              ASSERT_TRUE(receiver.WaitForPageEnd()) << what;
              ASSERT_EQ(KRStopScan(kCtrl, &handle, 0), 0) << what;
            }
            receiver.NextPage();
            hold = true;
            if (cancel == Cancel::kCallback) receiver.AnswerAfter(1, 2);
            ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, kBlock), 0) << what;
            switch (cancel) {
              case Cancel::kStopScan:
                while (!holding || !stalled()) std::this_thread::yield();
                EXPECT_PRED1(CancelReported, KRStopScan(kCtrl, &handle, 1)) << what;
                EXPECT_EQ(KRStopJob(kCtrl, &handle), 0) << what;
                break;
              case Cancel::kStopJob:
                while (!holding || !stalled()) std::this_thread::yield();
                EXPECT_PRED1(CancelReported, KRStopJob(kCtrl, &handle)) << what;
                break;
              case Cancel::kCallback:
                ASSERT_TRUE(receiver.WaitForPageEnd()) << what;
                EXPECT_EQ(KRStopScan(kCtrl, &handle, 0), -2010) << what;
                EXPECT_EQ(KRStopJob(kCtrl, &handle), 0) << what;
                break;
            }
          }
          receiver.inside = nullptr;
          ExpectEndedAndNextClean(s, raw, threads, what);
        }
      }
    }
  }
}

// A job stalled on its pipes: the rear side of a page of open length outgrows its pipe and no
// temporary file can take the rest, so the scanner waits for room in the rear pipe while the
// reader waits for front bytes that come only behind it. The client's cancel (KRStopScan(1) or
// KRStopJob from its own thread) wakes both: every call returns, every thread is joined and
// the next job scans a clean page.
TEST_F(JobEnd, ACancelEndsAJobStalledOnItsPipes) {
  constexpr uint32_t kSideLines = 40000;  // 12 MB a side, twice what the rear pipe holds
  for (const uint32_t ctrl : {kCtrlPage, 0u}) {
    for (const bool stopJob : {false, true}) {
      const std::string what =
          std::string((ctrl & kCtrlPage) != 0 ? "page mode, " : "batch mode, ") +
          (stopJob ? "KRStopJob" : "KRStopScan(1)");
      sim::Config config;
      config.duplexStyle = 7;
      config.paperLength = kSideLines;
      sim::SimScanner& s = OpenRaw(2, config);
      const size_t threads = ThreadCount();
      SCANPARAMETER_UNION p = RawGreyPage(60);
      p.LineNum = 0xFFFFFFFF;
      p.CtrlMode = ctrl;
      p.ScanMethod = 4;
      Receiver receiver;
      {
        testsupport::Watchdog watchdog(what);
        pipetest::FakeSystem system;
        system.fileFails = true;
        ASSERT_EQ(KRStartJob(kCtrl, &handle), 0) << what;
        ASSERT_EQ(SetParameter(p), 0) << what;
        receiver.NextPage();
        ASSERT_EQ(KRStartScan(kCtrl, &handle, Receiver::Callback, 1 << 20), 0) << what;
        CExtPipe* front = Item()->Pipes[kPipeReadFront];
        CExtPipe* rear = Item()->Pipes[kPipeIoRear];
        while (rear->GetWriteWaitSize() == 0 || front->GetReadWaitSize() == 0)
          std::this_thread::yield();
        if (stopJob) {
          EXPECT_PRED1(CancelReported, KRStopJob(kCtrl, &handle)) << what;
        } else {
          EXPECT_PRED1(CancelReported, KRStopScan(kCtrl, &handle, 1)) << what;
          EXPECT_EQ(KRStopJob(kCtrl, &handle), 0) << what;
        }
      }
      ExpectEndedAndNextClean(s, true, threads, what);
    }
  }
}
