// The simulated scanner's device side, through the host layer's interfaces on a SimBus.
#include <gtest/gtest.h>

#include "SupportedModel.h"
#include "sim/SimScanner.h"
#include "tests/sim/SimHarness.h"

namespace {

using namespace simtest;
using sim::Config;
using sim::Fault;
using sim::FaultKind;

constexpr uint16_t kVendor = 0xF11E;
constexpr uint16_t kProduct = 0x0310;
constexpr uint16_t kId = 0x2200;

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
  std::vector<uint8_t> v;
  for (int x : list) v.push_back(uint8_t(x));
  return v;
}

// ---- inquiry data ---------------------------------------------------------------------------

TEST(SimInquiry, SupportedModelAnswersTheDocumentedProfile) {
  sim::SimScanner scanner{Config{}};
  EXPECT_EQ(scanner.InquiryData(kId), SupportedInquiryBytes());
}

TEST(SimInquiry, TextsSitWhereTheOffsetsPoint) {
  Config c;
  c.serial = "AB-12345678901234567890";  // the longest serial the layout holds
  sim::SimScanner scanner{c};
  std::vector<uint8_t> b = scanner.InquiryData(0xB6EA);
  ASSERT_EQ(b.size(), size_t(b[3] << 8 | b[4]));
  EXPECT_EQ(b[0], 0xB6);
  EXPECT_EQ(b[1], 0xEA);
  EXPECT_EQ(b[2], 2);  // the only version the driver accepts
  EXPECT_EQ(TextAt(b, 8), "SIMVENDOR");
  EXPECT_EQ(TextAt(b, 10), "SIM-ADF300");
  EXPECT_EQ(TextAt(b, 12), "1.00");
  EXPECT_EQ(TextAt(b, 14), c.serial);
  size_t serialAt = size_t(b[14]) << 8 | b[15];
  EXPECT_LT(serialAt + c.serial.size(), b.size());  // ends inside the block
  size_t longPages = size_t(b[48]) << 8 | b[49];
  EXPECT_GT(longPages, serialAt + c.serial.size());  // the serial does not run into the list
  EXPECT_EQ(b[54] << 8 | b[55], 0x0024);             // device type
  EXPECT_NE(b[3] << 8 | b[4], 0x0105) << "(L & 0xFF) must not be 5";
}

// ---- description files ----------------------------------------------------------------------

TEST(SimDescription, ReadsEveryKey) {
  Config c;
  std::string error;
  ASSERT_TRUE(
      sim::ParseDescription("# a test scanner\n"
                            "model CQM310_DPI200with300X200\n"
                            "serial XY42   # trailing comment\n"
                            "\n"
                            "sheets 12\n"
                            "interrupt no\n"
                            "speed full\n"
                            "vendor-id 0x1234\n"
                            "product-id 0x00AB\n"
                            "button 3 1\n"
                            "fault check-condition opcode=0xA8 type=0x0069 key=2 asc=0x80 "
                            "ascq=0x03 info=77 skip=1 count=0\n"
                            "fault slow delay-ms=25\n",
                            &c, &error))
      << error;
  EXPECT_EQ(c.serial, "XY42");
  EXPECT_EQ(c.sheets, 12u);
  EXPECT_FALSE(c.interruptPipe);
  EXPECT_EQ(c.speed, usbhost::Speed::Full);
  EXPECT_EQ(c.vendorId, 0x1234);
  EXPECT_EQ(c.productId, 0x00AB);
  ASSERT_EQ(c.buttons.size(), 1u);
  EXPECT_EQ(c.buttons[0], (sim::ButtonPacket{0, 3, 0, 0, 0, 0, 1, 0}));
  ASSERT_EQ(c.faults.size(), 2u);
  const Fault& f = c.faults[0];
  EXPECT_EQ(f.kind, FaultKind::CheckCondition);
  EXPECT_EQ(f.opcode, 0xA8);
  EXPECT_EQ(f.dataType, 0x69);
  EXPECT_EQ(f.senseKey, 2);
  EXPECT_EQ(f.asc, 0x80);
  EXPECT_EQ(f.ascq, 0x03);
  EXPECT_EQ(f.information, 77u);
  EXPECT_EQ(f.skip, 1u);
  EXPECT_EQ(f.count, 0u);
  EXPECT_EQ(c.faults[1].kind, FaultKind::Slow);
  EXPECT_EQ(c.faults[1].delayMs, 25u);
  EXPECT_EQ(c.faults[1].opcode, -1);
}

