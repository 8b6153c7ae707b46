// The page steps through the stand-in plug-ins: blank page, crop and deskew with the copy-back
// rule, the flatbed's multi-crop, merging two sides, orientation, punch holes, patch sheets,
// splitting a page, and the refusal of a record that describes more than the page buffer holds.
#include <cstdlib>

#include "PluginFixture.h"
#include "tests/drv/jpeg/oracle.h"

using namespace ferrolite;
using namespace imagetest;
using plugtest::Doc;
using plugtest::Page;

namespace {

constexpr uint16_t kDpi = 150;

class PageSteps : public WithPlugins {};

// Each step fills a record of its own: a spy on the step's entry sees what the plug-in got.
NIDATA gStepRecord{};
LumetraProcessFn gStepEntry = nullptr;

long StepSpy(void* in, void** out, NIDATA* record, void* extra, long* status) {
  gStepRecord = *record;
  return gStepEntry(in, out, record, extra, status);
}

void spyOnStep(LumetraProcessFn& entry) {
  gStepRecord = NIDATA{};
  gStepEntry = entry;
  entry = StepSpy;
}

TEST_F(PageSteps, BlankPageAndPrintedPage) {
  p.setScanSource(kScanSourceFeederFront);
  Page blank(600, 800, 8, 250);
  plugtest::addNoise(blank, 3);
  EXPECT_TRUE(p.isBlankPage(InfoOf(blank, kDpi), blank.data.data(), 10));
  Page printed(600, 800, 8, 250);
  plugtest::drawText(printed, 60, 100, "Some words on the page", 40);
  EXPECT_FALSE(p.isBlankPage(InfoOf(printed, kDpi), printed.data.data(), 10));
}

TEST_F(PageSteps, FeederCropStraightensTheDocumentIntoTheScanBuffer) {
  p.setScanSource(kScanSourceFeederFront);
  p.scanPage(3);
  Page page(900, 1250, 8);
  plugtest::drawDocuments(page, 30, {Doc{470, 610, 600, 850, 3.5}});
  OwnedPage owned(page);
  XferImageInfo info = InfoOf(page, kDpi);
  spyOnStep(p.lumetra().DeskewCrop);
  ASSERT_TRUE(p.doCropDeskew(&info, &owned.buffer, false, false));
  EXPECT_NEAR(info.dwWidth, 600, 3);
  EXPECT_NEAR(info.dwLength, 850, 3);
  EXPECT_EQ(info.dwBytesPerLine, info.dwWidth);
  EXPECT_EQ(p.flatbedRemnantImage(), 0);
  const NIDATA& rec = gStepRecord;
  EXPECT_EQ(rec.OutImage.AutoCrop, 0x11);
  EXPECT_EQ(uint16_t(rec.InImage.CurPages), 3);
  EXPECT_EQ(uint16_t(rec.InImage.ScanTypeMaxWidth), 150u * 2550 / 300);
  EXPECT_EQ(rec.InImage.BackgroundColor, 0);  // the dark feeder
  EXPECT_STREQ(rec.Model, "F11E0310");
  // The document's paper fills the cut.
  const Page out = owned.page(info);
  EXPECT_GT(out.grey(20, 20), 200);
}

long Refuse(void*, void**, NIDATA*, void*, long* status) {
  *status = 0;
  return kLumetraMsgFail;
}

// A Letter invoice as wide as the feeder, on a light feeder background, through the data
// source's own steps: not blank, and cut to the whole sheet, never to a square or a strip.
TEST_F(PageSteps, InvoiceAsWideAsTheFeederOnALightBackgroundIsCutWhole) {
  constexpr uint16_t kSheetDpi = 100;
  p.setScanSource(kScanSourceFeederFront);
  const Page sheet = plugtest::invoiceSheet(kSheetDpi, 850, 1100, 24);
  Page page(850, 1300, 24);
  plugtest::placeSheet(page, 240, sheet, 425, 660, 0);
  plugtest::addNoise(page, 3);
  EXPECT_FALSE(p.isBlankPage(InfoOf(page, kSheetDpi), page.data.data(), 10));
  OwnedPage owned(page);
  XferImageInfo info = InfoOf(page, kSheetDpi);
  ASSERT_TRUE(p.doCropDeskew(&info, &owned.buffer, false, false));
  EXPECT_NEAR(info.dwWidth, 850, 3);
  EXPECT_NEAR(info.dwLength, 1100, 3);
}

TEST_F(PageSteps, RefusedCropLeavesThePageAndSucceeds) {
  p.setScanSource(kScanSourceFeederFront);
  Page page(300, 400, 8, 77);
  OwnedPage owned(page);
  XferImageInfo info = InfoOf(page, kDpi);
  p.lumetra().DeskewCrop = Refuse;
  EXPECT_TRUE(p.doCropDeskew(&info, &owned.buffer, false, false));
  EXPECT_EQ(info.dwWidth, 300u);
  EXPECT_EQ(owned.page(info).data, page.data);
}

// A description of more lines than the scan buffer holds never reaches the plug-ins (which read
// what the record says): the crop and the orientation leave the page as it is, the merge fails.
TEST_F(PageSteps, ARecordLongerThanThePageBufferIsRefusedAndThePageLeftAsItIs) {
  p.setScanSource(kScanSourceFeederFront);
  Page page(300, 400, 8, 77);
  plugtest::drawDocuments(page, 30, {Doc{150, 200, 200, 300, 4}});
  const Page rear = page;
  OwnedPage owned(page);
  XferImageInfo info = InfoOf(page, kDpi);
  info.dwLength += 40;
  const XferImageInfo described = info;
  EXPECT_TRUE(p.doCropDeskew(&info, &owned.buffer, false, false));
  EXPECT_TRUE(p.doAutoOrientation(&info, &owned.buffer));
  EXPECT_FALSE(p.doMerge2Sides(&info, &owned.buffer, rear.data.data(), 0, false));
  EXPECT_EQ(info.dwWidth, described.dwWidth);
  EXPECT_EQ(info.dwLength, described.dwLength);
  EXPECT_EQ(owned.buffer.size, page.data.size());
  EXPECT_EQ(std::vector<uint8_t>(owned.buffer.data, owned.buffer.data + owned.buffer.size),
            page.data);
}

TEST_F(PageSteps, CarrierSheetAndSingleCropDuplexRecords) {
  struct Case {
    bool carrier, singleDuplex;
    uint8_t autoCrop;
  } cases[] = {{false, false, 0x11}, {false, true, 0x51}, {true, false, 0x01}, {true, true, 0x41}};
  p.setScanSource(kScanSourceFeederDuplex);
  p.lumetra().DeskewCrop = Refuse;
  spyOnStep(p.lumetra().DeskewCrop);
  for (const Case& c : cases) {
    gCarrierSheet = c.carrier;
    gSingleCropDuplex = c.singleDuplex;
    Page page(64, 64, 8);
    OwnedPage owned(page);
    XferImageInfo info = InfoOf(page, kDpi);
    p.doCropDeskew(&info, &owned.buffer, true, false);
    EXPECT_EQ(gStepRecord.OutImage.AutoCrop, c.autoCrop) << c.carrier << c.singleDuplex;
    EXPECT_EQ(gStepRecord.OutImage.Rotate, 2);
  }
  gCarrierSheet = false;
  gSingleCropDuplex = 0;
}

TEST_F(PageSteps, ThreeDocumentsOnTheFlatbed) {
  p.setScanSource(kScanSourceFlatbed);
  s.bPaperSize = kPageMultiCrop;
  Page page(1200, 1300, 24);
  const std::vector<Doc> docs = {
      {300, 250, 400, 300, 3}, {850, 280, 350, 380, -5}, {600, 900, 700, 450, 1.5}};
  plugtest::drawDocuments(page, 35, docs);
  OwnedPage owned(page);
  XferImageInfo info = InfoOf(page, kDpi);
  spyOnStep(p.lumetra().DeskewCrop);
  ASSERT_TRUE(p.doCropDeskew(&info, &owned.buffer, false, true));
  EXPECT_EQ(gStepRecord.OutImage.AutoCrop, 0x81);
  EXPECT_EQ(p.flatbedRemnantImage(), 2);
  EXPECT_NEAR(info.dwWidth, docs[0].w, 3);
  for (size_t i = 1; i < docs.size(); ++i) {
    ASSERT_TRUE(p.doGetMultipleImage(&info, owned.buffer.data, 1)) << i;
    EXPECT_NEAR(info.dwWidth, docs[i].w, 3) << i;
    EXPECT_NEAR(info.dwLength, docs[i].h, 3) << i;
    EXPECT_EQ(info.dwBytesPerLine, 3 * info.dwWidth);
  }
  EXPECT_FALSE(p.doGetMultipleImage(&info, owned.buffer.data, 1));  // none left
}

TEST_F(PageSteps, MultiCropImagesAreCountedAsTheirOwnImages) {
  // With two further documents, six images on one side are three per document.
  p.setScanSource(kScanSourceFlatbed);
  s.bPaperSize = kPageMultiCrop;
  s.wImageType = kImageColorFront | kImageBWFront;
  s.bFBinaryProcess = 1;
  Page page(1200, 1300, 24);
  plugtest::drawDocuments(
      page, 35, {{300, 250, 400, 300, 0}, {850, 280, 350, 380, 0}, {600, 900, 700, 450, 0}});
  OwnedPage owned(page);
  XferImageInfo info = InfoOf(page, kDpi);
  ASSERT_TRUE(p.doCropDeskew(&info, &owned.buffer, false, true));
  ASSERT_EQ(p.flatbedRemnantImage(), 2);
  p.frontRearCount(6, 1);
  EXPECT_EQ(p.getXferImageType(), 2);  // image 1: the first document in colour
}

TEST_F(PageSteps, MergeGrowsTheFrontBufferToHoldBothSides) {
  p.setScanSource(kScanSourceFeederDuplex);
  Page front(700, 800, 8), rear(700, 800, 8);
  plugtest::drawDocuments(front, 30, {Doc{350, 400, 500, 600, 0}});
  plugtest::drawDocuments(rear, 30, {Doc{350, 400, 500, 600, 0}}, false);
  OwnedPage owned(front);
  uint8_t* const before = owned.buffer.data;
  (void)before;
  XferImageInfo info = InfoOf(front, kDpi);
  spyOnStep(p.lumetra().Merge2Side);
  ASSERT_TRUE(p.doMerge2Sides(&info, &owned.buffer, rear.data.data(), 0, false));
  EXPECT_EQ(gStepRecord.OutImage.Merge2Side, 0x21);
  EXPECT_EQ(gStepRecord.OutImage.AutoCrop, 0x51);
  EXPECT_EQ(gStepRecord.InImage.ScanType, 2);
  EXPECT_NEAR(info.dwWidth, 1000, 4);  // side by side
  EXPECT_NEAR(info.dwLength, 600, 3);
  EXPECT_GE(owned.buffer.size, uint64_t(info.dwWidth) * info.dwLength);
  const Page merged = owned.page(info);
  EXPECT_GT(merged.grey(int(info.dwWidth) - 20, int(info.dwLength) / 2), 200);  // rear's paper
  // Below each other.
  OwnedPage again(front);
  info = InfoOf(front, kDpi);
  ASSERT_TRUE(p.doMerge2Sides(&info, &again.buffer, rear.data.data(), 1, true));
  EXPECT_EQ(gStepRecord.OutImage.Merge2Side, 0xC1);
  EXPECT_EQ(gStepRecord.OutImage.Rotate, 2);
  EXPECT_NEAR(info.dwLength, 1200, 4);
}

TEST_F(PageSteps, OrientationCopyBackGrowsAOneBitBuffer) {
  // A one-bit page 16 x 9 holds 18 bytes; turned it is 9 pixels (2 bytes) x 16 lines.
  setenv(kLumetraForceOrientationEnv, "90", 1);
  p.setScanSource(kScanSourceFeederFront);
  Page page(16, 9, 1, 255);
  OwnedPage owned(page);
  XferImageInfo info = InfoOf(page, kDpi);
  ASSERT_EQ(owned.buffer.size, 18u);
  ASSERT_TRUE(p.doAutoOrientation(&info, &owned.buffer));
  unsetenv(kLumetraForceOrientationEnv);
  EXPECT_EQ(info.dwWidth, 9u);
  EXPECT_EQ(info.dwLength, 16u);
  EXPECT_EQ(info.dwBytesPerLine, 2u);  // (bits x width + 7) / 8
  EXPECT_EQ(owned.buffer.size, 32u);
}

TEST_F(PageSteps, PatchSheetAndPunchHoles) {
  p.setScanSource(kScanSourceFeederFront);
  const Page sheet = plugtest::patchSheet(kLumetraPatchPatterns[2], 100);
  EXPECT_TRUE(p.doPatchCode(InfoOf(sheet, 100), sheet.data.data()));
  Page plain(850, 1100, 8, 245);
  EXPECT_FALSE(p.doPatchCode(InfoOf(plain, 100), plain.data.data()));

  Page holes(850, 1100, 8, 245);
  for (int y : {200, 550, 900}) plugtest::fillDisc(holes, 40, y, 12, 20);
  ASSERT_TRUE(p.doPunchHoleRemoval(InfoOf(holes, 100), holes.data.data()));
  EXPECT_GT(holes.grey(40, 550), 200);
}

TEST(Split, SideBySideBlackAndWhiteHalves) {
  TezFRLImageProcess p;
  // 1,001 pixels: cut to 992 (a multiple of 16), halves of 496.
  XferImageInfo info = InfoOf(Page(1001, 3, 1, 0), 200);
  std::vector<uint8_t> page(size_t(info.dwBytesPerLine) * 3, 0x00);
  for (uint32_t y = 0; y < 3; ++y) page[y * info.dwBytesPerLine + 62] = 0xFF;  // right half
  auto* buffer = static_cast<uint8_t*>(std::malloc(page.size()));
  std::memcpy(buffer, page.data(), page.size());
  ASSERT_TRUE(p.splitImage(&info, buffer, 2, 1));
  EXPECT_TRUE(p.isSplitImage());
  EXPECT_EQ(info.dwWidth, 496u);
  EXPECT_EQ(info.dwBytesPerLine, 62u);
  EXPECT_EQ(buffer[0], 0x00);
  EXPECT_EQ(buffer[62], 0x00);  // the second line of the left half
  ASSERT_TRUE(p.splitImage(&info, buffer, 2, 2));
  EXPECT_FALSE(p.isSplitImage());
  EXPECT_EQ(info.dwWidth, 496u);
  EXPECT_EQ(buffer[0], 0xFF);
  EXPECT_EQ(buffer[62], 0xFF);
  EXPECT_FALSE(p.splitImage(&info, buffer, 0, 1));
  std::free(buffer);
}

TEST(Split, UpperHalfFirstThenLower) {
  TezFRLImageProcess p;
  XferImageInfo info = InfoOf(Page(2, 4, 8), 200);
  uint8_t* buffer = static_cast<uint8_t*>(std::malloc(8));
  const uint8_t rows[8] = {1, 1, 2, 2, 3, 3, 4, 4};
  std::memcpy(buffer, rows, 8);
  ASSERT_TRUE(p.splitImage(&info, buffer, 1, 1));
  EXPECT_EQ(info.dwLength, 2u);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), (std::vector<uint8_t>{1, 1, 2, 2}));
  ASSERT_TRUE(p.splitImage(&info, buffer, 1, 2));
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), (std::vector<uint8_t>{3, 3, 4, 4}));
  // Image 1 of the next page starts over, whatever was pending.
  info = InfoOf(Page(2, 4, 8), 200);
  std::memcpy(buffer, rows, 8);
  ASSERT_TRUE(p.splitImage(&info, buffer, 1, 1));
  ASSERT_TRUE(p.splitImage(&info, buffer, 1, 1));
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), (std::vector<uint8_t>{1, 1, 2, 2}));
  std::free(buffer);
}

}  // namespace

