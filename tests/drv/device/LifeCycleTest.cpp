// What the device sees when a client opens it, opens it again and asks its status, and the
// gamma table the opening prepares; the lamp-status read and the calibration start.
#include <algorithm>

#include "DeviceFixture.h"
#include "drv/device/DeviceExports.h"

using devicefix::Commands;
using devicefix::DeviceTest;
using devicefix::kCtrl;
using devicefix::Names;
using devicefix::Patch;
using devicefix::Seen;

namespace {
using Sequence = std::vector<std::string>;

const Sequence kInquiry = {"INQUIRY", "INQUIRY"};
const Sequence kNvram = {"READ 0x0069", "READ 0x0069"};
const Sequence kImprinterFitted = {"READ 0x0200", "READ 0x0200", "READ 0x0201"};

Sequence Join(std::initializer_list<Sequence> parts) {
  Sequence all;
  for (const Sequence& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct OpenCase {
  const char* what;
  std::vector<sim::InquiryPatch> patches;
  sim::ImprinterKind imprinter;
  Sequence first;
  Sequence again;  // the second KRInitializeDevice
};

const OpenCase kOpenCases[] = {
    {"Supported",
     {},
     sim::ImprinterKind::None,
     Join({kInquiry, kNvram}),
     Join({kInquiry, kNvram, {"RESET"}})},
    {"WithoutNvram", {{89, 0xCF}}, sim::ImprinterKind::None, kInquiry, Join({kInquiry, {"RESET"}})},
    {"ImprinterFitted",
     {},
     sim::ImprinterKind::Fitted,
     Join({kInquiry, kNvram, kImprinterFitted}),
     Join({{"SEND 0x0203"}, kInquiry, kNvram, kImprinterFitted, {"RESET"}})},
    {"ImprinterNotFitted",
     {},
     sim::ImprinterKind::Absent,
     Join({kInquiry, kNvram, {"READ 0x0200"}}),
     Join({kInquiry, kNvram, {"READ 0x0200"}, {"RESET"}})},
};
}  // namespace

class LifeCycle : public DeviceTest, public ::testing::WithParamInterface<OpenCase> {
 protected:
  static void SetUpTestSuite() { testlog::Prepare("device-life-cycle"); }
};

TEST_P(LifeCycle, OpeningAndReopeningSendTheirCommands) {
  const OpenCase& c = GetParam();
  sim::Config config;
  config.inquiryPatches = c.patches;
  config.imprinter = c.imprinter;
  sim::SimScanner& scanner = Open(config, /*keepLog=*/true);
  EXPECT_EQ(Names(scanner), c.first);
  std::vector<Seen> seen = Commands(scanner);
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen[0].length, 5u);
  EXPECT_EQ(seen[1].length, 232u);
  EXPECT_EQ(Item()->pImprinter != nullptr, c.imprinter != sim::ImprinterKind::None);

  scanner.ClearCommandLog();
  uint32_t again = 0;
  ASSERT_EQ(KRInitializeDevice(kCtrl, nullptr, &again), 0);
  EXPECT_EQ(again, handle);
  EXPECT_EQ(Names(scanner), c.again);
}

INSTANTIATE_TEST_SUITE_P(Devices, LifeCycle, ::testing::ValuesIn(kOpenCases),
                         [](const ::testing::TestParamInfo<OpenCase>& info) {
                           return std::string(info.param.what);
                         });

class LifeCycleStatus : public DeviceTest {
 protected:
  static void SetUpTestSuite() { testlog::Prepare("device-life-cycle-status"); }
};

TEST_F(LifeCycleStatus, DeviceStatusAsksTheSenseWithArgumentOne) {
  sim::SimScanner& scanner = Open();
  EXPECT_EQ(KRDeviceStatus(kCtrl, &handle), 0);
  auto log = scanner.CommandLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].block[0], 0xE3);
  EXPECT_EQ(log[0].block[11], 1);
  scanner.ClearCommandLog();
  Item()->bJobRunning = 1;
  EXPECT_EQ(KRDeviceStatus(kCtrl, &handle), -2001);
  EXPECT_TRUE(scanner.CommandLog().empty());
  Item()->bJobRunning = 0;
}

TEST_F(LifeCycleStatus, AFailedNvramReadFailsTheOpening) {
  sim::Config config;
  config.faults = {simhelp::CheckCondition(0xA8, 5, 0x2600, 0, 0x69)};
  host.Add("SIM0000001", config);
  ASSERT_EQ(KRInitializeDriver(kCtrl), 0);
  EXPECT_EQ(KRInitializeDevice(kCtrl, nullptr, &handle), -2005);
  EXPECT_FALSE(Item()->bInitialized);
  // The device answers now: the client's retry opens it.
  EXPECT_EQ(KRInitializeDevice(kCtrl, nullptr, &handle), 0);
  EXPECT_TRUE(Item()->bInitialized);
  EXPECT_EQ(Item()->pScanner->GetNVMDataFWVersion(), 2);
}

