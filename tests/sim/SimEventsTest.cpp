// The scanner's conditions on its sheets (jam, cover open, misfeed, cancel button, multi-feed,
// skew, blank page, end-of-file images), its job-start refusals and the hold point, on the
// wire as the driver's transport meets them.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "sim/SimScanner.h"
#include "tests/sim/SimHarness.h"

namespace {

using namespace simtest;
using sim::SheetEvent;
using sim::SheetEventKind;

constexpr uint16_t kId = 0x2200;
constexpr uint32_t kLine = 100;  // bytes per line of the test window
constexpr uint32_t kLines = 40;  // lines of every sheet (paper length 40 at 300 dpi)

class SimEvents : public ::testing::Test {
 protected:
  // The window: one-sided of unknown length unless told otherwise.
  void Start(sim::Config config, uint16_t method = 1, uint32_t lines = 0xFFFFFFFF,
             bool continuous = false) {
    config.paperLength = kLines;
    config.sheets = 3;
    s_ = OpenScanner{};  // a case of its own: a new bus and scanner
    bus_ = std::make_unique<sim::SimBus>();
    scanner_ = &bus_->AddScanner(config);
    SetWindow(method, lines, continuous);
  }
  void SetWindow(uint16_t method, uint32_t lines, bool continuous) {
    ASSERT_EQ(Open(*bus_, 0xF11E, 0x0310, &s_), kUsbSuccess);
    // A one-sided grey window of kLine bytes a line and unknown length (the sheet decides).
    std::vector<uint8_t> w(96, 0);
    auto put16 = [&](size_t at, uint16_t v) { w[at] = uint8_t(v >> 8), w[at + 1] = uint8_t(v); };
    auto put32 = [&](size_t at, uint32_t v) {
      put16(at, uint16_t(v >> 16));
      put16(at + 2, uint16_t(v));
    };
    put16(25, 300);
    put32(27, kLine);
    put32(31, lines);
    put32(35, kLine);
    put32(39, 0x10);
    put16(43, method);
    constexpr size_t kFeeding = 62;  // bit 0x01: continuous, one stream of sheets
    if (continuous) w[kFeeding] |= 0x01;
    Block b = MakeBlock(0xE4, kId);
    b[10] = 96;
    ASSERT_EQ(DoCommand(s_, b, 0, w).status[2], 0);
  }
  // One READ of image data: its bytes, its status byte and (after a check condition) the sense
  // code, key and information.
  struct Read {
    std::vector<uint8_t> data;
    uint8_t status = 0;
    uint16_t code = 0;
    uint8_t key = 0;
    uint32_t information = 0;
    uint32_t height = 0;
  };
  Read ReadImage(uint32_t n) { return Finish(DoCommand(s_, ReadBlock(0xA8, kId, 0, n), n)); }
  Read Command(uint8_t opcode, uint8_t argument, uint32_t readLength = 0) {
    Block b = MakeBlock(opcode, kId);
    b[10] = uint8_t(readLength);
    b[11] = argument;
    return Finish(DoCommand(s_, b, readLength));
  }
  Read Finish(const Outcome& o) {
    Read r;
    EXPECT_EQ(o.rc, kUsbSuccess);
    r.data = o.data;
    r.status = o.status[2];
    if (r.status == 2) {
      const Outcome sense = DoCommand(s_, SenseBlock(kId), 44);
      const std::vector<uint8_t>& d = sense.data;
      r.key = d[5] & 0x0F;
      r.code = uint16_t(d[7] << 8 | d[8]);
      r.information = uint32_t(d[9] << 24 | d[10] << 16 | d[11] << 8 | d[12]);
      r.height = uint32_t(d[23] << 24 | d[24] << 16 | d[25] << 8 | d[26]);
    }
    return r;
  }
  std::vector<uint8_t> Side(uint32_t sheet, size_t from, size_t to, uint32_t side = 0) {
    const std::vector<uint8_t> all = sim::SheetSide(sheet, side, kLines, kLine);
    return std::vector<uint8_t>(all.begin() + long(from), all.begin() + long(to));
  }

  void TearDown() override { s_ = OpenScanner{}; }