namespace {

// A colour page the scanner sends in three JPEG segments: the crop session cuts it to the
// document and hands it back in raw strips, as the page loop takes them.
TEST_F(PageSteps, JpegSegmentsThroughTheCropSession) {
  Page page(416, 640, 24);
  plugtest::drawDocuments(page, 20, {Doc{205, 296, 250, 400, 0}});
  NIDATA ni = plugtest::recordFor(page, 100);
  ni.InImage.ScanMode = 0x80 | 4;
  ni.OutImage.OutMode = 4;
  ni.OutImage.AutoCrop = kLumetraCropOn;
  const int segments[] = {256, 192, 192};
  int y = 0;
  for (int lines : segments) {
    oracle::Picture slice;
    slice.width = page.width, slice.height = lines, slice.comps = 3;
    slice.pixels.assign(page.row(y), page.row(y) + size_t(lines) * page.stride);
    const std::vector<uint8_t> jpeg = oracle::compress(slice, {});
    ni.InImage.Line = uint32_t(lines);
    ASSERT_TRUE(p.jpegCropInput(jpeg, &ni));
    y += lines;
  }
  std::vector<uint8_t> rows, strip;
  bool more = true;
  for (int round = 0; more && round < 50; ++round) {
    ASSERT_TRUE(p.jpegCropOutput(&ni, &strip, &more));
    rows.insert(rows.end(), strip.begin(), strip.end());
  }
  EXPECT_FALSE(more);
  EXPECT_NEAR(ni.OutImage.ImageWidth, 250, 4);
  EXPECT_EQ(rows.size() % (3 * ni.OutImage.ImageWidth), 0u);
  EXPECT_NEAR(rows.size() / (3 * ni.OutImage.ImageWidth), 400, 4);
  p.jpegCropReset();
  // A session without a plug-in entry refuses its input.
  p.lumetra().JpegCrop = nullptr;
  EXPECT_FALSE(p.jpegCropInput(std::vector<uint8_t>(4), &ni));
}

}  // namespace
