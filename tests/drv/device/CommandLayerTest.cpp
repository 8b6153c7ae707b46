// The command layer and the USB transport against the simulated scanner: sense evaluation,
// controller-id checks, the exchange's phases, buttons and one exchange at a time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "SenseCases.h"
#include "SimHelpers.h"
#include "TestLog.h"
#include "drv/device/CScannerManager.h"
#include "drv/device/CUsbIO.h"
#include "drv/platform/DbgLog.h"

using sim::FaultKind;
using simhelp::CheckCondition;
using simhelp::Count;
using simhelp::CurrentSense;
using simhelp::OnCommand;

namespace {
constexpr uint16_t kCtrl = 0xB6EA;
constexpr uint16_t kUnknownType = 0x7777;  // answered with the id in front, then refused

class CommandLayer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testlog::Prepare("command-layer");
    InitializeDbg(nullptr);
  }
  static void TearDownTestSuite() { TerminateDbg(); }

  void SetUp() override { Open(sim::Config{}); }

  void Open(sim::Config config) {
    io.reset();
    host.reset();  // the old bus leaves the host before the new one comes in
    host = std::make_unique<simhelp::InstalledBus>();
    CScannerManager::SetCtrlID(kCtrl);
    scanner = &host->Add("SN1", config);
    KrDrvDeviceInformation rec = simhelp::UsbRecord(config, "SN1");
    io.reset(static_cast<CUsbIO*>(CUsbIO::Create(&rec)));
    ASSERT_NE(io, nullptr);
    scanner->ClearCommandLog();
  }
  void TearDown() override {
    io.reset();
    host.reset();
  }

  int32_t Status() { return static_cast<int32_t>(io->GetStatusLong()); }
  bool ReadImageData() { return io->Read(buf, 64, 0); }

  std::unique_ptr<simhelp::InstalledBus> host;
  sim::SimScanner* scanner = nullptr;
  std::unique_ptr<CUsbIO> io;
  uint8_t buf[1024] = {};
};
}  // namespace

TEST_F(CommandLayer, MapsEverySenseThroughOneRequestSense) {
  for (const SenseCase& c : kSenseCases) {
    scanner->ClearCommandLog();
    scanner->InjectFault(CheckCondition(0xA8, c.key, c.code));
    bool ok = ReadImageData();
    EXPECT_EQ(ok, c.status == 0) << std::hex << "key " << int(c.key) << " code " << c.code;
    EXPECT_EQ(Status(), c.status) << std::hex << "key " << int(c.key) << " code " << c.code;
    auto log = scanner->CommandLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].block[0], 0xE3);
    EXPECT_EQ(log[1].block[10], 44);
    EXPECT_EQ(log[1].block[11], 0);
  }
}

TEST_F(CommandLayer, CheckConditionOnRequestSenseSendsNoSecondOne) {
  scanner->InjectFault(CurrentSense(2, 0x0000));
  scanner->InjectFault(CheckCondition(0xE3, 0, 0));
  EXPECT_FALSE(io->RequestSense(0));
  EXPECT_EQ(Status(), -2009);
  EXPECT_EQ(Count(*scanner, 0xE3), 1u);
}

TEST_F(CommandLayer, ACheckConditionWithoutUsableSenseFails) {
  sim::Fault f = CheckCondition(0xA8, 2, 0x8004);
  f.responseCode = 0x71;
  scanner->InjectFault(f);
  EXPECT_FALSE(ReadImageData());
  EXPECT_EQ(Status(), -2999);
  // A direct sense request keeps the status as it was, so no condition is reported.
  ASSERT_TRUE(io->IoLockStart());
  scanner->InjectFault(CurrentSense(2, 0x0000, 0x71));
  EXPECT_TRUE(io->RequestSense(1));
  EXPECT_EQ(Status(), 0);
}

TEST_F(CommandLayer, ControllerIdIsInEveryBlock) {
  uint8_t window[96] = {};
  io->SetWindow(window, sizeof window);
  io->ReserveUnit(2);
  io->MediaCheck(buf, 5, 0);
  io->Inquiry(buf, 512);
  ReadImageData();
  io->Send(window, 20, 0x93);
  io->ReleaseUnit(2);
  io->ResetScanner();
  io->RequestSense(1);
  auto log = scanner->CommandLog();
  ASSERT_GE(log.size(), 10u);
  for (const sim::Exchange& e : log) {
    EXPECT_EQ(e.block[1], 0xB6) << e.command;
    EXPECT_EQ(e.block[2], 0xEA) << e.command;
    EXPECT_TRUE(e.statusTaken) << e.command;
  }
  EXPECT_EQ(simhelp::Overlaps(*scanner), 0u);
}

