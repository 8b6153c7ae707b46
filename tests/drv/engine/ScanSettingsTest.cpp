// KRSetParameter, KRSetGamma and KRSetHWProcess through the exports, on the simulated scanner.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "EngineFixture.h"
#include "drv/engine/GammaStore.h"

using namespace enginefix;

namespace {

struct CheckCase {
  const char* what;
  std::vector<sim::InquiryPatch> patches;
  std::vector<Device_Features> features;  // empty: the supported model's own
  std::function<void(SCANPARAMETER_UNION&)> change;
  const char* text;  // null: the parameter passes
};

void Mode(SCANPARAMETER_UNION& p, uint32_t mode, uint8_t bits) {
  p.ScanMode = mode;
  p.BitsPerPixel = bits;
}

// The supported model without its extended modes, so the device-JPEG rules show.
const std::vector<Device_Features> kNoExtendedModes =
    SupportedFeaturesWithout(kFeatureExtendedModes);

// Inquiry bytes 51-53 hold the image types (0x011091), 56-57 the IR/UV bits (0x0040), 93 the
// YCC and JPEG bits (0), 88 bit 0x04 different X/Y resolutions, 92 the eject directions (0).
const CheckCase kCheckCases[] = {
    {"colour letter passes", {}, {}, [](auto&) {}, nullptr},
    {"lineart without threshold type",
     {Patch(53, 0x90)},
     {},
     [](auto& p) { Mode(p, 0, 1), p.PixelNum = 2528; },
     "Not support Lineart (threshold control)"},
    {"halftone", {}, {}, [](auto& p) { Mode(p, 1, 1); }, "Not support Halftone"},
    {"grey without grey types",
     {Patch(53, 0x81)},
     {},
     [](auto& p) { Mode(p, 2, 8); },
     "Not support Gray"},
    {"dynamic lineart",
     {},
     {},
     [](auto& p) { Mode(p, 3, 1); },
     "Not support Lineart (Dynamic threshold)"},
    {"colour without colour types", {Patch(53, 0x11)}, {}, [](auto&) {}, "Not support color"},
    {"error diffusion", {}, {}, [](auto& p) { Mode(p, 5, 1); }, "Not support Error Diffusion"},
    {"IR", {}, {}, [](auto& p) { Mode(p, 6, 8); }, "Not support IR"},
    {"UV", {}, {}, [](auto& p) { Mode(p, 7, 8); }, "Not support UV"},
    {"YCC without any YCC bit", {}, {}, [](auto& p) { p.ScanMode = 0x1000004; }, "Not support YCC"},
    {"YCC 4:2:2 without its bit",
     {Patch(93, 0x80)},
     {},
     [](auto& p) { p.ScanMode = 0x1000004; },
     "Not support YCC422"},
    {"YCC 4:2:0 without its bit",
     {Patch(52, 0x14), Patch(93, 0x40)},
     {},
     [](auto& p) { p.ScanMode = 0x2000004; },
     "Not support YCC420"},
    {"YCC with compression",
     {Patch(93, 0xC0)},
     {},
     [](auto& p) { p.ScanMode = 0x1000004, p.Compression = 1; },
     "Not support YCC compression argument"},
    {"YCC 4:2:0 passes", {Patch(93, 0xC0)}, {}, [](auto& p) { p.ScanMode = 0x2000004; }, nullptr},
    {"JPEG on a model with extended modes",
     {Patch(93, 0x08)},
     {},
     [](auto& p) { p.ScanMode = 0x4000004; },
     "Not supported JPEG"},
    {"JPEG without the set-0 bit",
     {},
     kNoExtendedModes,
     [](auto& p) { p.ScanMode = 0x4000004; },
     "Not support set 0 JPEG"},
    {"JPEG colour at 8 bits without its type",
     {Patch(52, 0x00), Patch(93, 0x08)},
     kNoExtendedModes,
     [](auto& p) { Mode(p, 0x3000004, 8); },
     "Not supported JPEG(Color mode)"},
    {"JPEG colour at 24 bits without its type",
     {Patch(52, 0x00), Patch(93, 0x08)},
     kNoExtendedModes,
     [](auto& p) { Mode(p, 0x5000004, 24); },
     nullptr},
    {"JPEG grey at 24 bits without its type",
     {Patch(51, 0x00), Patch(93, 0x08)},
     kNoExtendedModes,
     [](auto& p) { Mode(p, 0x6000002, 24); },
     "Not supported JPEG(Gray mode)"},
    {"JPEG compression 5",
     {Patch(93, 0x08)},
     kNoExtendedModes,
     [](auto& p) { p.ScanMode = 0x4000004, p.Compression = 5; },
     "Not support Jpeg compression argument"},
    {"JPEG compression 128",
     {Patch(93, 0x08)},
     kNoExtendedModes,
     [](auto& p) { p.ScanMode = 0x4000004, p.Compression = 128; },
     "Not support Jpeg compression argument"},
    {"JPEG compression 4",
     {Patch(93, 0x08)},
     kNoExtendedModes,
     [](auto& p) { p.ScanMode = 0x4000004, p.Compression = 4; },
     nullptr},
    {"JPEG compression 129",
     {Patch(93, 0x08)},
     kNoExtendedModes,
     [](auto& p) { p.ScanMode = 0x4000004, p.Compression = 129; },
     nullptr},
    {"JPEG compression 132",
     {Patch(93, 0x08)},
     kNoExtendedModes,
     [](auto& p) { p.ScanMode = 0x4000004, p.Compression = 132; },
     nullptr},
    {"JBIG lineart", {}, {}, [](auto& p) { Mode(p, 0x7000000, 1); }, "Not support JBIG Lineart"},
    {"JBIG dynamic lineart",
     {},
     {},
     [](auto& p) { Mode(p, 0x7000003, 1); },
     "Not support JBIG Lineart"},
    {"JBIG halftone", {}, {}, [](auto& p) { Mode(p, 0x7000001, 1); }, "Not support JBIG Halftone"},
    {"JBIG error diffusion",
     {},
     {},
     [](auto& p) { Mode(p, 0x7000005, 1); },
     "Not support JBIG ErrorDiffusion"},
    {"grey with IR", {}, {}, [](auto& p) { Mode(p, 0x8000002, 8); }, "Not support with IR"},
    {"grey with IR, no grey type",
     {Patch(56, 0x10), Patch(53, 0x81)},
     {},
     [](auto& p) { Mode(p, 0x8000002, 8); },
     "Not support Gray"},
    {"colour with UV", {}, {}, [](auto& p) { p.ScanMode = 0x9000004; }, "Not support with UV"},
    {"colour with UV, no colour type",
     {Patch(56, 0x20), Patch(53, 0x11)},
     {},
     [](auto& p) { p.ScanMode = 0x9000004; },
     "Not support color"},
    {"grey with IR and UV",
     {Patch(56, 0x10)},
     {},
     [](auto& p) { Mode(p, 0xA000002, 8); },
     "Not support with IR+UV"},
    {"UV with IR, taken as IR with UV",
     {Patch(56, 0x20)},
     {},
     [](auto& p) { Mode(p, 0x8000007, 8); },
     "Not support with IR+UV"},
    {"colour with IR and UV passes",
     {Patch(56, 0x30)},
     {},
     [](auto& p) { p.ScanMode = 0xA000004; },
     nullptr},
    {"unknown mode", {}, {}, [](auto& p) { p.ScanMode = 0x12345; }, "Unknown scan mode"},
    {"IR base with a colour kind",
     {},
     {},
     [](auto& p) { p.ScanMode = 0x8000006; },
     "Unknown scan mode"},
    {"flatbed passes the method, not the resolution",
     {},
     {},
     [](auto& p) { p.ScanMethod = 0; },
     "Resolution exceed device's Maxmum resolution"},
    {"method 2",
     {},
     {},
     [](auto& p) { p.ScanMethod = 2; },
     "Device does not support this scan method"},
    {"method 6",
     {},
     {},
     [](auto& p) { p.ScanMethod = 6; },
     "Device does not support this scan method"},
    {"X above the maximum",
     {},
     {},
     [](auto& p) { p.XRes = 1200; },
     "Resolution exceed device's Maxmum resolution"},
    {"Y above the maximum",
     {},
     {},
     [](auto& p) { p.YRes = 601; },
     "Resolution exceed device's Maxmum resolution"},
    {"below the minimum",
     {},
     {},
     [](auto& p) { p.XRes = p.YRes = 40; },
     "Resolution exceed device's Minimum resolution"},
    {"X and Y differ without the bit",
     {Patch(88, 0x00)},
     {},
     [](auto& p) { p.YRes = 600; },
     "Device does not support X/Y resolution different"},
    {"X and Y differ with the bit", {}, {}, [](auto& p) { p.YRes = 600; }, nullptr},
    {"pixels off the colour bound",
     {},
     {},
     [](auto& p) { p.PixelNum = 2540; },
     "Pixel boundary is error"},
    {"a bound byte of 0 counts as 1",
     {Patch(72, 0)},
     {},
     [](auto& p) { p.PixelNum = 2541; },
     nullptr},
    {"a mode with a top byte has bound 1",
     {Patch(56, 0x10)},
     {},
     [](auto& p) { p.ScanMode = 0x8000004, p.PixelNum = 2541; },
     nullptr},
    {"grey 4 bits takes byte 75",
     {Patch(53, 0x99), Patch(75, 5)},
     {},
     [](auto& p) { Mode(p, 2, 4), p.PixelNum = 2544; },
     "Pixel boundary is error"},
    {"fixed bounds: lineart 8",
     {},
     {kFeatureFixedPixelBounds},
     [](auto& p) { Mode(p, 0, 1), p.PixelNum = 2540; },
     "Pixel boundary is error"},
    {"fixed bounds: colour 1",
     {},
     {kFeatureFixedPixelBounds},
     [](auto& p) { p.PixelNum = 2541; },
     nullptr},
    {"duplex line count 0x80000000",
     {},
     {},
     [](auto& p) { p.LineNum = 0x80000000; },
     "Line count is too large"},
    {"duplex unknown length", {}, {}, [](auto& p) { p.LineNum = 0xFFFFFFFF; }, nullptr},
    {"one-sided line count 0x80000000",
     {},
     {},
     [](auto& p) { p.ScanMethod = 1, p.LineNum = 0x80000000; },
     nullptr},
    {"eject direction 3",
     {},
     {},
     [](auto& p) { p.ExtParam0 = 3; },
     "FW not support this direction of paper eject"},
    {"eject direction 2", {Patch(92, 0x02)}, {}, [](auto& p) { p.ExtParam0 = 2; }, nullptr},
    {"eject direction 7", {Patch(92, 0x40)}, {}, [](auto& p) { p.ExtParam0 = 7; }, nullptr},
    // Sizes that would give an endless or empty page or a buffer past any sheet: the feeder is
    // 2550 pixels wide at 300 dpi (inquiry bytes 24-26), a client may ask twice that with its
    // overscan margins (5120 with the widest bound), and a line holds at most 6 bytes a pixel.
    {"width 0", {}, {}, [](auto& p) { p.Width = 0; }, "Scan width is zero"},
    {"pixel count 0", {}, {}, [](auto& p) { p.PixelNum = 0; }, "Scan width is zero"},
    {"line count 0", {}, {}, [](auto& p) { p.LineNum = 0; }, "Scan length is zero"},
    {"length 0", {}, {}, [](auto& p) { p.Length = 0; }, "Scan length is zero"},
    {"unknown length delivered at a fixed length",
     {},
     {},
     [](auto& p) { p.Length = p.LineNum = 0xFFFFFFFF; },
     "Unknown page length with fixed length delivery"},
    {"unknown length to the end of the page",
     {},
     {},
     [](auto& p) { p.Length = p.LineNum = 0xFFFFFFFF, p.CtrlMode = 0; },
     nullptr},
    {"the widest pixel count and line (48 bits a pixel)",
     {},
     {},
     [](auto& p) { p.Width = p.PixelNum = 5120, p.BytesPerLine = 5120 * 6; },
     nullptr},
    {"pixels past the feeder's width",
     {},
     {},
     [](auto& p) { p.PixelNum = 5128, p.BytesPerLine = 5128 * 3; },
     "Pixel count exceeds the device's width"},
    {"a huge pixel count",
     {},
     {},
     [](auto& p) { p.PixelNum = 0x40000000; },
     "Pixel count exceeds the device's width"},
    {"bytes per line past the widest line",
     {},
     {},
     [](auto& p) { p.BytesPerLine = 5120 * 6 + 1; },
     "Bytes per line exceed the device's width"},
    {"a huge line",
     {},
     {},
     [](auto& p) { p.BytesPerLine = 0xFFFFFFF0; },
     "Bytes per line exceed the device's width"},
    {"a tiny area the converted resolution makes empty",
     {},
     {},
     [](auto& p) {
       p.XRes = p.YRes = 100;
       p.Width = 24, p.Length = 1;
       p.PixelNum = 8, p.LineNum = 1, p.BytesPerLine = 24;
     },
     "Scan area is empty at the device's resolution"},
    // The supported model scans colour as device JPEG, 8 lines a block: 65528 lines stay within
    // the JFIF height, 65529 are read as 65536.
    {"device JPEG of 65528 lines", {}, {}, [](auto& p) { p.Length = p.LineNum = 65528; }, nullptr},
    {"device JPEG of 65529 lines",
     {},
     {},
     [](auto& p) { p.Length = p.LineNum = 65529; },
     "Device JPEG page is longer than 65535 lines"},
    {"device JPEG of 65529 lines to the end of the page",
     {},
     {},
     [](auto& p) { p.Length = p.LineNum = 65529, p.CtrlMode = 0; },
     nullptr},
};

class ScanSettings : public EngineTest {
 protected:
  static void SetUpTestSuite() { testlog::Prepare("engine-settings"); }
};

}  // namespace

