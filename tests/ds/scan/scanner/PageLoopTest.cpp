// The page loop and the driver callback against a driver stand-in inside the test program (its
// reader thread calls the callback with scripted blocks): pages byte-exact in simplex and
// duplex, multi-feed with stop on and off, cancel before data, a page larger than 32 MiB,
// merged sides, blank pages, JPEG pages, the barcode hand-over and a 50-page job.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <vector>

#include "FakeDriver.h"
#include "ds/scan/common/TezFRLCommon.h"
#include "ds/scan/scanner/ScanCallback.h"
#include "ds/scan/scanner/ScanTiming.h"
#include "ds/scan/scanner/TezFRLScan.h"
#include "tests/drv/jpeg/oracle.h"
#include "tests/support/TestFolder.h"

using namespace ferrolite;
using fakedriver::Block;
using fakedriver::Page;

namespace {

// A feeder scanner with two sides, 300 dpi optical, pixel bounds of 8.
void UseFeederScanner(uint32_t maxLength = 3300) {
  std::memset(&deviceAbility, 0, sizeof deviceAbility);
  deviceAbility.Version = 200;
  deviceAbility.Size = sizeof deviceAbility;
  deviceAbility.BaseRes = 300;
  deviceAbility.ADFMaxWidth = 2550;
  deviceAbility.ADFMaxLength = maxLength;
  deviceAbility.FlatbedMaxWidth = 2550;
  deviceAbility.FlatbedMaxLength = 3508;
  deviceAbility.DeviceType = 0x24;
  deviceAbility.OpticalRes = 300;
  deviceAbility.MinimumRes = 50;
  deviceAbility.ColorPixelBound = 8;
  deviceAbility.GrayPixelBound = 8;
  deviceAbility.FrontADFBackground_R = deviceAbility.FrontADFBackground_G =
      deviceAbility.FrontADFBackground_B = 240;
}

// Front grey at 100 dpi on a fixed area of 80 x 30 (1/300 inch): 24 pixels x 10 lines.
ScanSetting SmallGreyPage(uint16_t imageType = kImageGrayFront) {
  ScanSetting s;
  s.wImageType = imageType;
  s.wGrayRes = 100;
  s.wColorRes = 100;
  s.wBWRes = 100;
  s.bScanSource = kSourceFeeder;
  s.bPaperSize = 1;
  s.wWidth = 80;
  s.wLength = 30;
  return s;
}
constexpr uint32_t kSmallPageBytes = 24 * 10;

std::vector<uint8_t> Pattern(size_t size, int page) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(i * 7 + page * 31);
  return bytes;
}

// A page cut into `blocks` blocks, the last with the end-of-page mark.
Page PageOf(const std::vector<uint8_t>& bytes, size_t blocks = 3) {
  Page page;
  const size_t step = (bytes.size() + blocks - 1) / blocks;
  for (size_t at = 0; at < bytes.size(); at += step) {
    const size_t n = std::min(step, bytes.size() - at);
    page.push_back({std::vector<uint8_t>(bytes.begin() + at, bytes.begin() + at + n), {}, false});
  }
  page.back().codes = {kStatusEndOfPage};
  return page;
}

std::vector<uint8_t> ScannedBytes(const TezFRLScan& scan) {
  const XferImageInfo info = scan.scanImageInfo();
  const size_t size = size_t(info.dwLength) * info.dwBytesPerLine;
  return std::vector<uint8_t>(scan.scanBuffer(), scan.scanBuffer() + size);
}

// Page steps that record what they were handed and answer as scripted.
struct RecordingSteps : ScanPageSteps {
  std::vector<uint8_t> mergedFront, mergedBack;
  std::vector<int> blankAnswers;  // per isBlankPage call: 1 blank
  size_t blankCalls = 0;
  bool cancelAfterBarcode = false;
  bool barcodeDone = false;

