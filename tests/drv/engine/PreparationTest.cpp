// A job's device preparation on the simulated scanner: calibration gains, gamma blocks, the
// colour matrix and the lamp check, byte for byte as the device receives them.
#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "EngineFixture.h"
#include "drv/engine/Calibration.h"
#include "drv/engine/GammaStore.h"
#include "drv/engine/GammaTransfer.h"

using namespace enginefix;

namespace {

// The trimmed mean as a statistician would write it: of all samples but the last, drop the
// smallest (m / 3) / 2 and the largest m / 3 - (m / 3) / 2; average the rest with the last.
uint16_t TrimmedMean(const std::vector<uint16_t>& v) {
  const size_t m = v.size() - 1;
  const size_t third = m / 3, half = third / 2;
  std::vector<uint16_t> ordered(v.begin(), v.end() - 1);
  std::sort(ordered.begin(), ordered.end());
  uint32_t sum = v.back();
  uint32_t count = 1;
  for (size_t i = half; i + (third - half) < ordered.size(); ++i, ++count) sum += ordered[i];
  return static_cast<uint16_t>(sum / count);
}

uint16_t Gain(uint32_t target, uint16_t mean) {
  const uint64_t g = 16384ull * target * 256 / std::max<uint16_t>(mean, 1);
  return static_cast<uint16_t>(std::clamp<uint64_t>(g, 16384, 65535));
}

// A gain block as the device must receive it: six zeros, the high byte of its length, gains.
Bytes GainBlock(const std::vector<uint16_t>& gains, size_t gainBytes) {
  Bytes block(7 + gainBytes, 0);
  block[6] = static_cast<uint8_t>(block.size() >> 8);
  for (size_t i = 0; i < gainBytes; ++i)
    block[7 + i] = static_cast<uint8_t>(gains[i / 2] >> (8 * (i % 2)));
  return block;
}

Bytes GammaBlock(uint8_t channel, const Bytes& table) {
  Bytes block(table.size() + 8, 0);
  block[2] = 1;
  block[3] = static_cast<uint8_t>(block.size() >> 8);
  block[4] = static_cast<uint8_t>(block.size());
  block[6] = channel;
  block[7] = 8;
  std::copy(table.begin(), table.end(), block.begin() + 8);
  return block;
}

class Preparation : public EngineTest {
 protected:
  static void SetUpTestSuite() { testlog::Prepare("engine-preparation"); }

  // The job's device-side parameter, as the job start derives it from the client's.
  void Job(SCANPARAMETER_UNION ap) {
    Item()->pScanner->SetAPScanParameter(&ap);
    Item()->pScanner->TransformScanParameter(Item());
  }
  SCANPARAMETER_UNION Device() {
    SCANPARAMETER_UNION dev;
    Item()->pScanner->GetNewScanParameter(&dev);
    return dev;
  }
};

}  // namespace

// ---- calibration ----------------------------------------------------------------------------