// A head whose layout or length the driver cannot take fails the opening before the record is read.
TEST_F(LifeCycleStatus, AnNvramHeadOutOfBoundsFailsTheOpening) {
  struct Case {
    uint8_t layout;
    uint32_t length;
    const char* line;
  };
  const Case cases[] = {
      {2, 513, "NVM size 513"}, {2, 4, "NVM size 4"}, {3, 262, "FW return unknowed version."}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    simhelp::InstalledBus own;
    sim::Config config;
    config.nvramHeadLayout = c.layout;
    config.nvramHeadLength = c.length;
    sim::SimScanner& scanner = own.Add("SIM0000001", config);
    ASSERT_EQ(KRInitializeDriver(kCtrl), 0);
    scanner.ClearCommandLog();
    EXPECT_EQ(KRInitializeDevice(kCtrl, nullptr, &handle), -2023);
    EXPECT_EQ(Names(scanner), (std::vector<std::string>{"INQUIRY", "INQUIRY", "READ 0x0069"}));
    EXPECT_TRUE(testlog::Contains(c.line));
    KRTerminateDriver(kCtrl);
  }
  // 512 bytes fit the buffer: the record is read and kept as far as its layout goes.
  simhelp::InstalledBus own;
  sim::Config config;
  config.nvramHeadLength = 512;
  own.Add("SIM0000001", config);
  ASSERT_EQ(KRInitializeDriver(kCtrl), 0);
  ASSERT_EQ(KRInitializeDevice(kCtrl, nullptr, &handle), 0);
  EXPECT_EQ(Item()->pScanner->GetNVMDataFWVersion(), 2);
  KRTerminateDriver(kCtrl);
}

namespace {
void ExpectIdentityGamma(const CScannerManagerScannerItem* item, uint32_t n) {
  ASSERT_EQ(item->wGammaLength, n);
  ASSERT_NE(item->pGammaTable, nullptr);
  const uint32_t q = n / 4;
  for (uint32_t half = 0; half < 2; ++half) {
    for (uint32_t i = 0; i < n; ++i) {
      ASSERT_EQ(item->pGammaTable[half * n + i], static_cast<uint8_t>((i % q) & 0xFF))
          << half << " " << i;
    }
  }
}
}  // namespace

TEST_F(LifeCycleStatus, GammaTableLengthFollowsInquiryByte120) {
  Open();
  ExpectIdentityGamma(Item(), 1024);
  EXPECT_EQ(Item()->pGammaTable[255], 255);
  EXPECT_EQ(Item()->pGammaTable[256], 0);
  KRTerminateDriver(kCtrl);

  simhelp::InstalledBus other;
  sim::Config config;
  config.inquiryPatches = {Patch(120, 0x10)};
  other.Add("SIM0000002", config);
  ASSERT_EQ(KRInitializeDriver(kCtrl), 0);
  ASSERT_EQ(KRInitializeDevice(kCtrl, nullptr, &handle), 0);
  ExpectIdentityGamma(Item(), 2048);
  // Within a 512-entry quarter the count wraps at 256.
  EXPECT_EQ(Item()->pGammaTable[256], 0);
  EXPECT_EQ(Item()->pGammaTable[768], 0);
  EXPECT_EQ(Item()->pGammaTable[767], 255);
  KRTerminateDriver(kCtrl);
}

// A reset the device refuses is reported with the device's status, not as done.
TEST_F(LifeCycleStatus, ARefusedResetIsReported) {
  sim::SimScanner& scanner = Open();
  scanner.InjectFault(simhelp::CheckCondition(0xFF, 2, 0x0000));
  EXPECT_EQ(KRResetDevice(kCtrl, &handle, nullptr), -2009);
  const std::vector<std::string> names = Names(scanner);
  EXPECT_NE(std::find(names.begin(), names.end(), "RESET"), names.end());
  // The device answers again: so does the reset.
  EXPECT_EQ(KRResetDevice(kCtrl, &handle, nullptr), 0);
}

// The lamp-status read and the calibration start, on the opened device's command object.
TEST_F(LifeCycleStatus, LampStatusAndCalibrationStart) {
  sim::SimScanner& scanner = Open();
  IoObject* io = Item()->pIoObject;

  uint8_t lamp = 0;
  int32_t lampError = 0;
  ASSERT_TRUE(Internal_GetLightStatus(io, &lamp, &lampError));
  EXPECT_EQ(lamp, 0x22);  // one byte of the reply: the controller id's high byte
  EXPECT_EQ(lampError, 0);
  std::vector<Seen> seen = Commands(scanner);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].command, "READ 0x00A0");
  EXPECT_EQ(seen[0].length, 1u);
  EXPECT_TRUE(testlog::Contains("<= Internal_GetLightStatus ret=1"));

  // Without a start only the result is read; with one the block goes first.
  uint8_t result = 9;
  uint32_t error = 0;
  scanner.ClearCommandLog();
  ASSERT_TRUE(Internal_DoCalibrationData(io, &result, 0, &error));
  EXPECT_EQ(result, 0);
  ASSERT_TRUE(Internal_DoCalibrationData(io, &result, 1, &error));
  EXPECT_EQ(result, 1);
  EXPECT_EQ(error, 0u);
  seen = Commands(scanner);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].command, "READ 0x006D");
  EXPECT_EQ(seen[0].length, 8u);
  EXPECT_EQ(seen[1].command, "SEND 0x0060");
  EXPECT_EQ(seen[1].out, (std::vector<uint8_t>{0, 0, 1, 8, 0, 0, 0, 0}));
  EXPECT_EQ(seen[2].command, "READ 0x006D");

  // A refused step hands back the command object's status and reads nothing more.
  scanner.InjectFault(simhelp::CheckCondition(0xA8, 2, 0x0000, 0, 0xA0));
  lamp = 7;
  EXPECT_FALSE(Internal_GetLightStatus(io, &lamp, &lampError));
  EXPECT_EQ(lampError, -2009);
  EXPECT_TRUE(testlog::Contains("<= Internal_GetLightStatus ret=0"));
  scanner.InjectFault(simhelp::CheckCondition(0xAA, 5, 0x2600, 0, 0x60));
  scanner.ClearCommandLog();
  result = 9;
  EXPECT_FALSE(Internal_DoCalibrationData(io, &result, 1, &error));
  EXPECT_EQ(static_cast<int32_t>(error), -2005);
  EXPECT_EQ(result, 9);
  EXPECT_EQ(Names(scanner), (std::vector<std::string>{"SEND 0x0060", "REQUEST SENSE"}));
}