  bool doMerge2Sides(XferImageInfo* info, PageBuffer* page, const uint8_t* back, uint8_t,
                     bool) override {
    (void)info;
    mergedFront.assign(page->data, page->data + frontSize);
    mergedBack.assign(back, back + backSize);
    return true;
  }
  // A crop that hands back a page larger than the buffer, into a new block (the old one freed),
  // as taking a plug-in's larger output does.
  bool enlargingCrop = false;
  bool doCropDeskew(XferImageInfo* info, PageBuffer* page, bool, bool) override {
    if (!enlargingCrop) return true;
    const uint32_t size = page->size + info->dwBytesPerLine;
    auto* grown = static_cast<uint8_t*>(std::malloc(size));
    if (grown == nullptr) return false;
    std::memcpy(grown, page->data, page->size);
    std::free(page->data);
    page->data = grown;
    page->size = size;
    return true;
  }
  bool isBlankPage(const XferImageInfo&, const uint8_t*, uint8_t) override {
    return blankCalls < blankAnswers.size() && blankAnswers[blankCalls++] == 1;
  }
  bool doBarcodeDetection(const XferImageInfo&, const uint8_t*, uint32_t,
                          BarcodeInfo* result) override {
    result->count = 1;
    std::snprintf(result->text[0], sizeof result->text[0], "42");
    barcodeDone = true;
    return true;
  }
  bool scanCancelled() override { return cancelled || (cancelAfterBarcode && barcodeDone); }
  bool cancelled = false;
  // The JPEG crop session: the segments it took, and strips of 24 bytes a line it gives back.
  bool jpegCropInput(std::span<const uint8_t> segment, NIDATA*) override {
    segments.emplace_back(segment.begin(), segment.end());
    return true;
  }
  bool jpegCropOutput(NIDATA* ni, std::vector<uint8_t>* strip, bool* more) override {
    ni->OutImage.ImageWidth = 24;
    ni->OutImage.ImageHeight = 6;
    strip->assign(24 * 3, uint8_t(0x30 + stripsGiven));
    *more = ++stripsGiven < 2;
    return true;
  }
  void jpegCropReset() override { ++resets; }
  std::vector<std::vector<uint8_t>> segments;
  int stripsGiven = 0;
  int resets = 0;
  size_t backSize = 0;
  size_t frontSize = 0;
};

class PageLoop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!gKrCommon) gKrCommon = std::make_unique<TezFRLCommon>();
  }
  void SetUp() override {
    UseFeederScanner();
    ScanTiming fast;
    fast.pagePoll = std::chrono::milliseconds(1);
    fast.driverSilence = std::chrono::milliseconds(1);
    fast.barcodePoll = std::chrono::milliseconds(1);
    setScanTiming(fast);
    gScanPage.gApCacelScan = false;
    gPatchBarcodeReading = false;
    gDisableJpeg = 0;
    fakedriver::Bind(scan, driver);
    scan.getOtherClass(&steps);
  }
  void TearDown() override {
    scan.endScanJob();
    driver.join();
    fakedriver::gDriver = nullptr;
  }

  fakedriver::Driver driver;
  RecordingSteps steps;
  TezFRLScan scan;
};

TEST_F(PageLoop, SimplexPagesArriveByteExact) {
  driver.pages = {PageOf(Pattern(kSmallPageBytes, 1)), PageOf(Pattern(kSmallPageBytes, 2), 1)};
  driver.paperAfterPage = {1, 0};
  ASSERT_TRUE(scan.startScanJob(SmallGreyPage()));
  EXPECT_EQ(driver.parameters.back().ScanMethod, 1);
  EXPECT_EQ(gScanPage.scanTotal.load(), kSmallPageBytes);

  ASSERT_TRUE(scan.doScan());
  EXPECT_TRUE(scan.xferGo());
  EXPECT_FALSE(scan.lastPage());
  EXPECT_EQ(scan.scanImageInfo().dwLength, 10u);
  EXPECT_EQ(ScannedBytes(scan), Pattern(kSmallPageBytes, 1));
  ASSERT_TRUE(scan.doScan());
  EXPECT_TRUE(scan.lastPage());
  EXPECT_EQ(ScannedBytes(scan), Pattern(kSmallPageBytes, 2));
  EXPECT_EQ(scan.scanPageDone(), 2);
  EXPECT_EQ(driver.results, (std::vector<long>{0, 0, 1, 1}));
  EXPECT_EQ(driver.stopControls, (std::vector<long>{0, 0}));
}