TEST_F(ScanSettings, EveryCheckTextAndCode) {
  for (const CheckCase& c : kCheckCases) {
    SCOPED_TRACE(c.what);
    OpenWith(c.patches);
    if (!c.features.empty()) UseFeatures(c.features);
    SCANPARAMETER_UNION p = ColourLetter();
    c.change(p);
    const size_t mark = testlog::Mark();
    const long result = SetParameter(p);
    const std::string log = testlog::Since(mark);
    if (c.text == nullptr) {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(log.find("Check Scan Parameter error"), std::string::npos);
      EXPECT_EQ(Item()->bScanParameterChecked, 1);
    } else {
      EXPECT_EQ(result, -2005);
      EXPECT_NE(log.find(std::string("Check Scan Parameter error = ") + c.text + "\r\n"),
                std::string::npos)
          << log;
      EXPECT_EQ(Item()->bScanParameterChecked, 0);
    }
  }
}

TEST_F(ScanSettings, VersionDecidesSizeDoesNot) {
  OpenWith({});
  SCANPARAMETER_UNION p = ColourLetter();
  p.Version = 100;
  size_t mark = testlog::Mark();
  EXPECT_EQ(SetParameter(p), -2005);
  EXPECT_NE(testlog::Since(mark).find("Not support version = 100"), std::string::npos);

  // A short size field still copies the whole record; the dump shows only what the client
  // said it gave.
  p = ColourLetter();
  p.Size = 50;
  p.ExtParam4 = 0x1234;
  mark = testlog::Mark();
  ASSERT_EQ(SetParameter(p), 0);
  std::string log = testlog::Since(mark);
  EXPECT_NE(log.find("0030 : "), std::string::npos);
  EXPECT_EQ(log.find("0040 : "), std::string::npos);
  EXPECT_NE(log.find("AP.ScanParameter.ExtParam4     = 0x00001234"), std::string::npos);
  SCANPARAMETER_UNION stored;
  Item()->pScanner->GetAPScanParameter(&stored);
  EXPECT_EQ(std::memcmp(&stored, &p, sizeof p), 0);

  // A size beyond the record dumps no byte past it.
  p.Size = 0xFFFF;
  mark = testlog::Mark();
  ASSERT_EQ(SetParameter(p), 0);
  log = testlog::Since(mark);
  EXPECT_NE(log.find("0070 : "), std::string::npos);
  EXPECT_EQ(log.find("0080 : "), std::string::npos);
}