TEST_F(Preparation, OneChannelGainsUnityClampAndTrimmedMean) {
  constexpr uint16_t kWidth = 160;
  constexpr uint8_t kLines = 5;
  sim::CalibrationSetup setup;
  setup.needed = true;
  setup.width = kWidth;
  setup.lines = kLines;
  setup.targets[0] = 100;
  setup.targets[1] = 200;  // a grey scan without a colour filter takes the green target
  setup.targets[2] = 50;
  // Columns by c % 4: at the target (unity), brighter (clamped up to unity), black (mean 1,
  // the largest gain), and spread out (the trimmed mean).
  const uint8_t spread[kLines] = {10, 250, 100, 120, 90};
  for (uint8_t l = 0; l < kLines; ++l) {
    for (uint16_t c = 0; c < kWidth; ++c) {
      const uint8_t values[4] = {200, 255, 0, spread[l]};
      setup.samples.push_back(values[c % 4]);
    }
  }
  sim::Config config;
  config.calibration = setup;
  sim::SimScanner& scanner = OpenAlone(config);
  Job(GreyPage());
  ASSERT_NE(Device().ScanMode, 4u);

  ASSERT_TRUE(DoCalibration(Item(), nullptr));
  std::vector<uint16_t> expected(kWidth);
  std::vector<uint16_t> spreadColumn;
  for (uint8_t l = 0; l < kLines; ++l)
    spreadColumn.push_back(static_cast<uint16_t>(spread[l] << 8));
  const uint16_t spreadGain = Gain(200, TrimmedMean(spreadColumn));
  for (uint16_t c = 0; c < kWidth; ++c) {
    const uint16_t byColumn[4] = {16384, 16384, 65535, spreadGain};
    expected[c] = byColumn[c % 4];
  }
  EXPECT_EQ(spreadGain, Gain(200, (10 + 100 + 120 + 90) * 256 / 4));  // 250 dropped
  const sim::PreparationRecord sent = scanner.Prepared();
  ASSERT_EQ(sent.gainBlocks.size(), 1u);
  EXPECT_EQ(sent.gainBlocks[0], GainBlock(expected, 2 * kWidth));
  EXPECT_EQ(sent.gainBlocks[0][6], 1);  // 327 bytes
  EXPECT_EQ(devicefix::Names(scanner),
            (std::vector<std::string>{"READ 0x0060", "READ 0x0061", "SEND 0x0082"}));
  EXPECT_EQ(devicefix::Commands(scanner)[1].length, kLines * kWidth + 5u);
}

TEST_F(Preparation, ThreePlanesOfTwoByteSamplesWithoutWrapping) {
  constexpr uint16_t kWidth = 8;
  sim::CalibrationSetup setup;
  setup.needed = true;
  setup.width = kWidth;
  setup.bytesPerSample = 2;
  setup.lines = 9;     // three lines of each channel
  setup.flags = 0x09;  // three planes, three-channel reference
  setup.targets[0] = 100;
  setup.targets[1] = 200;
  setup.targets[2] = 2000;  // 16384 * 2000 * 256 does not fit 32 bits
  const uint16_t channel[3] = {100 * 256, 60000, 65535};
  for (int l = 0; l < 3; ++l) {
    for (int p = 0; p < kWidth; ++p) {
      for (uint16_t v : channel) {
        setup.samples.push_back(static_cast<uint8_t>(v));  // little-endian samples
        setup.samples.push_back(static_cast<uint8_t>(v >> 8));
      }
    }
  }
  sim::Config config;
  config.calibration = setup;
  sim::SimScanner& scanner = OpenAlone(config);
  Job(ColourLetter());  // device JPEG colour: three channels by the reference flag

  ASSERT_TRUE(DoCalibration(Item(), nullptr));
  std::vector<uint16_t> red(kWidth, 16384), green(kWidth, 16384), blue(kWidth, 65535);
  EXPECT_NE(static_cast<uint16_t>(uint32_t(16384u * 2000u * 256u) / 65535u), 65535);
  const sim::PreparationRecord sent = scanner.Prepared();
  ASSERT_EQ(sent.gainBlocks.size(), 3u);
  EXPECT_EQ(sent.gainBlocks[0], GainBlock(red, 16));   // the whole red plane
  EXPECT_EQ(sent.gainBlocks[1], GainBlock(green, 9));  // plane-long blocks: 7 + 9 bytes
  EXPECT_EQ(sent.gainBlocks[2], GainBlock(blue, 9));
  EXPECT_EQ(devicefix::Names(scanner)[1], "READ 0x0062");
}

TEST_F(Preparation, GainsWithoutATargetStayUnity) {
  sim::CalibrationSetup setup;
  setup.needed = true;
  setup.width = 4;
  setup.lines = 3;
  setup.flags = 0x08;  // three channels, one block
  setup.targets[0] = 0;
  sim::Config config;
  config.calibration = setup;
  sim::SimScanner& scanner = OpenAlone(config);
  Job(ColourLetter());
  ASSERT_TRUE(DoCalibration(Item(), nullptr));
  const sim::PreparationRecord sent = scanner.Prepared();
  ASSERT_EQ(sent.gainBlocks.size(), 1u);
  EXPECT_EQ(sent.gainBlocks[0], GainBlock(std::vector<uint16_t>(4, 16384), 8));
}

