// The data source's side of the plug-ins, through the stand-ins: loading and what a missing one
// turns off, drop gamma tables, colour drop-out (normal, advanced, custom) in the pipeline and
// for the dialog's preview, colour matching, barcodes of every symbology, the imprint, and the
// refusal of a record that describes more than the working buffer holds.
#include <BarcodeFormat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "ImageTestSupport.h"
#include "PluginFixture.h"
#include "TestFolder.h"
#include "platform/foundation/PropertyList.h"

using namespace ferrolite;
using namespace imagetest;
using imagetest::Malloced;
using imagetest::Working;
using plugtest::Page;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

// What the wrapped entries last received.
NIDATA gRecord;
Bytes gBlock;
uint32_t gMask = 0;
int32_t gIntent = -1, gCode = -1;
LumetraProcessFn gInner = nullptr;
StripecodeSearchFn gSearch = nullptr;

long Spy(void* src, void** des, NIDATA* ni, void* extra, long* status) {
  gRecord = *ni;
  if (extra) gBlock.assign(static_cast<uint8_t*>(extra), static_cast<uint8_t*>(extra) + 15);
  return gInner(src, des, ni, extra, status);
}
void* SpySearch(const void* bitmap, uint32_t size, uint32_t mask, int32_t* count) {
  gMask = mask;
  return gSearch(bitmap, size, mask, count);
}
uint32_t SpyIntent(int32_t intent, int32_t, int32_t code) {
  gIntent = intent, gCode = code;
  return 0;
}

class PluginSide : public WithPlugins {
 protected:
  void SetUp() override {
    WithPlugins::SetUp();
    gRecord = {};
    gBlock.clear();
  }
  // A colour page: white with a red, a green and a blue bar of 4 pixels.
  static Page Bars() {
    Page page(24, 4, 24, 255);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) {
        page.set(x + 4, y, 220, 20, 20);
        page.set(x + 10, y, 20, 200, 20);
        page.set(x + 16, y, 20, 20, 220);
      }
    return page;
  }
};

TEST_F(PluginSide, FeederBackgroundDecidesTheBlackBackground) {
  EXPECT_TRUE(p.blackADF());  // mean 40
  deviceAbility.FrontADFBackground_R = 200;
  deviceAbility.FrontADFBackground_G = deviceAbility.FrontADFBackground_B = 100;  // mean 133
  TezFRLImageProcess light;
  ASSERT_TRUE(light.initalizeLumetraLib(VT_PLUGIN_DIR, 0, kUsbId));
  EXPECT_FALSE(light.blackADF());
}

TEST(PluginLoading, MissingLibrariesAndProfilesTurnTheirStepsOff) {
  const fs::path empty = testsupport::freshTestFolder("ds-image-empty");
  setenv("FERROLITE_SCANNER_RESOURCES", empty.c_str(), 1);
  TezFRLImageProcess p;
  p.scannerName("Test");
  EXPECT_FALSE(p.initalizeLumetraLib(empty, 0, kUsbId));
  EXPECT_FALSE(p.initalizeColorMatchLib(empty));
  EXPECT_FALSE(p.colorMatchReady());
  EXPECT_FALSE(p.initalizeKrCocoaLib(empty));
  // The library is there but the model has no profile.
  TezFRLImageProcess other;
  other.scannerName("NoSuchModel");
  EXPECT_FALSE(other.initalizeColorMatchLib(VT_PLUGIN_DIR));
  EXPECT_FALSE(other.colorMatchReady());
  unsetenv("FERROLITE_SCANNER_RESOURCES");
  // Without a library the steps leave the image alone.
  ScanSetting s;
  s.wImageType = kImageColorFront;
  s.bColorMatch = 1;
  p.setUiSetting(&s);
  Working w(p, imagetest::Info(2, 1, 1), {1, 2, 3});
  EXPECT_FALSE(p.applyColorMatch());
  EXPECT_FALSE(p.watermarkImage("x"));
  BarcodeInfo found;
  found.count = 9;
  EXPECT_FALSE(p.doBarcodeDetection(p.workingInfo(), p.workingBuffer(), 0, &found));
  EXPECT_EQ(found.count, 0);  // cleared first
  EXPECT_EQ(w.bytes(), (Bytes{1, 2, 3}));
}

