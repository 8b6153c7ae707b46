#pragma once
// The paper units of the dialog and the one conversion pair per unit that every page, field,
// stepper and the commit use. The record keeps all geometry in 1/300 inch; the unit only
// changes how a value is shown and typed.
//
// Inch: shown truncated to hundredths ("%.2f"; 899 shows 2.99).
// Millimetre: shown as v x 25.4 / 300 rounded half up to tenths ("%.1f"; 2480 shows 210.0),
// the same rendering the commit compares against, so a value the user reads survives Scan.
// Pixel: v x R / 300 at the resolution R of the type being edited ("%d").
#include <cstdint>
#include <limits>
#include <string>

namespace ferrolite::dialog {

inline constexpr uint8_t kUnitInch = 0;
inline constexpr uint8_t kUnitMillimetre = 1;
inline constexpr uint8_t kUnitPixel = 2;

inline constexpr uint32_t kBaseResolution = 300;  // record units per inch
inline constexpr double kMillimetresPerInch = 25.4;

// Rounds half up: trunc(x + 0.5) for x >= 0; for x < 0 with n = trunc(x - 1),
// trunc(x - n + 0.5) + n.
int64_t qRound(double x);

// A float value as an integer of the range [lo, hi]: truncated toward zero, then held to the
// range; not-a-number gives lo.
int64_t saturatingTrunc(double x, int64_t lo, int64_t hi);
template <typename T>
T saturatingTrunc(double x) {
  return static_cast<T>(
      saturatingTrunc(x, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}
// An integer held to the range of T.
template <typename T>
T saturate(int64_t v) {
  if (v < static_cast<int64_t>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
  if (v > static_cast<int64_t>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
  return static_cast<T>(v);
}

// A resolution to divide by: 0 counts as the base resolution.
uint32_t effectiveResolution(uint32_t res);

// Inch.
int64_t inchHundredths(int64_t v);  // trunc(v x 100 / 300)
std::string inchText(int64_t v);
uint32_t fromInches(double inches);  // trunc(inches x 300), saturated

// Millimetre.
int64_t mmTenths(int64_t v);  // v x 25.4 / 300 in tenths, rounded half up
float mmValue(int64_t v);     // the same as a millimetre number
std::string mmText(double mm);
uint32_t fromMillimetres(double mm);  // trunc(mm x 300 / 25.4), saturated

// Pixel.
int64_t pixelsOf(int64_t v, uint32_t res);     // v x R / 300, truncated
int64_t fromPixels(int64_t px, uint32_t res);  // px x 300 / R, truncated

// A record value as the unit shows it.
std::string unitText(uint8_t unit, int64_t v, uint32_t res);

// The commit of a typed value: the smallest of stored, stored + 1, ..., stored + 10 whose
// rendering in the unit (tenths of a millimetre, or pixels at res) reaches the value shown.
// When none does, the shown value does not describe the stored one and stored is kept.
// Inch (and any other unit) keeps stored.
int64_t convertedSize(double shown, int64_t stored, uint8_t unit, uint32_t res);

}  // namespace ferrolite::dialog
