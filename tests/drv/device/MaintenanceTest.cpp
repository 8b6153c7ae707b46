// The maintenance entries through the static library against the simulated scanner: NVRAM
// re-initialisation and write test, shading control and flash information, raw and ultrasonic
// data, and the pass-through entries (which move nothing in this build).
#include <vantrel/wire_bytes.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "DeviceFixture.h"
#include "drv/device/Maintenance.h"

using devicefix::Commands;
using devicefix::DeviceTest;
using devicefix::kCtrl;
using devicefix::Names;

namespace {
using Bytes = std::vector<uint8_t>;

uint16_t Be16(const Bytes& b, size_t at) { return wire::Get16(&b[at]); }
uint32_t Be32(const Bytes& b, size_t at) { return wire::Get32(&b[at]); }

struct Date {
  uint16_t month, day, year;
  bool operator==(const Date&) const = default;
};
Date Today() {
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return {uint16_t(t.tm_mon + 1), uint16_t(t.tm_mday), uint16_t(t.tm_year + 1900)};
}

// The 55-byte initialisation block.
Bytes InitBlock(uint16_t version, const char* serial, uint8_t sensor, uint8_t function) {
  Bytes b(56, 0);  // even, for the u16 pointer
  std::memcpy(b.data(), &version, 2);
  std::memcpy(&b[4], serial, std::strlen(serial));
  b[47] = sensor;
  b[54] = function;
  return b;
}

// A command object that records the pass-through calls instead of talking to a device.
class PassRecorder : public IoObject {
 public:
  struct Call {
    uint32_t kind, length, timeout;
  };
  bool DoIo(uint8_t*, void*, uint32_t, uint32_t) override { return false; }
  bool GetButtonStatus(uint8_t*) override { return true; }
  bool DoIoPass(KRUSBIOTYPE kind, void*, uint32_t length, uint32_t* out,
                uint32_t timeout) override {
    calls.push_back({uint32_t(kind), length, timeout});
    if (out != nullptr) *out = length;
    if (fail) m_status = -2023;
    return !fail;
  }
  std::vector<Call> calls;
  bool fail = false;
};
}  // namespace

class Maintenance : public DeviceTest {
 protected:
  static void SetUpTestSuite() { testlog::Prepare("device-maintenance"); }

  // Stores a raw-data control block with the given shading mode byte (20) and byte 21.
  long StoreControl(uint8_t mode, uint8_t byte21) {
    uint16_t block[18] = {200, 36, 0x1234, 0x0201, 0x0403, 0x0605};
    auto* bytes = reinterpret_cast<uint8_t*>(block);
    bytes[20] = mode;
    bytes[21] = byte21;
    return KRSendRawDataControl(kCtrl, &handle, block);
  }
};

TEST_F(Maintenance, TestNvmLeavesTheRecordAsItWas) {
  sim::SimScanner& scanner = Open();
  const Bytes before = scanner.NvramRecord();
  EXPECT_EQ(KRTestNVM(kCtrl, &handle), 0);
  EXPECT_EQ(scanner.NvramRecord(), before);
  EXPECT_EQ(Names(scanner),
            (std::vector<std::string>{"READ 0x0069", "READ 0x0069", "SEND 0x0085", "READ 0x0069",
                                      "READ 0x0069", "SEND 0x0085"}));
  // The test write carried the dates 1 to 6.
  const Bytes test = Commands(scanner)[2].out;
  for (uint16_t i = 0; i < 6; ++i) EXPECT_EQ(Be16(test, 7 + 28 + 2 * i), i + 1);
  EXPECT_TRUE(testlog::Contains("<= TestNVM ret=0"));
}

TEST_F(Maintenance, TestNvmReportsADeviceThatIgnoresDateWrites) {
  sim::Config c;
  c.nvramIgnoresDates = true;
  sim::SimScanner& scanner = Open(c);
  const Bytes before = scanner.NvramRecord();
  EXPECT_EQ(KRTestNVM(kCtrl, &handle), -2999);
  EXPECT_EQ(scanner.NvramRecord(), before);
  EXPECT_EQ(Names(scanner).back(), "SEND 0x0085");  // restored after the mismatch
}