TEST_F(PluginSide, DropGammaTablesPerModel) {
  const fs::path folder = testsupport::freshTestFolder("ds-image-dropgamma");
  foundation::Dictionary red, green, model, file;
  red.set("000", 5);
  red.set("255", 250);
  green.set("128", 64);
  model.set("Red", red);
  model.set("Green", green);
  file.set("Test", model);
  ASSERT_TRUE(foundation::writePropertyList(folder / "DropGamma.plist", file).ok());
  p.getDropGamma(folder);
  ASSERT_TRUE(p.supportDropGamma());
  EXPECT_EQ(p.dropGammaTable(1)[0], 5);
  EXPECT_EQ(p.dropGammaTable(1)[1], 1);  // a missing number keeps the identity
  EXPECT_EQ(p.dropGammaTable(1)[255], 250);
  EXPECT_EQ(p.dropGammaTable(2)[128], 64);
  EXPECT_EQ(p.dropGammaTable(3)[77], 77);
  // The normal drop-out passes its grey through the colour's table.
  s.bFGColorDropOut = 1;
  Working w(p, InfoOf(Bars(), 100), Bars().data);
  ASSERT_TRUE(p.doColorDropOut(1));
  EXPECT_EQ(w.bytes()[0], 250);  // white: red sample 255
  EXPECT_EQ(w.bytes()[4], 220);  // the red bar: red sample 220, identity there

  TezFRLImageProcess other;
  other.scannerName("OtherModel");
  other.getDropGamma(folder);
  EXPECT_FALSE(other.supportDropGamma());
  EXPECT_EQ(other.dropGammaTable(1)[0], 0);
  gAdvColorDropOn = 1;
  p.getDropGamma(folder);
  EXPECT_FALSE(p.supportDropGamma());
  gAdvColorDropOn = 0;
}

TEST_F(PluginSide, NormalDropOutKeepsOneSampleAsGrey) {
  s.bFGColorDropOut = 2;  // green
  const Page bars = Bars();
  {
    Working w(p, InfoOf(bars, 100), bars.data);
    ASSERT_TRUE(p.doColorDropOut(1));
    EXPECT_EQ(p.workingInfo().bMode, kXferModeGray);
    EXPECT_EQ(p.workingInfo().dwBytesPerLine, 24u);
    const Bytes out = w.bytes();
    EXPECT_EQ(out[4], 20);    // red bar: its green sample
    EXPECT_EQ(out[10], 200);  // green bar: gone into the paper
    EXPECT_EQ(out[16], 20);
    EXPECT_FALSE(gAdvDrop2Processing);
  }
  // No colour chosen, or a type that is not grey or black and white: nothing.
  s.bFGColorDropOut = 0;
  Working again(p, InfoOf(bars, 100), bars.data);
  EXPECT_FALSE(p.doColorDropOut(1));
  s.bFGColorDropOut = 2;
  EXPECT_FALSE(p.doColorDropOut(2));
}

TEST_F(PluginSide, AdvancedDropOutToBlackAndWhiteThroughTheSecondEntry) {
  s.bFBColorDropOut = 1;  // red
  s.bFBAdvanceProcess = 1;
  s.bFBThreshold = 128;
  gInner = p.lumetra().AdvColorDrop2;
  p.lumetra().AdvColorDrop2 = Spy;
  const Page bars = Bars();
  Working w(p, InfoOf(bars, 100), bars.data);
  ASSERT_TRUE(p.doColorDropOut(0));
  EXPECT_TRUE(gAdvDrop2Processing);
  EXPECT_EQ(uint16_t(gRecord.OutImage.OutMode), 1);
  EXPECT_EQ(gRecord.OutImage.BW.DropThreshold, 10);  // quality 0: filter 10
  EXPECT_EQ(gRecord.OutImage.BW.AdvDrop, 0x41);
  EXPECT_EQ(gBlock, Bytes(15, 0xFF));
  EXPECT_EQ(p.workingInfo().bMode, kXferModeBW);
  EXPECT_EQ(p.workingInfo().dwBytesPerLine, 3u);
  // The red bar dropped into white; the blue one stays black.
  const Bytes out = w.bytes();
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(out[2], 0x0F);
  gAdvDrop2Processing = false;
}

