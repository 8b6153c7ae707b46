#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FakeBus.h"
#include "SenseCases.h"
#include "TestLog.h"
#include "drv/device/CScannerManager.h"
#include "drv/device/CUsbIO.h"
#include "drv/platform/DbgLog.h"
#include "vantrel/device_ids.h"

using fake::Fault;
using fake::MakeSense;

namespace {
constexpr uint16_t kCtrl = 0xB6EA;

Fault Check(uint8_t opcode, uint8_t key, uint16_t code, uint32_t info = 0) {
  Fault f;
  f.opcode = opcode;
  f.statusByte = 2;
  f.hasSense = true;
  f.sense = MakeSense(key, code, info);
  return f;
}

class CommandLayer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testlog::Prepare("command-layer");
    InitializeDbg(nullptr);
  }
  static void TearDownTestSuite() { TerminateDbg(); }

  void SetUp() override { Open(true); }

  void Open(bool interruptPipe) {
    io.reset();
    host.bus.scanners.clear();
    CScannerManager::SetCtrlID(kCtrl);
    scanner = host.bus.Add(vantrel::kSupportedVendorId, vantrel::kSupportedProductId, "SN1");
    scanner->interruptIn = interruptPipe;
    KrDrvDeviceInformation rec;
    std::memset(&rec, 0, sizeof rec);
    rec.Type = krbus::kUsb;
    kridentity::SetWord(rec.Identity, 0, vantrel::kSupportedVendorId);
    kridentity::SetWord(rec.Identity, 1, vantrel::kSupportedProductId);
    std::strcpy(rec.SerialNumber, "SN1");
    io.reset(static_cast<CUsbIO*>(CUsbIO::Create(&rec)));
    ASSERT_NE(io, nullptr);
    scanner->ClearCommands();
  }

  int32_t Status() { return static_cast<int32_t>(io->GetStatusLong()); }
  bool ReadChecked() { return io->Read(buf, 36, 0x60); }

  fake::InstalledBus host;
  std::shared_ptr<fake::Scanner> scanner;
  std::unique_ptr<CUsbIO> io;
  uint8_t buf[70000] = {};
};

}  // namespace

TEST_F(CommandLayer, MapsEverySenseThroughOneRequestSense) {
  for (const SenseCase& c : kSenseCases) {
    scanner->ClearCommands();
    scanner->Push(Check(0xA8, c.key, c.code));
    bool ok = ReadChecked();
    EXPECT_EQ(ok, c.status == 0) << std::hex << "key " << int(c.key) << " code " << c.code;
    EXPECT_EQ(Status(), c.status) << std::hex << "key " << int(c.key) << " code " << c.code;
    EXPECT_EQ(scanner->CountOpcode(0xE3), 1u);
    auto cmds = scanner->Commands();
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(cmds[1][10], 44);
    EXPECT_EQ(cmds[1][11], 0);
  }
}

TEST_F(CommandLayer, CheckConditionOnRequestSenseSendsNoSecondOne) {
  scanner->SetSense(MakeSense(2, 0));
  Fault f;
  f.opcode = 0xE3;
  f.statusByte = 2;
  scanner->Push(f);
  EXPECT_FALSE(io->RequestSense(0));
  EXPECT_EQ(Status(), -2009);
  EXPECT_EQ(scanner->CountOpcode(0xE3), 1u);
}

TEST_F(CommandLayer, ACheckConditionWithoutUsableSenseFails) {
  Fault f = Check(0xA8, 2, 0x8004);
  f.sense[4] = 0x71;
  scanner->Push(f);
  EXPECT_FALSE(ReadChecked());
  EXPECT_EQ(Status(), -2999);
  // A direct sense request keeps the status as it was, so no condition is reported.
  ASSERT_TRUE(io->IoLockStart());
  scanner->SetSense(MakeSense(2, 0, 0, 0x71));
  EXPECT_TRUE(io->RequestSense(1));
  EXPECT_EQ(Status(), 0);
}

TEST_F(CommandLayer, ControllerIdIsInEveryBlock) {
  uint8_t window[96] = {};
  io->SetWindow(window, sizeof window);
  io->ReserveUnit(2);
  io->MediaCheck(buf, 5, 0);
  io->Inquiry(buf, 512);
  ReadChecked();
  io->Send(window, 20, 0x93);
  io->ReleaseUnit(2);
  io->ResetScanner();
  io->RequestSense(1);
  auto cmds = scanner->Commands();
  ASSERT_EQ(cmds.size(), 10u);
  for (auto& b : cmds) {
    EXPECT_EQ(b[1], 0xB6);
    EXPECT_EQ(b[2], 0xEA);
  }
  EXPECT_EQ(scanner->Overlaps(), 0);
}

TEST_F(CommandLayer, ControllerIdMismatchFailsAndKeepsTheExchangesInStep) {
  struct Case {
    const char* what;
    Fault fault;
    uint16_t type;
    bool ok;
    const char* log;
  };
  Fault status;
  status.opcode = 0xA8;
  status.wrongStatusId = true;
  Fault data;
  data.opcode = 0xA8;
  data.wrongDataId = true;
  Fault undefined;
  undefined.opcode = 0xA8;
  undefined.statusByte = 3;
  Fault control;
  control.opcode = 0xA8;
  control.failControl = true;
  const Case cases[] = {
      {"status id", status, 0x60, false, "Control ID not match."},
      {"data id of a checked type", data, 0x60, false, "Control ID not match."},
      {"data id of image data", data, 0x00, true, nullptr},
      {"data id of raw data", data, 0x9A, true, nullptr},
      {"data id of background lines", data, 0x9B, true, nullptr},
      {"status id of image data", status, 0x00, false, "Control ID not match."},
      {"undefined status", undefined, 0x60, false, "Status return 3, undefined value"},
  };
  for (const Case& c : cases) {
    scanner->Push(c.fault);
    EXPECT_EQ(io->Read(buf, 64, c.type), c.ok) << c.what;
    if (!c.ok) {
      EXPECT_EQ(Status(), -2023) << c.what;
    }
    if (c.log != nullptr) {
      EXPECT_TRUE(testlog::Contains(c.log)) << c.what;
    }
    // The next command still works: the status of the failed one was read.
    EXPECT_TRUE(ReadChecked()) << c.what;
  }
  EXPECT_EQ(scanner->Overlaps(), 0);
}

