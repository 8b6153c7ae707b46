// KRSetImprinterParameter and KRGetImprinterAbility against a simulated scanner with an
// imprinter: the byte-exact SEND sequences, the pattern checks and the ability record.
#include <vantrel/wire_bytes.h>

#include <cctype>
#include <cstring>
#include <ctime>

#include "DeviceFixture.h"
#include "drv/device/CImprinter.h"
#include "drv/platform/CLLDMemoryManager.h"

using devicefix::Commands;
using devicefix::DeviceTest;
using devicefix::kCtrl;
using devicefix::Names;
using devicefix::Seen;

namespace {

sim::Config WithImprinter(sim::ImprinterKind kind = sim::ImprinterKind::Fitted) {
  sim::Config c;
  c.imprinter = kind;
  return c;
}

KR_Imprinter_Parameter Settings() {
  KR_Imprinter_Parameter s;
  std::memset(&s, 0, sizeof s);
  s.Version = 200;
  s.Size = sizeof s;
  return s;
}

std::vector<uint8_t> Control(uint8_t kind, uint8_t value) {
  return {0, 0, 1, 0, 0, 0, kind, value};
}

std::vector<uint8_t> DataPrefix(uint32_t length) {
  return {0,
          0,
          1,
          static_cast<uint8_t>(length >> 24),
          static_cast<uint8_t>(length >> 16),
          static_cast<uint8_t>(length >> 8),
          static_cast<uint8_t>(length)};
}

void Append(std::vector<uint8_t>& b, std::initializer_list<uint8_t> bytes) {
  b.insert(b.end(), bytes);
}
void AppendBE32(std::vector<uint8_t>& b, uint32_t v) {
  b.resize(b.size() + 4);
  wire::Put32(&b[b.size() - 4], v);
}

}  // namespace

class Imprinter : public DeviceTest {
 protected:
  static void SetUpTestSuite() { testlog::Prepare("device-imprinter"); }
  void TearDown() override {
    DeviceTest::TearDown();
    SetScanEngineHooks({nullptr, nullptr});
  }
};

TEST_F(Imprinter, TextCounterAndDateTimeGoOutInOrder) {
  sim::SimScanner& scanner = Open(WithImprinter());
  KR_Imprinter_Parameter s = Settings();
  s.TextEnable = 1;
  s.TextPosition2 = 5;
  s.TextHeader = 0x11;
  s.TextAttribute[0] = 0x21;
  s.TextLength[0] = 3;
  s.TextPosition1 = 100;
  s.TextPosition3 = 300;
  s.CounterEnable = 1;
  s.CounterValue = 42;
  s.CounterLength = 4;
  s.DateTimeFormat = 4;
  s.DateTimeHeader = 0x22;
  s.DateTimeAttribute[0] = 0x31;
  s.DateTimeLength[0] = 2;
  s.DateTimeValue = 7;
  uint8_t text[6] = {0, 'A', 0, 'B', 0, 'C'};
  uint8_t counter[4] = {'0', '0', '0', '1'};
  uint8_t dateTime[4] = {0, 'Y', 0, 'M'};

  const std::time_t before = std::time(nullptr);
  ASSERT_EQ(KRSetImprinterParameter(kCtrl, &handle, &s, text, counter, dateTime, nullptr), 0);
  const std::time_t after = std::time(nullptr);
  std::vector<Seen> seen = Commands(scanner);
  ASSERT_EQ(Names(scanner),
            (std::vector<std::string>{"SEND 0x0207", "SEND 0x0203", "SEND 0x0205", "SEND 0x0206",
                                      "SEND 0x0204", "SEND 0x0202"}));

  const std::vector<uint8_t>& clock = seen[0].out;
  ASSERT_EQ(clock.size(), 14u);
  EXPECT_EQ(std::vector<uint8_t>(clock.begin(), clock.begin() + 7),
            (std::vector<uint8_t>{0, 0, 1, 0x0E, 0, 0, 0}));
  std::tm a{}, b{};
  localtime_r(&before, &a);
  localtime_r(&after, &b);
  const int year = clock[7] << 8 | clock[8];
  EXPECT_TRUE(year == a.tm_year + 1900 || year == b.tm_year + 1900);
  EXPECT_TRUE(clock[9] == a.tm_mon + 1 || clock[9] == b.tm_mon + 1);
  EXPECT_TRUE(clock[10] == a.tm_mday || clock[10] == b.tm_mday);
  EXPECT_LT(clock[11], 24);
  EXPECT_LT(clock[12], 60);
  EXPECT_LT(clock[13], 61);

  EXPECT_EQ(seen[1].out, Control(1, 0x01 | 0x06 | 0x08 | (3 << 4)));

  std::vector<uint8_t> textBuffer = DataPrefix(35);
  Append(textBuffer, {0x11, 0, 0x21, 3});
  textBuffer.resize(29, 0);
  textBuffer.insert(textBuffer.end(), text, text + 6);
  EXPECT_EQ(seen[2].out, textBuffer);

  std::vector<uint8_t> counterBuffer = DataPrefix(11);
  counterBuffer.insert(counterBuffer.end(), counter, counter + 4);
  EXPECT_EQ(seen[3].out, counterBuffer);

  std::vector<uint8_t> formatBuffer = DataPrefix(25);
  Append(formatBuffer, {0x22, 0, 0x31, 2});
  formatBuffer.resize(21, 0);
  formatBuffer.insert(formatBuffer.end(), dateTime, dateTime + 4);
  EXPECT_EQ(seen[4].out, formatBuffer);

  std::vector<uint8_t> start = {0, 0, 1, 0x27, 0, 0, 0};
  AppendBE32(start, 100);
  AppendBE32(start, 5);
  AppendBE32(start, 300);
  AppendBE32(start, 42);
  AppendBE32(start, 7);
  start.resize(39, 0);
  EXPECT_EQ(seen[5].out, start);
  EXPECT_TRUE(Item()->pImprinter->IsArmed());
}

