// A whole job from the simulated scanner through the driver, the scan layer's page loop with the
// image process as its page steps (blank pages skipped, crop and deskew, barcodes) and the
// pipeline of each delivered image: what the application would receive.
//
// The simulator delivers its own pattern; the test paints documents over the rows as they come
// through the driver's callback, so that every page has a document on the feeder's dark
// background (one of them blank paper).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "DataSourceResources.h"
#include "ds/scan/image/TezFRLImageProcess.h"
#include "ds/scan/scanner/ScanCallback.h"
#include "ds/scan/scanner/TezFRLScan.h"
#include "tests/support/PluginTesting.h"

using namespace ferrolite;
namespace fs = std::filesystem;
using plugtest::Doc;
using plugtest::Page;

namespace {

constexpr uint8_t kBackground = 30;
constexpr int kSheets = 3;

// The documents of the sheets, painted over the pages as the callback hands them on.
struct Painter {
  std::vector<Page> sheets;
  int page = -1;
  uint64_t offset = 0;
  uint32_t bytesPerLine = 0;
  AP_CALLBACK forward = nullptr;
  decltype(&::KRStartScan) startScan = nullptr;
  TezFRLScan* scan = nullptr;
};
Painter gPainter;

long Painting(uint32_t ctrl, uint32_t* device, uint8_t* data, uint32_t size, long lines,
              long pixels, STATUSLIST* status) {
  Painter& p = gPainter;
  if (data != nullptr && p.page >= 0 && p.page < int(p.sheets.size()) && p.bytesPerLine) {
    const Page& sheet = p.sheets[size_t(p.page)];
    for (uint32_t i = 0; i < size; ++i) {
      const uint64_t at = p.offset + i;
      const int x = int(at % p.bytesPerLine), y = int(at / p.bytesPerLine);
      data[i] = x < sheet.width && y < sheet.height ? sheet.row(y)[x] : kBackground;
    }
    p.offset += size;
  }
  return p.forward(ctrl, device, data, size, lines, pixels, status);
}

long StartPainted(uint32_t ctrl, uint32_t* device, AP_CALLBACK callback, long blockSize) {
  Painter& p = gPainter;
  ++p.page;
  p.offset = 0;
  p.bytesPerLine = p.scan->scanImageInfo().dwBytesPerLine;
  p.forward = callback;
  return p.startScan(ctrl, device, Painting, blockSize);
}

// One image as the application receives it.
struct Delivered {
  XferImageInfo info;
  std::vector<uint8_t> bytes;
  int barcodes = 0;
  std::string text;
  uint8_t type = 0xFF;
};

class ImageJob : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    resources = testsupport::simulatedDataSourceResources(
        "ds-image-job",
        "serial SIMJOB0001\nprofile raw\nsheets " + std::to_string(kSheets) +
            "\npaper-length 1650\nbackground front 30 30 30\nbackground rear 30 30 30\n",
        VANTREL_LIBRARY_PATH, VANTREL_SIM_PATH);
  }
  void SetUp() override {
    gScanPage.gApCacelScan = false;
    gPatchBarcodeReading = false;
    gTezOlmex = true;
    ASSERT_TRUE(scan.initalizeScanner("Vantrel.so", resources, 0x0310F11E));
    process.scannerName("Test");
    ASSERT_TRUE(process.initalizeLumetraLib(VT_PLUGIN_DIR, 0, 0x0310F11E));
    ASSERT_TRUE(process.initalizeKrCocoaLib(VT_PLUGIN_DIR));
    scan.getOtherClass(&process);
    gPainter = {};
    gPainter.scan = &scan;
    gPainter.startScan = scan.driverEntries().KRStartScan;
    scan.driverEntries().KRStartScan = StartPainted;
  }
  void TearDown() override {
    scan.endScanJob();
    gTezOlmex = false;
  }

  static inline fs::path resources;
  TezFRLScan scan;
  TezFRLImageProcess process;
};