TEST_F(PluginSide, AdvancedCustomDropOutToGreyThroughTheFirstEntry) {
  s.bFGColorDropOut = 4;
  s.bFGAdvanceProcess = 1;
  s.bFGAdvDropQuality = 1;
  s.bFGFilterThreshold = 33;
  s.bFGCustomR = 20, s.bFGCustomG = 200, s.bFGCustomB = 20;
  gInner = p.lumetra().AdvColorDrop;
  p.lumetra().AdvColorDrop = Spy;
  p.lumetra().AdvColorDrop2 = nullptr;
  const Page bars = Bars();
  Working w(p, InfoOf(bars, 100), bars.data);
  ASSERT_TRUE(p.doColorDropOut(1));
  EXPECT_FALSE(gAdvDrop2Processing);
  EXPECT_EQ(gRecord.OutImage.Gray.Mode, 0);
  EXPECT_EQ(gRecord.OutImage.Gray.AdvDrop, 0x81);
  EXPECT_EQ(gRecord.OutImage.Gray.DropThreshold, 33);
  EXPECT_EQ(gRecord.OutImage.Gray.BackgroundLevel, 247);
  EXPECT_EQ(gRecord.OutImage.Gray.GDropValue, 200);
  EXPECT_EQ(gRecord.OutImage.Gray.DropTolerance, 10);
  EXPECT_EQ(p.workingInfo().bMode, kXferModeGray);
  EXPECT_GT(w.bytes()[11], 200);  // the green bar dropped
}

TEST_F(PluginSide, FailingDropOutLeavesTheImage) {
  s.bFGColorDropOut = 1;
  s.bFGAdvanceProcess = 1;
  gInner = [](void*, void**, NIDATA*, void*, long*) -> long { return kLumetraMsgFail; };
  p.lumetra().AdvColorDrop2 = Spy;
  const Page bars = Bars();
  Working w(p, InfoOf(bars, 100), bars.data);
  EXPECT_FALSE(p.doColorDropOut(1));
  EXPECT_FALSE(gAdvDrop2Processing);
  EXPECT_EQ(p.workingInfo().bMode, kXferModeColor);
  EXPECT_EQ(w.bytes(), bars.data);
}

TEST_F(PluginSide, DropOutPreviewForTheDialog) {
  const Page bars = Bars();
  const XferImageInfo info = InfoOf(bars, 100);
  ColorDropParam grey{};
  grey.bGrayOutput = 1;
  grey.bDropColor = 3;
  Bytes dest(24 * 4, 7);
  ASSERT_TRUE(p.getColorDropData(bars.data.data(), dest.data(), info, grey));
  EXPECT_EQ(dest[16], 220);  // blue bar: its blue sample
  EXPECT_EQ(dest[4], 20);
  // Black and white: one bit a pixel, in a buffer of (width + 7) / 8 bytes a line.
  ColorDropParam bw = grey;
  bw.bGrayOutput = 0;
  Bytes bits(3 * 4 + 1, 0xAA);
  ASSERT_TRUE(p.getColorDropData(bars.data.data(), bits.data(), info, bw));
  EXPECT_EQ(bits[0], 0xF0);      // white, then the red bar (blue sample 20) black
  EXPECT_EQ(bits.back(), 0xAA);  // nothing past the image
  // Advanced: quality from byte 9, custom blue from byte 8.
  ColorDropParam adv{};
  adv.bGrayOutput = 1;
  adv.bDropColor = 4;
  adv.bAdvance = 1;
  adv.bThreshold = 12;
  adv.bCustomR = 20, adv.bCustomG = 20, adv.bCustomB = 220;
  adv.bQuality = 1;
  gInner = p.lumetra().AdvColorDrop2;
  p.lumetra().AdvColorDrop2 = Spy;
  deviceAbility.DeviceType = 0x80;  // a flatbed without a feeder
  ASSERT_TRUE(p.getColorDropData(bars.data.data(), dest.data(), info, adv));
  EXPECT_EQ(gRecord.InImage.ScanType, 0);
  EXPECT_EQ(gRecord.OutImage.Gray.AdvDrop, 0x81);
  EXPECT_EQ(gRecord.OutImage.Gray.BDropValue, 220);
  EXPECT_EQ(gRecord.OutImage.Gray.DropThreshold, 12);
  EXPECT_EQ((Bytes{gBlock[0], gBlock[1], gBlock[2], gBlock[3]}), (Bytes{20, 20, 220, 0xFF}));
  EXPECT_GT(dest[16], 200);  // the blue bar dropped
  adv.bQuality = 0;
  deviceAbility.DeviceType = 0xA0;
  ASSERT_TRUE(p.getColorDropData(bars.data.data(), dest.data(), info, adv));
  EXPECT_EQ(gRecord.OutImage.Gray.AdvDrop, 0x41);
  EXPECT_EQ(gRecord.InImage.ScanType, 1);
  EXPECT_FALSE(p.getColorDropData(nullptr, dest.data(), info, grey));
  EXPECT_FALSE(p.getColorDropData(bars.data.data(), nullptr, info, grey));
}