TEST(SimDescription, RefusesBadLinesWithTheirNumber) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"colour red\n", "line 1: unknown key 'colour'"},
      {"\nmodel XYZ\n", "line 2: unknown model 'XYZ'"},
      {"serial ABCDEFGHIJKLMNOPQRSTUVWX\n", "line 1: serial longer than 23"},
      {"serial\n", "line 1: 'serial' takes one value"},
      {"sheets -1\n", "line 1: bad number of sheets"},
      {"sheets 12abc\n", "line 1: bad number of sheets"},
      {"sheets 0x\n", "line 1: bad number of sheets"},
      {"sheets 99999999999999999999999\n", "line 1: bad number of sheets"},
      {"interrupt maybe\n", "line 1: interrupt takes yes or no"},
      {"vendor-id 0x10000\n", "line 1: bad USB id"},
      {"speed warp\n", "line 1: speed takes"},
      {"button 2\n", "line 1: button takes"},
      {"fault gremlins\n", "line 1: unknown fault 'gremlins'"},
      {"fault stall opcode=0x100\n", "line 1: bad value '0x100' for opcode"},
      {"fault stall colour=1\n", "line 1: unknown fault argument 'colour'"},
      {"fault stall opcode\n", "line 1: expected name=value"},
      {"fault stall count=\n", "line 1: bad value '' for count"},
  };
  for (const auto& c : cases) {
    Config config;
    std::string error;
    EXPECT_FALSE(sim::ParseDescription(c.text, &config, &error)) << c.text;
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << c.text << " gave: " << error;
  }
  Config config;
  std::string error;
  EXPECT_FALSE(sim::LoadDescription("/nonexistent/scanner.txt", &config, &error));
  EXPECT_NE(error.find("/nonexistent/scanner.txt"), std::string::npos);
}

TEST(SimDescription, SeveralScannersOnOneBus) {
  std::vector<Config> all;
  std::string error;
  ASSERT_TRUE(
      sim::ParseDescriptions("serial A1\n"
                             "scanner\n"
                             "serial B2\n"
                             "bulk-in no\n"
                             "fault sense key=2\n"
                             "scanner   # defaults only\n",
                             &all, &error))
      << error;
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].serial, "A1");
  EXPECT_TRUE(all[0].bulkInPipe);
  EXPECT_EQ(all[1].serial, "B2");
  EXPECT_FALSE(all[1].bulkInPipe);
  ASSERT_EQ(all[1].faults.size(), 1u);
  EXPECT_EQ(all[1].faults[0].kind, FaultKind::Sense);
  EXPECT_EQ(all[2].serial, Config{}.serial);
  EXPECT_TRUE(all[2].faults.empty());

  Config one;
  EXPECT_FALSE(sim::ParseDescription("serial A1\nscanner\n", &one, &error));
  EXPECT_EQ(error, "the file describes 2 scanners");
  EXPECT_FALSE(sim::ParseDescriptions("scanner 2\n", &all, &error));
  EXPECT_EQ(error, "line 1: 'scanner' takes no value");
  EXPECT_FALSE(sim::ParseDescriptions("bulk-in often\n", &all, &error));
  EXPECT_EQ(error, "line 1: bulk-in takes yes or no");
  EXPECT_FALSE(sim::ParseDescriptions("inquiry-length 261\n", &all, &error));  // 0x105
  EXPECT_FALSE(sim::ParseDescriptions("inquiry-length 100\n", &all, &error));
  ASSERT_TRUE(
      sim::ParseDescriptions("inquiry-length 265\nfault sense response=0x71\n", &all, &error))
      << error;
  EXPECT_EQ(all[0].inquiryLength, 265u);
  EXPECT_EQ(all[0].faults[0].responseCode, 0x71);
}

TEST(SimDescription, ShippedExampleLoads) {
  Config c;
  std::string error;
  ASSERT_TRUE(sim::LoadDescription(SIM_EXAMPLE_FILE, &c, &error)) << error;
  EXPECT_EQ(c.sheets, 5u);
  EXPECT_TRUE(c.faults.empty());
}

// ---- exchanges ------------------------------------------------------------------------------

class SimExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    scanner_ = &bus_.AddScanner(config_);
    ASSERT_EQ(Open(bus_, kVendor, kProduct, &s_), kUsbSuccess);
  }
  // The sense the device reports now.
  std::vector<uint8_t> Sense() {
    Outcome o = DoCommand(s_, SenseBlock(kId), 44);
    EXPECT_EQ(o.rc, kUsbSuccess);
    return o.data;
  }
  Config config_;
  sim::SimBus bus_;
  sim::SimScanner* scanner_ = nullptr;
  OpenScanner s_;
};

