// The data source's scan side as the open step wires it: the image-process object loads the
// plug-ins of the bundle and serves the scan object as its page steps, against the simulated
// scanner and the real driver.
#include <gtest/gtest.h>

#include <atomic>

#include "OpenSupport.h"
#include "ds/scan/image/TezFRLImageProcess.h"
#include "ds/scan/scanner/ScanCallback.h"
#include "ds/twain/PlugIns.h"

namespace {

using dstest::gSource;
using ferrolite::ScanSetting;
using ferrolite::TezFRLImageProcess;

// The patch-code entry of the image library, counted on its way through.
std::atomic<int> gPatchCodeCalls{0};
LumetraProcessFn gRealPatchCode = nullptr;
long CountingPatchCode(void* in, void** out, NIDATA* rec, void* extra, long* status) {
  ++gPatchCodeCalls;
  return gRealPatchCode(in, out, rec, extra, status);
}

class ScanWiring : public dstest::OpenSourceTest {
 protected:
  void SetUp() override {
    dstest::OpenSourceTest::SetUp();
    scanner().LoadSheets(3);  // whatever earlier tests took from the feeder
  }
  void TearDown() override {
    if (gSource && gSource->scanObject) gSource->scanObject->endScanJob();
    ferrolite::gPatchBarcodeReading = false;
    dstest::OpenSourceTest::TearDown();
    scanner().LoadSheets(3);  // the feeder as the other tests expect it
  }
  // Grey at the scanner's own 300 dpi on a fixed area, from the source's settings record.
  static ScanSetting greyJob(ScanSetting s) {
    s.wImageType = ferrolite::kImageGrayFront;
    s.wGrayRes = 300;
    s.bScanSource = ferrolite::kSourceFeeder;
    s.bPaperSize = 1;
    s.wWidth = 800;
    s.wLength = 1000;
    return s;
  }
};

TEST_F(ScanWiring, TheImageProcessLoadsThePlugInsAndRunsThePageSteps) {
  Open();
  ASSERT_NE(gSource->imageProcess, nullptr);
  TezFRLImageProcess* process = gSource->imageProcess->process();
  ASSERT_NE(process, nullptr);
  // The bundle's image, button and barcode libraries are bound in the object itself.
  EXPECT_NE(process->lumetra().DeskewCrop, nullptr);
  EXPECT_NE(process->lumetra().PatchCode, nullptr);
  EXPECT_NE(process->queryICAButtonEntry(), nullptr);
  EXPECT_NE(process->searchEntry(), nullptr);

  gPatchCodeCalls = 0;
  gRealPatchCode = process->lumetra().PatchCode;
  process->lumetra().PatchCode = CountingPatchCode;
  ScanSetting s = greyJob(gSource->scanSetting);
  s.bPatchCode = 1;
  ferrolite::TezFRLScan& scan = *gSource->scanObject;
  ASSERT_TRUE(scan.startScanJob(s)) << scan.scannerError();
  ASSERT_TRUE(scan.doScan()) << scan.scannerError();
  EXPECT_EQ(scan.scanImageInfo().dwWidth, 800u);
  EXPECT_EQ(gPatchCodeCalls.load(), 1);
}

}  // namespace