TEST_F(PluginSide, ColourMatchingWithAnSRGBProfileIsCloseToIdentity) {
  s.wImageType = kImageColorFront;
  s.bColorMatch = 1;  // identity tone curve, perceptual
  ASSERT_TRUE(p.colorMatchReady());
  Page page(16, 4, 24);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 16; ++x)
      page.set(x, y, uint8_t(x * 16), uint8_t(y * 60), uint8_t(200 - x * 8));
  XferImageInfo info = InfoOf(page, 100);
  uint8_t* buffer = Malloced(page.data);
  uint32_t size = uint32_t(page.data.size());
  ASSERT_TRUE(p.imageProcessing(&info, &buffer, &s, &size, 1));
  for (size_t i = 0; i < page.data.size(); ++i) ASSERT_NEAR(buffer[i], page.data[i], 3) << i;
  std::free(buffer);
}

TEST_F(PluginSide, ColourMatchingIntentByChoice) {
  struct Case {
    uint8_t choice;
    int32_t intent, code;
  } cases[] = {{1, 0, 34}, {2, 3, 38}, {3, 3, 36}, {5, 0, 10}};
  s.wImageType = kImageColorFront;
  p.setScanSource(kScanSourceFeederFront);  // the first instance
  for (const Case& c : cases) {
    s.bColorMatch = c.choice;
    p.chromalis(0).setIntent = SpyIntent;
    gIntent = gCode = -1;
    XferImageInfo info = imagetest::Info(2, 2, 1);
    uint8_t* buffer = Malloced(Bytes(6, 100));
    uint32_t size = 6;
    ASSERT_TRUE(p.imageProcessing(&info, &buffer, &s, &size, 1));
    std::free(buffer);
    EXPECT_EQ(gIntent, c.intent) << int(c.choice);
    EXPECT_EQ(gCode, c.code) << int(c.choice);
    // The intent is set once per job: image 2 leaves it.
    gIntent = -1;
    info = imagetest::Info(2, 2, 1);
    buffer = Malloced(Bytes(6, 100));
    ASSERT_TRUE(p.imageProcessing(&info, &buffer, &s, &size, 2));
    std::free(buffer);
    EXPECT_EQ(gIntent, -1);
  }
}

struct Symbol {
  ZXing::BarcodeFormat format;
  const char* text;
  bool linear;
  uint8_t index;
  const char* read;
};

TEST_F(PluginSide, BarcodesOfEverySymbologyIntoTheResultRecord) {
  const Symbol symbols[] = {
      {ZXing::BarcodeFormat::Aztec, "Aztec 123", false, 0, "Aztec 123"},
      {ZXing::BarcodeFormat::Codabar, "A123456B", true, 1, "A123456B"},
      {ZXing::BarcodeFormat::Code39, "CODE39", true, 2, "CODE39"},
      {ZXing::BarcodeFormat::Code93, "CODE93", true, 3, "CODE93"},
      {ZXing::BarcodeFormat::Code128, "Code 128", true, 4, "Code 128"},
      {ZXing::BarcodeFormat::DataMatrix, "DataMatrix", false, 5, "DataMatrix"},
      {ZXing::BarcodeFormat::EAN8, "96385074", true, 6, "96385074"},
      {ZXing::BarcodeFormat::EAN13, "5901234123457", true, 7, "5901234123457"},
      {ZXing::BarcodeFormat::ITF, "12345678", true, 8, "12345678"},
      {ZXing::BarcodeFormat::PDF417, "PDF417 text", false, 10, "PDF417 text"},
      {ZXing::BarcodeFormat::QRCode, "QR text", false, 11, "QR text"},
      {ZXing::BarcodeFormat::UPCA, "036000291452", true, 13, "036000291452"},
      {ZXing::BarcodeFormat::UPCE, "01234565", true, 14, "01234565"},
  };
  for (const Symbol& sym : symbols) {
    for (int bits : {8, 24, 1}) {
      SCOPED_TRACE(::testing::Message() << sym.text << " " << bits << " bits");
      Page page(601, 401, bits, 255);
      const plugtest::Drawn d = plugtest::drawSymbol(
          page, sym.format, sym.text, 137, 91, sym.linear ? 300 : 200, sym.linear ? 120 : 200);
      BarcodeInfo found;
      ASSERT_TRUE(p.doBarcodeDetection(InfoOf(page, 200), page.data.data(), 0, &found));
      ASSERT_EQ(found.count, 1);
      EXPECT_EQ(found.type[0], sym.index);
      EXPECT_STREQ(found.text[0], sym.read);
      EXPECT_NEAR(found.rect[0].X, d.l, 6);
      EXPECT_NEAR(found.rect[0].X + found.rect[0].Width, d.r, 6);
      EXPECT_GE(found.rect[0].Y, d.t - 6);
      EXPECT_LE(found.rect[0].Y + found.rect[0].Height, d.b + 6);
    }
  }
}