TEST_F(PageLoop, DuplexSidesAlternateByteExact) {
  driver.pages = {PageOf(Pattern(kSmallPageBytes, 1)), PageOf(Pattern(kSmallPageBytes, 2))};
  driver.paperAfterPage = {0, 0};
  ASSERT_TRUE(scan.startScanJob(SmallGreyPage(kImageGrayFront | kImageGrayRear)));
  EXPECT_EQ(driver.parameters.back().ScanMethod, 4);
  EXPECT_EQ(scan.scanSource(), kScanSourceFeederDuplex);
  ASSERT_TRUE(scan.doScan());
  EXPECT_TRUE(scan.frontPage());
  EXPECT_EQ(ScannedBytes(scan), Pattern(kSmallPageBytes, 1));
  ASSERT_TRUE(scan.doScan());
  EXPECT_FALSE(scan.frontPage());
  EXPECT_EQ(ScannedBytes(scan), Pattern(kSmallPageBytes, 2));
}

// A block with a lone multi-feed message keeps its lines; a kept sheet is listed once even
// when the stop reports the multi-feed again, and its status is cleared.
TEST_F(PageLoop, MultifeedWithoutStopKeepsThePageAndCountsTheSheetOnce) {
  const std::vector<uint8_t> bytes = Pattern(kSmallPageBytes, 1);
  Page page = PageOf(bytes);
  page[1].codes = {kStatusMultifeed};
  driver.pages = {page, PageOf(Pattern(kSmallPageBytes, 2))};
  driver.paperAfterPage = {1, 0};
  ScanSetting s = SmallGreyPage();
  s.bUltrasonic = 1;
  ASSERT_TRUE(scan.startScanJob(s));
  ASSERT_TRUE(scan.doScan());
  EXPECT_EQ(scan.scannerError(), 0);
  EXPECT_EQ(ScannedBytes(scan), bytes);
  EXPECT_FALSE(gScanPage.multifeedOccur.load());
  ASSERT_TRUE(scan.doScan());
  int count = 0;
  EXPECT_EQ(scan.multifeedInfo(&count), "1");
  EXPECT_EQ(count, 1);
}

TEST_F(PageLoop, MultifeedWithStopFailsThePage) {
  Page page = PageOf(Pattern(kSmallPageBytes, 1));
  page[1].codes = {kStatusMultifeed};
  driver.pages = {page};
  ScanSetting s = SmallGreyPage();
  s.bUltrasonic = 1;
  s.bStopAfterMultefeed = 1;
  ASSERT_TRUE(scan.startScanJob(s));
  EXPECT_FALSE(scan.doScan());
  EXPECT_EQ(scan.scannerError(), kStatusMultifeed);
  int count = 0;
  EXPECT_EQ(scan.multifeedInfo(&count), "1");
  EXPECT_EQ(count, 1);
  EXPECT_EQ(scan.scanPageDone(), 0);
}

TEST_F(PageLoop, CancelBeforeAnyDataFailsThePageWithStatus2) {
  driver.pages = {Page{}};
  ASSERT_TRUE(scan.startScanJob(SmallGreyPage()));
  gScanPage.gApCacelScan = true;
  EXPECT_FALSE(scan.doScan());
  EXPECT_EQ(scan.scannerError(), kPageCancel);
  EXPECT_EQ(driver.stopControls, (std::vector<long>{1}));
  EXPECT_TRUE(scan.xferGo());
}

// The progress window's cancel fails the page as cancelled even when the driver delivered it.
TEST_F(PageLoop, CancelInTheProgressWindowFailsThePage) {
  driver.pages = {PageOf(Pattern(kSmallPageBytes, 1))};
  ASSERT_TRUE(scan.startScanJob(SmallGreyPage()));
  steps.cancelled = true;
  EXPECT_FALSE(scan.doScan());
  EXPECT_EQ(scan.scannerError(), kPageCancel);
  EXPECT_EQ(scan.scanPageDone(), 0);
}

// An automatic size starts with a 32 MiB buffer; the callback grows it and the scan thread
// takes the grown one.
TEST_F(PageLoop, PageLargerThan32MiBIsAdopted) {
  UseFeederScanner(6000);
  ScanSetting s = SmallGreyPage(kImageColorFront);
  s.wColorRes = 300;
  s.bPaperSize = kPageAutomatic;
  const size_t size = 34u * 1024 * 1024 + 7650;  // whole lines of 2544 colour pixels
  const std::vector<uint8_t> bytes = Pattern(size - size % (2544 * 3), 3);
  driver.pages = {PageOf(bytes, 5)};
  ASSERT_TRUE(scan.startScanJob(s));
  ASSERT_TRUE(scan.doScan());
  EXPECT_GE(scan.scanBufferSize(), bytes.size());
  EXPECT_EQ(scan.scanImageInfo().dwLength, bytes.size() / (2544 * 3));
  EXPECT_TRUE(ScannedBytes(scan) == bytes);
}

