#include "plugins/Lumetra/Documents.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "plugins/Lumetra/Lept.h"

namespace lumetra {

namespace {
constexpr int kCornerDivisor = 50;    // a corner patch's side: the page's shorter side / this
constexpr int kCornerAgreement = 12;  // grey levels within which corners show one background
constexpr int kMinContrast = 6;       // grey levels a sheet differs from the background at least...
constexpr int kSpreadFactor = 4;      // ...and this many times the background's own spread
// The margin ring read for a sheet's level: minSide / this, and at least wide enough that the
// smoothed edge (two pixels) stays a minority of it.
constexpr int kRingDivisor = 4;
constexpr int kMinRing = 6;
constexpr int kSeam = 7;         // widest seam through a sheet that is bridged
constexpr int kEdgeBlur = 5;     // the smoothed edge and a pixel each side, left out of the ring
constexpr int kFaintShare = 10;  // the margin's faintest tenth sets its contrast
constexpr double kMinSolidity = 0.8;      // share of its rectangle a document region fills
constexpr double kMaxStrayShare = 0.002;  // of the page: marks left outside a sheet
constexpr double kPi = 3.14159265358979323846;

double cross(const Point& o, const Point& a, const Point& b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

std::vector<Point> convexHull(std::vector<Point> p) {
  std::sort(p.begin(), p.end(),
            [](const Point& a, const Point& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
  p.erase(std::unique(p.begin(), p.end(),
                      [](const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }),
          p.end());
  if (p.size() < 3) return p;
  std::vector<Point> h(2 * p.size());
  size_t k = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    while (k >= 2 && cross(h[k - 2], h[k - 1], p[i]) <= 0) --k;
    h[k++] = p[i];
  }
  for (size_t i = p.size() - 1, t = k + 1; i > 0; --i) {
    while (k >= t && cross(h[k - 2], h[k - 1], p[i - 1]) <= 0) --k;
    h[k++] = p[i - 1];
  }
  h.resize(k - 1);
  return h;
}

// Corner points of one region's rows: enough for its hull.
std::vector<Point> rowEnds(PIX* region, int x0, int y0) {
  std::vector<Point> pts;
  const int w = int(pixGetWidth(region)), h = int(pixGetHeight(region));
  for (int y = 0; y < h; ++y) {
    int first = -1, last = -1;
    for (int x = 0; x < w; ++x) {
      if (maskBit(region, x, y)) {
        if (first < 0) first = x;
        last = x;
      }
    }
    if (first < 0) continue;
    const double top = y0 + y, bottom = y0 + y + 1;
    pts.push_back({double(x0 + first), top});
    pts.push_back({double(x0 + first), bottom});
    pts.push_back({double(x0 + last + 1), top});
    pts.push_back({double(x0 + last + 1), bottom});
  }
  return pts;
}

int medianOf(std::vector<uint8_t> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
  return v[v.size() / 2];
}

// A 3 x 3 mean: scanner noise and dust no longer decide where a sheet's edge lies.
Plane smoothed(const Plane& p) {
  if (p.width < 3 || p.height < 3) return p;
  PixPtr grey = pix8Of(p);
  PixPtr mean(grey ? pixBlockconv(grey.get(), 1, 1) : nullptr);
  return mean ? planeOf(mean.get()) : p;
}

struct Background {
  int level = 0;
  int spread = 0;  // median distance of the patch's pixels from its level
};

// The background levels the page's corners show, the one most corners agree on first; corners
// that split evenly are ordered by the caller's level, else by the frame's.
std::vector<Background> backgroundsOf(const Plane& s, int hint) {
  const int side = std::max(1, std::min(s.width, s.height) / kCornerDivisor);
  std::vector<Background> corners;
  for (int cy : {0, s.height - side}) {
    for (int cx : {0, s.width - side}) {
      std::vector<uint8_t> v;
      for (int y = cy; y < cy + side; ++y)
        for (int x = cx; x < cx + side; ++x) v.push_back(s.at(x, y));
      Background b;
      b.level = medianOf(v);
      for (uint8_t& e : v) e = uint8_t(std::abs(int(e) - b.level));
      b.spread = medianOf(v);
      corners.push_back(b);
    }
  }
  if (hint < 0) {
    std::vector<uint8_t> frame;
    for (int x = 0; x < s.width; ++x)
      frame.push_back(s.at(x, 0)), frame.push_back(s.at(x, s.height - 1));
    for (int y = 0; y < s.height; ++y)
      frame.push_back(s.at(0, y)), frame.push_back(s.at(s.width - 1, y));
    hint = medianOf(frame);
  }
  auto support = [&](const Background& b) {
    return std::count_if(corners.begin(), corners.end(), [&](const Background& c) {
      return std::abs(c.level - b.level) <= kCornerAgreement;
    });
  };
  std::stable_sort(corners.begin(), corners.end(), [&](const Background& a, const Background& b) {
    const auto sa = support(a), sb = support(b);
    if (sa != sb) return sa > sb;
    return std::abs(a.level - hint) < std::abs(b.level - hint);
  });
  std::vector<Background> out;
  for (const Background& c : corners) {
    bool seen = false;
    for (Background& o : out) {
      if (std::abs(o.level - c.level) <= kCornerAgreement) {
        o.spread = std::max(o.spread, c.spread);
        seen = true;
      }
    }
    if (!seen) out.push_back(c);
  }
  return out;
}

// Pixels that differ from the background by more than `threshold`, noise opened away, seams
// bridged and the holes that print leaves in a sheet filled.
PixPtr differing(const Plane& s, int level, int threshold) {
  PixPtr mask = maskOf(s, [&](uint8_t v) { return std::abs(int(v) - level) > threshold; });
  if (mask && s.width >= 3 && s.height >= 3) mask.reset(pixOpenBrick(nullptr, mask.get(), 3, 3));
  // Thin seams where a sheet's own content happens to match the background do not cut it up.
  if (mask) mask.reset(pixCloseSafeBrick(nullptr, mask.get(), kSeam, kSeam));
  if (!mask) return mask;
  PixPtr holes(pixHolesByFilling(mask.get(), 4));
  if (holes) pixOr(mask.get(), mask.get(), holes.get());
  return mask;
}

struct Region {
  Quad q;
  l_int32 count = 0;
  int x = 0, y = 0;
  PixPtr pix;
};

// The solid regions of a mask with at least minSide pixels on each side.
std::vector<Region> regionsOf(PIX* mask, int minSide) {
  std::vector<Region> out;
  PIXA* rawPixa = nullptr;
  BoxaPtr boxes(pixConnComp(mask, &rawPixa, 8));
  PixaPtr regions(rawPixa);
  if (!boxes || !regions) return out;
  for (int i = 0; i < pixaGetCount(regions.get()); ++i) {
    l_int32 x, y, w, h;
    if (boxaGetBoxGeometry(boxes.get(), i, &x, &y, &w, &h) != 0) continue;
    if (w < minSide || h < minSide) continue;
    Region r;
    r.pix.reset(pixaGetPix(regions.get(), i, L_CLONE));
    if (!r.pix) continue;
    pixCountPixels(r.pix.get(), &r.count, nullptr);
    r.q = smallestRectangle(rowEnds(r.pix.get(), x, y));
    if (r.q.w * r.q.h <= 0 || r.count < kMinSolidity * r.q.w * r.q.h) continue;
    r.x = x, r.y = y;
    out.push_back(std::move(r));
  }
  return out;
}

// How far a region's margin stands from the background: the ring just inside its edge (past
// the smoothed edge itself), at its faintest tenth, so that a sheet whose margin is not one
// level (a pattern, a photo to the edge) keeps the low threshold it was found with.
int marginContrast(const Plane& s, const Region& r, int ring, int background) {
  PixPtr outer(pixErodeBrick(nullptr, r.pix.get(), kEdgeBlur, kEdgeBlur));
  PixPtr inner(pixErodeBrick(nullptr, r.pix.get(), 2 * ring + 1, 2 * ring + 1));
  if (!outer) return 0;
  std::vector<uint8_t> v;
  const int w = int(pixGetWidth(r.pix.get())), h = int(pixGetHeight(r.pix.get()));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (maskBit(outer.get(), x, y) && !(inner && maskBit(inner.get(), x, y)))
        v.push_back(uint8_t(std::abs(int(s.at(r.x + x, r.y + y)) - background)));
  if (v.empty()) return 0;
  const auto faint = v.begin() + long(v.size() / kFaintShare);
  std::nth_element(v.begin(), faint, v.end());
  return *faint;
}

// Marks of `mask` farther than `reach` from the region.
l_int32 strayMarks(PIX* mask, const Region& r, int reach) {
  PixPtr around(pixCreate(pixGetWidth(mask), pixGetHeight(mask), 1));
  if (!around) return 0;
  pixRasterop(around.get(), r.x, r.y, pixGetWidth(r.pix.get()), pixGetHeight(r.pix.get()),
              PIX_SRC | PIX_DST, r.pix.get(), 0, 0);
  around.reset(pixDilateBrick(nullptr, around.get(), 2 * reach + 1, 2 * reach + 1));
  if (!around) return 0;
  PixPtr stray(pixSubtract(nullptr, mask, around.get()));
  l_int32 count = 0;
  if (stray) pixCountPixels(stray.get(), &count, nullptr);
  return count;
}

void readingOrder(std::vector<Quad>& docs) {
  // A document belongs to the row of an earlier one when their heights overlap by half the
  // smaller one.
  std::sort(docs.begin(), docs.end(), [](const Quad& a, const Quad& b) { return a.top < b.top; });
  std::vector<std::vector<Quad>> rows;
  for (const Quad& q : docs) {
    bool placed = false;
    for (auto& row : rows) {
      const Quad& r = row.front();
      const int overlap = std::min(r.bottom, q.bottom) - std::max(r.top, q.top);
      if (overlap * 2 >= std::min(r.bottom - r.top, q.bottom - q.top)) {
        row.push_back(q), placed = true;
        break;
      }
    }
    if (!placed) rows.push_back({q});
  }
  docs.clear();
  for (auto& row : rows) {
    std::sort(row.begin(), row.end(), [](const Quad& a, const Quad& b) { return a.left < b.left; });
    docs.insert(docs.end(), row.begin(), row.end());
  }
}

}  // namespace

Quad smallestRectangle(std::vector<Point> points) {
  Quad best;
  const std::vector<Point> hull = convexHull(std::move(points));
  if (hull.empty()) return best;
  double bestArea = -1;
  const size_t n = hull.size();
  for (size_t i = 0; i < n; ++i) {
    const Point& a = hull[i];
    const Point& b = hull[(i + 1) % n];
    double dx = b.x - a.x, dy = b.y - a.y;
    const double len = std::hypot(dx, dy);
    if (n < 3 || len == 0)
      dx = 1, dy = 0;
    else
      dx /= len, dy /= len;
    double umin = 1e300, umax = -1e300, vmin = 1e300, vmax = -1e300;
    for (const Point& p : hull) {
      const double u = p.x * dx + p.y * dy, v = -p.x * dy + p.y * dx;
      umin = std::min(umin, u), umax = std::max(umax, u);
      vmin = std::min(vmin, v), vmax = std::max(vmax, v);
    }
    const double area = (umax - umin) * (vmax - vmin);
    if (bestArea < 0 || area < bestArea) {
      bestArea = area;
      const double cu = (umin + umax) / 2, cv = (vmin + vmax) / 2;
      best.cx = cu * dx - cv * dy;
      best.cy = cu * dy + cv * dx;
      best.w = umax - umin;
      best.h = vmax - vmin;
      best.angle = std::atan2(dy, dx) * 180 / kPi;
    }
    if (n < 3) break;
  }
  while (best.angle > 45) best.angle -= 90, std::swap(best.w, best.h);
  while (best.angle <= -45) best.angle += 90, std::swap(best.w, best.h);
  double l = 1e300, t = 1e300, r = -1e300, btm = -1e300;
  for (const Point& p : hull)
    l = std::min(l, p.x), r = std::max(r, p.x), t = std::min(t, p.y), btm = std::max(btm, p.y);
  best.left = int(std::floor(l)), best.top = int(std::floor(t));
  best.right = int(std::ceil(r)), best.bottom = int(std::ceil(btm));
  return best;
}

Found findDocuments(const Plane& p, int minSide, bool all, int hint) {
  Found found;
  if (p.width < 1 || p.height < 1) return found;
  const Plane s = smoothed(p);
  const int ring = std::max(kMinRing, minSide / kRingDivisor);
  for (const Background& bg : backgroundsOf(s, hint)) {
    const int loose = std::max(kMinContrast, kSpreadFactor * bg.spread);
    PixPtr any = differing(s, bg.level, loose);
    if (!any) continue;
    l_int32 marks = 0;
    pixCountPixels(any.get(), &marks, nullptr);
    if (marks == 0) continue;
    found.content = true;
    std::vector<Region> regions = regionsOf(any.get(), minSide);
    if (regions.empty()) continue;
    // The edge halfway between the background and the faintest sheet's margin: unbiased by the
    // smoothing, and as far from the noise as the contrast allows.
    int contrast = 255;
    for (const Region& r : regions)
      contrast = std::min(contrast, marginContrast(s, r, ring, bg.level));
    const int edge = std::max(loose, contrast / 2);
    if (edge > loose) {
      PixPtr sharp = differing(s, bg.level, edge);
      if (!sharp) continue;
      regions = regionsOf(sharp.get(), minSide);
    }
    if (regions.empty()) continue;
    if (all) {
      for (const Region& r : regions) found.docs.push_back(r.q);
      readingOrder(found.docs);
      return found;
    }
    const Region& largest =
        *std::max_element(regions.begin(), regions.end(),
                          [](const Region& a, const Region& b) { return a.count < b.count; });
    if (strayMarks(any.get(), largest, ring) > kMaxStrayShare * double(p.width) * p.height)
      continue;
    found.docs.push_back(largest.q);
    return found;
  }
  return found;
}

Raster cutOut(const Raster& page, const Quad& q, bool deskew, const Fill& fill) {
  if (!deskew) {
    const int l = std::clamp(q.left, 0, page.width - 1), t = std::clamp(q.top, 0, page.height - 1);
    const int r = std::clamp(q.right, l + 1, page.width),
              b = std::clamp(q.bottom, t + 1, page.height);
    Raster out(r - l, b - t, page.bits);
    for (int y = t; y < b; ++y) {
      if (page.bits == 1) {
        for (int x = l; x < r; ++x) out.setBit(x - l, y - t, page.bit(x, y));
      } else {
        const int bpp = page.bits / 8;
        memcpy(out.row(y - t), page.row(y) + size_t(l) * bpp, size_t(r - l) * bpp);
      }
    }
    return out;
  }
  const int w = std::max(1, int(std::lround(q.w))), h = std::max(1, int(std::lround(q.h)));
  Raster out(w, h, page.bits);
  const double a = q.angle * kPi / 180, c = std::cos(a), s = std::sin(a);
  const int bpp = page.bits / 8;
  for (int v = 0; v < h; ++v) {
    for (int u = 0; u < w; ++u) {
      const double du = u + 0.5 - w / 2.0, dv = v + 0.5 - h / 2.0;
      const double fx = q.cx + du * c - dv * s - 0.5, fy = q.cy + du * s + dv * c - 0.5;
      if (fx < -0.5 || fy < -0.5 || fx > page.width - 0.5 || fy > page.height - 0.5) {
        fillPixel(out, u, v, fill);
        continue;
      }
      if (page.bits == 1) {
        const int x = std::clamp(int(std::lround(fx)), 0, page.width - 1);
        const int y = std::clamp(int(std::lround(fy)), 0, page.height - 1);
        out.setBit(u, v, page.bit(x, y));
        continue;
      }
      const int x0 = std::clamp(int(std::floor(fx)), 0, page.width - 1);
      const int y0 = std::clamp(int(std::floor(fy)), 0, page.height - 1);
      const int x1 = std::min(x0 + 1, page.width - 1), y1 = std::min(y0 + 1, page.height - 1);
      const double wx = std::clamp(fx - x0, 0.0, 1.0), wy = std::clamp(fy - y0, 0.0, 1.0);
      const uint8_t* r0 = page.row(y0);
      const uint8_t* r1 = page.row(y1);
      uint8_t* d = out.row(v) + size_t(u) * bpp;
      for (int k = 0; k < bpp; ++k) {
        const double top = r0[x0 * bpp + k] * (1 - wx) + r0[x1 * bpp + k] * wx;
        const double bottom = r1[x0 * bpp + k] * (1 - wx) + r1[x1 * bpp + k] * wx;
        d[k] = uint8_t(std::clamp(top * (1 - wy) + bottom * wy + 0.5, 0.0, 255.0));
      }
    }
  }
  return out;
}

}  // namespace lumetra