TEST_F(SimExchange, PresentsTheTransportsPipes) {
  EXPECT_EQ(s_.bulkOut, sim::kPipeBulkOut);
  EXPECT_EQ(s_.bulkIn, sim::kPipeBulkIn);
  EXPECT_EQ(s_.interrupt, sim::kPipeInterrupt);
  Speed speed = Speed::Unknown;
  EXPECT_EQ(s_.device->GetDeviceSpeed(&speed), kUsbSuccess);
  EXPECT_EQ(speed, Speed::High);
  EXPECT_EQ(s_.interface->GetPipeStatus(s_.bulkOut), kUsbSuccess);
}

TEST_F(SimExchange, OtherControlRequestsAreStalled) {
  Block block = InquiryBlock(kId, 5);
  ControlRequest r;
  r.bmRequestType = 0xC0;  // vendor, device to host
  r.bRequest = 4;
  r.wLength = 12;
  r.data = block.data();
  EXPECT_EQ(s_.interface->DeviceRequest(&r), kUsbPipeStalled);
  r.bmRequestType = 0x40;
  r.wLength = 6;
  EXPECT_EQ(s_.interface->DeviceRequest(&r), kUsbPipeStalled);
  EXPECT_TRUE(scanner_->CommandLog().empty());
  EXPECT_EQ(scanner_->Messages().size(), 2u);
}

TEST_F(SimExchange, UnknownCommandsAreRefusedWithAParameterSense) {
  struct Case {
    Block block;
    uint32_t readLength;
    std::vector<uint8_t> write;
    uint8_t asc;
    const char* name;
  } cases[] = {
      {MakeBlock(0x12, kId), 0, {}, 0x20, "unknown 0x12"},
      {ReadBlock(0xA8, kId, 0x7777, 9), 9, {}, 0x26, "READ 0x7777"},
      {ReadBlock(0xAA, kId, 0x7777, 4), 0, {0, 0, 1, 4}, 0x26, "SEND 0x7777"},
  };
  for (const auto& c : cases) {
    Outcome o = DoCommand(s_, c.block, c.readLength, c.write);
    ASSERT_EQ(o.rc, kUsbSuccess) << c.name;
    EXPECT_EQ(o.status, (std::array<uint8_t, 3>{0x22, 0x00, 0x02})) << c.name;
    if (c.readLength) {
      // The announced data still moves, with the id in front, so the exchange stays in step.
      EXPECT_EQ(o.data.size(), c.readLength);
      EXPECT_EQ(o.data[0], 0x22);
    }
    std::vector<uint8_t> sense = Sense();
    EXPECT_EQ(sense[5], 5) << c.name;
    EXPECT_EQ(sense[7], c.asc) << c.name;
    EXPECT_EQ(scanner_->CommandLog()[scanner_->CommandLog().size() - 2].command, c.name);
  }
}

TEST_F(SimExchange, ImageLikeReadsStartWithDataNotTheId) {
  for (uint16_t type : {0x0000, 0x009A}) {
    Outcome o = DoCommand(s_, ReadBlock(0xA8, kId, type, 300), 300);
    ASSERT_EQ(o.rc, kUsbSuccess) << type;
    EXPECT_EQ(o.status, (std::array<uint8_t, 3>{0x22, 0x00, 0x00})) << type;
    ASSERT_EQ(o.data.size(), 300u);
    for (size_t i = 0; i < o.data.size(); ++i) ASSERT_EQ(o.data[i], uint8_t(i)) << type;
  }
  // A condition on an image read still delivers the block, then reports it by sense.
  Fault eop;
  eop.kind = FaultKind::CheckCondition;
  eop.opcode = 0xA8;
  eop.dataType = 0;
  eop.asc = 0x80;
  eop.ascq = 0x04;
  eop.information = 120;
  scanner_->InjectFault(eop);
  Outcome o = DoCommand(s_, ReadBlock(0xA8, kId, 0, 300), 300);
  EXPECT_EQ(o.data.size(), 300u);
  EXPECT_EQ(o.status[2], 2);
  std::vector<uint8_t> sense = Sense();
  EXPECT_EQ(sense[7], 0x80);
  EXPECT_EQ(sense[8], 0x04);
  EXPECT_EQ(sense[12], 120);
}

