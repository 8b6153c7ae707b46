// The data source's logs: exact lines and UTF-16 bytes, the levels, the day rule, the log's
// place, the TWAIN request lines with the shipped names, and many threads writing at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "platform/foundation/Files.h"
#include "platform/foundation/SystemLog.h"
#include "tests/ds/scan/common/CommonTestSupport.h"

namespace ferrolite_test {
namespace {

using ferrolite::CivilTime;
using ferrolite::TezFRLCommon;
namespace fs = std::filesystem;

using Lines = std::vector<std::string>;

struct LineCase {
  const char* name;
  const char* status;
  int functionReturn;
  TezFRLCommon::LogData data;
  const char* line;
};

TEST_F(CommonFolders, LinesFollowTheFourShapes) {
  const LineCase cases[] = {
      {"openDS", "In ", 1, ferrolite::kLogNoData, "In  1: openDS"},
      {"openDS", "Out", 0, 5, "Out 0: openDS : 5"},
      {"Scanner", "   ", 1, "fi-7160", "    1: Scanner : fi-7160"},
      {"scanGo", "[Thread]In ", 1, -1, "[Thread]In  1: scanGo"},
      {"TWAIN Scan log", "", 1, -1, "TWAIN Scan log"},              // the name alone
      {"Width", "", 2, 7, " 2: Width : 7"},                         // an empty status still prints
      {"Title", "", 3, "", " 3: Title : "},                         // an empty object still prints
      {"Count", "Out", -4, -2, "Out -4: Count : -2"},               // -2 is data
      {"Low", "In ", 1, 0xFFFFFFFFu, "In  1: Low"},                 // low 32 bits -1: no data
      {"Wide", "In ", 1, int64_t{0x100000005}, "In  1: Wide : 5"},  // "%d" of the low 32 bits
  };
  auto common = makeCommon(1);
  for (const LineCase& c : cases) {
    common->outputDebugLog(c.name, c.status, c.functionReturn, c.data);
  }
  Lines want;
  for (const LineCase& c : cases) want.push_back(c.line);
  EXPECT_EQ(logLines(twainLog()), want);
}

// The bytes: one byte-order mark when the file is made, then every line in UTF-16LE, with the
// time as "HH:mm:ss.SSS" and the arrow; characters beyond the basic plane as surrogate pairs.
TEST_F(CommonFolders, LogIsUtf16LittleEndianWithOneMark) {
  auto common = makeCommon(1);
  common->outputDebugLog("openDS", ferrolite::kLogIn, 1, ferrolite::kLogNoData);
  common->outputDebugLog("Profile", ferrolite::kLogBlank, 1,
                         "Fran\xC3\xA7"
                         "ais \xF0\x9F\x93\x84");

  std::vector<uint8_t> want = {0xFF, 0xFE};
  auto ascii = [&](std::string_view text) {
    for (char c : text) want.insert(want.end(), {uint8_t(c), 0});
  };
  ascii("09:07:03.045 ==> In  1: openDS\n");
  ascii("09:07:03.045 ==>     1: Profile : Fran");
  want.insert(want.end(), {0xE7, 0x00});  // c cedilla
  ascii("ais ");
  want.insert(want.end(), {0x3D, 0xD8, 0xC4, 0xDC});  // U+1F4C4
  ascii("\n");
  EXPECT_EQ(fileBytes(twainLog()), want);

  // A later object (a new session the same day) appends without a second mark.
  auto next = makeCommon(1);
  next->outputDebugLog("closeDS", ferrolite::kLogIn, 1, ferrolite::kLogNoData);
  EXPECT_EQ(logLines(twainLog()), (Lines{"In  1: openDS",
                                         "    1: Profile : Fran\xC3\xA7"
                                         "ais \xF0\x9F\x93\x84",
                                         "In  1: closeDS"}));
}

TEST_F(CommonFolders, LevelZeroCreatesAndTouchesNothing) {
  auto common = makeCommon(0);
  common->outputDebugLog("openDS", ferrolite::kLogIn, 1, ferrolite::kLogNoData);
  common->outputCallbackLog("GetScanImage", ferrolite::kLogIn, 1, ferrolite::kLogNoData);
  uint16_t capability = 0x0101;
  common->outputTripletLog(1, 1, 1, &capability);
  common->outputResultLog(1, 11);
  common->removeDebugImage();
  EXPECT_FALSE(fs::exists(twainLog()));
  EXPECT_FALSE(fs::exists(logFolder_ / "callbacklog.txt"));

  // A log of today stays as it was.
  makeCommon(1)->outputDebugLog("earlier", ferrolite::kLogIn, 1, -1);
  const std::vector<uint8_t> before = fileBytes(twainLog());
  auto quiet = makeCommon(0);
  quiet->outputDebugLog("later", ferrolite::kLogIn, 1, -1);
  EXPECT_EQ(fileBytes(twainLog()), before);
  EXPECT_EQ(quiet->debugLevel(), 0);
  EXPECT_EQ(ferrolite::gDebugLevel.load(), 0);
}

TEST_F(CommonFolders, FromLevelThreeLinesAlsoGoToTheSystemLog) {
  foundation::SystemLogCapture capture;
  makeCommon(2)->outputDebugLog("quiet", ferrolite::kLogIn, 1, -1);
  EXPECT_TRUE(capture.lines().empty());
  auto loud = makeCommon(3);
  EXPECT_EQ(ferrolite::gDebugLevel.load(), 3);
  loud->outputDebugLog("loud", ferrolite::kLogOut, 0, "x");
  EXPECT_TRUE(capture.contains("Out 0: loud : x"));
  EXPECT_EQ(logLines(twainLog()).back(), "Out 0: loud : x");
}

// Only the day of the month is compared: a log made on another day goes when the data source
// starts; one made on the same day of a later month stays.
TEST_F(CommonFolders, LogOfAnotherDayOfTheMonthIsDeleted) {
  makeCommon(1)->outputDebugLog("first", ferrolite::kLogIn, 1, -1);
  const auto made = foundation::fileCreationDate(twainLog());
  ASSERT_TRUE(made) << made.error();
  const CivilTime madeOn = ferrolite::localCivilTime(*made);

  CivilTime sameDayLaterMonth = morningOfToday();
  sameDayLaterMonth.day = madeOn.day;
  sameDayLaterMonth.month = madeOn.month % 12 + 1;
  sameDayLaterMonth.year = madeOn.year + 1;
  makeCommon(0, sameDayLaterMonth);
  EXPECT_TRUE(fs::exists(twainLog()));

  CivilTime nextDay = sameDayLaterMonth;
  nextDay.day = madeOn.day % 28 + 1;
  auto common = makeCommon(1, nextDay);
  EXPECT_FALSE(fs::exists(twainLog()));
  common->outputDebugLog("fresh", ferrolite::kLogIn, 1, -1);
  EXPECT_EQ(logLines(twainLog()), Lines{"In  1: fresh"});
}

TEST_F(CommonFolders, LogPlaceFollowsPrivateDebugging) {
  auto shared = makeCommon(1);
  EXPECT_EQ(shared->logPath(), logFolder_ / "twainlog.txt");
  EXPECT_EQ(shared->logDir(), logFolder_);
  EXPECT_EQ(shared->debugFile(), logFolder_ / "Debug.conf");
  EXPECT_EQ(shared->appPath(), bundle_);
  EXPECT_EQ(shared->resourcePath(), resources_);

  auto own = makeCommon(1, morningOfToday(), 1);
  EXPECT_EQ(ferrolite::gPrivateDebug.load(), 1);
  EXPECT_EQ(own->logPath(), bundle_ / "twainlog.txt");
  EXPECT_EQ(own->logDir(), bundle_);
  EXPECT_EQ(own->debugFile(), logFolder_ / "Debug.conf");
  own->outputDebugLog("private", ferrolite::kLogIn, 1, -1);
  own->outputCallbackLog("GetScanImage", ferrolite::kLogThreadIn, 1, 4096);
  EXPECT_EQ(logLines(bundle_ / "twainlog.txt"), Lines{"In  1: private"});
  EXPECT_EQ(logLines(bundle_ / "callbacklog.txt"), Lines{"[Thread]In  1: GetScanImage : 4096"});

  // Without a log folder the line is dropped, and nothing else happens.
  fs::remove_all(logFolder_);
  auto homeless = makeCommon(1);
  homeless->outputDebugLog("dropped", ferrolite::kLogIn, 1, -1);
  EXPECT_FALSE(fs::exists(logFolder_));
}

struct TripletCase {
  uint32_t group;
  uint16_t dat, msg;
  uint16_t capability;  // the capability record's first word
  Lines lines;
};

TEST_F(CommonFolders, TripletAndResultLinesUseTheShippedNames) {
  const TripletCase triplets[] = {
      {1, 0x0003, 0x0401, 0, {"    1: Triplet Operation : DG_CONTROL/DAT_IDENTITY/MSG_OPENDS"}},
      {1,
       0x0001,
       0x0006,
       0x0101,
       {"    1: Triplet Operation : DG_CONTROL/DAT_CAPABILITY/MSG_SET",
        "    1: Capability : ICAP_PIXELTYPE"}},
      {2, 0x0103, 0x0001, 0, {"    1: Triplet Operation : DG_IMAGE/DAT_IMAGEMEMXFER/MSG_GET"}},
      {1, 0x0002, 0x0601, 0, {}},  // MSG_PROCESSEVENT: every event would flood the log
      {1,
       0x0001,
       0x0008,
       0x9245,
       {"    1: Triplet Operation : DG_CONTROL/DAT_CAPABILITY/MSG_QUERYSUPPORT",
        "    1: Capability : 0x9245"}},                                        // not named
      {8, 0x9002, 0x7fff, 0, {"    1: Triplet Operation : 8/0x9002/0x7fff"}},  // not named
  };
  auto common = makeCommon(1);
  Lines want;
  for (const TripletCase& t : triplets) {
    common->outputTripletLog(t.group, t.dat, t.msg, &t.capability);
    want.insert(want.end(), t.lines.begin(), t.lines.end());
  }
  // A capability request without its record logs the request only.
  common->outputTripletLog(1, 0x0001, 0x0001, nullptr);
  want.push_back("    1: Triplet Operation : DG_CONTROL/DAT_CAPABILITY/MSG_GET");

  common->outputResultLog(0, 0);
  common->outputResultLog(4, 0);
  common->outputResultLog(5, 3);
  common->outputResultLog(1, 11);
  want.insert(want.end(), {"    1: Result : TWRC_FAILURE", "    1: Condition : TWCC_SEQERROR"});
  common->outputResultLog(3, 0);
  want.push_back("    1: Result : TWRC_CANCEL");
  common->outputResultLog(0x70006, 0x50016);  // the low 16 bits of each
  want.insert(want.end(),
              {"    1: Result : TWRC_XFERDONE", "    1: Condition : TWCC_FILEWRITEERROR"});
  common->outputResultLog(77, 99);
  want.insert(want.end(), {"    1: Result : 77", "    1: Condition : 99"});
  EXPECT_EQ(logLines(twainLog()), want);
}

TEST_F(CommonFolders, WithoutTheNamesFileNumbersStandForNames) {
  fs::remove(resources_ / "DSDebug.plist");
  auto common = makeCommon(1);
  EXPECT_TRUE(common->twainDict().empty());
  uint16_t capability = 0x1118;
  common->outputTripletLog(2, 0x0001, 0x0001, &capability);
  common->outputResultLog(1, 10);
  const Lines lines = logLines(twainLog());
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].rfind("    0: DSDebug.plist : cannot open", 0), 0u) << lines[0];
  EXPECT_EQ(Lines(lines.begin() + 1, lines.end()),
            (Lines{"    1: Triplet Operation : 2/0x0001/0x0001", "    1: Capability : 0x1118",
                   "    1: Result : 1", "    1: Condition : 10"}));
}

