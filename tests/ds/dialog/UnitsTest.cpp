// The one conversion pair per unit, the rounding and saturation helpers, and the commit's
// adjustment of a stored value to the value the user saw.
#include <gtest/gtest.h>

#include <cmath>

#include "ds/dialog/Units.h"

namespace ferrolite::dialog {
namespace {

struct Shown {
  uint8_t unit;
  int64_t value;  // 1/300 inch
  uint32_t res;
  const char* text;
};

TEST(Units, RecordValueAsEachUnitShowsIt) {
  const Shown cases[] = {
      {kUnitInch, 899, 300, "2.99"},  // truncated, not rounded up to 3.00
      {kUnitInch, 900, 300, "3.00"},
      {kUnitInch, 2550, 300, "8.50"},
      {kUnitInch, 0, 300, "0.00"},
      {kUnitMillimetre, 2480, 300, "210.0"},  // A4's width, not the 203.2 of a coarse division
      {kUnitMillimetre, 2550, 300, "215.9"},
      {kUnitMillimetre, 3508, 300, "297.0"},
      {kUnitMillimetre, 1, 300, "0.1"},
      {kUnitPixel, 2550, 200, "1700"},
      {kUnitPixel, 2550, 600, "5100"},
      {kUnitPixel, 2550, 0, "2550"},  // a resolution of 0 counts as 300
  };
  for (const Shown& c : cases) {
    EXPECT_EQ(unitText(c.unit, c.value, c.res), c.text) << int(c.unit) << " " << c.value;
  }
}

TEST(Units, TypedValuesToTheRecord) {
  EXPECT_EQ(fromInches(1.5), 450u);
  EXPECT_EQ(fromInches(1.25), 375u);
  EXPECT_EQ(fromInches(12), 3600u);
  EXPECT_EQ(fromInches(-1), 0u);
  EXPECT_EQ(fromInches(1e30), 0xFFFFFFFFu);  // saturates, never wraps
  EXPECT_EQ(fromMillimetres(210.0), 2480u);
  EXPECT_EQ(fromPixels(1700, 200), 2550);
  EXPECT_EQ(fromPixels(1700, 0), 1700);
  EXPECT_EQ(pixelsOf(4200, 150), 2100);
}

TEST(Units, RoundingAndSaturation) {
  EXPECT_EQ(qRound(2.5), 3);
  EXPECT_EQ(qRound(2.49), 2);
  EXPECT_EQ(qRound(0), 0);
  EXPECT_EQ(qRound(-2.5), -2);
  EXPECT_EQ(qRound(-2.6), -3);
  EXPECT_EQ(saturatingTrunc<uint16_t>(70000.7), 65535);
  EXPECT_EQ(saturatingTrunc<uint16_t>(-3.5), 0);
  EXPECT_EQ(saturatingTrunc<uint16_t>(std::nan("")), 0);
  EXPECT_EQ(saturatingTrunc<int32_t>(-3.9), -3);
  EXPECT_EQ(saturate<uint16_t>(65536), 65535);
  EXPECT_EQ(saturate<uint16_t>(-1), 0);
  EXPECT_EQ(mmTenths(-1), -1);
}

struct Commit {
  const char* what;
  double shown;
  int64_t stored;
  uint8_t unit;
  uint32_t res;
  int64_t committed;
};

TEST(Units, CommitRaisesTheStoredValueToWhatWasShown) {
  // 215.9 mm typed stores trunc(215.9 x 300 / 25.4); the commit finds the value showing 215.9.
  const int64_t typed = fromMillimetres(215.9);
  const Commit cases[] = {
      {"typed 215.9 mm", 215.9, typed, kUnitMillimetre, 300, 2550},
      {"already showing it", 215.9, 2550, kUnitMillimetre, 300, 2550},
      {"ten steps short", 215.9, 2540, kUnitMillimetre, 300, 2550},
      {"stale: eleven short", 215.9, 2539, kUnitMillimetre, 300, 2539},
      {"stale: far short", 300.0, 2480, kUnitMillimetre, 300, 2480},
      {"shown below stored", 100.0, 2480, kUnitMillimetre, 300, 2480},
      {"pixels at the current resolution", 1700, 2549, kUnitPixel, 200, 2550},
      {"pixels at 600 dpi", 5101, 2550, kUnitPixel, 600, 2551},
      {"inch keeps", 8.5, 2549, kUnitInch, 300, 2549},
  };
  for (const Commit& c : cases) {
    EXPECT_EQ(convertedSize(c.shown, c.stored, c.unit, c.res), c.committed) << c.what;
  }
  EXPECT_EQ(unitText(kUnitMillimetre, convertedSize(215.9, typed, kUnitMillimetre, 300), 300),
            "215.9");
}

}  // namespace
}  // namespace ferrolite::dialog