  std::unique_ptr<sim::SimBus> bus_;
  sim::SimScanner* scanner_ = nullptr;
  OpenScanner s_;
};

TEST_F(SimEvents, ConditionsAtAByteOfTheSheet) {
  struct Case {
    SheetEventKind kind;
    uint8_t key;
    uint16_t code;
    bool keepsData;  // the READ brings its whole length
  };
  const Case cases[] = {
      {SheetEventKind::Jam, 3, 0x8001, false},
      {SheetEventKind::CoverOpen, 3, 0x8002, false},
      {SheetEventKind::Misfeed, 3, 0x801D, false},
      {SheetEventKind::HardwareCancel, 11, 0x0000, false},
      {SheetEventKind::MultiFeed, 1, 0x8005, true},
      {SheetEventKind::Skew, 1, 0x801C, true},
  };
  for (const Case& c : cases) {
    const std::string what = sim::SheetEventName(c.kind);
    sim::Config config;
    // On sheet 2, 1250 bytes in: the second READ of 1000 bytes reaches it.
    config.sheetEvents = {SheetEvent{c.kind, 2, 0, 1250, 0}};
    Start(config);
    // Sheet 1 goes by untouched.
    ASSERT_EQ(ReadImage(kLines * kLine).status, 0) << what;
    EXPECT_EQ(Command(0xE7, 0).status, 0) << what;
    const Read first = ReadImage(1000);
    EXPECT_EQ(first.status, 0) << what;
    EXPECT_EQ(first.data, Side(2, 0, 1000)) << what;
    const Read hit = ReadImage(1000);
    ASSERT_EQ(hit.status, 2) << what;
    EXPECT_EQ(hit.key, c.key) << what;
    EXPECT_EQ(hit.code, c.code) << what;
    const size_t valid = c.keepsData ? 1000 : 250;
    EXPECT_EQ(hit.information, valid) << what;
    std::vector<uint8_t> expected = Side(2, 1000, 1000 + valid);
    expected.resize(1000, 0);
    EXPECT_EQ(hit.data, expected) << what;
    // It happens once: the sheet goes on where it stopped.
    const Read next = ReadImage(1000);
    EXPECT_EQ(next.status, 0) << what;
    EXPECT_EQ(next.data, Side(2, 1000 + valid, 2000 + valid)) << what;
  }
}

// The styles that send the sides apart, a window of known length: a condition the scanner only
// reports, met in the READ that takes the front's last byte, leaves the front's end for the
// next READ (a host reading to the end of the page waits for it); the rear follows.
TEST_F(SimEvents, AReportedConditionInTheFrontsLastReadLeavesItsEndForTheNextRead) {
  constexpr uint16_t kDuplex = 4;
  constexpr size_t kSide = size_t{kLines} * kLine;
  constexpr uint32_t kRead = 10000;  // longer than a side
  for (const uint8_t style : {uint8_t(4), uint8_t(5), uint8_t(6)}) {
    for (const SheetEventKind kind : {SheetEventKind::MultiFeed, SheetEventKind::Skew}) {
      const std::string what = "style " + std::to_string(style) + ", " + sim::SheetEventName(kind);
      sim::Config config;
      config.duplexStyle = style;
      config.sheetEvents = {SheetEvent{kind, 1, 0, 1250, 0}};
      Start(config, kDuplex, kLines);
      const Read hit = ReadImage(kRead);
      ASSERT_EQ(hit.status, 2) << what;
      EXPECT_EQ(hit.information, kSide) << what;
      const Read end = ReadImage(kRead);
      ASSERT_EQ(end.status, 2) << what;
      EXPECT_EQ(end.code, style == 6 ? 0x8022 : 0x8004) << what;
      EXPECT_EQ(end.information, 0u) << what;
      const Read rear = ReadImage(kRead);
      ASSERT_EQ(rear.status, 2) << what;
      EXPECT_EQ(rear.code, 0x8004) << what;
      ASSERT_EQ(rear.information, kSide) << what;
      EXPECT_EQ(std::vector<uint8_t>(rear.data.begin(), rear.data.begin() + long(kSide)),
                Side(1, 0, kSide, 1))
          << what;
    }
  }
}

// The same styles with a sheet shorter than the window: a host that asked for the front's last
// byte in a READ of its own size still asks for the window's length, and the next READ brings
// the front's end, not the rear's first bytes.
TEST_F(SimEvents, AShortSheetsFrontReadToItsLastByteEndsWithTheNextRead) {
  constexpr uint16_t kDuplex = 4;
  constexpr uint32_t kSheetLines = kLines / 2;
  constexpr size_t kSide = size_t{kSheetLines} * kLine;
  constexpr uint32_t kRead = kSide / 2;
  for (const uint8_t style : {uint8_t(4), uint8_t(5), uint8_t(6)}) {
    const std::string what = "style " + std::to_string(style);
    sim::Config config;
    config.duplexStyle = style;
    config.sheetLengths = {kSheetLines};
    Start(config, kDuplex, kLines);
    for (uint32_t i = 0; i < 2; ++i) {
      const Read front = ReadImage(kRead);
      ASSERT_EQ(front.status, 0) << what;
      EXPECT_EQ(front.data, Side(1, i * kRead, (i + 1) * kRead)) << what;
    }
    const Read end = ReadImage(kRead);
    ASSERT_EQ(end.status, 2) << what;
    EXPECT_EQ(end.code, style == 6 ? 0x8022 : 0x8004) << what;
    EXPECT_EQ(end.information, 0u) << what;
    const Read rear = ReadImage(kRead);
    EXPECT_EQ(rear.status, 0) << what;
    EXPECT_EQ(rear.data, Side(1, 0, kRead, 1)) << what;
  }
}

// A continuous stream's READ that ran on into the next sheet, then the scanner leaves the bus:
// what it carried goes with the power, and the next job's first READ starts that sheet afresh.
TEST_F(SimEvents, WhatAStreamCarriedIsLostWhenTheScannerLeavesTheBus) {
  constexpr size_t kSide = size_t{kLines} * kLine;
  constexpr uint32_t kCarry = 500;
  Start(sim::Config{}, 1, 0xFFFFFFFF, true);
  const Read first = ReadImage(uint32_t(kSide) + kCarry);
  ASSERT_EQ(first.status, 2);
  EXPECT_EQ(first.information, kSide);
  EXPECT_EQ(std::vector<uint8_t>(first.data.begin() + long(kSide), first.data.end()),
            Side(2, 0, kCarry));
  scanner_->Unplug();
  scanner_->Replug();
  scanner_->TakeOutSheet();
  s_ = OpenScanner{};
  SetWindow(1, 0xFFFFFFFF, false);
  const Read next = ReadImage(1000);
  EXPECT_EQ(next.status, 0);
  EXPECT_EQ(next.data, Side(2, 0, 1000));
}

TEST_F(SimEvents, BlankPagesEndOfFileImagesAndMultiFeedAtTheEnd) {
  sim::Config config;
  config.sheetEvents = {{SheetEventKind::BlankPage, 1, 0, 0, 0},
                        {SheetEventKind::EndOfFileSegments, 2, 0, 0, 15},
                        {SheetEventKind::MultiFeedAtEnd, 3, 0, 0, 0}};
  Start(config);
  const Read blank = ReadImage(1000);
  EXPECT_EQ(blank.code, 0x8021);
  EXPECT_EQ(blank.information, 0u);
  EXPECT_EQ(Command(0xE7, 0).status, 0);
  // Sheet 2: images of 15 lines, each ending with end of file, the last with end of page.
  std::vector<uint8_t> got;
  std::vector<uint16_t> ends;
  for (int i = 0; i < 10 && (ends.empty() || ends.back() != 0x8004); ++i) {
    const Read r = ReadImage(1000);
    const size_t valid = r.status == 2 ? r.information : r.data.size();
    got.insert(got.end(), r.data.begin(), r.data.begin() + long(valid));
    if (r.status == 2) {
      ends.push_back(r.code);
      if (r.code == 0x8022) {
        EXPECT_EQ(r.height, 15u);
      }
    }
  }
  EXPECT_EQ(ends, (std::vector<uint16_t>{0x8022, 0x8022, 0x8004}));
  EXPECT_EQ(got, sim::SheetSide(2, 0, kLines, kLine));
  EXPECT_EQ(Command(0xE7, 0).status, 0);
  const Read last = ReadImage(kLines * kLine + 1);
  EXPECT_EQ(last.code, 0x8016);
  EXPECT_EQ(last.information, kLines * kLine);
}

TEST_F(SimEvents, MultiFeedOnReleaseAndOnTheNextMediaCheck) {
  sim::Config config;
  config.sheetEvents = {{SheetEventKind::MultiFeedOnRelease, 1, 0, 0, 0},
                        {SheetEventKind::MultiFeedOnMediaCheck, 2, 0, 0, 0}};
  Start(config);
  ASSERT_EQ(ReadImage(1000).status, 0);
  const Read release = Command(0xE7, 0);
  EXPECT_EQ(release.code, 0x8005);
  EXPECT_EQ(scanner_->SheetsLeft(), 2u);  // the sheet left all the same
  EXPECT_EQ(Command(0xE8, 0, 5).status, 0);
  ASSERT_EQ(ReadImage(1000).status, 0);
  EXPECT_EQ(Command(0xE7, 0).status, 0);
  const Read check = Command(0xE8, 0, 5);
  EXPECT_EQ(check.code, 0x8005);
  EXPECT_EQ(Command(0xE8, 0, 5).status, 0);
}

TEST_F(SimEvents, TheFeederSensorReadsEmptyOnceTheLastSheetIsPickedAndSeesPaperPutInLater) {
  Start(sim::Config{});
  auto paper = [this] {
    const Read check = Command(0xE8, 0, 5);
    return check.data.size() > 4 && (check.data[4] & 0x01) != 0;
  };
  for (int sheet = 1; sheet <= 3; ++sheet) {
    EXPECT_TRUE(paper()) << sheet;
    ASSERT_EQ(ReadImage(1000).status, 0) << sheet;           // picked into the transport
    EXPECT_EQ(paper(), sheet < 3) << sheet;                  // the sensor sees the sheets behind it
    EXPECT_EQ(scanner_->SheetsLeft(), uint32_t(4 - sheet));  // counted until it leaves
    EXPECT_EQ(Command(0xE7, 0).status, 0);
  }
  EXPECT_FALSE(paper());
  scanner_->LoadSheets(2);  // the user refills the feeder while the job waits
  EXPECT_TRUE(paper());
  ASSERT_EQ(ReadImage(1000).status, 0);
}

TEST_F(SimEvents, JobStartReservesAreRefusedAsDescribed) {
  sim::Config config;
  config.reserve = sim::ReserveAnswer::Busy;
  config.reserveRefusals = 2;
  Start(config);
  EXPECT_EQ(Command(0xE6, 0).status, 0);  // a page's reserve is not the job's
  EXPECT_EQ(Command(0xE6, 2).code, 0x9000);
  EXPECT_EQ(Command(0xE6, 2).code, 0x9000);
  EXPECT_EQ(Command(0xE6, 2).status, 0);
  scanner_->SetReserveAnswer(sim::ReserveAnswer::Locked, 1);
  const Read locked = Command(0xE6, 2);
  EXPECT_EQ(locked.code, 0x1504);
  EXPECT_EQ(locked.key, 2);
  EXPECT_EQ(Command(0xE6, 2).status, 0);
}

TEST_F(SimEvents, AHeldCommandGoesOnWhenReleasedAndFailsWhenAborted) {
  Start(sim::Config{});
  sim::Fault hold;
  hold.kind = sim::FaultKind::Hold;
  hold.opcode = 0xA8;
  hold.skip = 1;  // the second READ
  scanner_->InjectFault(hold);
  ASSERT_EQ(ReadImage(1000).status, 0);
  EXPECT_FALSE(scanner_->WaitHeld(0));
  Read held;
  std::thread reader([&] { held = ReadImage(1000); });
  ASSERT_TRUE(scanner_->WaitHeld(30000));
  scanner_->ReleaseHeld();
  reader.join();
  EXPECT_EQ(held.status, 0);
  EXPECT_EQ(held.data, Side(1, 1000, 2000));

  hold.skip = 0;
  scanner_->ClearFaults();
  scanner_->InjectFault(hold);
  UsbStatus rc = kUsbSuccess;
  std::thread aborted([&] { rc = SendBlock(*s_.interface, ReadBlock(0xA8, kId, 0, 1000)); });
  ASSERT_TRUE(scanner_->WaitHeld(30000));
  EXPECT_EQ(s_.interface->AbortPipe(0), kUsbSuccess);
  aborted.join();
  EXPECT_EQ(rc, kUsbAborted);
  // The exchange never began: the next command runs as usual.
  EXPECT_EQ(ReadImage(1000).data, Side(1, 2000, 3000));
}

TEST(SimEventDescription, EventReserveAndHoldLines) {
  sim::Config c;
  std::string error;
  ASSERT_TRUE(sim::ParseDescription(
      "event 2 jam at=1200\nevent 3 end-of-file-every lines=50 side=1\nreserve locked 0\n"
      "fault hold opcode=0xA8 skip=3\n",
      &c, &error))
      << error;
  ASSERT_EQ(c.sheetEvents.size(), 2u);
  EXPECT_EQ(c.sheetEvents[0].kind, SheetEventKind::Jam);
  EXPECT_EQ(c.sheetEvents[0].sheet, 2u);
  EXPECT_EQ(c.sheetEvents[0].offset, 1200u);
  EXPECT_EQ(c.sheetEvents[1].side, 1u);
  EXPECT_EQ(c.sheetEvents[1].lines, 50u);
  EXPECT_EQ(c.reserve, sim::ReserveAnswer::Locked);
  EXPECT_EQ(c.reserveRefusals, 0u);
  ASSERT_EQ(c.faults.size(), 1u);
  EXPECT_EQ(c.faults[0].kind, sim::FaultKind::Hold);
  for (const char* bad : {"event 0 jam\n", "event 1 flood\n", "event 1 jam side=2\n",
                          "event 1 end-of-file-every\n", "event 1 skew at\n", "reserve maybe\n"}) {
    EXPECT_FALSE(sim::ParseDescription(bad, &c, &error)) << bad;
    EXPECT_EQ(error.rfind("line 1: ", 0), 0u) << error;
  }
}

}  // namespace