TEST_F(ScanSettings, UVWithIRIsStoredAsIRWithUV) {
  OpenWith({Patch(56, 0x30)});
  SCANPARAMETER_UNION p = ColourLetter();
  Mode(p, 0x8000007, 8);
  const size_t mark = testlog::Mark();
  EXPECT_EQ(SetParameter(p), 0);
  EXPECT_NE(testlog::Since(mark).find(" Set UV+IR as IR+UV !!"), std::string::npos);
  SCANPARAMETER_UNION stored;
  Item()->pScanner->GetAPScanParameter(&stored);
  EXPECT_EQ(stored.ScanMode, 0x9000006u);
}

TEST_F(ScanSettings, FailedRecordStaysStoredAndMarked) {
  OpenWith({});
  SCANPARAMETER_UNION good = ColourLetter();
  ASSERT_EQ(SetParameter(good), 0);
  EXPECT_EQ(Item()->bScanParameterChecked, 1);
  SCANPARAMETER_UNION bad = good;
  bad.PixelNum = 2540;
  EXPECT_EQ(SetParameter(bad), -2005);
  SCANPARAMETER_UNION stored;
  Item()->pScanner->GetAPScanParameter(&stored);
  EXPECT_EQ(stored.PixelNum, 2540u);
  EXPECT_EQ(Item()->bScanParameterChecked, 0);
}