TEST_F(PluginSide, BarcodeMaskAndTypeIndexes) {
  gSearch = p.searchEntry();
  p.searchEntry() = SpySearch;
  Page page(400, 300, 8, 255);
  plugtest::drawSymbol(page, ZXing::BarcodeFormat::QRCode, "masked", 20, 20, 200, 200);
  BarcodeInfo found;
  EXPECT_FALSE(p.doBarcodeDetection(InfoOf(page, 200), page.data.data(), 0x1000, &found));
  EXPECT_EQ(gMask, 0x3000u);  // DataBar asks for DataBar Expanded as well
  EXPECT_EQ(found.count, 0);
  EXPECT_TRUE(p.doBarcodeDetection(InfoOf(page, 200), page.data.data(), 0x800, &found));
  EXPECT_EQ(gMask, 0x800u);
  // The type table: every plug-in bit to its index; 0x2000 and 0x1000 share 12.
  const std::pair<uint32_t, uint8_t> table[] = {
      {0x1, 0},    {0x2, 1},     {0x4, 2},     {0x8, 3},     {0x10, 4},    {0x20, 5},
      {0x40, 6},   {0x80, 7},    {0x10000, 7}, {0x100, 8},   {0x200, 9},   {0x400, 10},
      {0x800, 11}, {0x1000, 12}, {0x2000, 12}, {0x4000, 13}, {0x8000, 14}, {0x20000, 0xFF}};
  for (auto [bit, index] : table) EXPECT_EQ(barcodeTypeIndex(bit), index) << bit;
}

TEST_F(PluginSide, WatermarkDrawsTheImprintIntoThePage) {
  s.bPrintSize = 10;  // 10/32 inch: 62 pixels at 200 dpi
  s.bPrintDensity = 0;
  s.bPrintArea = 0;  // top
  Page page(800, 300, 8, 255);
  Working w(p, InfoOf(page, 200), page.data);
  ASSERT_TRUE(p.watermarkImage("IMPRINT 0042"));
  const Bytes out = w.bytes();
  size_t dark = 0;
  for (uint8_t v : out) dark += v < 128;
  EXPECT_GT(dark, 200u);
  // Nothing drawn in the lower half: the text sits at the top.
  size_t lower = 0;
  for (size_t i = out.size() / 2; i < out.size(); ++i) lower += out[i] < 128;
  EXPECT_EQ(lower, 0u);
}

// The imprint is as tall on paper at every resolution: the default size a few millimetres,
// twice the size twice as tall.
TEST_F(PluginSide, ImprintSizeIsTheSameOnPaperAtEveryResolution) {
  constexpr double kMmPerInch = 25.4;
  s.bPrintDensity = 0;
  s.bPrintArea = 1;  // middle
  auto inkMillimetres = [&](uint8_t size, uint16_t dpi) {
    s.bPrintSize = size;
    Page page(int(6.5 * dpi), 2 * dpi, 8, 255);
    Working w(p, InfoOf(page, dpi), page.data);
    EXPECT_TRUE(p.watermarkImage("Imprint 0042"));
    const Bytes out = w.bytes();
    int top = page.height, bottom = -1;
    for (int y = 0; y < page.height; ++y)
      for (int x = 0; x < page.width; ++x)
        if (out[size_t(y) * size_t(page.width) + size_t(x)] < 128)
          top = std::min(top, y), bottom = std::max(bottom, y);
    return bottom < top ? 0.0 : (bottom - top + 1) * kMmPerInch / dpi;
  };
  for (uint16_t dpi : {150, 200, 300, 600}) {
    SCOPED_TRACE(dpi);
    const double normal = inkMillimetres(5, dpi);
    EXPECT_GT(normal, 3.0);
    EXPECT_LT(normal, 5.0);
    EXPECT_NEAR(inkMillimetres(10, dpi), 2 * normal, 0.15 * normal);
  }
}