TEST_F(SimExchange, HugeReadLengthIsRefusedWithoutBuildingTheReply) {
  Outcome o = DoCommand(s_, ReadBlock(0xA8, kId, 0x0069, 0xFFFFFFFF), 0);  // host reads the status
  ASSERT_EQ(o.rc, kUsbSuccess);
  EXPECT_EQ(o.status, (std::array<uint8_t, 3>{0x22, 0x00, 0x02}));
  EXPECT_EQ(Sense()[7], 0x26);
  EXPECT_TRUE(scanner_->CommandLog()[0].dataIn.empty());
  EXPECT_NE(scanner_->CommandLog()[0].notes.at(0).find("4294967295 bytes"), std::string::npos);
}

TEST_F(SimExchange, SenseWithoutAConditionSaysNoCondition) {
  std::vector<uint8_t> sense = Sense();
  ASSERT_EQ(sense.size(), 44u);
  std::vector<uint8_t> expected(44, 0);
  expected[0] = 0x22;
  expected[4] = 0x70;
  EXPECT_EQ(sense, expected);
}

TEST_F(SimExchange, SenseFaultReportsACurrentConditionWithGoodStatus) {
  Fault f;
  f.kind = FaultKind::Sense;
  f.senseKey = 2;
  f.asc = 0x80;
  f.ascq = 0x02;
  f.information = 9;
  scanner_->InjectFault(f);
  Outcome o = DoCommand(s_, SenseBlock(kId), 44);
  ASSERT_EQ(o.rc, kUsbSuccess);
  EXPECT_EQ(o.status[2], 0);
  EXPECT_EQ(o.data[4], 0x70);
  EXPECT_EQ(o.data[5], 2);
  EXPECT_EQ(o.data[7], 0x80);
  EXPECT_EQ(o.data[8], 0x02);
  EXPECT_EQ(o.data[12], 9);
  EXPECT_EQ(Sense()[5], 0);  // once: then no condition again
}

TEST_F(SimExchange, PipeStatusFailsOnRequestAndTimeOutsAreNoted) {
  EXPECT_EQ(s_.interface->GetPipeStatus(s_.bulkOut), kUsbSuccess);
  scanner_->FailPipeStatus(true);
  EXPECT_EQ(s_.interface->GetPipeStatus(s_.bulkOut), kUsbPipeStalled);
  EXPECT_TRUE(scanner_->Attached());
  scanner_->FailPipeStatus(false);
  EXPECT_EQ(s_.interface->GetPipeStatus(s_.bulkOut), kUsbSuccess);
  s_.interface->SetTransferTimeout(250);
  s_.interface->SetTransferTimeout(0);
  EXPECT_EQ(scanner_->TransferTimeouts(), (std::vector<uint32_t>{250, 0}));
}

TEST_F(SimExchange, OneByteReplyCarriesTheIdsHighByte) {
  Outcome o = DoCommand(s_, ReadBlock(0xA8, kId, 0x7777, 1), 1);
  ASSERT_EQ(o.data.size(), 1u);
  EXPECT_EQ(o.data[0], kId >> 8);
}

TEST_F(SimExchange, WindowDataArrivesOnBulkOutInOneOrMoreTransfers) {
  std::vector<uint8_t> window(96);
  for (size_t i = 0; i < window.size(); ++i) window[i] = uint8_t(i);
  Block block = MakeBlock(0xE4, kId);
  block[10] = 96;
  ASSERT_EQ(SendBlock(*s_.interface, block), kUsbSuccess);
  ASSERT_EQ(s_.interface->WritePipe(s_.bulkOut, window.data(), 40), kUsbSuccess);
  ASSERT_EQ(s_.interface->WritePipe(s_.bulkOut, window.data() + 40, 56), kUsbSuccess);
  ReadResult st = ReadExactly(*s_.interface, s_.bulkIn, 3);
  EXPECT_EQ(st.bytes, Bytes({0x22, 0x00, 0x00}));
  auto log = scanner_->CommandLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].command, "SET WINDOW");
  EXPECT_EQ(log[0].dataOut, window);
  EXPECT_TRUE(log[0].dataIn.empty());
  EXPECT_TRUE(log[0].statusTaken);
}