TEST_F(CommandLayer, ShortRepliesAreCheckedOnlyAsFarAsTheyGo) {
  // One byte of a checked type: only that byte is compared (the sanitizer run sees no over-read).
  auto one = std::make_unique<uint8_t[]>(1);
  EXPECT_TRUE(io->Read(one.get(), 1, 0x60));
  Fault data;
  data.opcode = 0xA8;
  data.wrongDataId = true;
  scanner->Push(data);
  EXPECT_FALSE(io->Read(one.get(), 1, 0x60));
  EXPECT_EQ(Status(), -2023);
  EXPECT_TRUE(ReadChecked());
}

TEST_F(CommandLayer, EmptyBulkCompletionsEndAfterABoundedRun) {
  Fault few;
  few.opcode = 0xA8;
  few.zeroReads = 5;
  scanner->Push(few);
  EXPECT_TRUE(ReadChecked());
  Fault endless;
  endless.opcode = 0xA8;
  endless.zeroReads = CUsbIO::kMaxEmptyReads + 1000;
  scanner->Push(endless);
  EXPECT_FALSE(ReadChecked());
  EXPECT_EQ(Status(), -2023);
  EXPECT_TRUE(testlog::Contains("DoIo : Read data error"));
}

TEST_F(CommandLayer, TransferTimeOutsAreOffUntilSet) {
  EXPECT_TRUE(ReadChecked());
  EXPECT_TRUE(scanner->Timeouts().empty());
  io->SetTimeout(500, 700);
  EXPECT_TRUE(ReadChecked());
  // Command out, data in, status in.
  EXPECT_EQ(scanner->Timeouts(), (std::vector<uint32_t>{700, 500}));
  io->SetTimeout(0, 0);
  EXPECT_TRUE(ReadChecked());
  EXPECT_EQ(scanner->Timeouts().back(), 0u);
}

TEST_F(CommandLayer, InquiryReadsTheReportedLength) {
  scanner->inquiry.resize(265, 0);
  scanner->inquiry[3] = 0x01;
  scanner->inquiry[4] = 0x09;
  EXPECT_TRUE(io->Inquiry(buf, 512));
  auto cmds = scanner->Commands();
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0][10], 5);
  EXPECT_EQ(cmds[1][10], 9);   // 265 modulo 256
  EXPECT_EQ(buf[2], 2);
  EXPECT_EQ(scanner->Overlaps(), 0);

  scanner->ClearCommands();
  EXPECT_FALSE(io->Inquiry(buf, 4));
  EXPECT_EQ(Status(), -2005);
  EXPECT_TRUE(scanner->Commands().empty());
}

TEST_F(CommandLayer, ButtonPacketIsReturnedOnceThenZeros) {
  uint8_t packet[8];
  ASSERT_TRUE(io->GetButtonStatus(packet));   // starts the reader
  EXPECT_EQ(std::vector<uint8_t>(packet, packet + 8), std::vector<uint8_t>(8, 0));
  scanner->PushButton({0, 3, 0, 0, 0, 0, 1, 0});
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
  Open(false);
  scanner->PushButton({0, 2, 0, 0, 0, 0, 1, 0});
  uint8_t packet[8];
  for (int i = 0; i < 3; ++i) {
    std::memset(packet, 0xFF, sizeof packet);
    ASSERT_TRUE(io->GetButtonStatus(packet));
    EXPECT_EQ(std::vector<uint8_t>(packet, packet + 8), std::vector<uint8_t>(8, 0));
  }
  EXPECT_TRUE(ReadChecked());
}

TEST_F(CommandLayer, OneExchangeAtATimePerDevice) {
  auto worker = [this](uint16_t type, int* failures) {
    uint8_t local[64];
    for (int i = 0; i < 300; ++i) {
      if (!io->Read(local, sizeof local, type)) ++*failures;
    }
  };
  int failA = 0, failB = 0, failC = 0;
  std::thread a(worker, 0x60, &failA);
  std::thread b(worker, 0x00, &failB);
  std::thread c([this, &failC] {
    for (int i = 0; i < 300; ++i) {
      if (!io->RequestSense(1)) ++failC;
    }
  });
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(failA + failB + failC, 0);
  EXPECT_EQ(scanner->Overlaps(), 0);
}

TEST(UsbTransport, ErrorTextsArePerThread) {
  EXPECT_STREQ(CUsbIO::GetSystemErrorString(0xE00002C0), "kIOReturnNoDevice");
  EXPECT_STREQ(CUsbIO::GetSystemErrorString(0xE00002CD), "kIOReturnNotOpen");
  EXPECT_STREQ(CUsbIO::GetSystemErrorString(0xE00002EB), "kIOReturnAborted");
  auto check = [](uint32_t code, const char* text, bool* ok) {
    for (int i = 0; i < 2000; ++i) {
      if (std::strcmp(CUsbIO::GetSystemErrorString(code), text) != 0) *ok = false;
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