TEST_F(CommandLayer, ControllerIdMismatchFailsAndKeepsTheExchangesInStep) {
  struct Case {
    const char* what;
    FaultKind kind;
    uint16_t type;
    bool ok;
    const char* log;
  };
  const Case cases[] = {
      {"status id", FaultKind::WrongIdInStatus, 0x00, false, "Control ID not match."},
      {"data id of a checked type", FaultKind::WrongIdInData, kUnknownType, false,
       "Control ID not match."},
      {"data id of image data", FaultKind::WrongIdInData, 0x00, true, nullptr},
      {"data id of raw data", FaultKind::WrongIdInData, 0x9A, true, nullptr},
      {"data id of background lines", FaultKind::WrongIdInData, 0x9B, true, nullptr},
      {"undefined status", FaultKind::UndefinedStatus, 0x00, false,
       "Status return 1, undefined value"},
  };
  for (const Case& c : cases) {
    scanner->ClearCommandLog();
    scanner->InjectFault(OnCommand(c.kind, 0xA8));
    EXPECT_EQ(io->Read(buf, 64, c.type), c.ok) << c.what;
    if (!c.ok) {
      EXPECT_EQ(Status(), -2023) << c.what;
    }
    if (c.log != nullptr) {
      EXPECT_TRUE(testlog::Contains(c.log)) << c.what;
    }
    // The status of the failed command was read, so the next one starts in step.
    EXPECT_TRUE(scanner->CommandLog().at(0).statusTaken) << c.what;
    EXPECT_TRUE(ReadImageData()) << c.what;
  }
  EXPECT_EQ(simhelp::Overlaps(*scanner), 0u);
}

TEST_F(CommandLayer, ShortRepliesAreCheckedOnlyAsFarAsTheyGo) {
  // One byte of a checked type: only that byte is compared (the sanitizer run sees no
  // over-read). The device then refuses the unknown type, which is not an id failure.
  auto one = std::make_unique<uint8_t[]>(1);
  EXPECT_FALSE(io->Read(one.get(), 1, kUnknownType));
  EXPECT_EQ(Status(), -2005);
  scanner->InjectFault(OnCommand(FaultKind::WrongIdInData, 0xA8));
  EXPECT_FALSE(io->Read(one.get(), 1, kUnknownType));
  EXPECT_EQ(Status(), -2023);
  EXPECT_TRUE(ReadImageData());
}

TEST_F(CommandLayer, EmptyBulkCompletionsEndAfterABoundedRun) {
  sim::Fault few = OnCommand(FaultKind::EmptyCompletions, 0xA8);
  few.empties = 5;
  scanner->InjectFault(few);
  EXPECT_TRUE(ReadImageData());
  sim::Fault endless = few;
  endless.empties = CUsbIO::kMaxEmptyReads + 1000;
  scanner->InjectFault(endless);
  EXPECT_FALSE(ReadImageData());
  EXPECT_EQ(Status(), -2023);
  EXPECT_TRUE(testlog::Contains("DoIo : Read data error"));
}

// Every transfer waits a bounded time: the transport's base, or the one SetTimeout gave, plus
// what the transfer's size takes at the slowest rate (nothing for these 64 bytes).
TEST_F(CommandLayer, EveryTransferHasATimeOutSizedToIt) {
  constexpr uint32_t kBase = CUsbIO::kBaseTimeoutMs;
  EXPECT_TRUE(ReadImageData());
  EXPECT_EQ(scanner->TransferTimeouts(), (std::vector<uint32_t>{kBase}));
  io->SetTimeout(500, 700);
  EXPECT_TRUE(ReadImageData());
  // Command out, then data and status in.
  EXPECT_EQ(scanner->TransferTimeouts(), (std::vector<uint32_t>{kBase, 700, 500}));
  io->SetTimeout(0, 0);
  EXPECT_TRUE(ReadImageData());
  EXPECT_EQ(scanner->TransferTimeouts().back(), kBase);
  EXPECT_EQ(CUsbIO::TransferTimeout(0, 1000 * CUsbIO::kSlowestBytesPerMs), kBase + 1000);
  EXPECT_EQ(CUsbIO::TransferTimeout(500, 0), 500u);
}