TEST_F(SimExchange, BulkOutNobodyAnnouncedOrTooLongIsStalled) {
  uint8_t data[8] = {};
  EXPECT_EQ(s_.interface->WritePipe(s_.bulkOut, data, 8), kUsbPipeStalled);
  Block block = MakeBlock(0xE4, kId);
  block[10] = 4;
  ASSERT_EQ(SendBlock(*s_.interface, block), kUsbSuccess);
  EXPECT_EQ(s_.interface->WritePipe(s_.bulkOut, data, 8), kUsbPipeStalled);
  EXPECT_EQ(scanner_->Messages().size(), 2u);
  // The device is ready for the next command.
  EXPECT_EQ(DoCommand(s_, InquiryBlock(kId, 5), 5).status, (std::array<uint8_t, 3>{0x22, 0, 0}));
}

// A command while an exchange is open (its data and status unread) is a protocol error: the
// command is refused with a stall and the open exchange's rest dropped, so the next command
// is answered. A host that clears the bulk pipes first starts in step.
TEST_F(SimExchange, ACommandOnAnOpenExchangeIsAProtocolError) {
  ASSERT_EQ(SendBlock(*s_.interface, InquiryBlock(kId, 5)), kUsbSuccess);
  Outcome o = DoCommand(s_, MakeBlock(0xE6, kId), 0);  // RESERVE UNIT, data of INQUIRY unread
  EXPECT_EQ(o.rc, kUsbPipeStalled);
  EXPECT_EQ(scanner_->ProtocolErrors(), 1u);
  auto log = scanner_->CommandLog();
  ASSERT_EQ(log.size(), 1u);
  ASSERT_EQ(log[0].notes.size(), 1u);
  EXPECT_NE(log[0].notes[0].find("still open"), std::string::npos);
  EXPECT_FALSE(log[0].statusTaken);
  o = DoCommand(s_, MakeBlock(0xE6, kId), 0);
  ASSERT_EQ(o.rc, kUsbSuccess);
  EXPECT_EQ(o.status, (std::array<uint8_t, 3>{0x22, 0, 0}));

  ASSERT_EQ(SendBlock(*s_.interface, InquiryBlock(kId, 5)), kUsbSuccess);
  EXPECT_EQ(s_.interface->ClearPipeStall(s_.bulkIn), kUsbSuccess);
  o = DoCommand(s_, MakeBlock(0xE6, kId), 0);
  ASSERT_EQ(o.rc, kUsbSuccess);
  EXPECT_EQ(o.status, (std::array<uint8_t, 3>{0x22, 0, 0}));
  EXPECT_EQ(scanner_->ProtocolErrors(), 1u);
}

// A device that stops answering: its reads end with the host's time-out; a slow transfer past
// the time-out ends as timed out too.
TEST_F(SimExchange, ASilentOrSlowDeviceEndsReadsAtTheHostsTimeOut) {
  Fault silent{FaultKind::Silent};
  silent.opcode = 0xE2;
  scanner_->InjectFault(silent);
  s_.interface->SetTransferTimeout(20);
  ASSERT_EQ(SendBlock(*s_.interface, InquiryBlock(kId, 5)), kUsbSuccess);
  uint8_t buffer[5];
  uint32_t size = sizeof buffer;
  EXPECT_EQ(s_.interface->ReadPipe(s_.bulkIn, buffer, &size), kUsbTimeout);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(s_.interface->ClearPipeStall(s_.bulkIn), kUsbSuccess);

  Fault slow{FaultKind::Slow};
  slow.opcode = 0xE2;
  slow.delayMs = 60000;
  scanner_->InjectFault(slow);
  EXPECT_EQ(SendBlock(*s_.interface, InquiryBlock(kId, 5)), kUsbTimeout);
  EXPECT_EQ(scanner_->ProtocolErrors(), 0u);
}

TEST_F(SimExchange, MediaCheckReportsPaperInTheFeeder) {
  Block block = MakeBlock(0xE8, kId);
  block[10] = 5;
  Outcome o = DoCommand(s_, block, 5);
  EXPECT_EQ(o.data, Bytes({0x22, 0x00, 0, 0, 0x01}));
}

