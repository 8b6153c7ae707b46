// What the binding makes of the scanner's ability: the rescaling to 300 dpi and the long-page
// table (through a general operation answered by the test), and parameters from an ability
// whose dividing values are 0.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "FakeDriver.h"
#include "ds/scan/scanner/TezFRLScan.h"

using namespace ferrolite;

namespace {

TEST(Rescale, SizesBecome300DpiUnits) {
  struct Case {
    uint16_t base;
    uint32_t adfWidth, adfLength;
    uint16_t minWidth;
    uint32_t wantWidth, wantLength;
    uint16_t wantMinWidth, wantBase;
  };
  const std::vector<Case> cases = {
      {600, 5100, 8400, 1200, 2550, 4200, 600, 300},
      {600, 5100, kUnlimitedLength, kUnlimitedLength, 2550, kUnlimitedLength, kUnlimitedLength,
       300},                                         // the "no limit" length stays unlimited
      {0, 5100, 8400, 1200, 5100, 8400, 1200, 0},    // no unit: left alone
      {300, 2550, 4200, 600, 2550, 4200, 600, 300},  // already 300
      {200, 1700, 2800, 400, 2550, 4200, 600, 300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.base);
    DeviceAbility a;
    std::memset(&a, 0, sizeof a);
    a.BaseRes = c.base;
    a.ADFMaxWidth = c.adfWidth;
    a.ADFMaxLength = c.adfLength;
    a.ADFMinWidth = c.minWidth;
    rescaleAbilityTo300(a);
    EXPECT_EQ(a.ADFMaxWidth, c.wantWidth);
    EXPECT_EQ(a.ADFMaxLength, c.wantLength);
    EXPECT_EQ(a.ADFMinWidth, c.wantMinWidth);
    EXPECT_EQ(a.BaseRes, c.wantBase);
  }
}

// The long-page table the general operation answers (tag 28, 6 bytes an entry).
std::vector<uint8_t> gTable;
long LongPageTable(uint32_t, uint32_t*, int op, uint32_t tag, DDS_DATA_TYPE type, uint32_t count,
                   void* data) {
  if (op != KR_GENERAL_READ || tag != 28 || type != 6 || count != gTable.size()) return -1;
  std::memcpy(data, gTable.data(), gTable.size());
  return 0;
}
void Entry(uint8_t mode, uint8_t resBy10, uint32_t pixels) {
  const size_t at = gTable.size();
  gTable.resize(at + 6);
  gTable[at] = mode;
  gTable[at + 1] = resBy10;
  std::memcpy(&gTable[at + 2], &pixels, 4);
}

TEST(LongPages, SlotsByModeAndResolution) {
  gTable.clear();
  Entry(0x44, 20, 8000);   // colour flatbed group, 200 dpi: 12000
  Entry(0x24, 25, 9000);   // 250 dpi: no slot
  Entry(0x24, 60, 40000);  // colour feeder, 600 dpi: 20000 -> capped 11400
  Entry(0x22, 30, 30000);  // grey feeder, 300 dpi: 30000 kept
  Entry(0x22, 0, 30000);   // resolution 0: length 0
  std::memset(&deviceAbility, 0, sizeof deviceAbility);
  deviceAbility.LongPageLength = uint32_t(gTable.size() / 6);
  gNewKrapi = true;
  gColorScan = 0;
  TezFRLScan scan;
  scan.driverEntries().KRGeneralOperation = LongPageTable;
  scan.multiLongPageLength();
  const uint32_t* s = scan.LongPageLimited();
  EXPECT_EQ(scan.MaxLongPageRes(), 600);
  EXPECT_EQ(scan.maxLongLength(), 30000u);
  // Flatbed colour: 200 dpi in slot 4, 150 dpi inherits it; higher resolutions stay empty.
  EXPECT_EQ(std::vector<uint32_t>(s, s + 6), (std::vector<uint32_t>{0, 0, 0, 0, 12000, 12000}));
  // Feeder colour: 600 dpi capped, inherited down the group; 250 dpi filled nothing.
  EXPECT_EQ(std::vector<uint32_t>(s + 12, s + 18),
            (std::vector<uint32_t>(6, kDefaultMaxLongLengthHighRes)));
  EXPECT_EQ(std::vector<uint32_t>(s + 18, s + 24),
            (std::vector<uint32_t>{0, 0, 0, 30000, 30000, 30000}));
  for (int k = 6; k < 12; ++k) EXPECT_EQ(s[k], 0u) << k;  // the next group inherits nothing

  // Always colour: the grey groups copy the colour ones.
  gColorScan = 1;
  scan.multiLongPageLength();
  EXPECT_EQ(std::vector<uint32_t>(s + 18, s + 24), std::vector<uint32_t>(s + 12, s + 18));
  EXPECT_EQ(std::vector<uint32_t>(s + 6, s + 12), std::vector<uint32_t>(s, s + 6));
  gColorScan = 0;
}

// Optical resolution and pixel bounds of 0 count as 1: the parameters still come out whole.
TEST(Parameters, ZeroDividingAbilityValues) {
  std::memset(&deviceAbility, 0, sizeof deviceAbility);
  deviceAbility.ADFMaxWidth = 2550;
  deviceAbility.ADFMaxLength = 3300;
  deviceAbility.DeviceType = 0x24;
  deviceAbility.ScannerCapability1 = 1u << 20;  // overscan to be read (the stand-in has none)
  fakedriver::Driver driver;
  TezFRLScan scan;
  fakedriver::Bind(scan, driver);
  ScanSetting s;
  s.wImageType = kImageGrayFront;
  s.wGrayRes = 200;
  s.bScanSource = kSourceFeeder;
  s.bPaperSize = 1;
  s.wWidth = 2403;
  s.wLength = 3000;
  ASSERT_TRUE(scan.startScanJob(s));
  ASSERT_EQ(driver.parameters.size(), 1u);
  EXPECT_EQ(driver.parameters[0].XRes, 200);
  EXPECT_EQ(driver.parameters[0].PixelNum, 200u * 2403 / 300);  // no pixel bound to round to
  EXPECT_EQ(driver.parameters[0].LineNum, 2000u);
  scan.endScanJob();
  fakedriver::gDriver = nullptr;
}

}  // namespace
