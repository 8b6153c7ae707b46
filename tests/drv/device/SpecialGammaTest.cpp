// The PY272e's gamma reshaping.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "SupportedModel.h"
#include "drv/device/SpecialGamma.h"

namespace {

std::vector<uint8_t> Table(uint8_t (*curve)(int)) {
  std::vector<uint8_t> t(512);
  for (int i = 0; i < 256; ++i) {
    t[2 * i] = static_cast<uint8_t>(0xA0 + (i & 0xF));
    t[2 * i + 1] = curve(i);
  }
  return t;
}

uint8_t Identity(int i) { return static_cast<uint8_t>(i); }
uint8_t Falling(int i) { return static_cast<uint8_t>(255 - i); }

TEST(SpecialGamma, GreyThroughAFilterStretchesToTheHighlightAndLifts) {
  const struct {
    uint8_t filter;
    int brightness, highlight;
  } cases[] = {{1, 31, 105}, {2, 21, 71}, {3, 15, 75}};
  for (const auto& c : cases) {
    SCANPARAMETER_UNION p = ColourLetter();
    p.ScanMode = 2;
    p.ColorFilter = c.filter;
    std::vector<uint8_t> t = Table(Identity);
    AdjustSendingGammaTablePY272e(t.data(), 0, 512, &p);
    for (int i = 0; i < 256; ++i) {
      const int want = i < c.highlight ? std::min(255, i * 255 / c.highlight + c.brightness) : 255;
      ASSERT_EQ(t[2 * i + 1], want) << "filter " << int(c.filter) << " entry " << i;
      ASSERT_EQ(t[2 * i], 0xA0 + (i & 0xF));  // first bytes untouched
    }
    // A curve that is not the identity: from the highlight up every entry is its last value.
    t = Table(Falling);
    AdjustSendingGammaTablePY272e(t.data(), 0, 512, &p);
    for (int i = c.highlight; i < 256; ++i) ASSERT_EQ(t[2 * i + 1], 0) << i;
    EXPECT_EQ(t[1], 255 - c.brightness);
  }
}

TEST(SpecialGamma, OtherModesAndFiltersKeepTheTable) {
  const struct {
    uint32_t mode;
    uint8_t filter;
  } cases[] = {{0, 1}, {1, 3}, {2, 0}, {2, 4}, {4, 1}, {0, 0}};
  for (const auto& c : cases) {
    SCANPARAMETER_UNION p = ColourLetter();
    p.ScanMode = c.mode;
    p.ColorFilter = c.filter;
    std::vector<uint8_t> t = Table(Falling);
    const std::vector<uint8_t> before = t;
    AdjustSendingGammaTablePY272e(t.data(), 1, 512, &p);
    EXPECT_EQ(t, before) << c.mode << "/" << int(c.filter);
  }
  SCANPARAMETER_UNION p = ColourLetter();
  p.ScanMode = 2;
  p.ColorFilter = 1;
  std::vector<uint8_t> shortTable(256, 9);
  AdjustSendingGammaTablePY272e(shortTable.data(), 0, 256, &p);
  EXPECT_EQ(shortTable, std::vector<uint8_t>(256, 9));
}

TEST(SpecialGamma, ShadowMarginAndDegenerateRanges) {
  uint8_t src[256], dst[256];
  for (int i = 0; i < 256; ++i) src[i] = static_cast<uint8_t>(i);
  // Shadow 51: L = 51, H = 0; entries below 51 are 0, entry 51 + k is k x 255 / 204.
  MakeSpecialGamma(src, dst, 1.0, 0, 0, 255, 51);
  EXPECT_EQ(dst[50], 0);
  EXPECT_EQ(dst[51], 0);
  EXPECT_EQ(dst[52], 1);
  EXPECT_EQ(dst[153], 127);
  EXPECT_EQ(dst[254], 253);
  EXPECT_EQ(dst[255], 255);
  // Highlight equal to shadow: nothing to stretch.
  for (int level : {0, 100, 255}) {
    MakeSpecialGamma(src, dst, 1.0, 40, 0, level, level);
    EXPECT_TRUE(std::equal(src, src + 256, dst)) << level;
  }
  // Negative margins make both L and H negative: entry k is k x 255 / (255 - L - H) - L.
  MakeSpecialGamma(src, dst, 1.0, 0, -10, 255, 0);
  EXPECT_EQ(dst[0], 10);
  EXPECT_EQ(dst[255], 255 * 255 / 275 + 10);
  // Gamma 2 lifts the middle: 255 x (128 / 255)^0.5 + 0.5 = 181.
  MakeSpecialGamma(src, dst, 2.0, 0, 0, 255, 0);
  EXPECT_EQ(dst[128], 181);
  EXPECT_EQ(dst[0], 0);
  EXPECT_EQ(dst[255], 255);
}

}  // namespace