TEST_F(ScanSettings, InAJobNothingChangesAndTheAnswerIsZero) {
  sim::SimScanner& scanner = OpenWith({});
  SCANPARAMETER_UNION p = ColourLetter();
  ASSERT_EQ(SetParameter(p), 0);
  Item()->bJobRunning = 1;
  scanner.ClearCommandLog();
  size_t mark = testlog::Mark();
  EXPECT_EQ(SetParameter(p), 0);
  EXPECT_NE(testlog::Since(mark).find("AP transfer same scan parameter, we bypass it"),
            std::string::npos);
  SCANPARAMETER_UNION other = p;
  other.PixelNum = 2540;  // would fail the check: not even checked in a job
  mark = testlog::Mark();
  EXPECT_EQ(SetParameter(other), 0);
  EXPECT_NE(testlog::Since(mark).find("WARNING: AP transfer different scan parameter"),
            std::string::npos);
  SCANPARAMETER_UNION stored;
  Item()->pScanner->GetAPScanParameter(&stored);
  EXPECT_EQ(stored.PixelNum, p.PixelNum);
  EXPECT_TRUE(scanner.CommandLog().empty());  // no device check inside a job
  Item()->bJobRunning = 0;
}

TEST_F(ScanSettings, NullPointersAndUnknownHandles) {
  OpenWith({});
  SCANPARAMETER_UNION p = ColourLetter();
  HWIMAGEPROCPARAMETER_UNION hw = HWRecord();
  Bytes table = Ramp();
  EXPECT_EQ(KRSetParameter(kCtrl, nullptr, &p), -2005);
  EXPECT_EQ(KRSetParameter(kCtrl, &handle, nullptr), -2005);
  EXPECT_EQ(KRSetGamma(kCtrl, nullptr, table.data(), 256, 8, 1, 1), -2005);
  EXPECT_EQ(KRSetGamma(kCtrl, &handle, nullptr, 256, 8, 1, 1), -2005);
  EXPECT_EQ(KRSetHWProcess(kCtrl, nullptr, &hw, 0), -2005);
  Item()->bHardwareProcessing = 1;
  EXPECT_EQ(KRSetHWProcess(kCtrl, &handle, nullptr, 0), -2005);
  uint32_t unknown = 99;
  EXPECT_EQ(KRSetParameter(kCtrl, &unknown, &p), -2019);
  EXPECT_EQ(KRSetGamma(kCtrl, &unknown, table.data(), 256, 8, 1, 1), -2019);
  EXPECT_EQ(KRSetHWProcess(kCtrl, &unknown, &hw, 0), -2019);
  EXPECT_TRUE(testlog::Contains("=> KRSetGamma -------> HDevice = 99"));
  EXPECT_TRUE(testlog::Contains("<= KRSetGamma ret=-2019"));
}