// Merged sides: one doScan reads two driver pages; a rear side larger than the back buffer is
// taken into the grown back buffer, the front buffer stays the front's.
TEST_F(PageLoop, MergedSidesReadBothSidesIntoTheirOwnBuffers) {
  ScanSetting s = SmallGreyPage();
  s.bScanSource = kSourceMergeTwoSides;
  ASSERT_TRUE(scan.startScanJob(s));
  EXPECT_EQ(driver.parameters.back().ScanMethod, 4);
  EXPECT_FALSE(HWAutoCrop);
  const uint32_t pageBytes = scan.scanImageInfo().dwBytesPerLine * scan.scanImageInfo().dwLength;
  const std::vector<uint8_t> front = Pattern(pageBytes, 1);
  const std::vector<uint8_t> rear = Pattern(pageBytes + 4096, 2);
  driver.pages = {PageOf(front), PageOf(rear, 1)};
  steps.backSize = rear.size();
  steps.frontSize = front.size();
  ASSERT_TRUE(scan.doScan());
  EXPECT_EQ(driver.startScans, 2);
  EXPECT_EQ(steps.mergedFront, front);
  EXPECT_EQ(steps.mergedBack, rear);
  EXPECT_EQ(scan.scanPageDone(), 1);
}

// A crop that moves the page into a larger block leaves the callback no address of the freed
// one: the end of the job frees every block once.
TEST_F(PageLoop, CropThatEnlargesThePageLeavesNoStaleBuffer) {
  steps.enlargingCrop = true;
  ScanSetting s = SmallGreyPage();
  s.bPaperSize = kPageAutomatic;
  driver.pages = {PageOf(Pattern(kSmallPageBytes, 1)), PageOf(Pattern(kSmallPageBytes, 2))};
  driver.paperAfterPage = {1, 0};
  ASSERT_TRUE(scan.startScanJob(s));
  for (int page = 1; page <= 2; ++page) {
    ASSERT_TRUE(scan.doScan());
    std::lock_guard lock(gScanPage.bufferLock);
    EXPECT_EQ(gScanPage.gPageBuffer, scan.scanBuffer()) << "page " << page;
    EXPECT_EQ(gScanPage.gScanSize, scan.scanBufferSize()) << "page " << page;
  }
}

TEST_F(PageLoop, BlankPagesAreSkippedAndABlankLastPageEndsTheBatch) {
  driver.pages = {PageOf(Pattern(kSmallPageBytes, 1)), PageOf(Pattern(kSmallPageBytes, 2)),
                  PageOf(Pattern(kSmallPageBytes, 3))};
  driver.paperAfterPage = {1, 1, 0};
  steps.blankAnswers = {1, 0, 1};
  ScanSetting s = SmallGreyPage();
  s.bBlankPageRemoval = 1;
  ASSERT_TRUE(scan.startScanJob(s));
  ASSERT_TRUE(scan.doScan());  // the blank first sheet is dropped, the second delivered
  EXPECT_EQ(driver.startScans, 2);
  EXPECT_EQ(ScannedBytes(scan), Pattern(kSmallPageBytes, 2));
  EXPECT_FALSE(scan.doScan());
  EXPECT_EQ(scan.scannerError(), kErrorBlankLastPage);
}

// Device JPEG pages are decoded from a copy; rows beyond the buffer grow it.
TEST_F(PageLoop, JpegPageLargerThanItsBufferGrowsTheBuffer) {
  deviceAbility.ImageType = 0x11000;
  ASSERT_TRUE(scan.startScanJob(SmallGreyPage()));
  EXPECT_EQ(driver.parameters.back().Compression, 132);
  EXPECT_EQ(driver.parameters.back().ScanMode, 0x6000002u);
  // 24 x 40 grey rows: four times the page's nominal 10 lines.
  const oracle::Picture picture = oracle::makePicture(24, 40, 1, 7);
  const std::vector<uint8_t> jpeg = oracle::compress(picture, {});
  Page page = PageOf(jpeg, 1);
  for (int i = 0; i < 39; ++i) page.insert(page.begin(), Block{{}, {}, false});  // 40 lines
  driver.pages = {page};
  ASSERT_TRUE(scan.doScan());
  EXPECT_GE(scan.scanBufferSize(), picture.pixels.size());
  EXPECT_EQ(scan.scanImageInfo().dwLength, 40u);
  std::vector<uint8_t> decoded(picture.pixels.size());
  ASSERT_TRUE(gKrCommon->jpg2raw(jpeg, decoded, false));
  EXPECT_EQ(ScannedBytes(scan), decoded);
}