TEST_F(Preparation, CalibrationNotNeededOrNotUsable) {
  sim::SimScanner& scanner = OpenAlone();
  Job(GreyPage());
  EXPECT_TRUE(DoCalibration(Item(), nullptr));
  EXPECT_EQ(devicefix::Names(scanner), std::vector<std::string>{"READ 0x0060"});

  sim::CalibrationSetup setup;
  setup.needed = true;
  setup.bytesPerSample = 3;
  scanner.SetCalibration(setup);
  scanner.ClearCommandLog();
  Item()->lErrorStatus = 0;
  EXPECT_FALSE(DoCalibration(Item(), nullptr));
  EXPECT_EQ(Item()->lErrorStatus.load(), -2999);
  EXPECT_EQ(devicefix::Names(scanner), std::vector<std::string>{"READ 0x0060"});

  // A reference the device refuses: false, the transport's status tells why.
  setup.bytesPerSample = 1;
  scanner.SetCalibration(setup);
  scanner.InjectFault(simhelp::CheckCondition(0xA8, 5, 0x2600, 0, 0x61));
  EXPECT_FALSE(DoCalibration(Item(), nullptr));
  EXPECT_NE(Item()->pIoObject->GetStatusLong(), 0u);
  EXPECT_TRUE(scanner.Prepared().gainBlocks.empty());
}

TEST(TrimmedMean, BubbleSortOrdersAndAverages) {
  struct Case {
    std::vector<uint16_t> samples;
    uint16_t mean;
    std::vector<uint16_t> front;  // the first positions after the ordering
  };
  const Case cases[] = {
      // m = 6, third = 2, half = 1: smallest of 0-5 first, largest of 1-5 second, mean of 2-6.
      {{50, 10, 90, 30, 70, 20, 5}, static_cast<uint16_t>((30 + 50 + 70 + 20 + 5) / 5), {10, 90}},
      {{7}, 7, {7}},
      {{4, 8}, 6, {4, 8}},
      {{100, 1, 1, 1}, 1, {100}},  // third 1, half 0: the largest of the first three dropped
      {{}, 0, {}},
  };
  for (const Case& c : cases) {
    std::vector<uint16_t> v = c.samples;
    EXPECT_EQ(BubbleSort(v.data(), static_cast<uint8_t>(v.size())), c.mean);
    for (size_t i = 0; i < c.front.size(); ++i) EXPECT_EQ(v[i], c.front[i]) << i;
    if (!c.samples.empty()) {
      EXPECT_EQ(TrimmedMean(c.samples), c.mean);
    }
  }
  // 255 samples, the most the device's one-byte line count gives.
  std::vector<uint16_t> many(255);
  for (size_t i = 0; i < many.size(); ++i) many[i] = static_cast<uint16_t>((i * 7919) % 65536);
  std::vector<uint16_t> copy = many;
  EXPECT_EQ(BubbleSort(copy.data(), 255), TrimmedMean(many));
}

TEST(TrimmedMean, GreatestCommonDivisorAndLeastMultiple) {
  const uint32_t cases[][4] = {// a, b, gcd, lcm
                               {12, 18, 6, 36},
                               {7, 0, 7, 0},
                               {0, 7, 7, 0},
                               {0, 0, 0, 0},
                               {1, 1, 1, 1},
                               {65536, 4096, 4096, 65536},
                               {262144, 7680, 512, 3932160}};
  for (const auto& c : cases) {
    EXPECT_EQ(GetGCD(c[0], c[1]), c[2]) << c[0] << " " << c[1];
    EXPECT_EQ(GetLCM(c[0], c[1]), c[3]) << c[0] << " " << c[1];
  }
}

// ---- gamma blocks ---------------------------------------------------------------------------