// The host's thread, the scan thread and the driver's callback thread log at once: every line
// arrives whole, and each file has its one mark.
TEST_F(CommonFolders, ThreadsWriteWholeLines) {
  auto common = makeCommon(1);
  constexpr int kThreads = 4, kLines = 150;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i) {
        common->outputDebugLog("thread " + std::to_string(t), ferrolite::kLogThreadIn, i,
                               "line " + std::to_string(i));
        common->outputCallbackLog("callback", ferrolite::kLogBlank, t, i);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  for (const fs::path& file : {twainLog(), logFolder_ / "callbacklog.txt"}) {
    const Lines lines = logLines(file);
    EXPECT_EQ(lines.size(), size_t(kThreads * kLines)) << file;
  }
  Lines lines = logLines(twainLog());
  std::sort(lines.begin(), lines.end());
  Lines want;
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kLines; ++i) {
      want.push_back("[Thread]In  " + std::to_string(i) + ": thread " + std::to_string(t) +
                     " : line " + std::to_string(i));
    }
  }
  std::sort(want.begin(), want.end());
  EXPECT_EQ(lines, want);
}

// A clock whose next reading, once armed, waits until the test opens the gate: a log line that
// is being written for as long as the test likes.
class GatedClock final : public ferrolite::Clock {
 public:
  explicit GatedClock(CivilTime time) : time_(time) {}
  CivilTime now() const override {
    std::unique_lock lock(mutex_);
    if (armed_) {
      armed_ = false;
      entered_ = true;
      changed_.notify_all();
      changed_.wait(lock, [&] { return open_; });
    }
    return time_;
  }
  void arm() {
    std::lock_guard lock(mutex_);
    armed_ = true;
  }
  void waitUntilEntered() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return entered_; });
  }
  void open() {
    {
      std::lock_guard lock(mutex_);
      open_ = true;
    }
    changed_.notify_all();
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  mutable bool armed_ = false, entered_ = false;
  bool open_ = false;
  CivilTime time_;
};