TEST_F(ImageJob, BlankPageSkippedCropAndDeskewAndBarcodes) {
  // Grey at 300 dpi, the page as long as the sheet, blank pages removed, barcodes read.
  ScanSetting s;
  s.wImageType = kImageGrayFront;
  s.wGrayRes = 300;  // the scanner's own resolution: no conversion in the driver
  s.bFGrayQuality = 2;
  s.bScanSource = kSourceFeeder;
  s.bPaperSize = kPageAutomatic;
  s.bBlankPageRemoval = 1;
  s.bBlankPageThreshold = 95;  // 101 - 95: blank up to a few dark pixels
  s.bBarcodeDetection = 1;
  s.dwSelectBarcode = 0;
  ASSERT_TRUE(scan.startScanJob(s)) << scan.scannerError();
  const uint32_t width = scan.scanImageInfo().dwBytesPerLine;
  ASSERT_GT(width, 1000u);
  // Sheet 1: a document turned by 3 degrees with a Code 128 symbol; sheet 2 blank paper;
  // sheet 3 a straight document with a QR code.
  const Doc docs[kSheets] = {
      {900, 720, 1200, 900, 3}, {960, 780, 1260, 960, 0}, {990, 750, 1140, 990, 0}};
  for (int i = 0; i < kSheets; ++i) {
    Page sheet(int(width), 1800, 8);
    plugtest::drawDocuments(sheet, kBackground, {docs[i]}, false);
    if (i == 0)
      plugtest::drawSymbol(sheet, ZXing::BarcodeFormat::Code128, "FIRST", 600, 600, 600, 150);
    if (i == 2)
      plugtest::drawSymbol(sheet, ZXing::BarcodeFormat::QRCode, "THIRD", 840, 600, 300, 300);
    gPainter.sheets.push_back(sheet);
  }

  std::vector<Delivered> delivered;
  while (true) {
    if (!scan.doScan()) break;
    Delivered d;
    d.info = scan.scanImageInfo();
    if (gPatchBarcodeReading) {
      d.barcodes = gBarcodeInfo.count;
      if (d.barcodes) d.text = gBarcodeInfo.text[0], d.type = gBarcodeInfo.type[0];
      gPatchBarcodeReading = false;
    }
    // The transfer side's image information: the page through the pipeline.
    uint32_t size = scan.scanBufferSize();
    uint8_t* buffer = static_cast<uint8_t*>(std::malloc(size));
    std::memcpy(buffer, scan.scanBuffer(), size);
    process.isFrontPage(true);
    ASSERT_TRUE(process.imageProcessing(&d.info, &buffer, &s, &size, 1));
    d.bytes.assign(buffer, buffer + size_t(d.info.dwBytesPerLine) * d.info.dwLength);
    std::free(buffer);
    delivered.push_back(d);
    if (scan.lastPage()) break;
  }
  ASSERT_EQ(delivered.size(), 2u) << scan.scannerError();
  EXPECT_EQ(scan.scanPageDone(), 2);
  EXPECT_EQ(scan.scanPage(), 4);  // three sheets read, one of them dropped
  // Both pages cut to their documents, straight.
  EXPECT_NEAR(delivered[0].info.dwWidth, docs[0].w, 4);
  EXPECT_NEAR(delivered[0].info.dwLength, docs[0].h, 4);
  EXPECT_NEAR(delivered[1].info.dwWidth, docs[2].w, 4);
  EXPECT_NEAR(delivered[1].info.dwLength, docs[2].h, 4);
  EXPECT_EQ(delivered[0].info.bMode, kXferModeGray);
  // No feeder background left in the corners.
  EXPECT_GT(delivered[0].bytes[5 * delivered[0].info.dwBytesPerLine + 5], 150);
  EXPECT_EQ(delivered[0].barcodes, 1);
  EXPECT_EQ(delivered[0].text, "FIRST");
  EXPECT_EQ(delivered[0].type, 4);  // Code 128
  EXPECT_EQ(delivered[1].barcodes, 1);
  EXPECT_EQ(delivered[1].text, "THIRD");
  EXPECT_EQ(delivered[1].type, 11);  // QR code
}

}  // namespace