TEST_F(ScanSettings, ADeviceThatCannotBeReachedAnswersItsStatus) {
  sim::SimScanner& scanner = OpenWith({});
  scanner.Unplug();
  SCANPARAMETER_UNION p = ColourLetter();
  const long result = SetParameter(p);
  EXPECT_NE(result, 0);
  EXPECT_EQ(result, Item()->lErrorStatus.load());
}

// ---- gamma ----------------------------------------------------------------------------------

namespace {
Bytes StoredTable(CScannerManagerScannerItem* item, uint32_t filter, uint32_t head) {
  const uint8_t* t = GammaTable(item, filter, head);
  return Bytes(t, t + GammaTableLength(item));
}
// The identity table of the store as the device opening builds it.
Bytes Identity(uint32_t length) {
  Bytes t(length);
  for (uint32_t i = 0; i < length; ++i) t[i] = static_cast<uint8_t>(i);
  return t;
}
}  // namespace

TEST_F(ScanSettings, GammaFanOutAndSingleTables) {
  OpenWith({});
  CScannerManagerScannerItem* item = Item();
  ASSERT_EQ(GammaTableLength(item), 256u);
  item->bGammaChanged = 0;
  const Bytes a = Ramp(7);
  EXPECT_EQ(SetGamma(a, 0, 0), 0);
  for (uint32_t head = 1; head <= 2; ++head) {
    EXPECT_EQ(StoredTable(item, 0, head), Identity(256)) << head;
    for (uint32_t filter = 1; filter <= 3; ++filter)
      EXPECT_EQ(StoredTable(item, filter, head), a) << filter << " " << head;
  }
  EXPECT_EQ(item->bGammaChanged, 1);

  // The same tables again: still 0, and nothing changed.
  item->bGammaChanged = 0;
  EXPECT_EQ(SetGamma(a, 0, 0), 0);
  EXPECT_EQ(item->bGammaChanged, 0);

  const Bytes b = Ramp(50);
  EXPECT_EQ(SetGamma(b, 0, 1), 0);  // filter 0 of a head can be set directly
  EXPECT_EQ(StoredTable(item, 0, 1), b);
  EXPECT_EQ(StoredTable(item, 0, 2), Identity(256));
  EXPECT_EQ(SetGamma(b, 2, 0), 0);  // one filter of both heads
  EXPECT_EQ(StoredTable(item, 2, 1), b);
  EXPECT_EQ(StoredTable(item, 2, 2), b);
  EXPECT_EQ(StoredTable(item, 3, 1), a);
  EXPECT_EQ(item->bGammaChanged, 1);

  size_t mark = testlog::Mark();
  EXPECT_EQ(SetGamma(b, 1, 3), -2005);
  EXPECT_NE(testlog::Since(mark).find("Illegal head =3"), std::string::npos);
  mark = testlog::Mark();
  EXPECT_EQ(SetGamma(b, 4, 1), -2005);
  EXPECT_NE(testlog::Since(mark).find("Illegal Filter =4"), std::string::npos);
  EXPECT_EQ(SetGamma(b, 5, 0), 0);  // the fan-out does not pass its tables' answers on
}