// When the record cannot be put back the device keeps the test dates: never reported as passed.
TEST_F(Maintenance, TestNvmReportsARecordThatWasNotPutBack) {
  sim::SimScanner& scanner = Open();
  sim::Fault refuse = simhelp::CheckCondition(0xAA, 4, 0x4403, 0, 0x85);
  refuse.skip = 1;  // the test write passes, the write back fails
  scanner.InjectFault(refuse);
  EXPECT_EQ(KRTestNVM(kCtrl, &handle), -2024);
  EXPECT_TRUE(testlog::Contains("<= TestNVM ret=-2024"));
}

TEST_F(Maintenance, InitializeNvmWritesAFreshRecord) {
  sim::SimScanner& scanner = Open();  // layout 2, inquiry byte 89 has the power-off bit
  const Bytes before = scanner.NvramRecord();
  Bytes block = InitBlock(200, "NEWSERIAL01", 3, 9);
  const Date first = Today();
  ASSERT_EQ(KRInitializeNVM(kCtrl, &handle, reinterpret_cast<uint16_t*>(block.data())), 0);
  const Date last = Today();
  const Bytes after = scanner.NvramRecord();
  ASSERT_EQ(after.size(), 262u);
  // Counters, first-scan date and magnifications 0.
  for (size_t at : {5u, 9u, 13u, 17u, 78u, 82u, 86u, 129u, 133u, 137u})
    EXPECT_EQ(Be32(after, at), 0u) << at;
  for (size_t at : {39u, 41u, 43u, 45u, 47u}) EXPECT_EQ(Be16(after, at), 0u) << at;
  // Edge offsets kept.
  EXPECT_EQ(Bytes(after.begin() + 21, after.begin() + 33),
            Bytes(before.begin() + 21, before.begin() + 33));
  const Date born = {Be16(after, 33), Be16(after, 35), Be16(after, 37)};
  EXPECT_TRUE(born == first || born == last);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&after[51])), "NEWSERIAL01");
  EXPECT_EQ(after[49], 3);                                                  // CCDType
  EXPECT_EQ(after[126], 9);                                                 // FunctionIndex
  EXPECT_EQ(Be16(after, 75), 15);                                           // PowerSavingTime
  EXPECT_EQ(Be16(after, 127), 240);                                         // PowerOffTime
  EXPECT_EQ(Bytes(after.begin() + 141, after.end()), Bytes(262 - 141, 0));  // lives, reserved
  EXPECT_EQ(Names(scanner),
            (std::vector<std::string>{"READ 0x0069", "READ 0x0069", "SEND 0x0085"}));
}

TEST_F(Maintenance, InitializeNvmWithoutPowerOffOnALayoutOneDevice) {
  sim::Config c;
  c.nvramLayout = 1;
  c.inquiryPatches = {devicefix::Patch(89, 0x9F)};
  sim::SimScanner& scanner = Open(c);
  Bytes block = InitBlock(200, "L1", 1, 2);
  ASSERT_EQ(KRInitializeNVM(kCtrl, &handle, reinterpret_cast<uint16_t*>(block.data())), 0);
  const Bytes after = scanner.NvramRecord();
  ASSERT_EQ(after.size(), 132u);
  EXPECT_EQ(Be16(after, 74), 15);
  EXPECT_EQ(Be16(after, 126), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&after[50])), "L1");
  EXPECT_EQ(Be32(after, 4), 0u);
}

TEST_F(Maintenance, InitializeNvmRefusesOtherBlockVersions) {
  sim::SimScanner& scanner = Open();
  Bytes block = InitBlock(100, "X", 0, 0);
  EXPECT_EQ(KRInitializeNVM(kCtrl, &handle, reinterpret_cast<uint16_t*>(block.data())), -2005);
  EXPECT_EQ(KRInitializeNVM(kCtrl, &handle, nullptr), -2005);
  EXPECT_TRUE(scanner.CommandLog().empty());
  EXPECT_TRUE(testlog::Contains("Not support version = 100"));
}