TEST_F(SimExchange, ScriptedFaultsShapeTheReplies) {
  struct Case {
    Fault fault;
    std::vector<uint8_t> firstDataBytes;  // of a 5-byte INQUIRY
    std::array<uint8_t, 3> status;
  };
  Fault wrongData{FaultKind::WrongIdInData};
  Fault wrongStatus{FaultKind::WrongIdInStatus};
  Fault undefined{FaultKind::UndefinedStatus};
  undefined.statusByte = 3;
  Fault check{FaultKind::CheckCondition};
  check.senseKey = 2;
  Case cases[] = {
      {wrongData, {0xDD, 0xFF}, {0x22, 0x00, 0x00}},
      {wrongStatus, {0x22, 0x00}, {0xDD, 0xFF, 0x00}},
      {undefined, {0x22, 0x00}, {0x22, 0x00, 0x03}},
      {check, {0x22, 0x00}, {0x22, 0x00, 0x02}},
  };
  for (const auto& c : cases) {
    scanner_->ClearFaults();
    scanner_->InjectFault(c.fault);
    Outcome o = DoCommand(s_, InquiryBlock(kId, 5), 5);
    ASSERT_EQ(o.rc, kUsbSuccess) << sim::FaultName(c.fault.kind);
    EXPECT_EQ(std::vector<uint8_t>(o.data.begin(), o.data.begin() + 2), c.firstDataBytes)
        << sim::FaultName(c.fault.kind);
    EXPECT_EQ(o.status, c.status) << sim::FaultName(c.fault.kind);
    EXPECT_EQ(scanner_->CommandLog().back().notes.at(0).rfind(
                  std::string("fault ") + sim::FaultName(c.fault.kind), 0),
              0u);
    // A fault with count 1 is spent: the next command is clean.
    EXPECT_EQ(DoCommand(s_, InquiryBlock(kId, 5), 5).status[2], 0) << sim::FaultName(c.fault.kind);
  }
}

TEST_F(SimExchange, ReplyHookRewritesDataAndStatus) {
  struct Seen {
    uint8_t opcode;
    bool hasData;
  };
  std::vector<Seen> seen;
  scanner_->SetReplyHook([&](const std::array<uint8_t, 12>& block, std::vector<uint8_t>* data,
                             std::array<uint8_t, 3>* status) {
    seen.push_back({block[0], data != nullptr});
    if (block[0] == 0xE2) {  // INQUIRY: two bytes only, and status 3
      data->assign({0xAB, 0xCD});
      (*status)[2] = 3;
    }
  });
  // The shorter reply reaches the host as a short packet; the status comes next.
  ASSERT_EQ(SendBlock(*s_.interface, InquiryBlock(kId, 5)), kUsbSuccess);
  uint8_t buffer[5] = {};
  uint32_t size = sizeof buffer;
  ASSERT_EQ(s_.interface->ReadPipe(s_.bulkIn, buffer, &size), kUsbSuccess);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + size), Bytes({0xAB, 0xCD}));
  ReadResult status = ReadExactly(*s_.interface, s_.bulkIn, 3);
  EXPECT_EQ(status.bytes, Bytes({0x22, 0x00, 0x03}));
  EXPECT_EQ(scanner_->CommandLog().back().dataIn, Bytes({0xAB, 0xCD}));
  // A command without a data phase shows its status only.
  std::vector<uint8_t> window(96, 0);
  Block set = MakeBlock(0xE4, kId);  // SET WINDOW
  set[10] = uint8_t(window.size());
  EXPECT_EQ(DoCommand(s_, set, 0, window).status[2], 0);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_TRUE(seen[0].hasData);
  EXPECT_EQ(seen[1].opcode, 0xE4);
  EXPECT_FALSE(seen[1].hasData);
  // Removed, the replies are the device's own again.
  scanner_->SetReplyHook(nullptr);
  Outcome o = DoCommand(s_, InquiryBlock(kId, 5), 5);
  EXPECT_EQ(o.data[0], 0x22);
  EXPECT_EQ(o.status[2], 0);
}

TEST_F(SimExchange, FaultsMatchOpcodeDataTypeSkipAndCount) {
  Fault f{FaultKind::UndefinedStatus};
  f.opcode = 0xE6;  // RESERVE UNIT
  f.skip = 1;
  f.count = 2;
  scanner_->InjectFault(f);
  std::vector<int> seen;
  for (int i = 0; i < 5; ++i) {
    DoCommand(s_, InquiryBlock(kId, 5), 5);  // never matches
    seen.push_back(DoCommand(s_, MakeBlock(0xE6, kId), 0).status[2]);
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 1, 0, 0}));

  Fault typed{FaultKind::UndefinedStatus};
  typed.opcode = 0xA8;
  typed.dataType = 0x0069;
  scanner_->InjectFault(typed);
  EXPECT_EQ(DoCommand(s_, ReadBlock(0xA8, kId, 0x0068, 4), 4).status[2], 2);  // unknown type: check
  DoCommand(s_, SenseBlock(kId), 44);
  EXPECT_EQ(DoCommand(s_, ReadBlock(0xA8, kId, 0x0069, 4), 4).status[2], 1);
}