TEST_F(ScanSettings, GammaSizesOnOneAndTwoByteDevices) {
  OpenWith({});
  EXPECT_EQ(SetGamma(Bytes(512, 1), 1, 1), -2005);  // not widened on a one-byte device
  EXPECT_EQ(SetGamma(Bytes(128, 1), 1, 1), -2005);

  OpenWith({Patch(120, 0x10)});
  CScannerManagerScannerItem* item = Item();
  ASSERT_EQ(GammaTableLength(item), 512u);
  const Bytes a = Ramp(3);
  const size_t mark = testlog::Mark();
  EXPECT_EQ(SetGamma(a, 0, 0), 0);
  EXPECT_NE(testlog::Since(mark).find(" Transform *** Size=512   bits=16   Filter=0   head=0"),
            std::string::npos);
  Bytes widened(512, 0);
  for (size_t i = 0; i < 256; ++i) widened[2 * i + 1] = a[i];
  EXPECT_EQ(StoredTable(item, 1, 1), widened);
  EXPECT_EQ(StoredTable(item, 3, 2), widened);
  const Bytes whole = Identity(512);
  EXPECT_EQ(SetGamma(whole, 2, 1), 0);  // a table of the device's length goes in unchanged
  EXPECT_EQ(StoredTable(item, 2, 1), whole);
  EXPECT_EQ(SetGamma(Bytes(128, 1), 1, 1), -2005);
  EXPECT_EQ(SetGamma(Bytes(300, 1), 1, 1), -2005);
}