// Settings are read only as far as their Size goes: a date-time format beyond it is not seen.
TEST_F(Imprinter, SettingsAreReadUpToTheirSize) {
  sim::SimScanner& scanner = Open(WithImprinter());
  KR_Imprinter_Parameter s = Settings();
  s.Size = 44;  // up to the counter length
  s.CounterEnable = 1;
  s.DateTimeFormat = 9;  // out of range, but past the record the client handed over
  ASSERT_EQ(KRSetImprinterParameter(kCtrl, &handle, &s, nullptr, nullptr, nullptr, nullptr), 0);
  std::vector<Seen> seen = Commands(scanner);
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen[1].out, Control(1, 0x01));
}

TEST_F(Imprinter, AllOffSendsOnlyThePrintModeZero) {
  sim::SimScanner& scanner = Open(WithImprinter());
  KR_Imprinter_Parameter s = Settings();
  s.PatternEnable = 1;  // a pattern alone does not print
  s.PatternLength = 1;
  uint8_t pattern[1] = {0x01};
  ASSERT_EQ(KRSetImprinterParameter(kCtrl, &handle, &s, nullptr, nullptr, nullptr, pattern), 0);
  std::vector<Seen> seen = Commands(scanner);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].command, "SEND 0x0203");
  EXPECT_EQ(seen[0].out, Control(1, 0));
  EXPECT_FALSE(Item()->pImprinter->IsArmed());
}

namespace {
struct PatternCase {
  const char* what;
  uint8_t mark;
  uint8_t format;
  uint8_t counter;
  uint8_t text;
  long status;
};
const PatternCase kPatterns[] = {
    {"item 3 in format 4", 0x38, 4, 0, 0, 0},
    {"item 3 not in format 2", 0x38, 2, 0, 0, -2005},
    {"item 0 in format 1", 0x08, 1, 0, 0, 0},
    {"item 0 not in format 2", 0x08, 2, 0, 0, -2005},
    {"item 5 in format 6", 0x58, 6, 0, 0, 0},
    {"item 5 not in format 5", 0x58, 5, 0, 0, -2005},
    {"item 6 in any format", 0x68, 2, 0, 0, 0},
    {"item 8 names nothing", 0x88, 6, 0, 0, -2005},
    {"counter mark with the counter on", 0x01, 0, 1, 0, 0},
    {"counter mark with the counter off", 0x01, 1, 0, 0, -2005},
    {"text mark with the text off", 0x02, 1, 1, 0, -2005},
    {"text mark with the text on", 0x02, 0, 0, 1, 0},
    {"date-time mark without a format", 0x08, 0, 1, 0, -2005},
};
}  // namespace

