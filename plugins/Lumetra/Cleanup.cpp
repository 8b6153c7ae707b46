#include "plugins/Lumetra/Cleanup.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "plugins/Lumetra/Lept.h"

namespace lumetra {

namespace {

constexpr int kHoleContrast = 64;  // grey levels a hole differs from the paper
constexpr double kHoleMin = 0.1, kHoleMax = 0.5, kHoleBand = 1.0;  // inches
constexpr double kHoleRoundness = 0.25;  // width and height differ by at most this share
constexpr double kDiscFillMin = 0.6, kDiscFillMax = 0.9;  // a disc fills pi/4 of its box
constexpr int kHoleGrow = 2;  // pixels painted around a hole (its blurred rim)

// Per channel median of the pixels in a ring of the box grown by `ring`, excluding the box.
Fill ringColour(const Raster& r, int l, int t, int rt, int b, int ring) {
  std::array<std::array<uint32_t, 256>, 3> hist{};
  uint64_t n = 0;
  for (int y = std::max(0, t - ring); y < std::min(r.height, b + ring); ++y) {
    for (int x = std::max(0, l - ring); x < std::min(r.width, rt + ring); ++x) {
      if (x >= l && x < rt && y >= t && y < b) continue;
      const uint8_t* p = r.row(y);
      if (r.bits == 24) {
        for (int c = 0; c < 3; ++c) ++hist[size_t(c)][p[3 * x + c]];
      } else {
        const uint8_t v = r.grey(x, y);
        for (int c = 0; c < 3; ++c) ++hist[size_t(c)][v];
      }
      ++n;
    }
  }
  uint8_t m[3] = {255, 255, 255};
  for (int c = 0; c < 3 && n > 0; ++c) {
    uint64_t seen = 0;
    for (int v = 0; v < 256; ++v)
      if ((seen += hist[size_t(c)][size_t(v)]) * 2 >= n) {
        m[c] = uint8_t(v);
        break;
      }
  }
  return {m[0], m[1], m[2]};
}

uint8_t medianGrey(const Plane& g) {
  std::array<uint64_t, 256> hist{};
  for (uint8_t v : g.v) ++hist[v];
  uint64_t seen = 0;
  for (int v = 0; v < 256; ++v)
    if ((seen += hist[size_t(v)]) * 2 >= g.v.size()) return uint8_t(v);
  return 255;
}

}  // namespace

int removePunchHoles(Raster& r, int xRes) {
  quietLeptonica();
  const Plane g = greyPlane(r);
  const uint8_t paper = medianGrey(g);
  PixPtr marks =
      maskOf(g, [&](uint8_t v) { return std::abs(int(v) - int(paper)) > kHoleContrast; });
  if (!marks) return 0;
  PIXA* rawPixa = nullptr;
  BoxaPtr boxes(pixConnComp(marks.get(), &rawPixa, 8));
  PixaPtr regions(rawPixa);
  if (!boxes || !regions) return 0;
  const double dpi = std::max(xRes, 1);
  const int band = int(kHoleBand * dpi);
  int removed = 0;
  for (int i = 0; i < pixaGetCount(regions.get()); ++i) {
    l_int32 x, y, w, h;
    if (boxaGetBoxGeometry(boxes.get(), i, &x, &y, &w, &h) != 0) continue;
    const int big = std::max(w, h);
    if (w < kHoleMin * dpi || h < kHoleMin * dpi || big > kHoleMax * dpi) continue;
    if (std::abs(w - h) > kHoleRoundness * big) continue;
    const int cx = x + w / 2, cy = y + h / 2;
    if (cx >= band && cy >= band && cx < r.width - band && cy < r.height - band) continue;
    PixPtr region(pixaGetPix(regions.get(), i, L_CLONE));
    l_int32 count = 0;
    if (!region || pixCountPixels(region.get(), &count, nullptr) != 0) continue;
    const double fill = double(count) / (double(w) * h);
    if (fill < kDiscFillMin || fill > kDiscFillMax) continue;
    // The hole grown by its rim, painted with the paper around it.
    PixPtr framed(pixAddBorder(region.get(), kHoleGrow, 0));
    if (!framed) continue;
    PixPtr grown(pixDilateBrick(nullptr, framed.get(), 2 * kHoleGrow + 1, 2 * kHoleGrow + 1));
    if (!grown) continue;
    const Fill colour = ringColour(r, x - kHoleGrow, y - kHoleGrow, x + w + kHoleGrow,
                                   y + h + kHoleGrow, std::max(2, big / 4));
    for (int yy = 0; yy < h + 2 * kHoleGrow; ++yy) {
      for (int xx = 0; xx < w + 2 * kHoleGrow; ++xx) {
        const int px = x - kHoleGrow + xx, py = y - kHoleGrow + yy;
        if (px < 0 || py < 0 || px >= r.width || py >= r.height) continue;
        if (maskBit(grown.get(), xx, yy)) fillPixel(r, px, py, colour);
      }
    }
    ++removed;
  }
  return removed;
}

void despeckle(Raster& r, int radius, int dots, bool zeroIsBlack) {
  if (r.bits != 1 || dots <= 0) return;
  quietLeptonica();
  PixPtr black(pixCreate(r.width, r.height, 1));
  if (!black) return;
  for (int y = 0; y < r.height; ++y)
    for (int x = 0; x < r.width; ++x)
      if (r.bit(x, y) != zeroIsBlack) {
        l_uint32* line = pixGetData(black.get()) + size_t(y) * size_t(pixGetWpl(black.get()));
        SET_DATA_BIT(line, x);
      }
  PIXA* rawPixa = nullptr;
  BoxaPtr boxes(pixConnComp(black.get(), &rawPixa, 8));
  PixaPtr regions(rawPixa);
  if (!boxes || !regions) return;
  const int side = 2 * std::max(radius, 0) + 1;
  for (int i = 0; i < pixaGetCount(regions.get()); ++i) {
    l_int32 x, y, w, h;
    if (boxaGetBoxGeometry(boxes.get(), i, &x, &y, &w, &h) != 0) continue;
    if (w > side || h > side) continue;
    PixPtr region(pixaGetPix(regions.get(), i, L_CLONE));
    l_int32 count = 0;
    if (!region || pixCountPixels(region.get(), &count, nullptr) != 0 || count > dots) continue;
    for (int yy = 0; yy < h; ++yy)
      for (int xx = 0; xx < w; ++xx)
        if (maskBit(region.get(), xx, yy)) r.setBit(x + xx, y + yy, zeroIsBlack);
  }
}

void fillEdges(Raster& r, int left, int top, int right, int bottom, const Fill& fill) {
  left = std::clamp(left, 0, r.width), right = std::clamp(right, 0, r.width);
  top = std::clamp(top, 0, r.height), bottom = std::clamp(bottom, 0, r.height);
  for (int y = 0; y < r.height; ++y) {
    const bool whole = y < top || y >= r.height - bottom;
    for (int x = 0; x < r.width; ++x)
      if (whole || x < left || x >= r.width - right) fillPixel(r, x, y, fill);
  }
}

void evenBackground(Raster& r, int sensitivity, bool toFill, const Fill& fill) {
  if (r.bits == 1) return;
  const int tolerance = 16 + 4 * std::clamp(sensitivity, 0, 20);
  // The dominant colour: the fullest cell of a coarse colour histogram, then the mean of the
  // pixels in that cell.
  constexpr int kCell = 16;
  std::vector<uint32_t> cells(size_t(kCell * kCell * kCell), 0);
  auto cellOf = [&](const uint8_t* p) {
    if (r.bits == 8) return size_t(p[0] / kCell) * (kCell * kCell + kCell + 1);
    return size_t(p[0] / kCell) * kCell * kCell + size_t(p[1] / kCell) * kCell +
           size_t(p[2] / kCell);
  };
  const int bpp = r.bits / 8;
  for (int y = 0; y < r.height; ++y)
    for (int x = 0; x < r.width; ++x) ++cells[cellOf(r.row(y) + size_t(x) * bpp)];
  const size_t best = size_t(std::max_element(cells.begin(), cells.end()) - cells.begin());
  uint64_t sum[3] = {0, 0, 0}, n = 0;
  for (int y = 0; y < r.height; ++y)
    for (int x = 0; x < r.width; ++x) {
      const uint8_t* p = r.row(y) + size_t(x) * bpp;
      if (cellOf(p) != best) continue;
      for (int c = 0; c < bpp; ++c) sum[c] += p[c];
      ++n;
    }
  if (n == 0) return;
  uint8_t dominant[3];
  for (int c = 0; c < 3; ++c) dominant[c] = uint8_t(sum[c < bpp ? c : 0] / n);
  const uint8_t target[3] = {toFill ? fill.r : dominant[0], toFill ? fill.g : dominant[1],
                             toFill ? fill.b : dominant[2]};
  for (int y = 0; y < r.height; ++y)
    for (int x = 0; x < r.width; ++x) {
      uint8_t* p = r.row(y) + size_t(x) * bpp;
      bool near = true;
      for (int c = 0; c < bpp && near; ++c)
        near = std::abs(int(p[c]) - int(dominant[c])) <= tolerance;
      if (near)
        for (int c = 0; c < bpp; ++c) p[c] = target[c];
    }
}

}  // namespace lumetra