TEST_F(ScanSettings, GammaInAJobOnlyWarns) {
  OpenWith({});
  CScannerManagerScannerItem* item = Item();
  item->bJobRunning = 1;
  item->bGammaChanged = 0;
  const size_t mark = testlog::Mark();
  EXPECT_EQ(SetGamma(Ramp(9), 1, 1), 0);
  EXPECT_NE(testlog::Since(mark).find("WARNING: GammaTable set different value in job"),
            std::string::npos);
  EXPECT_EQ(StoredTable(item, 1, 1), Identity(256));
  EXPECT_EQ(item->bGammaChanged, 0);
  item->bJobRunning = 0;
}

// ---- hardware image processing --------------------------------------------------------------

TEST_F(ScanSettings, HardwareProcessingBySide) {
  OpenWith({});
  EXPECT_EQ(SetHW(HWRecord(), 0), -2005);  // the supported model processes nothing itself

  OpenWith({Patch(98, 1)});
  CScanner* scanner = Item()->pScanner;
  ASSERT_EQ(Item()->bHardwareProcessing, 1);
  EXPECT_EQ(SetHW(HWRecord(), 3), -2005);
  EXPECT_EQ(SetHW(HWRecord(), -1), -2005);
  HWIMAGEPROCPARAMETER_UNION v100 = HWRecord();
  v100.Version = 100;
  EXPECT_EQ(SetHW(v100, 0), -2005);

  size_t mark = testlog::Mark();
  EXPECT_EQ(SetHW(HWRecord(), 0), 0);
  EXPECT_NE(testlog::Since(mark).find(" Turn off HW image process"), std::string::npos);
  EXPECT_TRUE(scanner->IsEnableHWImageProcess());

  HWIMAGEPROCPARAMETER_UNION front = HWRecord(), rear = HWRecord();
  front.CropDeskew = 3;
  front.CropDeskewMarginTop = 0x85;  // -5 in sign and magnitude
  rear.Rotate = 2;
  mark = testlog::Mark();
  EXPECT_EQ(SetHW(front, 1), 0);
  std::string log = testlog::Since(mark);
  EXPECT_NE(log.find(" Turn on HW image process"), std::string::npos);
  EXPECT_NE(log.find("AP.HWImageProcParam.CropDeskewMarginTop    = -5"), std::string::npos);
  EXPECT_EQ(SetHW(rear, 2), 0);
  HWIMAGEPROCPARAMETER_UNION got;
  scanner->GetAPHWImageProcParm(&got, 0);
  EXPECT_EQ(std::memcmp(&got, &front, sizeof got), 0);
  scanner->GetAPHWImageProcParm(&got, 1);
  EXPECT_EQ(std::memcmp(&got, &rear, sizeof got), 0);

  // In a job: compared with the side's record, never stored.
  Item()->bJobRunning = 1;
  mark = testlog::Mark();
  EXPECT_EQ(SetHW(front, 1), 0);
  EXPECT_NE(testlog::Since(mark).find("AP transfer same HW image process parameter"),
            std::string::npos);
  mark = testlog::Mark();
  EXPECT_EQ(SetHW(front, 0), 0);  // the rear differs
  EXPECT_NE(testlog::Since(mark).find("WARNING: AP transfer different HW image process"),
            std::string::npos);
  scanner->GetAPHWImageProcParm(&got, 1);
  EXPECT_EQ(std::memcmp(&got, &rear, sizeof got), 0);
  Item()->bJobRunning = 0;
}