TEST_F(Preparation, GammaBlocksByModeFilterAndFeature) {
  struct Case {
    const char* what;
    std::vector<Device_Features> features;  // empty: the supported model's
    uint32_t mode;
    uint8_t colourFilter;
    std::vector<std::pair<uint8_t, int>> blocks;  // channel code, source table (-1: head 2's 0)
  };
  const Case cases[] = {
      {"colour: three filters", {}, 4, 0, {{0, 1}, {1, 2}, {2, 3}}},
      {"grey without a filter", {}, 2, 0, {{0, 1}, {1, 2}, {2, 3}}},
      {"grey through the green filter", {}, 2, 2, {{1, 2}}},
      {"grey through the blue filter", {}, 2, 3, {{2, 3}}},
      {"three blocks of one filter", {kFeatureGammaPerFilterTable}, 2, 2, {{0, 2}, {1, 2}, {2, 2}}},
      {"rear table: colour", {kFeatureGammaColourTable}, 4, 0, {{0, -1}, {1, -1}, {2, -1}}},
      {"rear table: one filter", {kFeatureGammaColourTable}, 2, 3, {{2, -1}}},
      {"YCC from the rear table",
       {kFeatureYccGammaBlocks},
       0x1000004,
       0,
       {{0, -1}, {1, -1}, {2, -1}}},
      {"YCC without it", {}, 0x1000004, 0, {{0, 1}, {1, 2}, {2, 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::SimScanner& scanner = OpenAlone();
    ASSERT_EQ(SetGamma(Ramp(10), 1, 1), 0);
    ASSERT_EQ(SetGamma(Ramp(20), 2, 1), 0);
    ASSERT_EQ(SetGamma(Ramp(30), 3, 1), 0);
    ASSERT_EQ(SetGamma(Ramp(99), 0, 2), 0);
    if (!c.features.empty()) UseFeatures(c.features);
    SCANPARAMETER_UNION ap = GreyPage();
    ap.ScanMode = c.mode;
    ap.ColorFilter = c.colourFilter;
    ap.BitsPerPixel = c.mode == 2 ? 8 : 48;  // raw colour: no device JPEG in the way
    Job(ap);
    ASSERT_TRUE(DoSendGammaTable(Item()));
    std::vector<Bytes> expected;
    for (const auto& [code, table] : c.blocks) {
      const uint8_t shift[4] = {0, 10, 20, 30};
      expected.push_back(GammaBlock(code, Ramp(table < 0 ? 99 : shift[table])));
    }
    EXPECT_EQ(scanner.Prepared().gammaBlocks, expected);
  }
}

TEST_F(Preparation, GammaBlocksInvertedTwoByteAndRefused) {
  sim::SimScanner& scanner = OpenAlone();
  UseFeatures({kFeatureInvertedGamma});
  Job(GreyPage());
  ASSERT_TRUE(DoSendGammaTable(Item()));
  Bytes inverted = Ramp();
  for (uint8_t& b : inverted) b = static_cast<uint8_t>(~b);
  ASSERT_EQ(scanner.Prepared().gammaBlocks.size(), 3u);
  EXPECT_EQ(scanner.Prepared().gammaBlocks[0], GammaBlock(0, inverted));

  // Two-byte entries: 520-byte blocks, the widened table behind the head.
  sim::Config twoByte;
  twoByte.inquiryPatches = {Patch(120, 0x10)};
  sim::SimScanner& wide = OpenAlone(twoByte);
  ASSERT_EQ(SetGamma(Ramp(5), 2, 1), 0);
  SCANPARAMETER_UNION ap = GreyPage();
  ap.ColorFilter = 2;
  Job(ap);
  ASSERT_TRUE(DoSendGammaTable(Item()));
  Bytes widened(512, 0);
  for (size_t i = 0; i < 256; ++i) widened[2 * i + 1] = static_cast<uint8_t>(i + 5);
  ASSERT_EQ(wide.Prepared().gammaBlocks.size(), 1u);
  EXPECT_EQ(wide.Prepared().gammaBlocks[0], GammaBlock(1, widened));
  EXPECT_EQ(devicefix::Commands(wide)[0].length, 520u);

  // A colour filter the store has no table for sends nothing.
  ap.ColorFilter = 5;
  Job(ap);
  wide.ClearPrepared();
  EXPECT_FALSE(DoSendGammaTable(Item()));
  EXPECT_EQ(Item()->lErrorStatus.load(), -2005);
  EXPECT_TRUE(wide.Prepared().gammaBlocks.empty());

  // A block the device refuses ends the sending.
  ap.ColorFilter = 0;
  Job(ap);
  wide.InjectFault(simhelp::CheckCondition(0xAA, 5, 0x2600, 0, 0x81));
  EXPECT_FALSE(DoSendGammaTable(Item()));
  EXPECT_TRUE(wide.Prepared().gammaBlocks.empty());
}

TEST_F(Preparation, InvertingTheStore) {
  OpenAlone();
  CScannerManagerScannerItem* item = Item();
  DoInvertGammaTable(item);
  for (uint32_t f = 0; f < 4; ++f) EXPECT_EQ(GammaTable(item, f, 1)[3], 252) << f;
  EXPECT_EQ(GammaTable(item, 1, 2)[3], 3);  // head 2 stays
  EXPECT_FALSE(IsInvertScan(item));

  sim::Config twoByte;
  twoByte.inquiryPatches = {Patch(120, 0x10)};
  OpenAlone(twoByte);
  item = Item();
  DoInvertGammaTable(item);
  EXPECT_EQ(GammaTable(item, 0, 1)[2], 2);    // first bytes stay
  EXPECT_EQ(GammaTable(item, 0, 1)[3], 252);  // second bytes of filters 0 and 2 turn
  EXPECT_EQ(GammaTable(item, 2, 1)[5], 250);
  EXPECT_EQ(GammaTable(item, 1, 1)[5], 5);

  sim::Config other;
  other.inquiryPatches = {Patch(120, 0x20)};
  OpenAlone(other);
  DoInvertGammaTable(Item());
  EXPECT_EQ(GammaTable(Item(), 0, 1)[3], 3);
}

// ---- colour matrix --------------------------------------------------------------------------

TEST(ColourMatrix, WordsOfValues) {
  const std::pair<double, uint16_t> cases[] = {
      {0.299, 0x012B}, {1.0, 0x0400}, {-0.5, 0x11F4},    {3.999, 0x0FE7}, {-1.0, 0x1400},
      {0.0, 0x0000},   {0.5, 0x01F4}, {-0.0005, 0x1000}, {7.25, 0x0FE7},  {-9.0, 0x1FE7},
  };
  for (const auto& [value, word] : cases)
    EXPECT_EQ(ConvertDoubleToColorMatrixWord(value), word) << value;
}

TEST_F(Preparation, ColourMatrixByMode) {
  struct Case {
    uint32_t mode;
    uint8_t bits, colourFilter;
    std::vector<uint16_t> words;
  };
  const Case cases[] = {
      {0x1000004, 24, 0, {0x012B, 0x024B, 0x0072, 0x01F4, 0x11A2, 0x1051, 0x10A8, 0x114B, 0x01F4}},
      {0x2000004, 24, 0, {0x012B, 0x024B, 0x0072, 0x01F4, 0x11A2, 0x1051, 0x10A8, 0x114B, 0x01F4}},
      {4, 48, 0, {0x0400, 0, 0, 0, 0x0400, 0, 0, 0, 0x0400}},
      {2, 8, 1, {0x0400, 0, 0, 0, 0x0400, 0, 0, 0, 0x0400}},
      {2, 8, 0, {0x012B, 0x024B, 0x0072, 0x012B, 0x024B, 0x0072, 0x012B, 0x024B, 0x0072}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    sim::SimScanner& scanner = OpenAlone();
    SCANPARAMETER_UNION ap = GreyPage();
    ap.ScanMode = c.mode;
    ap.BitsPerPixel = c.bits;
    ap.ColorFilter = c.colourFilter;
    Job(ap);
    ASSERT_TRUE(DoSendYCCMatrix(Item()));
    Bytes expected;
    for (uint16_t w : c.words) {
      expected.push_back(static_cast<uint8_t>(w >> 8));
      expected.push_back(static_cast<uint8_t>(w));
    }
    ASSERT_EQ(scanner.Prepared().colourMatrices.size(), 1u);
    EXPECT_EQ(scanner.Prepared().colourMatrices[0], expected);
  }
}

// ---- lamp -----------------------------------------------------------------------------------

TEST_F(Preparation, LampPaths) {
  struct Case {
    const char* what;
    sim::LampState lamp;
    uint8_t byte88;
    int32_t error;  // 0: ready
    bool lampOnSent;
  };
  const Case cases[] = {
      {"ready", sim::LampState::Ready, 0x04, 0, false},
      {"off, may be switched on", sim::LampState::Off, 0x24, -2041, true},
      {"off, may not", sim::LampState::Off, 0x04, -2041, false},
      {"warming up", sim::LampState::Warming, 0x04, -2009, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Config config;
    config.lamp = c.lamp;
    config.lampWarmupReads = 0;  // the lamp stays as it is
    config.inquiryPatches = {Patch(88, c.byte88)};
    sim::SimScanner& scanner = OpenAlone(config);
    Item()->lErrorStatus = 0;
    EXPECT_EQ(DoLightCheck(Item()), c.error == 0);
    EXPECT_EQ(Item()->lErrorStatus.load(), c.error);
    const std::vector<devicefix::Seen> seen = devicefix::Commands(scanner);
    ASSERT_EQ(seen.size(), c.lampOnSent ? 2u : 1u);
    EXPECT_EQ(seen[0].command, "READ 0x00A0");
    EXPECT_EQ(seen[0].length, 5u);
    if (c.lampOnSent) {
      EXPECT_EQ(seen[1].command, "SEND 0x00A0");
      EXPECT_EQ(seen[1].out, (Bytes{0, 0, 1, 5, 1}));
    }
  }
}

TEST_F(Preparation, LampWarmsUpAfterBeingSwitchedOn) {
  sim::Config config;
  config.lamp = sim::LampState::Off;
  config.lampWarmupReads = 1;
  config.inquiryPatches = {Patch(88, 0x24)};
  OpenAlone(config);
  EXPECT_FALSE(DoLightCheck(Item()));
  EXPECT_EQ(Item()->lErrorStatus.load(), -2041);
  EXPECT_FALSE(DoLightCheck(Item()));
  EXPECT_EQ(Item()->lErrorStatus.load(), -2009);
  Item()->lErrorStatus = 0;
  EXPECT_TRUE(DoLightCheck(Item()));
  EXPECT_EQ(Item()->lErrorStatus.load(), 0);
}

TEST_F(Preparation, LampFailuresTakeTheTransportsStatus) {
  sim::Config config;
  config.lamp = sim::LampState::Off;
  config.inquiryPatches = {Patch(88, 0x24)};
  sim::SimScanner& scanner = OpenAlone(config);
  scanner.InjectFault(simhelp::CheckCondition(0xA8, 2, 0x0401, 0, 0xA0));  // becoming ready
  EXPECT_FALSE(DoLightCheck(Item()));
  EXPECT_EQ(Item()->lErrorStatus.load(), static_cast<int32_t>(Item()->pIoObject->GetStatusLong()));
  EXPECT_NE(Item()->lErrorStatus.load(), 0);
  scanner.InjectFault(simhelp::CheckCondition(0xAA, 5, 0x2600, 0, 0xA0));
  Item()->lErrorStatus = 0;
  EXPECT_FALSE(DoLightCheck(Item()));
  EXPECT_EQ(Item()->lErrorStatus.load(), -2005);  // the refused lamp-on block, not -2041
}