TEST_F(PageLoop, BarcodeHandOverWaitEndsOnCancel) {
  driver.pages = {PageOf(Pattern(kSmallPageBytes, 1))};
  ScanSetting s = SmallGreyPage();
  s.bBarcodeDetection = 1;
  steps.cancelAfterBarcode = true;
  gPatchBarcodeReading = true;  // the previous page's result was never taken
  ASSERT_TRUE(scan.startScanJob(s));
  scan.doScan();
  EXPECT_TRUE(steps.barcodeDone);
  EXPECT_TRUE(scan.xferGo());
  gPatchBarcodeReading = false;
}

// A long page sent in end-of-file segments: each segment goes to the crop session, the page is
// started again for the next, and the decoded strips make the page.
TEST_F(PageLoop, EndOfFileSegmentsOfALongPage) {
  const std::vector<uint8_t> first = Pattern(100, 1), second = Pattern(60, 2);
  Page one = PageOf(first, 2);
  one.back().codes = {kStatusEndOfFile};
  Page two = PageOf(second, 1);
  two.back().codes = {kStatusEndOfFile, kStatusEndOfPage};
  driver.pages = {one, two};
  ASSERT_TRUE(scan.startScanJob(SmallGreyPage()));
  ASSERT_TRUE(scan.doScan()) << scan.scannerError();
  EXPECT_EQ(driver.startScans, 2);
  ASSERT_EQ(steps.segments.size(), 2u);
  EXPECT_EQ(steps.segments[0], first);
  EXPECT_EQ(steps.segments[1], second);
  EXPECT_EQ(steps.stripsGiven, 2);
  EXPECT_GE(steps.resets, 2);  // before the first segment and after the page
  EXPECT_EQ(scan.scanImageInfo().dwLength, 6u);
  std::vector<uint8_t> want(24 * 3, 0x30);
  want.insert(want.end(), 24 * 3, 0x31);
  EXPECT_EQ(ScannedBytes(scan), want);
}

// The preview: one page at 150 dpi colour over the whole feeder area, saved as a file.
TEST_F(PageLoop, PreviewScansOnePageIntoAFile) {
  const std::filesystem::path file = testsupport::freshTestFolder("ds-preview") / "preview.png";
  const uint32_t bytes = 1272 * 3 * 1650;  // 2550 x 3300 at 150 dpi, width to a multiple of 8
  driver.pages = {PageOf(Pattern(bytes, 1), 4)};
  ASSERT_TRUE(scan.doPreviewScan(SmallGreyPage(), file));
  ASSERT_EQ(driver.parameters.size(), 1u);
  EXPECT_EQ(driver.parameters[0].XRes, 150);
  EXPECT_EQ(driver.parameters[0].ScanMode, 4u);
  EXPECT_EQ(driver.parameters[0].CtrlMode, 3);
  EXPECT_EQ(driver.parameters[0].PixelNum, 1272u);
  EXPECT_EQ(driver.stopJobs, 1);
  EXPECT_GT(std::filesystem::file_size(file), 0u);
  EXPECT_EQ(scan.scanBuffer(), nullptr);  // the page buffer is freed again
}

TEST_F(PageLoop, FiftyPageJob) {
  constexpr int kPages = 50;
  for (int i = 1; i <= kPages; ++i) driver.pages.push_back(PageOf(Pattern(kSmallPageBytes, i), 4));
  driver.paperAfterPage.assign(kPages - 1, 1);
  ASSERT_TRUE(scan.startScanJob(SmallGreyPage(kImageGrayFront | kImageGrayRear)));
  for (int i = 1; i <= kPages; ++i) {
    ASSERT_TRUE(scan.doScan()) << i;
    ASSERT_EQ(ScannedBytes(scan), Pattern(kSmallPageBytes, i)) << i;
  }
  EXPECT_TRUE(scan.lastPage());
  EXPECT_EQ(scan.scanPageDone(), kPages);
}

}  // namespace