int32_t gStop = -1;
std::string gVendor;
long SpyButton(int32_t stop, const char* vendor) {
  gStop = stop, gVendor = vendor;
  return 0;
}

TEST_F(PluginSide, ButtonWatcherToldToStopAndGo) {
  ASSERT_NE(p.queryICAButtonEntry(), nullptr);  // bound from KRCocoa.so
  p.queryICAButtonEntry() = SpyButton;
  p.detectButtonEvent(1, "Ferrolite");
  EXPECT_EQ(gStop, 1);
  EXPECT_EQ(gVendor, "Ferrolite");
  p.detectButtonEvent(0, "Ferrolite");
  EXPECT_EQ(gStop, 0);
  TezFRLImageProcess unbound;  // no KRCocoa.so: nothing to tell
  gStop = -1;
  unbound.detectButtonEvent(1, "Ferrolite");
  EXPECT_EQ(gStop, -1);
}

TEST(WatermarkRecord, FieldsFromTheSettings) {
  ScanSetting s;
  s.bPrintHollow = 1;
  s.bPrintSize = 10;  // trunc(10 x 64 / 5) = 128; x 300 / 200 = 192; bold doubles
  s.bPrintFontAttri = 2;
  s.bPrintDensity = 100;
  s.bPrintOrientation = 3;
  s.bPrintTransparency = 30;
  s.bPrintArea = 3;
  s.bPrintFixedWidth = 1;
  s.wPrintX = 10;
  s.wPrintY = 20;
  XferImageInfo info = imagetest::Info(0, 1000, 500, 300);
  const Bytes r = watermarkRecord(s, info, 7);
  ASSERT_EQ(r.size(), kWatermarkRecordSize);
  auto f64 = [&](size_t at) {
    double v;
    std::memcpy(&v, &r[at], 8);
    return v;
  };
  auto i64 = [&](size_t at) {
    int64_t v;
    std::memcpy(&v, &r[at], 8);
    return v;
  };
  EXPECT_EQ(f64(kWmHollow), 0.5);
  EXPECT_EQ(f64(kWmFontSize), 384.0);
  EXPECT_EQ(i64(kWmImageKind), 2);
  EXPECT_EQ(i64(kWmWidth), 1000);
  EXPECT_EQ(i64(kWmLength), 500);
  EXPECT_EQ(i64(kWmInk), 0);  // black and white: 0 up to 128
  EXPECT_EQ(i64(kWmAngle), 270);
  EXPECT_EQ(i64(kWmTextLength), 7);
  EXPECT_EQ(i64(kWmOpacity), 70);
  EXPECT_EQ(r[kWmPosition], kWmAt);
  EXPECT_EQ(r[kWmUnderline], 0);
  EXPECT_EQ(r[kWmFixedWidth], 1);
  EXPECT_EQ(r[kWmVertical], 1);
  EXPECT_EQ(i64(kWmX), 118);  // 10 mm at 300 dpi
  EXPECT_EQ(i64(kWmY), 236);
  const std::pair<uint8_t, uint8_t> areas[] = {
      {0, kWmTop}, {1, kWmMiddle}, {2, kWmBottom}, {9, kWmMiddle}};
  for (auto [area, position] : areas) {
    s.bPrintArea = area;
    EXPECT_EQ(watermarkRecord(s, info, 1)[kWmPosition], position) << int(area);
  }
  s.bPrintArea = 0;
  info.bMode = kXferModeGray;
  EXPECT_EQ(watermarkRecord(s, info, 1)[kWmInk], 100);
  EXPECT_EQ(watermarkRecord(s, info, 1)[kWmX], 0);  // only at a position of its own
}

// ---- a record that does not fit the working buffer ----