TEST_F(Maintenance, InitializeNvmResetsTheImprinterRecord) {
  sim::Config c;
  c.imprinter = sim::ImprinterKind::Fitted;
  c.imprinterRecordLength = 114;  // n = 121 bytes: reaches the date at 113-118
  sim::SimScanner& scanner = Open(c);
  Bytes block = InitBlock(200, "IMPNEW", 0, 0);
  ASSERT_EQ(KRInitializeNVM(kCtrl, &handle, reinterpret_cast<uint16_t*>(block.data())), 0);
  auto seen = Commands(scanner);
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(seen[3].command, "READ 0x0201");
  EXPECT_EQ(seen[4].command, "READ 0x020B");
  EXPECT_EQ(seen[4].length, 121u);
  EXPECT_EQ(seen[5].command, "SEND 0x020B");
  const Bytes& r = seen[5].out;
  ASSERT_EQ(r.size(), 121u);
  EXPECT_EQ(Be32(r, 17), 0u);
  EXPECT_EQ(Be32(r, 21), 0u);
  EXPECT_EQ(Be32(r, 25), 112500000u);
  EXPECT_EQ(Be16(r, 55) | Be16(r, 57) | Be16(r, 59), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[89])), "IMPNEW");
  const Date written = {Be16(r, 113), Be16(r, 115), Be16(r, 117)};
  EXPECT_EQ(written.year, Today().year);

  // A record that could not be read is not written back (it would go back zeroed).
  scanner.ClearCommandLog();
  scanner.InjectFault(simhelp::CheckCondition(0xA8, 2, 0x0000, 0, 0x20B));
  ASSERT_EQ(KRInitializeNVM(kCtrl, &handle, reinterpret_cast<uint16_t*>(block.data())), 0);
  const auto names = Names(scanner);
  EXPECT_EQ(std::count(names.begin(), names.end(), "READ 0x020B"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "SEND 0x020B"), 0);
  KRTerminateDriver(kCtrl);
  scanner.Unplug();

  // A record longer than the driver's buffer is left alone.
  c.imprinterRecordLength = 600;
  sim::SimScanner& big = Open(c);
  ASSERT_EQ(KRInitializeNVM(kCtrl, &handle, reinterpret_cast<uint16_t*>(block.data())), 0);
  EXPECT_EQ(Names(big).back(), "READ 0x0201");
}

TEST_F(Maintenance, FlashInfoFollowsTheShadingResultAndMode) {
  sim::SimScanner& scanner = Open();
  struct Case {
    uint8_t mode;
    uint32_t size;
  };
  for (const Case& k :
       {Case{1, 512}, Case{0, 512}, Case{3, 12288}, Case{4, 12288}, Case{2, 4096}}) {
    SCOPED_TRACE(int(k.mode));
    ASSERT_EQ(StoreControl(k.mode, 5), 0);
    scanner.ClearCommandLog();
    ASSERT_EQ(KRShadingCalibration(kCtrl, &handle, 2), 0);
    auto seen = Commands(scanner);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].command, "SEND 0x0093");
    EXPECT_EQ(seen[0].out,
              (Bytes{0, 0, 1, 20, 0x12, 0x34, 1, 2, 3, 4, 5, 6, k.mode, 2, 1, 5, 0, 0, 0, 0}));
    EXPECT_EQ(seen[1].command, "READ 0x0099");
    uint8_t info[44];
    std::memset(info, 0xEE, sizeof info);
    ASSERT_EQ(KRReadFlashRAMInfo(kCtrl, &handle, info), 0);
    Bytes expected(44, 0);
    expected[0] = 200, expected[2] = 44, expected[4] = 1, expected[5] = 4;
    expected[10] = 0xCC, expected[11] = 0xBB, expected[12] = 0xAA;
    std::memcpy(&expected[14], &k.size, 4);
    EXPECT_EQ(Bytes(info, info + 44), expected);
  }
  // Byte 15 takes the stored byte 21 only when it is 0, 1 or 5.
  ASSERT_EQ(StoreControl(1, 7), 0);
  scanner.ClearCommandLog();
  ASSERT_EQ(KRShadingCalibration(kCtrl, &handle, 0), 0);
  EXPECT_EQ(Commands(scanner)[0].out[15], 1);
}