class ImprinterPatterns : public Imprinter, public ::testing::WithParamInterface<PatternCase> {};

TEST_P(ImprinterPatterns, AreCheckedAgainstWhatIsOn) {
  const PatternCase& c = GetParam();
  sim::SimScanner& scanner = Open(WithImprinter());
  KR_Imprinter_Parameter s = Settings();
  s.DateTimeFormat = c.format;
  s.CounterEnable = c.counter;
  s.TextEnable = c.text;
  s.PatternEnable = 1;
  s.PatternLength = 2;
  uint8_t pattern[2] = {0x00, c.mark};
  EXPECT_EQ(KRSetImprinterParameter(kCtrl, &handle, &s, nullptr, nullptr, nullptr, pattern),
            c.status);
  std::vector<Seen> seen = Commands(scanner);
  if (c.status == 0) {
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[1].command, "SEND 0x0203");
    std::vector<uint8_t> buffer = DataPrefix(9);
    Append(buffer, {0x00, c.mark});
    EXPECT_EQ(seen[1].out, buffer);
  } else {
    // The refused settings are dropped and the device told not to print.
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].out, Control(1, 0));
    if (c.mark & 0x08) {
      EXPECT_TRUE(testlog::Contains(
          "The datetime setting is out of the scope of the SetImprinterParameter defined."));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ImprinterPatterns, ::testing::ValuesIn(kPatterns),
                         [](const ::testing::TestParamInfo<PatternCase>& info) {
                           return devicefix::CaseName(info.param.what);
                         });

TEST_F(Imprinter, MissingPrintDataIsRefused) {
  sim::SimScanner& scanner = Open(WithImprinter());
  KR_Imprinter_Parameter s = Settings();
  s.TextEnable = 1;
  s.TextLength[4] = 2;
  EXPECT_EQ(KRSetImprinterParameter(kCtrl, &handle, &s, nullptr, nullptr, nullptr, nullptr), -2005);
  s = Settings();
  s.CounterEnable = 1;
  s.CounterLength = 3;
  EXPECT_EQ(KRSetImprinterParameter(kCtrl, &handle, &s, nullptr, nullptr, nullptr, nullptr), -2005);
  s = Settings();
  s.CounterEnable = 1;
  s.PatternEnable = 1;
  s.PatternLength = 1;
  uint8_t counter[1] = {'1'};
  EXPECT_EQ(KRSetImprinterParameter(kCtrl, &handle, &s, nullptr, counter, nullptr, nullptr), -2005);
  EXPECT_EQ(KRSetImprinterParameter(kCtrl, &handle, nullptr, nullptr, nullptr, nullptr, nullptr),
            -2005);
  s = Settings();
  s.Size = 2;
  s.CounterEnable = 1;
  EXPECT_EQ(KRSetImprinterParameter(kCtrl, &handle, &s, nullptr, nullptr, nullptr, nullptr), -2005);
  for (const Seen& seen : Commands(scanner)) EXPECT_EQ(seen.out, Control(1, 0)) << seen.command;
}

