// Pages through the real driver's scan engine and the simulated scanner: the scan object binds
// the library by name, starts the job and scans the feeder's sheets through the driver's
// callback; each page arrives byte-exact as the simulator built it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "DataSourceResources.h"
#include "TestLog.h"
#include "ds/scan/scanner/ScanCallback.h"
#include "ds/scan/scanner/TezFRLScan.h"
#include "sim/SimScanner.h"

using namespace ferrolite;
namespace fs = std::filesystem;

namespace {

constexpr int kSheets = 50;

class ScanEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    resources = testsupport::simulatedDataSourceResources(
        "ds-scan-e2e", "serial SIME2E0001\nprofile raw\nsheets " + std::to_string(kSheets) + "\n",
        VANTREL_LIBRARY_PATH, VANTREL_SIM_PATH);
  }
  void SetUp() override {
    gScanPage.gApCacelScan = false;
    ASSERT_TRUE(scan.initalizeScanner("Vantrel.so", resources, 0x0310F11E));
  }
  void TearDown() override { scan.endScanJob(); }

  // Grey at the scanner's own 300 dpi (no conversion in the driver) on a fixed area of
  // 800 x 1000 (1/300 inch): 800 pixels x 1000 lines.
  static ScanSetting Grey(uint16_t imageType) {
    ScanSetting s;
    s.wImageType = imageType;
    s.wGrayRes = 300;
    s.bScanSource = kSourceFeeder;
    s.bPaperSize = 1;
    s.wWidth = 800;
    s.wLength = 1000;
    return s;
  }
  std::vector<uint8_t> Page() const {
    const XferImageInfo info = scan.scanImageInfo();
    return std::vector<uint8_t>(scan.scanBuffer(),
                                scan.scanBuffer() + size_t(info.dwLength) * info.dwBytesPerLine);
  }

  static inline fs::path resources;
  TezFRLScan scan;
};

TEST_F(ScanEndToEnd, SimplexPagesByteExact) {
  ASSERT_TRUE(scan.startScanJob(Grey(kImageGrayFront))) << scan.scannerError();
  for (uint32_t sheet = 1; sheet <= 3; ++sheet) {
    ASSERT_TRUE(scan.doScan()) << sheet << ": " << scan.scannerError();
    const XferImageInfo info = scan.scanImageInfo();
    EXPECT_EQ(info.dwWidth, 800u);
    EXPECT_EQ(info.dwLength, 1000u);
    EXPECT_TRUE(Page() == sim::SheetSide(sheet, 0, 1000, 800)) << sheet;
    EXPECT_FALSE(scan.lastPage());
  }
}

TEST_F(ScanEndToEnd, DuplexSidesByteExact) {
  ASSERT_TRUE(scan.startScanJob(Grey(kImageGrayFront | kImageGrayRear))) << scan.scannerError();
  for (uint32_t page = 1; page <= 4; ++page) {
    ASSERT_TRUE(scan.doScan()) << page << ": " << scan.scannerError();
    const uint32_t sheet = (page + 1) / 2, side = (page + 1) % 2;
    EXPECT_EQ(scan.frontPage(), side == 0);
    EXPECT_TRUE(Page() == sim::SheetSide(sheet, side, 1000, 800)) << page;
  }
}

// Every sheet of the feeder, small pages, to its last: the threads of the driver and the scan
// object hand over 50 pages (the ThreadSanitizer pass runs this).
TEST_F(ScanEndToEnd, FiftySheetJob) {
  ScanSetting s = Grey(kImageGrayFront);
  s.wLength = 100;
  ASSERT_TRUE(scan.startScanJob(s)) << scan.scannerError();
  for (uint32_t sheet = 1; sheet <= kSheets; ++sheet) {
    ASSERT_TRUE(scan.doScan()) << sheet << ": " << scan.scannerError();
    ASSERT_TRUE(Page() == sim::SheetSide(sheet, 0, 100, 800)) << sheet;
  }
  EXPECT_TRUE(scan.lastPage());
  EXPECT_EQ(scan.scanPageDone(), kSheets);
}

}  // namespace
