// KRGetDeviceAbility against the simulated scanner: the record worked out by hand from the
// simulator's inquiry block, the capability words, reused records and malformed inquiry data.
#include <cctype>
#include <cstring>
#include <string>

#include "DeviceFixture.h"
#include "drv/platform/CLLDMemoryManager.h"

using devicefix::DeviceTest;
using devicefix::kCtrl;
using devicefix::Patch;

namespace {

// The record for the simulator's supported model, pointer bytes (4-43) left 0.
const uint8_t kGolden[242] = {
    0xC8, 0x00, 0xF2, 0x00, 0,    0,    0,    0,
    0,    0,    0,    0,    0,    0,    0,    0,  // 0
    0,    0,    0,    0,    0,    0,    0,    0,
    0,    0,    0,    0,    0,    0,    0,    0,  // 16
    0,    0,    0,    0,    0,    0,    0,    0,
    0,    0,    0,    0,    0x2C, 0x01, 0x00, 0x00,  // 32
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF6, 0x09,
    0x00, 0x00, 0x68, 0x10, 0x00, 0x00, 0x00, 0x00,  // 48
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x58, 0x02, 0x58, 0x02, 0x00, 0x00,  // 64
    0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,
    0x91, 0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0x00,  // 80
    0x40, 0x00, 0x00, 0x00, 0x58, 0x02, 0x58, 0x02,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 96
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x08, 0x08,  // 112
    0x20, 0x20, 0x08, 0x01, 0x00, 0x00, 0x00, 0x00,
    0x32, 0x00, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0,  // 128
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00,  // 144
    0x00, 0x00, 0xE8, 0x0F, 0x18, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 160
                                                     // 176..241: 0
};

std::vector<uint8_t> WithoutPointers(const DeviceAbility* record) {
  std::vector<uint8_t> bytes(sizeof(DeviceAbility));
  std::memcpy(bytes.data(), record, bytes.size());
  std::fill(bytes.begin() + 4, bytes.begin() + 44, 0);
  return bytes;
}

void FreeRecord(DeviceAbility* r) {
  for (char* s : {r->pVendorName, r->pModelName, r->pFWVersion, r->pPortType, r->pPortAddress})
    KRMemFree(kCtrl, s);
  KRMemFree(kCtrl, r);
}

}  // namespace

class Ability : public DeviceTest {
 protected:
  static void SetUpTestSuite() { testlog::Prepare("device-ability"); }
};

TEST_F(Ability, MatchesTheRecordWorkedOutFromTheInquiryBlock) {
  sim::SimScanner& scanner = Open();
  DeviceAbility* record = nullptr;
  ASSERT_EQ(KRGetDeviceAbility(kCtrl, &handle, &record), 0);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(WithoutPointers(record), std::vector<uint8_t>(kGolden, kGolden + 242));
  EXPECT_STREQ(record->pVendorName, "SIMVENDOR");
  EXPECT_STREQ(record->pModelName, "SIM-ADF300");
  EXPECT_STREQ(record->pFWVersion, "1.00");
  EXPECT_STREQ(record->pPortType, "USB 2.0");
  EXPECT_STREQ(record->pPortAddress, "USB");
  EXPECT_TRUE(scanner.CommandLog().empty());  // no device command
  EXPECT_EQ(pMemManager->Count(), 6u);        // the record and its five strings, each a block
  FreeRecord(record);
  EXPECT_EQ(pMemManager->Count(), 0u);
  EXPECT_TRUE(testlog::Contains("=> KRGetDeviceAbility -------> HDevice = 1"));
  EXPECT_TRUE(testlog::Contains("<= KRGetDeviceAbility ret=0"));
}

