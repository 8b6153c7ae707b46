// The models' device-side parameter: resolutions, modes the device does not make, device JPEG,
// pixel and line alignment, background lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "SupportedModel.h"
#include "TestFolder.h"
#include "drv/device/ScanParameters.h"
#include "drv/device/ScannerModels.h"

namespace {

struct Derived {
  uint32_t mode;
  uint8_t bits;
  uint16_t compression;
  uint16_t xres, yres;
  uint32_t pixels, lines;
  bool scaling;
  uint32_t cutRight;
};

DeviceScanParameter Derive(const ModelTraits* model, const SCANPARAMETER_UNION& ap,
                           bool realRaw = false,
                           const std::vector<uint8_t>& inquiry = SupportedInquiry(),
                           const Device_Features* features = nullptr) {
  const ScanModelInfo info(features != nullptr ? features : model->features, inquiry.data(),
                           static_cast<uint32_t>(inquiry.size()));
  DeviceScanParameter out;
  InitializeNewScanParameter(*model, info, ap, realRaw, &out);
  return out;
}

SCANPARAMETER_UNION WithWidth(SCANPARAMETER_UNION p, uint32_t width) {
  p.Width = width;
  p.PixelNum = width / 8 * 8;
  p.BytesPerLine = p.PixelNum * p.BitsPerPixel / 8;
  return p;
}

SCANPARAMETER_UNION WithDither(SCANPARAMETER_UNION p, uint8_t index) {
  p.DitherIndex = index;
  return p;
}

TEST(ModelDerivation, FamiliesAndVariants) {
  const struct {
    const char* name;
    const ModelTraits* model;
    SCANPARAMETER_UNION ap;
    bool realRaw;
    Derived want;
  } cases[] = {
      {"QM310 250 scans 300 with scaling",
       &CQM310::kTraits,
       Client(250, 4, 24),
       false,
       {0x4000004, 24, 132, 300, 300, 2544, 3304, true, 0}},
      {"QM310 250 raw",
       &CQM310::kTraits,
       Client(250, 4, 24),
       true,
       {4, 24, 0, 300, 300, 2544, 3300, true, 0}},
      {"QM310 200 scans 200 without scaling",
       &CQM310::kTraits,
       Client(200, 4, 24),
       false,
       {0x4000004, 24, 132, 200, 200, 1696, 2200, false, 0}},
      {"QM310 600 raw keeps the client's image",
       &CQM310::kTraits,
       Client(600, 4, 24),
       true,
       {4, 24, 0, 600, 600, 5088, 6600, false, 0}},
      {"QM310 400 scans 600",
       &CQM310::kTraits,
       Client(400, 2, 8),
       false,
       {0x6000002, 8, 132, 600, 600, 5088, 6600, true, 0}},
      {"PY8150 200 as QM310",
       &CPY8150::kTraits,
       Client(200, 2, 8),
       false,
       {0x6000002, 8, 132, 200, 200, 1696, 2200, false, 0}},
      {"SentrelH60 250 as QM310",
       &CSentrelH60::kTraits,
       Client(250, 4, 24),
       false,
       {0x4000004, 24, 132, 300, 300, 2544, 3304, true, 0}},
      {"QM520PX 200 recomputes at 200 with scaling",
       &CQM520PX::kTraits,
       Client(200, 4, 24),
       false,
       {0x4000004, 24, 132, 200, 200, 1696, 2200, true, 0}},
      {"300 x 200 variant at 200",
       &CQM310_DPI200with300X200::kTraits,
       Client(200, 2, 8),
       false,
       {0x6000002, 8, 132, 300, 200, 2544, 2200, true, 0}},
      {"PY272e halftone scans 8-bit grey, as device JPEG, the client's line cut from it",
       &CPY272e::kTraits,
       WithDither(Client(300, 1, 1, 32), 3),
       false,
       {0x6000002, 8, 132, 300, 300, 2544, 3304, false, 16}},
      {"QN70HT error diffusion scans grey, bound by the client's mode",
       &CQN70HT::kTraits,
       Client(300, 5, 1, 32),
       false,
       {2, 8, 0, 300, 300, 2528, 3300, false, 0}},
      {"QN70HT 200 scans 300",
       &CQN70HT::kTraits,
       Client(200, 4, 24),
       false,
       {4, 24, 0, 300, 300, 2544, 3300, true, 0}},
      {"QN70HT 400 scans 600",
       &CQN70HT::kTraits,
       Client(400, 4, 24),
       false,
       {4, 24, 0, 600, 600, 5088, 6600, true, 0}},
      {"QN70HT IR grey becomes IR colour",
       &CQN70HT::kTraits,
       Client(300, 0x8000002, 8),
       false,
       {0x8000004, 24, 0, 300, 300, 2544, 3300, false, 0}},
      {"QN70HT UV becomes IR and UV colour",
       &CQN70HT::kTraits,
       Client(300, 0x9000006, 8),
       false,
       {0xA000004, 24, 0, 300, 300, 2544, 3300, false, 0}},
      {"QN70HT IR alone",
       &CQN70HT::kTraits,
       Client(300, 6, 8),
       false,
       {0x8000004, 24, 0, 300, 300, 2544, 3300, false, 0}},
      {"family width 1000 at bound 8",
       &CQM310::kTraits,
       WithWidth(ColourLetter(), 1000),
       false,
       {0x4000004, 24, 132, 300, 300, 1000, 3304, false, 0}},
      {"family width 1001 rounds up and cuts",
       &CQM310::kTraits,
       WithWidth(ColourLetter(), 1001),
       false,
       {0x4000004, 24, 132, 300, 300, 1008, 3304, false, 8}},
      {"QN70HT width 1000",
       &CQN70HT::kTraits,
       WithWidth(Client(300, 6, 8), 1000),
       false,
       {0x8000004, 24, 0, 300, 300, 1000, 3300, false, 0}},
      {"QN70HT width 1001 rounds down",
       &CQN70HT::kTraits,
       WithWidth(Client(300, 6, 8), 1001),
       false,
       {0x8000004, 24, 0, 300, 300, 1000, 3300, false, 0}},
      {"QM540 keeps the client's record",
       &CQM540::kTraits,
       Client(250, 4, 24),
       false,
       {4, 24, 0, 250, 250, 2120, 2750, false, 0}},
  };
  for (const auto& c : cases) {
    const DeviceScanParameter d = Derive(c.model, c.ap, c.realRaw);
    const Derived& w = c.want;
    EXPECT_EQ(d.dev.ScanMode, w.mode) << c.name;
    EXPECT_EQ(d.dev.BitsPerPixel, w.bits) << c.name;
    EXPECT_EQ(d.dev.Compression, w.compression) << c.name;
    EXPECT_EQ(d.dev.XRes, w.xres) << c.name;
    EXPECT_EQ(d.dev.YRes, w.yres) << c.name;
    EXPECT_EQ(d.dev.PixelNum, w.pixels) << c.name;
    EXPECT_EQ(d.dev.BytesPerLine, w.pixels * w.bits / 8) << c.name;
    EXPECT_EQ(d.dev.LineNum, w.lines) << c.name;
    EXPECT_EQ(d.dwLinesToRead, w.lines) << c.name;
    EXPECT_EQ(d.dwAlignmentLines, w.lines - d.dwRequestedLength * w.yres / 300) << c.name;
    EXPECT_EQ(d.dev.Length, c.ap.Length) << c.name;
    EXPECT_EQ(d.blNeedsScaling, w.scaling) << c.name;
    EXPECT_EQ(d.dwCutRight, w.cutRight) << c.name;
    EXPECT_EQ(d.dwCutLeft + d.dwCutTop, 0u) << c.name;
  }
}

TEST(ModelDerivation, HalftoneBecomesGreyWithoutItsPattern) {
  const DeviceScanParameter d = Derive(&CPY272e::kTraits, WithDither(Client(300, 1, 1, 32), 3));
  EXPECT_EQ(d.dev.DitherIndex, 0);
  // QM310 itself makes no halftone in software: the device is asked for it.
  const DeviceScanParameter q = Derive(&CQM310::kTraits, WithDither(Client(300, 1, 1, 32), 3));
  EXPECT_EQ(q.dev.ScanMode, 1u);
  EXPECT_EQ(q.dev.DitherIndex, 3);
}

TEST(ModelDerivation, DeviceJpegNeedsTheInquiryImageTypes) {
  std::vector<uint8_t> inquiry = SupportedInquiry();
  inquiry[51] = 0x00;  // image types 0x000091: no JPEG colour or grey
  inquiry[52] = 0x00;
  EXPECT_EQ(Derive(&CQM310::kTraits, ColourLetter(), false, inquiry).dev.ScanMode, 4u);
  EXPECT_EQ(Derive(&CQM310::kTraits, Client(300, 2, 8), false, inquiry).dev.ScanMode, 2u);
  inquiry[51] = 0x01;  // JPEG grey only
  EXPECT_EQ(Derive(&CQM310::kTraits, ColourLetter(), false, inquiry).dev.ScanMode, 4u);
  EXPECT_EQ(Derive(&CQM310::kTraits, Client(300, 2, 8), false, inquiry).dev.ScanMode, 0x6000002u);
}

TEST(BaseDerivation, BackgroundLinesLineAlignmentAndUnknownLength) {
  std::vector<uint8_t> inquiry = SupportedInquiry();
  inquiry[114] = 8;  // colour lines in eights
  const struct {
    uint32_t mode;
    uint8_t background;
    uint32_t lineNum;
    uint8_t wantBackground;
    uint32_t wantLines, wantAlignment;
  } cases[] = {
      {0x1000004, 0, 3300, 2, 3300, 0},  // YCC modes: line bound 1
      {4, 0, 3300, 1, 3304, 4},         {4, 0, 3304, 1, 3304, 0}, {4, 150, 3301, 100, 3304, 3},
      {0x4000004, 0, 3300, 0, 3304, 4},  // JPEG colour: inquiry 119 is 8
      {0x7000001, 0, 3300, 0, 3300, 0}, {2, 7, 3300, 7, 3300, 0},
  };
  for (const auto& c : cases) {
    SCANPARAMETER_UNION ap = ColourLetter();
    ap.ScanMode = c.mode;
    ap.byBackgroundLines = c.background;
    ap.LineNum = c.lineNum;
    ap.BitsPerPixel = c.mode == 2 ? 8 : 24;
    const DeviceScanParameter d = Derive(&CQM540::kTraits, ap, false, inquiry);
    EXPECT_EQ(d.dev.byBackgroundLines, c.wantBackground) << std::hex << c.mode;
    EXPECT_EQ(d.dev.LineNum, c.wantLines) << std::hex << c.mode;
    EXPECT_EQ(d.dwAlignmentLines, c.wantAlignment) << std::hex << c.mode;
    EXPECT_EQ(d.dev.ScanMode, c.mode);
  }
  // Without feature 8 the client's count goes through unchanged.
  const Device_Features noBackground[] = {kFeatureUnconsulted9, kFeatureCalibrateLaterPages,
                                          kFeatureNone};
  SCANPARAMETER_UNION ap = ColourLetter();
  EXPECT_EQ(Derive(&CQM540::kTraits, ap, false, inquiry, noBackground).dev.byBackgroundLines, 0);

  // A page of unknown length keeps its markers and skips the alignment, in every family.
  ap.Length = ap.LineNum = kUnknownLength;
  for (const ModelTraits* m : {&CQM540::kTraits, &CQM310::kTraits, &CQN70HT::kTraits,
                               &CQM310_DPI200with300X200::kTraits}) {
    for (uint16_t res : {300, 250}) {
      ap.XRes = ap.YRes = res;
      const DeviceScanParameter d = Derive(m, ap, false, inquiry);
      EXPECT_EQ(d.dev.LineNum, kUnknownLength);
      EXPECT_EQ(d.dev.Length, kUnknownLength);
      EXPECT_EQ(d.dwLinesToRead, kUnknownLength);
      EXPECT_EQ(d.dwAlignmentLines, 0u);
    }
  }
}

TEST(Boundaries, LineAndPixelBoundsFromTheInquiryData) {
  std::vector<uint8_t> inquiry = SupportedInquiry();
  for (int i = 0; i < 8; ++i) inquiry[112 + i] = static_cast<uint8_t>(i == 0 ? 0 : 10 + i);
  for (int i = 0; i < 6; ++i) inquiry[70 + i] = static_cast<uint8_t>(20 + i);
  const ScanModelInfo info(CQM310::kTraits.features, inquiry.data(), 265);
  const struct {
    uint32_t mode;
    uint8_t bits;
    uint32_t line, pixel;
  } cases[] = {{0, 1, 1, 20},          {3, 1, 1, 20},           {1, 1, 13, 23},
               {4, 24, 12, 22},        {5, 1, 14, 24},          {2, 4, 15, 25},
               {2, 8, 11, 21},         {2, 16, 1, 21},          {6, 8, 11, 21},
               {7, 4, 15, 25},         {0x4000004, 24, 17, 22}, {0x3000004, 24, 17, 22},
               {0x6000002, 8, 16, 21}, {9, 8, 1, 16},           {0x1000004, 16, 1, 22}};
  for (const auto& c : cases) {
    SCANPARAMETER_UNION p = ColourLetter();
    p.ScanMode = c.mode;
    p.BitsPerPixel = c.bits;
    EXPECT_EQ(GetLineBoundary(info, p), c.line)
        << std::hex << c.mode << std::dec << " " << int(c.bits);
    EXPECT_EQ(GetPixelBoundaryFWSide(info, p), c.pixel)
        << std::hex << c.mode << std::dec << " " << int(c.bits);
    EXPECT_EQ(GetPixelBoundaryAPSide(info, p), c.pixel);
  }
  const Device_Features fixedBounds[] = {kFeatureFixedPixelBounds, kFeatureNone};
  const ScanModelInfo fixed(fixedBounds, inquiry.data(), 265);
  SCANPARAMETER_UNION p = ColourLetter();
  for (auto [mode, bits, bound] :
       {std::tuple{0u, 1, 8u}, {5u, 1, 8u}, {2u, 4, 2u}, {2u, 8, 1u}, {4u, 24, 1u}}) {
    p.ScanMode = mode;
    p.BitsPerPixel = static_cast<uint8_t>(bits);
    EXPECT_EQ(GetPixelBoundaryAPSide(fixed, p), bound) << mode;
  }
}

TEST(Features, ModelListsAnswerFeatureQueries) {
  const ScanModelInfo qm540(CQM540::kTraits.features, nullptr, 0);
  EXPECT_FALSE(qm540.HasFeature(65));
  EXPECT_TRUE(qm540.HasFeature(60));
  const ScanModelInfo supported(CQM310_DPI200with300X200::kTraits.features, nullptr, 0);
  for (uint32_t f = 0; f < 72; ++f) {
    const bool listed = f == 8 || f == 9 || f == 10 || f == 12 || f == 15 || f == 19 || f == 25 ||
                        f == 29 || f == 60 || f == 61 || f == 64 || f == 65;
    EXPECT_EQ(supported.HasFeature(f), listed) << f;
  }
  EXPECT_FALSE(supported.HasFeature(72));
  EXPECT_EQ(supported.InquiryByte(0), 0);  // no inquiry data: everything reads 0
}

// The switch is read from "Debug.conf" in the folder that VANTREL_LOG_ROOT names for tests.
class RealRawSwitch : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::freshTestFolder("realraw").string();
    const char* old = std::getenv("VANTREL_LOG_ROOT");
    hadRoot_ = old != nullptr;
    if (hadRoot_) oldRoot_ = old;
    setenv("VANTREL_LOG_ROOT", dir_.c_str(), 1);
  }
  void TearDown() override {
    std::remove((dir_ + "/Debug.conf").c_str());
    std::remove(dir_.c_str());
    if (hadRoot_) {
      setenv("VANTREL_LOG_ROOT", oldRoot_.c_str(), 1);
    } else {
      unsetenv("VANTREL_LOG_ROOT");
    }
  }
  bool With(const char* text) {
    FILE* f = std::fopen((dir_ + "/Debug.conf").c_str(), "w");
    EXPECT_NE(f, nullptr);
    std::fputs(text, f);
    std::fclose(f);
    return ReadRealRawSwitch();
  }
  std::string dir_, oldRoot_;
  bool hadRoot_ = false;
};

TEST_F(RealRawSwitch, KeyWithANonZeroNumberSwitchesTheSubstitutionOff) {
  EXPECT_FALSE(ReadRealRawSwitch());  // no file
  EXPECT_TRUE(With("LLDScanRealRaw 1\n"));
  EXPECT_TRUE(With("DebugLevel 2\nSavePath /tmp/x/\nLLDScanRealRaw 7"));
  EXPECT_FALSE(With("LLDScanRealRaw 0\n"));
  EXPECT_FALSE(With("LLDScanRealRaw\n"));
  EXPECT_FALSE(With("LLDScanRealRawX 1\nDebugLevel 1\n"));
  EXPECT_FALSE(With("LLDScanRealRaw 1\nLLDScanRealRaw 0\n"));  // the last line counts
}

}  // namespace