TEST_F(Maintenance, ControlBlocksAndTheirResult) {
  sim::SimScanner& scanner = Open();
  uint16_t block[10] = {200, 20, 0xBEEF};
  reinterpret_cast<uint8_t*>(block)[13] = 6;
  uint8_t result[36];
  std::memset(result, 0xEE, sizeof result);
  ASSERT_EQ(KRSendControlRawData(kCtrl, &handle, block, result), 0);
  EXPECT_EQ(Commands(scanner)[0].out,
            (Bytes{0, 0, 1, 20, 0xBE, 0xEF, 0, 0, 0, 0, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0}));
  uint16_t words[7];
  std::memcpy(words, result, 14);
  // Version, size, then the device's five words in host order.
  EXPECT_EQ(words[0], 200);
  EXPECT_EQ(words[1], 20);
  EXPECT_EQ(words[2], 4096);
  EXPECT_EQ(words[3], 0xBEEF);
  EXPECT_EQ(words[4], 6);
  EXPECT_EQ(Bytes(result + 14, result + 36), Bytes(22, 0));
  EXPECT_EQ(std::memcmp(Item()->LastControlBlock, block, 20), 0);
  // Another version is sent all the same, but not kept.
  uint16_t other[10] = {100, 20, 1};
  ASSERT_EQ(KRSendControlRawData(kCtrl, &handle, other, result), 0);
  EXPECT_EQ(std::memcmp(Item()->LastControlBlock, block, 20), 0);
  // A refused SEND fails with the device's status.
  scanner.InjectFault(simhelp::CheckCondition(0xAA, 5, 0x2600, 0, 0x93));
  EXPECT_EQ(KRSendControlRawData(kCtrl, &handle, block, result), -2005);
  EXPECT_EQ(KRSendControlRawData(kCtrl, &handle, nullptr, result), -2005);
  uint16_t wrong[18] = {100};
  EXPECT_EQ(KRSendRawDataControl(kCtrl, &handle, wrong), -2005);
  EXPECT_TRUE(testlog::Contains("Not support version = 100"));
}

TEST_F(Maintenance, RawFlashAndUltrasonicData) {
  sim::SimScanner& scanner = Open();
  Bytes raw(100, 0xEE);
  ASSERT_EQ(KRReadFlashRAMData(kCtrl, &handle, raw.data(), 100, 0), 0);
  for (size_t i = 0; i < raw.size(); ++i) ASSERT_EQ(raw[i], uint8_t(i)) << i;  // raw data has no id
  Bytes sonic(64, 0xEE);
  ASSERT_EQ(KRReadUltraSonicRawData(kCtrl, &handle, sonic.data(), 64), 0);
  EXPECT_EQ(sonic[0], 0x22);  // the controller id first
  EXPECT_EQ(sonic[1], 0x00);
  for (size_t i = 2; i < sonic.size(); ++i) ASSERT_EQ(sonic[i], uint8_t(i * 3)) << i;
  auto seen = Commands(scanner);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].command, "READ 0x009A");
  EXPECT_EQ(seen[0].length, 100u);
  EXPECT_EQ(seen[1].command, "READ 0x009C");
  EXPECT_EQ(seen[1].length, 64u);
  // The device ends the raw data early: the read reports its end of page.
  scanner.InjectFault(simhelp::CheckCondition(0xA8, 0, 0x8004, 10, 0x9A));
  EXPECT_EQ(KRReadRawData(kCtrl, &handle, raw.data(), 100), -2022);
  scanner.InjectFault(simhelp::CheckCondition(0xA8, 2, 0x0000, 0, 0x9C));
  EXPECT_EQ(KRReadUltraSonicRawData(kCtrl, &handle, sonic.data(), 64), -2009);
  EXPECT_EQ(KRReadUltraSonicRawData(kCtrl, &handle, nullptr, 64), -2005);
}