TEST_F(Ability, ASecondCallKeepsTheRecordsStringBuffers) {
  Open();
  DeviceAbility* record = nullptr;
  ASSERT_EQ(KRGetDeviceAbility(kCtrl, &handle, &record), 0);
  char* strings[5] = {record->pVendorName, record->pModelName, record->pFWVersion,
                      record->pPortType, record->pPortAddress};
  std::memset(record->pModelName, 'x', 3);
  record->BaseRes = 1;
  DeviceAbility* again = record;
  ASSERT_EQ(KRGetDeviceAbility(kCtrl, &handle, &again), 0);
  EXPECT_EQ(again, record);
  char* after[5] = {record->pVendorName, record->pModelName, record->pFWVersion, record->pPortType,
                    record->pPortAddress};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(after[i], strings[i]);
  EXPECT_STREQ(record->pModelName, "SIM-ADF300");
  EXPECT_EQ(record->BaseRes, 300);
  EXPECT_EQ(pMemManager->Count(), 6u);

  // A reused record without a string gets a new one.
  char* model = record->pModelName;
  record->pModelName = nullptr;
  ASSERT_EQ(KRGetDeviceAbility(kCtrl, &handle, &again), 0);
  ASSERT_NE(record->pModelName, nullptr);
  EXPECT_STREQ(record->pModelName, "SIM-ADF300");
  EXPECT_EQ(pMemManager->Count(), 7u);
  KRMemFree(kCtrl, model);

  // A record whose Size is short of 242 bytes is not written.
  record->Size = 200;
  record->BaseRes = 1;
  EXPECT_EQ(KRGetDeviceAbility(kCtrl, &handle, &again), -2005);
  EXPECT_EQ(record->BaseRes, 1);
  FreeRecord(record);
}

TEST_F(Ability, RefusesWhatItCannotDescribe) {
  host.Add("SIM0000001");
  ASSERT_EQ(KRInitializeDriver(kCtrl), 0);
  uint32_t first = 1;
  DeviceAbility* record = nullptr;
  EXPECT_EQ(KRGetDeviceAbility(kCtrl, &first, &record), -2019);  // not opened yet
  EXPECT_EQ(record, nullptr);
  ASSERT_EQ(KRInitializeDevice(kCtrl, nullptr, &handle), 0);
  EXPECT_EQ(KRGetDeviceAbility(kCtrl, &handle, nullptr), -2005);
  uint32_t unknown = 77;
  EXPECT_EQ(KRGetDeviceAbility(kCtrl, &unknown, &record), -2019);
  EXPECT_EQ(KRGetDeviceAbility(kCtrl, nullptr, &record), -2005);
  EXPECT_EQ(pMemManager->Count(), 0u);
}

namespace {
struct CapCase {
  const char* what;
  uint32_t offset;
  uint8_t value;
  uint32_t cap0, cap1, cap2;
};
// Bases of the simulator's profile: Cap0 0x3 (89 bit 0, 90 bit 4), Cap1 0x180FE8, Cap2 0.
const CapCase kCapCases[] = {
    {"AutoColorDetection a", 98, 0x40, 0x3 | 1u << 2, 0x180FE8, 0},
    {"AutoColorDetection a and b", 98, 0xC0, 0x3 | 2u << 2, 0x180FE8, 0},
    {"BWOutputAutoColorMode", 98, 0x20, 0x3 | 1u << 4, 0x180FE8, 0},
    {"unnamed 98 bit 4", 98, 0x10, 0x3 | 1u << 5, 0x180FE8, 0},
    {"Blur b without a", 98, 0x04, 0x3, 0x180FE8, 0},
    {"Blur and Sharpen", 98, 0x0B, 0x3 | 1u << 6 | 2u << 8, 0x180FE8, 0},
    {"RemoveBackground", 99, 0xC0, 0x3 | 2u << 10, 0x180FE8, 0},
    {"BlackPage and magnifications", 99, 0x2A, 0x3 | 1u << 12 | 1u << 14 | 1u << 16, 0x180FE8, 0},
    {"Watermark and SpecifyImageMode", 100, 0xF0, 0x3 | 2u << 18 | 2u << 20, 0x180FE8, 0},
    {"Autocrop and Deskew", 100, 0x0A, 0x3 | 1u << 24 | 1u << 26, 0x180FE8, 0},
    {"AutoOrientation", 101, 0xC0, 0x3 | 2u << 22, 0x180FE8, 0},
    {"RotateImage and ResizeImage", 101, 0x3C, 0x3 | 2u << 28 | 2u << 30, 0x180FE8, 0},
    {"byte 88", 88, 0xE6, 0x3, 0x180FE0 | 0x1F, 0},
    {"byte 89 ultrasonic only", 89, 0x01, 0x3, 0x180808, 0},
    {"byte 90 eject control and time", 90, 0x0F, 0x1, 0x1817E8, 0x7},
    {"ADF alignment 1", 91, 0x40, 0x3, 0x8FE8, 0},
    {"ADF alignment 2", 91, 0x20, 0x3, 0x10FE8, 0},
    {"ADF alignment bit 6 wins", 91, 0x60, 0x3, 0x8FE8, 0},
    {"skew eject control", 91, 0x1C, 0x3, 0x0FE8, 0x70},
    {"wifi and network", 92, 0xC0, 0x3, 0x780FE8, 0},
    {"eject directions", 92, 0x3F, 0x3, 0x1F980FE8, 0},
    {"display texts and reserved", 96, 0x1C, 0x3, 0x1E2FE8, 0},
    {"byte 97 high bits", 97, 0xE0, 0x3, 0xE0180FE8, 0},
    {"byte 97 bits 3 and 2", 97, 0x0C, 0x3, 0x180FE8, 0x3000},
    {"byte 102 high nibble", 102, 0xA0, 0x3, 0x180FE8, 0xA00},
};
}  // namespace