TEST_F(SimExchange, StallAndFailedControlEndOnlyTheirExchange) {
  Fault stall{FaultKind::Stall};
  scanner_->InjectFault(stall);
  ASSERT_EQ(SendBlock(*s_.interface, InquiryBlock(kId, 5)), kUsbSuccess);
  EXPECT_EQ(ReadExactly(*s_.interface, s_.bulkIn, 5).rc, kUsbPipeStalled);
  EXPECT_EQ(DoCommand(s_, InquiryBlock(kId, 5), 5).status[2], 0);

  scanner_->InjectFault(Fault{FaultKind::FailControl});
  EXPECT_EQ(SendBlock(*s_.interface, InquiryBlock(kId, 5)), kUsbPipeStalled);
  EXPECT_EQ(DoCommand(s_, InquiryBlock(kId, 5), 5).status[2], 0);
}

TEST_F(SimExchange, DeviceOpenIsExclusive) {
  std::vector<std::unique_ptr<UsbDevice>> found;
  ASSERT_EQ(bus_.FindDevices(kVendor, kProduct, &found), kUsbSuccess);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0]->OpenDevice(), kUsbExclusiveAccess);
  EXPECT_EQ(found[0]->ResetDevice(), kUsbNotOpen);  // only the opener may reset
  ASSERT_EQ(s_.interface->Close(), kUsbSuccess);
  ASSERT_EQ(s_.device->CloseDevice(), kUsbSuccess);
  EXPECT_EQ(found[0]->OpenDevice(), kUsbSuccess);
  EXPECT_EQ(s_.device->OpenDevice(), kUsbExclusiveAccess);
}

TEST_F(SimExchange, InterfacesNeedAConfigurationAndAnOpen) {
  std::unique_ptr<UsbInterface> other;
  ASSERT_EQ(s_.device->CreateInterface(&other), kUsbSuccess);
  EXPECT_EQ(other->Open(), kUsbExclusiveAccess);
  uint32_t size = 3;
  uint8_t buffer[3];
  EXPECT_EQ(other->ReadPipe(s_.bulkIn, buffer, &size), kUsbNotOpen);
  EXPECT_EQ(other->GetPipeStatus(s_.bulkOut), kUsbNotOpen);

  // A reset drops the configuration, and the open exchange with it.
  ASSERT_EQ(SendBlock(*s_.interface, InquiryBlock(kId, 5)), kUsbSuccess);
  ASSERT_EQ(s_.device->ResetDevice(), kUsbSuccess);
  EXPECT_EQ(s_.device->CreateInterface(&other), kUsbNotFound);
  ASSERT_EQ(s_.device->SetConfiguration(1), kUsbSuccess);
  ASSERT_EQ(s_.device->CreateInterface(&other), kUsbSuccess);
  ASSERT_EQ(other->Open(), kUsbSuccess);
  size = 3;
  EXPECT_EQ(other->ReadPipe(s_.bulkIn, buffer, &size), kUsbNotResponding);
}

TEST_F(SimExchange, VanishedDeviceComesBackAfterItsSearches) {
  Fault vanish{FaultKind::Vanish};
  vanish.opcode = 0xE6;
  vanish.searches = 1;
  scanner_->InjectFault(vanish);
  EXPECT_EQ(SendBlock(*s_.interface, MakeBlock(0xE6, kId)), kUsbNoDevice);
  EXPECT_EQ(s_.interface->GetPipeStatus(s_.bulkOut), kUsbNoDevice);
  std::vector<std::unique_ptr<UsbDevice>> found;
  ASSERT_EQ(bus_.FindDevices(kVendor, kProduct, &found), kUsbSuccess);
  EXPECT_TRUE(found.empty());  // away for one search
  OpenScanner again;
  ASSERT_EQ(Open(bus_, kVendor, kProduct, &again), kUsbSuccess);
  Outcome o = DoCommand(again, InquiryBlock(kId, 232), 232);
  EXPECT_EQ(TextAt(o.data, 14), "SIM0000001");
  EXPECT_EQ(s_.interface->GetPipeStatus(s_.bulkOut), kUsbNoDevice);  // old objects stay dead
}