int gCalls = 0;
long Counted(void* src, void** des, NIDATA* ni, void* extra, long* status) {
  ++gCalls;
  return gInner(src, des, ni, extra, status);
}

// One plug-in step of the pipeline on the working image, through its entry in the bound table.
struct FitStep {
  const char* name;
  LumetraProcessFn LumetraEntries::*entry;
  uint8_t mode;  // the working image's kind
  void (*run)(TezFRLImageProcess&);
  uint8_t modeAfter;  // the kind the page leaves in, refused or not
};

const FitStep kFitSteps[] = {
    {"dynamic threshold of grey", &LumetraEntries::lThreshold, kXferModeGray,
     [](TezFRLImageProcess& p) { p.doDynamicThreshold(); }, kXferModeBW},
    {"dynamic threshold of colour", &LumetraEntries::lThreshold, kXferModeColor,
     [](TezFRLImageProcess& p) { p.doDynamicThreshold(); }, kXferModeBW},
    {"grey quality", &LumetraEntries::GrayQuality, kXferModeColor,
     [](TezFRLImageProcess& p) { p.doGrayQuality(); }, kXferModeGray},
    {"despeckle", &LumetraEntries::DoDespeckle, kXferModeBW,
     [](TezFRLImageProcess& p) { p.doDespeckle(); }, kXferModeBW},
    {"edge cleanup", &LumetraEntries::EdgeCleanup, kXferModeGray,
     [](TezFRLImageProcess& p) { p.doEdgeCleanup(); }, kXferModeGray},
    {"background", &LumetraEntries::BackgroundProcess, kXferModeColor,
     [](TezFRLImageProcess& p) { p.doBackgroundProcessing(); }, kXferModeColor},
    {"colour detection", &LumetraEntries::AutoColorDetection, kXferModeColor,
     [](TezFRLImageProcess& p) {
       bool noColour = false;
       p.doAutoColorDetection(&noColour);
     },
     kXferModeColor},
};

// A description against the buffer that really holds the page (allocated to the byte, so
// ASan sees any read past it).
struct FitCase {
  const char* name;
  int extraLines;     // lines the description has that the buffer does not
  int lineShortfall;  // bytes a line lacks of what its pixels need
  int linePadding;    // bytes a described line has that the buffer's lines do not
  bool fits;
};

const FitCase kFitCases[] = {
    {"fits", 0, 0, 0, true},
    {"more lines than the buffer", 6, 0, 0, false},
    {"a line shorter than its pixels", 0, 1, 0, false},
    {"longer lines than the buffer's", 0, 0, 4, false},
};

TEST_F(PluginSide, APlugInStepIsRefusedARecordOutsideItsBufferAndThePageStillLeaves) {
  constexpr uint32_t kWidth = 40, kLines = 12;
  s.bFGrayQuality = 1;
  s.bBackgroundProcessing = 1;
  s.wNoiseNumber = 2;
  s.wLeftEdge = 1;
  for (const FitStep& step : kFitSteps) {
    for (const FitCase& c : kFitCases) {
      SCOPED_TRACE(std::string(step.name) + ", " + c.name);
      const XferImageInfo held = Info(step.mode, kWidth, kLines);
      XferImageInfo described = held;
      described.dwLength += uint32_t(c.extraLines);
      described.dwBytesPerLine += uint32_t(c.linePadding);
      described.dwBytesPerLine -= uint32_t(c.lineShortfall);
      const size_t size =
          size_t(held.dwBytesPerLine) * held.dwLength - size_t(c.lineShortfall) * held.dwLength;
      Working page(p, described, Bytes(size, 0x80));
      gInner = p.lumetra().*step.entry;
      ASSERT_NE(gInner, nullptr);
      p.lumetra().*step.entry = Counted;
      gCalls = 0;
      step.run(p);
      p.lumetra().*step.entry = gInner;
      EXPECT_EQ(gCalls, c.fits ? 1 : 0);
      // The page leaves in its kind, described within its buffer.
      const XferImageInfo& out = p.workingInfo();
      EXPECT_EQ(out.bMode, step.modeAfter);
      EXPECT_GT(out.dwLength, 0u);
      EXPECT_GE(out.dwBytesPerLine, (uint64_t(out.bBitsPerPixel) * out.dwWidth + 7) / 8);
      EXPECT_LE(uint64_t(out.dwBytesPerLine) * out.dwLength, p.workingSize());
    }
  }
}

}  // namespace