class CapabilityWords : public Ability, public ::testing::WithParamInterface<CapCase> {};

TEST_P(CapabilityWords, FollowSingleInquiryBits) {
  const CapCase& c = GetParam();
  sim::Config config;
  config.inquiryPatches = {Patch(c.offset, c.value)};
  Open(config);
  DeviceAbility* record = nullptr;
  ASSERT_EQ(KRGetDeviceAbility(kCtrl, &handle, &record), 0);
  EXPECT_EQ(record->ScannerCapability0, c.cap0);
  EXPECT_EQ(record->ScannerCapability1, c.cap1);
  EXPECT_EQ(record->ScannerCapability2, c.cap2);
  EXPECT_EQ(record->ScannerCapability3, 0u);
  EXPECT_EQ(record->ScannerCapability4, 0u);
  FreeRecord(record);
}

INSTANTIATE_TEST_SUITE_P(InquiryBits, CapabilityWords, ::testing::ValuesIn(kCapCases),
                         [](const ::testing::TestParamInfo<CapCase>& info) {
                           return devicefix::CaseName(info.param.what);
                         });

TEST_F(Ability, Byte97Bit4MarksTheFirstReservedByte) {
  sim::Config config;
  config.inquiryPatches = {Patch(97, 0x10)};
  Open(config);
  DeviceAbility* record = nullptr;
  ASSERT_EQ(KRGetDeviceAbility(kCtrl, &handle, &record), 0);
  EXPECT_EQ(record->Reserved0[0], 1);
  FreeRecord(record);
}

// Offsets and lists that leave the 265 bytes the model keeps give empty texts and no entries.
TEST_F(Ability, MalformedInquiryDataStaysInsideTheCopy) {
  sim::Config config;
  config.inquiryLength = 300;
  config.inquiryPatches = {
      Patch(8, 0x01),
      Patch(9, 0x20),  // vendor at 288: outside the copy
      Patch(10, 0x01),
      Patch(11, 0x04),  // model at 260: no terminator before 265
      Patch(260, 'A'),
      Patch(261, 'B'),
      Patch(262, 'C'),
      Patch(263, 'D'),
      Patch(264, 'E'),
      Patch(66, 0x00),
      Patch(67, 0xF0),  // halftone list at 240 with 12 entries
      Patch(240, 12),
      Patch(68, 0x01),
      Patch(69, 0x05),  // diffusion list at 261, 8 entries: past
                        // the end
      Patch(261, 8),
  };
  for (uint8_t i = 0; i < 12; ++i)
    config.inquiryPatches.push_back(Patch(241 + i, static_cast<uint8_t>(i + 1)));
  Open(config);
  DeviceAbility* record = nullptr;
  ASSERT_EQ(KRGetDeviceAbility(kCtrl, &handle, &record), 0);
  EXPECT_STREQ(record->pVendorName, "");
  EXPECT_STREQ(record->pModelName, "");
  EXPECT_STREQ(record->pFWVersion, "1.00");
  EXPECT_EQ(record->HalftoneNum, 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(record->HalftoneIndex[i], i + 1);
  EXPECT_EQ(record->ErrorDiffusionNum, 0);
  for (uint8_t v : record->DiffusionIndex) EXPECT_EQ(v, 0);
  FreeRecord(record);
}

TEST_F(Ability, InquiryOfVersionOneFailsTheOpening) {
  sim::Config config;
  config.inquiryPatches = {Patch(2, 1)};
  host.Add("SIM0000001", config);
  ASSERT_EQ(KRInitializeDriver(kCtrl), 0);
  EXPECT_NE(KRInitializeDevice(kCtrl, nullptr, &handle), 0);
  EXPECT_TRUE(testlog::Contains("Error , not support inquiry version: 1"));
  DeviceAbility* record = nullptr;
  EXPECT_EQ(KRGetDeviceAbility(kCtrl, &handle, &record), -2019);
}