TEST_F(CommandLayer, InquiryReadsTheReportedLength) {
  sim::Config config;
  config.inquiryLength = 265;
  Open(config);
  EXPECT_TRUE(io->Inquiry(buf, 512));
  auto log = scanner->CommandLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].block[10], 5);
  EXPECT_EQ(log[1].block[10], 9);  // 265 modulo 256
  EXPECT_EQ(log[1].dataInTaken, 265u);
  EXPECT_EQ(buf[2], 2);

  scanner->ClearCommandLog();
  EXPECT_FALSE(io->Inquiry(buf, 4));
  EXPECT_EQ(Status(), -2005);
  EXPECT_TRUE(scanner->CommandLog().empty());
}

TEST_F(CommandLayer, ButtonPacketIsReturnedOnceThenZeros) {
  uint8_t packet[8];
  ASSERT_TRUE(io->GetButtonStatus(packet));  // starts the reader
  EXPECT_EQ(std::vector<uint8_t>(packet, packet + 8), std::vector<uint8_t>(8, 0));
  scanner->PressButton(3, 1);
  // The reader takes the packet on its own thread; ask until it is there.
  do {
    ASSERT_TRUE(io->GetButtonStatus(packet));
    std::this_thread::yield();
  } while (packet[1] == 0);
  EXPECT_EQ(packet[1], 3);
  EXPECT_EQ(packet[6], 1);
  ASSERT_TRUE(io->GetButtonStatus(packet));
  EXPECT_EQ(packet[1], 0);
  // Closing ends the reader (joined, also under the thread sanitizer).
  io->TerminateDevice();
  ASSERT_TRUE(io->GetButtonStatus(packet));
  EXPECT_EQ(packet[1], 0);
}

TEST_F(CommandLayer, WithoutInterruptPipeButtonsReadZeros) {
  sim::Config config;
  config.interruptPipe = false;
  Open(config);
  scanner->PressButton(2, 1);
  uint8_t packet[8];
  for (int i = 0; i < 3; ++i) {
    std::memset(packet, 0xFF, sizeof packet);
    ASSERT_TRUE(io->GetButtonStatus(packet));
    EXPECT_EQ(std::vector<uint8_t>(packet, packet + 8), std::vector<uint8_t>(8, 0));
  }
  EXPECT_TRUE(ReadImageData());
}

TEST_F(CommandLayer, OneExchangeAtATimePerDevice) {
  auto reader = [this](int* failures) {
    uint8_t local[64];
    for (int i = 0; i < 300; ++i) {
      if (!io->Read(local, sizeof local, 0)) ++*failures;
    }
  };
  int failA = 0, failB = 0, failC = 0;
  std::thread a(reader, &failA);
  std::thread b(reader, &failB);
  std::thread c([this, &failC] {
    for (int i = 0; i < 300; ++i) {
      if (!io->RequestSense(1)) ++failC;
    }
  });
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(failA + failB + failC, 0);
  EXPECT_EQ(simhelp::Overlaps(*scanner), 0u);
}

TEST_F(CommandLayer, ListingFromTwoThreadsSharesNoCommandBlock) {
  // Each lister works on its own copy of the library's INQUIRY block (the thread sanitizer
  // run sees any write to the shared one). A device busy with the other lister stays out.
  io.reset();
  host->Add("SN2");
  auto lister = [](uint32_t* found) {
    for (int i = 0; i < 20; ++i) {
      KrDrvDeviceInformation* records = nullptr;
      uint32_t count = 0;
      CUsbIO::GetDeviceList(&records, &count);
      *found += count;
      std::free(records);
    }
  };
  uint32_t a = 0, b = 0;
  std::thread t1(lister, &a);
  std::thread t2(lister, &b);
  t1.join();
  t2.join();
  EXPECT_GT(a + b, 0u);
  EXPECT_LE(a + b, 80u);
}

TEST(UsbTransport, ErrorTextsAreNotSharedBetweenThreads) {
  EXPECT_EQ(CUsbIO::GetSystemErrorString(0xE00002C0), "kIOReturnNoDevice");
  EXPECT_EQ(CUsbIO::GetSystemErrorString(0xE00002CD), "kIOReturnNotOpen");
  EXPECT_EQ(CUsbIO::GetSystemErrorString(0xE00002EB), "kIOReturnAborted");
  auto check = [](uint32_t code, const char* text, bool* ok) {
    for (int i = 0; i < 2000; ++i) {
      if (CUsbIO::GetSystemErrorString(code) != text) *ok = false;
    }
  };
  bool ok1 = true, ok2 = true;
  std::thread t1(check, 0x12345678u, "12345678", &ok1);
  std::thread t2(check, 0xE000404Fu, "e000404f", &ok2);
  t1.join();
  t2.join();
  EXPECT_TRUE(ok1);
  EXPECT_TRUE(ok2);
}