TEST(SimLog, KeepsTheLatestExchangesAndCutsLongData) {
  Config c;
  std::string error;
  ASSERT_TRUE(sim::ParseDescription("log-limit 4\nlog-data-limit 3\n", &c, &error)) << error;
  sim::SimBus bus;
  sim::SimScanner& scanner = bus.AddScanner(c);
  OpenScanner s;
  ASSERT_EQ(Open(bus, kVendor, kProduct, &s), kUsbSuccess);
  for (int i = 0; i < 10; ++i) {
    Outcome o = DoCommand(s, InquiryBlock(kId, 5), 5);
    ASSERT_EQ(o.data.size(), 5u);  // the wire is not cut, only the log
  }
  auto log = scanner.CommandLog();
  ASSERT_GE(log.size(), 4u);
  ASSERT_LE(log.size(), 5u);
  EXPECT_EQ(log.back().number, 10u);
  EXPECT_EQ(log.back().dataIn, Bytes({0x22, 0x00, 0x02}));
  EXPECT_EQ(log.back().dataInTaken, 5u);
  EXPECT_TRUE(log.back().dataCut);
}

class SimWithoutInterruptPipe : public SimExchange {
 protected:
  void SetUp() override {
    config_.interruptPipe = false;
    config_.sheets = 0;
    SimExchange::SetUp();
  }
};

TEST_F(SimWithoutInterruptPipe, HasOnlyTheBulkPipes) {
  EXPECT_EQ(s_.interrupt, 0);
  uint8_t n = 0;
  EXPECT_EQ(s_.interface->GetNumEndpoints(&n), kUsbSuccess);
  EXPECT_EQ(n, 2);
  scanner_->PressButton(2, 1);  // dropped: nowhere to go
  uint8_t packet[8];
  uint32_t size = 8;
  EXPECT_EQ(s_.interface->ReadInterruptPipe(sim::kPipeInterrupt, packet, &size), kUsbBadArgument);
  Block block = MakeBlock(0xE8, kId);
  block[10] = 5;
  EXPECT_EQ(DoCommand(s_, block, 5).data[4], 0x00);  // no paper
}

TEST(SimInquiryLength, PaddedToTheDescribedLength) {
  Config c;
  c.inquiryLength = 265;
  sim::SimBus bus;
  bus.AddScanner(c);
  OpenScanner s;
  ASSERT_EQ(Open(bus, c.vendorId, c.productId, &s), kUsbSuccess);
  Outcome first = DoCommand(s, InquiryBlock(kId, 5), 5);
  EXPECT_EQ(first.data[3] << 8 | first.data[4], 265);
  Outcome full = DoCommand(s, InquiryBlock(kId, 265 & 0xFF), 265);
  ASSERT_EQ(full.rc, kUsbSuccess);
  EXPECT_EQ(full.data.size(), 265u);
  EXPECT_EQ(full.status[2], 0);
}

TEST(SimPipes, WithoutBulkInTheInterfaceHasNoBulkInPipe) {
  Config c;
  c.bulkInPipe = false;
  sim::SimBus bus;
  bus.AddScanner(c);
  OpenScanner s;
  ASSERT_EQ(Open(bus, c.vendorId, c.productId, &s), kUsbSuccess);
  EXPECT_EQ(s.bulkIn, 0);
  EXPECT_EQ(s.bulkOut, sim::kPipeBulkOut);
  PipeProperties p;
  ASSERT_EQ(s.interface->GetPipeProperties(sim::kPipeBulkIn, &p), kUsbSuccess);
  EXPECT_EQ(p.transferType, TransferType::Isochronous);
  EXPECT_EQ(p.direction, Direction::In);
}

TEST(SimButtons, PacketsFromTheDescriptionWaitOnTheInterruptPipe) {
  Config c;
  std::string error;
  ASSERT_TRUE(sim::ParseDescription("button 3 1\nbutton 2 2\n", &c, &error)) << error;
  sim::SimBus bus;
  bus.AddScanner(c);
  OpenScanner s;
  ASSERT_EQ(Open(bus, kVendor, kProduct, &s), kUsbSuccess);
  for (auto expected : {Bytes({0, 3, 0, 0, 0, 0, 1, 0}), Bytes({0, 2, 0, 0, 0, 0, 2, 0})}) {
    std::vector<uint8_t> packet(8);
    uint32_t size = 8;
    ASSERT_EQ(s.interface->ReadInterruptPipe(s.interrupt, packet.data(), &size), kUsbSuccess);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(packet, expected);
  }
}

}  // namespace
