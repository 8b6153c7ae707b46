// The stage lists a model builds from the device-side and the client's pairs.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "SupportedModel.h"
#include "TestLog.h"
#include "drv/device/ImageProcessVariables.h"
#include "drv/device/ScannerModels.h"
#include "drv/platform/DbgLog.h"

namespace {

using Ids = std::vector<uint32_t>;

Ids StageIds(const ImageProcessList& list) {
  Ids ids;
  for (uint32_t i = 0; i < list.dwCount; ++i) ids.push_back(list.Items[i].dwStageId);
  return ids;
}

template <class T>
const T& Block(const ImageProcessList& list, uint32_t index) {
  return *static_cast<const T*>(list.Items[index].pParameter);
}

// A device-side parameter as a derivation would leave it.
DeviceScanParameter Device(uint32_t mode, uint8_t bits, uint32_t pixels = 2544) {
  DeviceScanParameter d{};
  d.dev = ColourLetter();
  d.dev.ScanMode = mode;
  d.dev.BitsPerPixel = bits;
  d.dev.PixelNum = pixels;
  d.dev.BytesPerLine = pixels * bits / 8;
  d.dev.byBackgroundLines = 1;
  d.dwLinesToRead = d.dev.LineNum;
  d.dwRequestedLength = d.dev.Length;
  return d;
}

SCANPARAMETER_UNION Ap(uint32_t mode, uint8_t bits, uint32_t pixels = 2544) {
  SCANPARAMETER_UNION p = ColourLetter();
  p.ScanMode = mode;
  p.BitsPerPixel = bits;
  p.PixelNum = pixels;
  p.BytesPerLine = pixels * bits / 8;
  return p;
}

struct Lists {
  ImageProcessList image, iruv, background;
};

void Build(const ModelTraits* model, const Device_Features* features,
           const std::vector<uint8_t>& inquiry, const SCANPARAMETER_UNION& ap,
           const DeviceScanParameter& dev, Lists* out, bool quality = true) {
  const ScanModelInfo info(features != nullptr ? features : model->features, inquiry.data(),
                           static_cast<uint32_t>(inquiry.size()));
  const ImageVariablesSource source{model, &info, &ap, &dev, quality, {0.299, 0.587, 0.114}};
  InitializeImageVariables(source, &out->image, &out->iruv);
  InitializeBackgroundVariables(source, &out->background);
}

struct ListCase {
  const char* name;
  const ModelTraits* model;
  DeviceScanParameter dev;
  SCANPARAMETER_UNION ap;
  Ids image;
  std::function<void(const ImageProcessList&)> check;
};

const Device_Features kWithSoftwareHalftone[] = {kFeatureBackgroundLines, kFeatureWholeDeviceWidth,
                                                 kFeatureSoftwareHalftone, kFeatureExtendedModes,
                                                 kFeatureNone};
const Device_Features kNoExtendedModes[] = {kFeatureBackgroundLines, kFeatureWholeDeviceWidth,
                                            kFeatureNone};

DeviceScanParameter WithCut(DeviceScanParameter d, uint32_t right) {
  d.dwCutRight = right;
  return d;
}
DeviceScanParameter Scaled(DeviceScanParameter d, uint16_t res, uint32_t lines,
                           uint32_t alignment) {
  d.blNeedsScaling = true;
  d.dev.XRes = d.dev.YRes = res;
  d.dwLinesToRead = d.dev.LineNum = lines;
  d.dwAlignmentLines = alignment;
  return d;
}
SCANPARAMETER_UNION Dither(SCANPARAMETER_UNION p, uint8_t index) {
  p.DitherIndex = index;
  return p;
}

TEST(ImageStageList, DevicePairClientPairAndFeatures) {
  const std::vector<ListCase> cases = {
      {"equal pairs give nothing", &CQM310::kTraits, Device(4, 24), Ap(4, 24), {}, nullptr},
      {"device JPEG colour counts as colour",
       &CQM310::kTraits,
       Device(0x4000004, 24),
       Ap(4, 24),
       {},
       nullptr},
      {"colour to 8-bit grey",
       &CQM310::kTraits,
       Device(0x4000004, 24),
       Dither(Ap(2, 8), 0),
       {IP_C24ToG8},
       [](const ImageProcessList& l) {
         const auto& g = Block<CImageProcess_Parameter_ColorToGray>(l, 0);
         EXPECT_EQ(g.Pixel, 2544u);
         EXPECT_DOUBLE_EQ(g.CofficientR, 0.212671);
         EXPECT_DOUBLE_EQ(g.CofficientG, 0.71516);
         EXPECT_DOUBLE_EQ(g.CofficientB, 0.072169);
       }},
      {"colour to 16-bit grey", &CQM310::kTraits, Device(4, 24), Ap(2, 16), {IP_C24ToG16}, nullptr},
      {"colour to lineart through grey",
       &CQM310::kTraits,
       Device(4, 24),
       Ap(0, 1),
       {IP_C24ToG8, IP_G8ToLineart},
       [](const ImageProcessList& l) {
         EXPECT_EQ(Block<CImageProcess_Parameter_G8ToLineart>(l, 1).bThreshold, 128);
       }},
      {"grey 8 for a 16-bit grey client: modes equal, nothing",
       &CQM310::kTraits,
       Device(2, 8),
       Ap(2, 16),
       {},
       nullptr},
      {"halftone pattern 7 of 5",
       &CPY272e::kTraits,
       Device(2, 8),
       Dither(Ap(1, 1), 7),
       {},
       nullptr},
      {"halftone pattern 3 of 5",
       &CPY272e::kTraits,
       Device(2, 8),
       Dither(Ap(1, 1), 3),
       {IP_G8ToHalftone},
       [](const ImageProcessList& l) {
         const auto& h = Block<CImageProcess_Parameter_G8ToHalftone>(l, 0);
         EXPECT_EQ(h.bTableIndex, 2);
         EXPECT_EQ(h.blCustomHalftoneTable, 0);
       }},
      {"error diffusion",
       &CQN70HT::kTraits,
       Device(2, 8),
       Ap(5, 1),
       {IP_G8ToErrorDiffusion},
       nullptr},
      {"YCC 4:2:2 to colour",
       &CQM540::kTraits,
       Device(0x1000004, 16),
       Ap(4, 24),
       {IP_TrestleYCC422ToC24},
       [](const ImageProcessList& l) {
         const auto& y = Block<CImageProcess_Parameter_YCCToC24>(l, 0);
         EXPECT_EQ(y.Pixel, 2544u);
         EXPECT_EQ(y.blUseTable, 0);
         EXPECT_DOUBLE_EQ(y.Kr, 0.299);
       }},
      {"colour to R2 YCC",
       &CQM310::kTraits,
       Device(4, 24),
       [] {
         auto p = Ap(0x1000004, 12);
         p.Compression = 0x0102;
         return p;
       }(),
       {IP_C24ToR2YCC},
       nullptr},
      {"cut, scale and width fix",
       &CQM310::kTraits,
       Scaled(WithCut(Device(0x4000004, 24), 16), 300, 3304, 4),
       [] {
         auto p = Ap(4, 24, 2000);
         p.LineNum = 2600;
         p.BytesPerLine = 6100;
         return p;
       }(),
       {IP_CutImage, IP_BiLinearScale, IP_ModifyWidth},
       [](const ImageProcessList& l) {
         const auto& c = Block<CImageProcess_Parameter_CutImage>(l, 0);
         EXPECT_EQ(c.blColor, 1);
         EXPECT_EQ(c.Pixel, 2544u);
         EXPECT_EQ(c.dwCutRight, 16u);
         EXPECT_EQ(c.dwCutLeft + c.dwCutTop + c.blDelayCutTop, 0u);
         const auto& s = Block<CImageProcess_Parameter_Scale>(l, 1);
         EXPECT_EQ(s.dwSrcWidth, 2528u);
         EXPECT_EQ(s.dwDestWidth, 2000u);
         EXPECT_EQ(s.dwSrcLength, 3300u);
         EXPECT_EQ(s.dwDestLength, 2600u);
         EXPECT_EQ(s.dwBitsPerPixel, 24u);
         EXPECT_EQ(s.blUseYRateFraction, 0);
         const auto& m = Block<CImageProcess_Parameter_ModifyWidth>(l, 2);
         EXPECT_EQ(m.dwSrcBytesPerLine, 6000u);
         EXPECT_EQ(m.dwDstBytesPerLine, 6100u);
         EXPECT_EQ(m.bPaddingValue, 0);
       }},
      {"unknown length scales by the resolutions",
       &CQM310::kTraits,
       Scaled(Device(4, 24), 300, kUnknownLength, 0),
       [] {
         auto p = Ap(4, 24, 2120);
         p.YRes = 250;
         return p;
       }(),
       {IP_BiLinearScale},
       [](const ImageProcessList& l) {
         const auto& s = Block<CImageProcess_Parameter_Scale>(l, 0);
         EXPECT_EQ(s.blUseYRateFraction, 1);
         EXPECT_EQ(s.dwYRateNumerator, 250u);
         EXPECT_EQ(s.dwYRateDenominator, 300u);
       }},
      {"one-bit lines are cut in bytes and scaled by nearest",
       &CQM310::kTraits,
       Scaled(WithCut(Device(0, 1, 2560), 32), 300, 3300, 0),
       Ap(0, 1, 2400),
       {IP_CutImage, IP_NearestScale},
       [](const ImageProcessList& l) {
         const auto& c = Block<CImageProcess_Parameter_CutImage>(l, 0);
         EXPECT_EQ(c.blColor, 0);
         EXPECT_EQ(c.Pixel, 320u);
         EXPECT_EQ(c.dwCutRight, 4u);
         EXPECT_EQ(Block<CImageProcess_Parameter_Scale>(l, 1).dwSrcWidth, 2528u);
         EXPECT_EQ(Block<CImageProcess_Parameter_Scale>(l, 1).dwBitsPerPixel, 1u);
       }},
      {"grey device for a halftone client scales at the grey depth",
       &CPY272e::kTraits,
       Scaled(Device(2, 8), 300, 3300, 0),
       Dither(Ap(1, 1, 2112), 1),
       {IP_BiLinearScale, IP_G8ToHalftone},
       [](const ImageProcessList& l) {
         EXPECT_EQ(Block<CImageProcess_Parameter_Scale>(l, 0).dwBitsPerPixel, 8u);
         EXPECT_EQ(Block<CImageProcess_Parameter_G8ToHalftone>(l, 1).bTableIndex, 0);
       }},
  };
  const std::vector<uint8_t> inquiry = SupportedInquiry();
  for (const ListCase& c : cases) {
    Lists lists;
    Build(c.model, nullptr, inquiry, c.ap, c.dev, &lists);
    EXPECT_EQ(StageIds(lists.image), c.image) << c.name;
    if (c.check && StageIds(lists.image) == c.image) c.check(lists.image);
    EXPECT_EQ(lists.iruv.dwCount, 0u) << c.name;
  }
}

TEST(ImageStageList, QualityModeOffScalesByNearest) {
  Lists lists;
  Build(&CQM310::kTraits, nullptr, SupportedInquiry(), Ap(4, 24, 2120),
        Scaled(Device(4, 24), 300, 3300, 0), &lists, false);
  EXPECT_EQ(StageIds(lists.image), Ids{IP_NearestScale});
}

TEST(ImageStageList, HalftonePatternsFromTheInquiryList) {
  std::vector<uint8_t> inquiry = SupportedInquiry();
  inquiry[66] = 0x00;
  inquiry[67] = 0xE4;  // list at 228: two patterns, 4 and 20
  inquiry[228] = 2;
  inquiry[229] = 4;
  inquiry[230] = 20;
  const struct {
    uint8_t dither;
    Ids ids;
    uint8_t index;
  } cases[] = {{1, {IP_G8ToHalftone}, 4}, {2, {IP_G8ToHalftone}, 0}, {3, {}, 0}};
  for (const auto& c : cases) {
    Lists lists;
    Build(&CQM310::kTraits, kNoExtendedModes, inquiry, Dither(Ap(1, 1), c.dither), Device(2, 8),
          &lists);
    ASSERT_EQ(StageIds(lists.image), c.ids) << int(c.dither);
    if (!c.ids.empty()) {
      EXPECT_EQ(Block<CImageProcess_Parameter_G8ToHalftone>(lists.image, 0).bTableIndex, c.index);
    }
  }
  // With feature 30 the five built-in patterns count, whatever the inquiry list says.
  Lists lists;
  Build(&CPY272e::kTraits, kWithSoftwareHalftone, inquiry, Dither(Ap(1, 1), 5), Device(2, 8),
        &lists);
  EXPECT_EQ(StageIds(lists.image), Ids{IP_G8ToHalftone});
}

TEST(ImageStageList, SupportedModelFromClientRecords) {
  // The whole way: the client's record, the derivation of the supported model, the lists.
  const std::vector<uint8_t> inquiry = SupportedInquiry();
  const ScanModelInfo info(CQM310_DPI200with300X200::kTraits.features, inquiry.data(), 265);
  const struct {
    const char* name;
    SCANPARAMETER_UNION ap;
    Ids image, background;
  } cases[] = {
      {"colour 300", ColourLetter(), {}, {IP_BackgroundColorUnpack}},
      {"grey 300", Client(300, 2, 8), {}, {}},
      {"colour 200: 300 x 200 scaled to 200",
       Client(200, 4, 24),
       {IP_BiLinearScale},
       {IP_NearestScale, IP_BackgroundColorUnpack}},
      {"lineart 250 scales bits", Client(250, 0, 1, 32), {IP_NearestScale}, {IP_NearestScale}},
  };
  for (const auto& c : cases) {
    DeviceScanParameter dev;
    InitializeNewScanParameter(CQM310_DPI200with300X200::kTraits, info, c.ap, false, &dev);
    Lists lists;
    Build(&CQM310_DPI200with300X200::kTraits, nullptr, inquiry, c.ap, dev, &lists);
    EXPECT_EQ(StageIds(lists.image), c.image) << c.name;
    EXPECT_EQ(StageIds(lists.background), c.background) << c.name;
  }
  DeviceScanParameter dev;
  const SCANPARAMETER_UNION ap = Client(200, 4, 24);
  InitializeNewScanParameter(CQM310_DPI200with300X200::kTraits, info, ap, false, &dev);
  Lists lists;
  Build(&CQM310_DPI200with300X200::kTraits, nullptr, inquiry, ap, dev, &lists);
  const auto& s = Block<CImageProcess_Parameter_Scale>(lists.image, 0);
  EXPECT_EQ(s.dwSrcWidth, 2544u);
  EXPECT_EQ(s.dwDestWidth, 1696u);
  EXPECT_EQ(s.dwSrcLength, 2200u);
  EXPECT_EQ(s.dwDestLength, 2200u);

  // A page of unknown length at 250 dpi: the device scans 300 and the lines scale by 250/300.
  SCANPARAMETER_UNION open = Client(250, 2, 8);
  open.Length = open.LineNum = kUnknownLength;
  InitializeNewScanParameter(CQM310_DPI200with300X200::kTraits, info, open, false, &dev);
  Build(&CQM310_DPI200with300X200::kTraits, nullptr, inquiry, open, dev, &lists);
  ASSERT_EQ(StageIds(lists.image), Ids{IP_BiLinearScale});
  const auto& u = Block<CImageProcess_Parameter_Scale>(lists.image, 0);
  EXPECT_EQ(u.blUseYRateFraction, 1);
  EXPECT_EQ(u.dwYRateNumerator, 250u);
  EXPECT_EQ(u.dwYRateDenominator, 300u);
  EXPECT_EQ(u.dwSrcWidth, 2544u);
  EXPECT_EQ(u.dwDestWidth, 2120u);
}

TEST(BackgroundStageList, WidthScalingAndColourSteps) {
  const Device_Features noWholeWidth[] = {kFeatureBackgroundLines, kFeatureExtendedModes,
                                          kFeatureNone};
  const struct {
    const char* name;
    const ModelTraits* model;
    const Device_Features* features;
    DeviceScanParameter dev;
    SCANPARAMETER_UNION ap;
    Ids ids;
  } cases[] = {
      {"raw colour at the client's width",
       &CQM310::kTraits,
       nullptr,
       Device(4, 24),
       Ap(4, 24),
       {IP_BackgroundColorUnpack}},
      {"JPEG colour folds to colour",
       &CQM310::kTraits,
       nullptr,
       Device(0x4000004, 24),
       Ap(4, 24),
       {IP_BackgroundColorUnpack}},
      {"colour for a grey client",
       &CQM310::kTraits,
       nullptr,
       Device(0x4000004, 24),
       Ap(2, 8),
       {IP_C24ToG8}},
      {"colour for a lineart client",
       &CQM310::kTraits,
       nullptr,
       Device(4, 24),
       Ap(0, 1),
       {IP_C24ToG8, IP_G8ToLineart}},
      {"colour for a 16-bit grey client",
       &CQM310::kTraits,
       nullptr,
       Device(4, 24),
       Ap(2, 16),
       {IP_C24ToG16}},
      {"grey narrower than the device",
       &CQM310::kTraits,
       nullptr,
       Device(2, 8),
       Ap(2, 8, 2120),
       {IP_NearestScale}},
      {"ADF width at 300 dpi equals the client's",
       &CQM310::kTraits,
       noWholeWidth,
       Device(2, 8),
       Ap(2, 8),
       {}},
      {"ADF width at 600 dpi",
       &CQM310::kTraits,
       noWholeWidth,
       [] {
         auto d = Device(2, 8, 5088);
         d.dev.XRes = 600;
         return d;
       }(),
       Ap(2, 8, 5088),
       {IP_NearestScale}},
      {"QN70HT folds IR to grey",
       &CQN70HT::kTraits,
       nullptr,
       Device(0x8000004, 24),
       Ap(6, 8),
       {IP_C24ToG8}},
  };
  const std::vector<uint8_t> inquiry = SupportedInquiry();
  for (const auto& c : cases) {
    Lists lists;
    Build(c.model, c.features, inquiry, c.ap, c.dev, &lists);
    EXPECT_EQ(StageIds(lists.background), c.ids) << c.name;
  }
  // The width scaling runs over the background lines at the device's depth.
  Lists lists;
  auto dev = Device(2, 8, 5088);
  dev.dev.XRes = 600;
  dev.dev.byBackgroundLines = 3;
  Build(&CQM310::kTraits, noWholeWidth, inquiry, Ap(2, 8, 5088), dev, &lists);
  const auto& s = Block<CImageProcess_Parameter_Scale>(lists.background, 0);
  EXPECT_EQ(s.dwSrcWidth, 5096u);  // 600 x 2550 / 300, down to the grey bound 8
  EXPECT_EQ(s.dwDestWidth, 5088u);
  EXPECT_EQ(s.dwSrcLength, 3u);
  EXPECT_EQ(s.dwDestLength, 3u);
  EXPECT_EQ(s.dwBitsPerPixel, 8u);
  EXPECT_EQ(s.blUseYRateFraction, 0);
}

TEST(QN70HTStageList, ColourStepsAndTheIRUVList) {
  const struct {
    uint32_t dev;
    uint8_t devBits;
    uint32_t ap;
    uint8_t apBits;
    Ids ids;
  } cases[] = {
      {0xA000004, 24, 0xA000002, 8, {IP_C24ToG8}},
      {0xA000004, 24, 0x8000007, 8, {}},
      {0xA000004, 24, 0x9000006, 8, {}},
      {0x8000004, 24, 6, 8, {}},
      {0x8000004, 24, 0x8000002, 8, {IP_C24ToG8}},
      {2, 8, 0, 1, {IP_G8ToLineart}},
      {2, 8, 1, 1, {IP_G8ToHalftone}},
      {2, 8, 5, 1, {IP_G8ToErrorDiffusion}},
      {2, 8, 2, 8, {}},
  };
  const std::vector<uint8_t> inquiry = SupportedInquiry();
  for (const auto& c : cases) {
    Lists lists;
    // A cut never becomes a stage on this model.
    Build(&CQN70HT::kTraits, nullptr, inquiry, Dither(Ap(c.ap, c.apBits), 9),
          WithCut(Device(c.dev, c.devBits), 16), &lists);
    EXPECT_EQ(StageIds(lists.image), c.ids) << std::hex << c.dev << " for " << c.ap;
    EXPECT_EQ(lists.iruv.dwCount, 0u);
  }

  for (auto [ctrl, fraction] : {std::pair{0, 0}, {4, 1}, {5, 0}, {2, 0}}) {
    auto dev = Scaled(Device(0xA000004, 24), 300, 3300, 0);
    dev.dev.CtrlMode = static_cast<uint16_t>(ctrl);
    Lists lists;
    Build(&CQN70HT::kTraits, nullptr, inquiry, Ap(0xA000002, 8, 2120), dev, &lists);
    ASSERT_EQ(StageIds(lists.image), (Ids{IP_BiLinearScale, IP_C24ToG8})) << ctrl;
    ASSERT_EQ(StageIds(lists.iruv), Ids{IP_BiLinearScale});
    const auto& s = Block<CImageProcess_Parameter_Scale>(lists.image, 0);
    const auto& i = Block<CImageProcess_Parameter_Scale>(lists.iruv, 0);
    EXPECT_EQ(s.blUseYRateFraction, fraction) << ctrl;
    EXPECT_EQ(s.dwBitsPerPixel, 24u);
    EXPECT_EQ(i.dwBitsPerPixel, 8u);
    EXPECT_EQ(i.dwSrcWidth, s.dwSrcWidth);
    EXPECT_EQ(i.dwDestWidth, 2120u);
    EXPECT_EQ(i.blUseYRateFraction, s.blUseYRateFraction);
    EXPECT_NE(lists.iruv.Items[0].pParameter, lists.image.Items[0].pParameter);
  }
}

TEST(StageLists, BuiltListsRunThroughThePipeline) {
  // The colour-to-lineart list as the pipeline would build it for a job.
  Lists lists;
  Build(&CQM310::kTraits, nullptr, SupportedInquiry(), Ap(0, 1, 8), Device(4, 24, 8), &lists);
  CImageProcess ip;
  ASSERT_TRUE(ip.Initialize(lists.image.dwCount, lists.image.Items));
  std::vector<uint8_t> line(24, 255);
  line[0] = line[1] = line[2] = 0;
  uint8_t* out = nullptr;
  uint32_t size = 0;
  ASSERT_TRUE(ip.Process(line.data(), 24, &out, &size));
  ASSERT_EQ(size, 1u);
  EXPECT_EQ(out[0], 0x80);
}

// The dump names each stage by its position and gives its parameter block field by field.
TEST(StageLists, DumpLogsEveryStageAndItsFields) {
  testlog::Prepare("stage-list-dump");
  InitializeDbg(nullptr);
  Lists lists;
  Build(&CQM310::kTraits, nullptr, SupportedInquiry(), Ap(0, 1, 8), Device(4, 24, 8), &lists);
  CImageProcess_InitializeParameter unknown[1] = {{0xEE, nullptr}};
  DumpImageProcessVariables(1, lists.image.dwCount, lists.image.Items);
  DumpImageProcessVariables(1, 1, unknown);
  DumpImageProcessVariables(2, lists.image.dwCount, lists.image.Items);  // above the level
  TerminateDbg();
  const std::string log = testlog::Read();
  const std::vector<std::string> expected = {"ImageProcess Stage 0 : C24ToG8",
                                             " -> Pixel : 8",
                                             " -> CofficientR : 0.213",
                                             " -> CofficientG : 0.715",
                                             " -> CofficientB : 0.072",
                                             " -> ColorFilter : 0",
                                             "ImageProcess Stage 1 : G8ToLineart",
                                             " -> Pixel : 8",
                                             " -> bThreshold : 128",
                                             "ImageProcess Stage 0 : ?"};
  size_t at = 0;
  for (const std::string& line : expected) {
    const size_t found = log.find(" : " + line + "\r\n", at);
    ASSERT_NE(found, std::string::npos) << line;
    at = found + line.size();
  }
  EXPECT_EQ(log.find("ImageProcess Stage", at), std::string::npos) << "level 2 is not logged";
}

}  // namespace
