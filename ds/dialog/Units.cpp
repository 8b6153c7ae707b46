#include "ds/dialog/Units.h"

#include <cmath>
#include <cstdio>

namespace ferrolite::dialog {

namespace {
// Integer division rounding toward minus infinity.
int64_t floorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}
constexpr int64_t kTenthsPerInch = 254;
constexpr int kMaxCommitSteps = 10;

// An integer count of hundredths or tenths as a decimal text.
std::string fixedPoint(int64_t count, int decimals) {
  const int64_t scale = decimals == 2 ? 100 : 10;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%s%lld.%0*lld", count < 0 ? "-" : "",
                static_cast<long long>(std::llabs(count) / scale), decimals,
                static_cast<long long>(std::llabs(count) % scale));
  return buffer;
}
}  // namespace

int64_t qRound(double x) {
  if (x >= 0) return static_cast<int64_t>(x + 0.5);
  const int64_t n = static_cast<int64_t>(x - 1);
  return static_cast<int64_t>(x - static_cast<double>(n) + 0.5) + n;
}

int64_t saturatingTrunc(double x, int64_t lo, int64_t hi) {
  if (std::isnan(x)) return lo;
  const double t = std::trunc(x);
  if (t <= static_cast<double>(lo)) return lo;
  if (t >= static_cast<double>(hi)) return hi;
  return static_cast<int64_t>(t);
}

uint32_t effectiveResolution(uint32_t res) { return res == 0 ? kBaseResolution : res; }

int64_t inchHundredths(int64_t v) { return v * 100 / kBaseResolution; }

std::string inchText(int64_t v) { return fixedPoint(inchHundredths(v), 2); }

uint32_t fromInches(double inches) { return saturatingTrunc<uint32_t>(inches * kBaseResolution); }

int64_t mmTenths(int64_t v) {
  // v x 254 / 300 exactly, half up.
  return floorDiv(v * kTenthsPerInch * 2 + kBaseResolution, kBaseResolution * 2);
}

float mmValue(int64_t v) { return static_cast<float>(static_cast<double>(mmTenths(v)) / 10.0); }

std::string mmText(double mm) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", mm);
  return buffer;
}

uint32_t fromMillimetres(double mm) {
  return saturatingTrunc<uint32_t>(mm * kBaseResolution / kMillimetresPerInch);
}

int64_t pixelsOf(int64_t v, uint32_t res) { return v * effectiveResolution(res) / kBaseResolution; }

int64_t fromPixels(int64_t px, uint32_t res) {
  return px * kBaseResolution / effectiveResolution(res);
}

std::string unitText(uint8_t unit, int64_t v, uint32_t res) {
  switch (unit) {
    case kUnitInch:
      return inchText(v);
    case kUnitMillimetre:
      return fixedPoint(mmTenths(v), 1);
    case kUnitPixel:
      return std::to_string(pixelsOf(v, res));
    default:
      return std::to_string(v);
  }
}

int64_t convertedSize(double shown, int64_t stored, uint8_t unit, uint32_t res) {
  if (unit != kUnitMillimetre && unit != kUnitPixel) return stored;
  const int64_t target = unit == kUnitMillimetre ? qRound(shown * 10) : qRound(shown);
  for (int k = 0; k <= kMaxCommitSteps; ++k) {
    const int64_t candidate = stored + k;
    const int64_t shownAs =
        unit == kUnitMillimetre ? mmTenths(candidate) : pixelsOf(candidate, res);
    if (shownAs >= target) return candidate;
  }
  return stored;
}

}  // namespace ferrolite::dialog
