#include "plugins/Lumetra/Tone.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "plugins/Lumetra/Lept.h"

namespace lumetra {

namespace {
constexpr double kSauvolaK0 = 0.5, kSauvolaKMin = 0.05, kSauvolaSteps = 250;
constexpr int kWindowDivisor = 6;  // the local window is a sixth of an inch
}  // namespace

Raster grayQuality(const Raster& r, int mode, int backgroundLevel) {
  Raster g = toGrey(r);
  if (mode == 0)
    for (uint8_t& v : g.data)
      if (v >= backgroundLevel) v = 255;
  return g;
}

Raster threshold(const Raster& r, bool dynamic, int sensitivity, int fixedThreshold, int xRes) {
  const Plane g = greyPlane(r);
  Raster out(r.width, r.height, 1);
  const int half = std::max(2, std::max(xRes, 1) / kWindowDivisor / 2);
  if (dynamic) {
    quietLeptonica();
    PixPtr grey = pix8Of(g);
    PIX* black = nullptr;
    const double k = std::max(kSauvolaKMin, kSauvolaK0 - sensitivity / kSauvolaSteps);
    if (grey &&
        pixSauvolaBinarize(grey.get(), half, l_float32(k), 1, nullptr, nullptr, nullptr, &black) ==
            0 &&
        black) {
      PixPtr owned(black);
      for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x) out.setBit(x, y, !maskBit(black, x, y));
      return out;
    }
    // Leptonica refuses pages smaller than its window: they take the fixed threshold.
  }
  const int t = fixedThreshold;
  for (int y = 0; y < r.height; ++y)
    for (int x = 0; x < r.width; ++x) out.setBit(x, y, g.at(x, y) >= t);
  return out;
}

double dropShare(const uint8_t* p, const DropColour& c) {
  double share = 0;
  if (c.filter >= 1 && c.filter <= 3) {
    const int i = c.filter - 1;
    const int lead = int(p[i]) - std::max(int(p[(i + 1) % 3]), int(p[(i + 2) % 3]));
    const double t = std::max(c.chromaThreshold, 1);
    share = c.soft ? std::clamp((lead - t / 2) / t, 0.0, 1.0) : (lead > t ? 1.0 : 0.0);
  }
  const double reach = std::max(c.tolerance, 1) * 255.0 / 100;
  for (const auto& col : c.custom) {
    const int d =
        std::max({std::abs(p[0] - col[0]), std::abs(p[1] - col[1]), std::abs(p[2] - col[2])});
    const double s = c.soft ? std::clamp(2 - d / reach, 0.0, 1.0) : (d <= reach ? 1.0 : 0.0);
    share = std::max(share, s);
  }
  return share;
}

Raster dropColour(const Raster& r, const DropColour& c, uint8_t background, int backgroundLevel,
                  int outBits, int bwThreshold) {
  Raster g(r.width, r.height, 8);
  for (int y = 0; y < r.height; ++y) {
    const uint8_t* s = r.row(y);
    uint8_t* d = g.row(y);
    for (int x = 0; x < r.width; ++x) {
      const uint8_t* p = s + 3 * x;
      const double share = dropShare(p, c);
      double v = share * background + (1 - share) * luma(p[0], p[1], p[2]);
      if (backgroundLevel > 0 && v >= backgroundLevel) v = 255;
      d[x] = uint8_t(std::clamp(v + 0.5, 0.0, 255.0));
    }
  }
  if (outBits == 8) return g;
  Raster b(r.width, r.height, 1);
  for (int y = 0; y < r.height; ++y)
    for (int x = 0; x < r.width; ++x) b.setBit(x, y, g.row(y)[x] >= bwThreshold);
  return b;
}

Raster keepColour(const Raster& r, const DropColour& c) {
  Raster out = r;
  for (int y = 0; y < r.height; ++y) {
    uint8_t* p = out.row(y);
    for (int x = 0; x < r.width; ++x, p += 3) {
      const double keep = dropShare(p, c);
      const double grey = luma(p[0], p[1], p[2]);
      for (int k = 0; k < 3; ++k)
        p[k] = uint8_t(std::clamp(keep * p[k] + (1 - keep) * grey + 0.5, 0.0, 255.0));
    }
  }
  return out;
}

}  // namespace lumetra