// The writer's busy flag is a lock: a line that takes longer than any bounded wait holds the
// next writer back, and both lines land whole and in order. A flag that a writer gives up on
// after 200 ms would let the second line be written across the first.
TEST_F(CommonFolders, ASlowLineHoldsTheNextWriterBack) {
  auto clock = std::make_shared<GatedClock>(morningOfToday());
  TezFRLCommon common(clock);
  common.setDebugLevel(1);
  common.setDS_ResourcePath(bundle_, resources_);
  clock->arm();
  std::thread first([&] { common.outputDebugLog("first", ferrolite::kLogIn, 1, -1); });
  clock->waitUntilEntered();
  auto second = std::async(
      std::launch::async, [&] { common.outputDebugLog("second", ferrolite::kLogThreadIn, 1, -1); });
  // Not a synchronisation, only the window in which a writer that does not wait would show
  // itself: a waiting one cannot end before the gate opens.
  EXPECT_EQ(second.wait_for(std::chrono::seconds(1)), std::future_status::timeout);
  EXPECT_FALSE(fs::exists(twainLog()));
  clock->open();
  first.join();
  second.get();
  EXPECT_EQ(logLines(twainLog()), (Lines{"In  1: first", "[Thread]In  1: second"}));
}

}  // namespace
}  // namespace ferrolite_test