// With ExtParam0 bit 0x4000 and a feeder method the head is cycled and a running motor stopped.
TEST_F(Imprinter, HeadAndMotorSequenceForTheStoredFeederScan) {
  sim::SimScanner& scanner = Open(WithImprinter());
  SCANPARAMETER_UNION p;
  std::memset(&p, 0, sizeof p);
  p.ScanMethod = 4;
  p.ExtParam0 = 0x4000;
  Item()->pScanner->SetAPScanParameter(&p);
  ASSERT_TRUE(Item()->pImprinter->StartImprinterMotor(false));
  ASSERT_TRUE(Item()->pImprinter->StartImprinterMotor(false));  // running already: no command
  std::vector<Seen> started = Commands(scanner);
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].out, Control(8, 5));
  scanner.ClearCommandLog();

  KR_Imprinter_Parameter s = Settings();
  s.CounterEnable = 1;
  ASSERT_EQ(KRSetImprinterParameter(kCtrl, &handle, &s, nullptr, nullptr, nullptr, nullptr), 0);
  std::vector<Seen> seen = Commands(scanner);
  ASSERT_EQ(Names(scanner),
            (std::vector<std::string>{"SEND 0x0207", "SEND 0x0203", "SEND 0x0206", "SEND 0x0202",
                                      "SEND 0x020C", "SEND 0x00B2", "SEND 0x020C", "SEND 0x020D"}));
  EXPECT_EQ(seen[4].out, Control(8, 1));
  EXPECT_EQ(seen[5].out, (std::vector<uint8_t>{0, 0, 1, 0, 9, 0, 0, 0, 0}));
  EXPECT_EQ(seen[6].out, Control(8, 0));
  EXPECT_EQ(seen[7].out, Control(8, 2));
  EXPECT_FALSE(Item()->pImprinter->IsMotorRunning());

  // The motor stopped: the next call cycles the head only; a flatbed method not even that.
  scanner.ClearCommandLog();
  ASSERT_EQ(KRSetImprinterParameter(kCtrl, &handle, &s, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(Names(scanner).back(), "SEND 0x020C");
  p.ScanMethod = 0;
  Item()->pScanner->SetAPScanParameter(&p);
  scanner.ClearCommandLog();
  ASSERT_EQ(KRSetImprinterParameter(kCtrl, &handle, &s, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(Names(scanner).back(), "SEND 0x0202");
}

TEST_F(Imprinter, AbilityRecordFromInquiryAndInformation) {
  sim::SimScanner& scanner = Open(WithImprinter());
  void* record = nullptr;
  ASSERT_EQ(KRGetImprinterAbility(kCtrl, &handle, &record), 0);
  ASSERT_NE(record, nullptr);
  std::vector<uint8_t> expected(120, 0);
  const uint16_t version = 200, size = 120;
  std::memcpy(&expected[0], &version, 2);
  std::memcpy(&expected[2], &size, 2);
  std::memcpy(&expected[4], "SIM-IMPRINTER", 13);
  std::memcpy(&expected[36], "IMP1", 4);
  const uint32_t values[4] = {1000, 2000, 3000, 4000};
  std::memcpy(&expected[44], values, sizeof values);
  const auto* bytes = static_cast<const uint8_t*>(record);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 120), expected);
  EXPECT_EQ(Names(scanner), std::vector<std::string>{"READ 0x0201"});
  KRMemFree(kCtrl, record);

  KR_Imprinter_Ability mine;
  std::memset(&mine, 0xEE, sizeof mine);
  void* given = &mine;
  ASSERT_EQ(KRGetImprinterAbility(kCtrl, &handle, &given), 0);
  EXPECT_EQ(given, &mine);
  EXPECT_EQ(std::memcmp(&mine, expected.data(), 120), 0);
  EXPECT_EQ(pMemManager->Count(), 0u);
  EXPECT_EQ(KRGetImprinterAbility(kCtrl, &handle, nullptr), -2005);
  // A record whose Size is short of 120 bytes is not written.
  scanner.ClearCommandLog();
  std::memset(&mine, 0xEE, sizeof mine);
  mine.Size = 100;
  EXPECT_EQ(KRGetImprinterAbility(kCtrl, &handle, &given), -2005);
  EXPECT_EQ(mine.Version, 0xEEEE);
  EXPECT_TRUE(scanner.CommandLog().empty());

  // A failing information read is reported with the command's status.
  scanner.InjectFault(simhelp::CheckCondition(0xA8, 2, 0x0000, 0, 0x201));
  record = nullptr;
  EXPECT_EQ(KRGetImprinterAbility(kCtrl, &handle, &record), -2009);
  EXPECT_EQ(record, nullptr);
}

TEST_F(Imprinter, WithoutAnImprinterOrDuringAJob) {
  sim::SimScanner& scanner = Open();
  KR_Imprinter_Parameter s = Settings();
  void* record = nullptr;
  EXPECT_EQ(KRSetImprinterParameter(kCtrl, &handle, &s, nullptr, nullptr, nullptr, nullptr), -2019);
  EXPECT_EQ(KRGetImprinterAbility(kCtrl, &handle, &record), -2019);
  EXPECT_TRUE(scanner.CommandLog().empty());
  KRTerminateDriver(kCtrl);

  simhelp::InstalledBus other;
  sim::SimScanner& fitted = other.Add("SIM0000002", WithImprinter());
  ASSERT_EQ(KRInitializeDriver(kCtrl), 0);
  ASSERT_EQ(KRInitializeDevice(kCtrl, nullptr, &handle), 0);
  fitted.ClearCommandLog();
  Item()->bJobRunning = 1;
  EXPECT_EQ(KRSetImprinterParameter(kCtrl, &handle, &s, nullptr, nullptr, nullptr, nullptr), -2001);
  EXPECT_EQ(KRGetImprinterAbility(kCtrl, &handle, &record), -2001);
  EXPECT_TRUE(fitted.CommandLog().empty());
  Item()->bJobRunning = 0;
  KRTerminateDriver(kCtrl);  // before this bus goes
}

TEST_F(Imprinter, AnImprinterThatIsNotFittedGetsNothing) {
  sim::SimScanner& scanner = Open(WithImprinter(sim::ImprinterKind::Absent));
  ASSERT_NE(Item()->pImprinter, nullptr);
  EXPECT_FALSE(Item()->pImprinter->IsPresent());
  KR_Imprinter_Parameter s = Settings();
  s.CounterEnable = 1;
  EXPECT_EQ(KRSetImprinterParameter(kCtrl, &handle, &s, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(KRTerminateDevice(kCtrl, &handle), 0);
  EXPECT_TRUE(scanner.CommandLog().empty());
}

namespace {
std::vector<uint32_t>* gStops = nullptr;
long RecordStop(uint32_t, uint32_t* handle) {
  gStops->push_back(*handle);
  return 0;
}
}  // namespace

TEST_F(Imprinter, TerminatingTheDeviceStopsAJobAndTellsTheImprinterNotToPrint) {
  sim::SimScanner& scanner = Open(WithImprinter());
  std::vector<uint32_t> stops;
  gStops = &stops;
  SetScanEngineHooks({&RecordStop, nullptr});
  Item()->bJobRunning = 1;
  EXPECT_EQ(KRTerminateDevice(kCtrl, &handle), 0);
  EXPECT_EQ(stops, std::vector<uint32_t>{handle});
  std::vector<Seen> seen = Commands(scanner);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].out, Control(1, 0));
  EXPECT_EQ(Item()->pImprinter, nullptr);
  Item()->bJobRunning = 0;
  stops.clear();
  EXPECT_EQ(KRTerminateDevice(kCtrl, &handle), 0);  // no job: nothing stopped
  EXPECT_TRUE(stops.empty());
  gStops = nullptr;
}

// A device the driver cannot reach fails the call; the settings it held before are dropped too,
// so that the next job does not print what the client was told did not take.
TEST_F(Imprinter, AnUnreachableDeviceDropsTheEarlierSettings) {
  sim::SimScanner& scanner = Open(WithImprinter());
  KR_Imprinter_Parameter s = Settings();
  s.CounterEnable = 1;
  ASSERT_EQ(KRSetImprinterParameter(kCtrl, &handle, &s, nullptr, nullptr, nullptr, nullptr), 0);
  ASSERT_TRUE(Item()->pImprinter->IsPrintEnabled());

  scanner.FailPipeStatus(true);
  s.CounterValue = 9;
  EXPECT_EQ(KRSetImprinterParameter(kCtrl, &handle, &s, nullptr, nullptr, nullptr, nullptr), -2023);
  EXPECT_FALSE(Item()->pImprinter->IsPrintEnabled());
  scanner.FailPipeStatus(false);
}

// A print setting the device refuses is not reported as set: the call gives the device's status,
// and the settings are dropped with the device told not to print.
TEST_F(Imprinter, ASettingTheDeviceRefusesFailsTheCall) {
  sim::SimScanner& scanner = Open(WithImprinter());
  KR_Imprinter_Parameter s = Settings();
  s.CounterEnable = 1;
  s.CounterLength = 1;
  uint8_t counter[1] = {'1'};
  scanner.InjectFault(simhelp::CheckCondition(0xAA, 2, 0x0000, 0, 0x206));
  EXPECT_EQ(KRSetImprinterParameter(kCtrl, &handle, &s, nullptr, counter, nullptr, nullptr), -2009);
  EXPECT_FALSE(Item()->pImprinter->IsPrintEnabled());
  std::vector<Seen> seen = Commands(scanner);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().command, "SEND 0x0203");
  EXPECT_EQ(seen.back().out, Control(1, 0));
}