TEST_F(Maintenance, PassThroughEntriesMoveNothing) {
  sim::SimScanner& scanner = Open();
  uint8_t data[16] = {};
  KRUSBBypassParameter bulk{};
  bulk.PipeType = 1;
  bulk.Pipe.Direct = 0;
  bulk.Pipe.dwDataSize = 16;
  EXPECT_EQ(KRUSBBypass(kCtrl, &handle, data, bulk), 0);
  EXPECT_EQ(KRUSBBypass(kCtrl, &handle, nullptr, bulk), -2005);
  EXPECT_TRUE(scanner.CommandLog().empty());

  // What the entries ask of the command layer.
  CScannerManagerScannerItem* item = Item();
  IoObject* real = item->pIoObject;
  PassRecorder recorder;
  item->pIoObject = &recorder;
  KRUSBBypassParameter control{};
  control.PipeType = 0;
  control.Control.dwDataSize = 8;
  KRUSBBypassParameter timed{};
  timed.PipeType = 2;
  timed.Pipe.Direct = 1;
  timed.Pipe.dwDataSize = 4;
  timed.Pipe.dwTimeOut = 500;
  KRUSBBypassParameter other{};
  other.PipeType = 7;
  bulk.Pipe.Direct = 0;
  EXPECT_EQ(KRUSBBypass(kCtrl, &handle, data, bulk), 0);
  bulk.Pipe.Direct = 3;
  EXPECT_EQ(KRUSBBypass(kCtrl, &handle, data, bulk), 0);
  EXPECT_EQ(KRUSBBypass(kCtrl, &handle, data, control), 0);
  EXPECT_EQ(KRUSBBypass(kCtrl, &handle, data, timed), 0);
  EXPECT_EQ(KRUSBBypass(kCtrl, &handle, data, other), 0);
  uint8_t cdb[12] = {0xA8}, status[3] = {};
  KRSCSICommandBlock three{};
  three.pCommand = cdb;
  three.CommandLength = 12;
  three.CommandIoType = 2;
  three.pData = nullptr;  // no data phase
  three.DataLength = 100;
  three.DataIoType = 3;
  three.pStatus = status;
  three.StatusLength = 3;
  three.StatusIoType = 4;
  EXPECT_EQ(KRSCSICommand(kCtrl, &handle, three), 0);
  recorder.fail = true;
  EXPECT_EQ(KRSCSICommand(kCtrl, &handle, three), -2023);
  item->pIoObject = real;
  struct Expect {
    uint32_t kind, length, timeout;
  };
  const Expect expected[] = {{4, 16, 30}, {3, 16, 30}, {2, 8, 30}, {5, 4, 500},
                             {2, 12, 30}, {4, 3, 30},  {2, 12, 30}};
  ASSERT_EQ(recorder.calls.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(recorder.calls[i].kind, expected[i].kind) << i;
    EXPECT_EQ(recorder.calls[i].length, expected[i].length) << i;
    EXPECT_EQ(recorder.calls[i].timeout, expected[i].timeout) << i;
  }
  EXPECT_TRUE(testlog::Contains("KRSCSICommand: Status, size=3 IOtype=4"));
  EXPECT_TRUE(testlog::Contains(" dwTimeOut = 500"));
}

TEST_F(Maintenance, EveryEntryReportsAnUnknownHandle) {
  Open();
  uint32_t unknown = 55;
  uint8_t buffer[64] = {};
  uint16_t block[28] = {200};
  KRUSBBypassParameter bypass{};
  KRSCSICommandBlock command{};
  const std::vector<std::function<long()>> entries = {
      [&] { return KRUSBBypass(kCtrl, &unknown, buffer, bypass); },
      [&] { return KRSCSICommand(kCtrl, &unknown, command); },
      [&] { return KRInitializeNVM(kCtrl, &unknown, block); },
      [&] { return KRTestNVM(kCtrl, &unknown); },
      [&] { return KRReadFlashRAMData(kCtrl, &unknown, buffer, 64, 0); },
      [&] { return KRReadFlashRAMInfo(kCtrl, &unknown, buffer); },
      [&] { return KRSendRawDataControl(kCtrl, &unknown, block); },
      [&] { return KRShadingCalibration(kCtrl, &unknown, 1); },
      [&] { return KRReadRawData(kCtrl, &unknown, buffer, 64); },
      [&] { return KRSendControlRawData(kCtrl, &unknown, block, buffer); },
      [&] { return KRReadUltraSonicRawData(kCtrl, &unknown, buffer, 64); },
  };
  for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i](), -2019) << i;
}
