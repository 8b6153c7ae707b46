#include "plugins/Lumetra/Documents.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "plugins/Lumetra/Lept.h"

namespace lumetra {

namespace {
constexpr int kFrame = 2;          // rows and columns of the outer frame read as background
constexpr int kMinTolerance = 24;  // grey levels a document differs from the background
constexpr int kMaxTolerance = 64;
constexpr double kMinSolidity = 0.8;  // share of its rectangle a document region fills
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

uint8_t median(std::vector<uint8_t> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
  return v[v.size() / 2];
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

Background backgroundOf(const Plane& p) {
  std::vector<uint8_t> frame;
  const int fw = std::min(kFrame, p.width), fh = std::min(kFrame, p.height);
  for (int y = 0; y < p.height; ++y) {
    const bool edgeRow = y < fh || y >= p.height - fh;
    for (int x = 0; x < p.width; ++x)
      if (edgeRow || x < fw || x >= p.width - fw) frame.push_back(p.at(x, y));
  }
  Background bg;
  bg.level = median(frame);
  for (uint8_t& v : frame) v = uint8_t(std::abs(int(v) - int(bg.level)));
  bg.tolerance = std::clamp(kMinTolerance + 2 * int(median(frame)), kMinTolerance, kMaxTolerance);
  return bg;
}

std::vector<Quad> findDocuments(const Plane& p, int minSide, bool all) {
  std::vector<Quad> docs;
  const Background bg = backgroundOf(p);
  PixPtr mask =
      maskOf(p, [&](uint8_t v) { return std::abs(int(v) - int(bg.level)) > bg.tolerance; });
  if (!mask) return docs;
  // Scanner noise away, then the document's own dark print (holes in its region) filled in.
  if (p.width >= 3 && p.height >= 3) mask.reset(pixOpenBrick(nullptr, mask.get(), 3, 3));
  if (!mask) return docs;
  PixPtr holes(pixHolesByFilling(mask.get(), 4));
  if (holes) pixOr(mask.get(), mask.get(), holes.get());
  PIXA* rawPixa = nullptr;
  BoxaPtr boxes(pixConnComp(mask.get(), &rawPixa, 8));
  PixaPtr regions(rawPixa);
  if (!boxes || !regions) return docs;
  double bestArea = 0;
  for (int i = 0; i < pixaGetCount(regions.get()); ++i) {
    l_int32 x, y, w, h;
    if (boxaGetBoxGeometry(boxes.get(), i, &x, &y, &w, &h) != 0) continue;
    if (w < minSide || h < minSide) continue;
    PixPtr region(pixaGetPix(regions.get(), i, L_CLONE));
    if (!region) continue;
    l_int32 count = 0;
    pixCountPixels(region.get(), &count, nullptr);
    Quad q = smallestRectangle(rowEnds(region.get(), x, y));
    if (q.w * q.h <= 0 || count < kMinSolidity * q.w * q.h) continue;
    if (all) {
      docs.push_back(q);
    } else if (count > bestArea) {
      bestArea = count;
      docs.assign(1, q);
    }
  }
  if (all) {
    // Reading order: a document belongs to the row of an earlier one when their heights overlap
    // by half the smaller one.
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
      std::sort(row.begin(), row.end(),
                [](const Quad& a, const Quad& b) { return a.left < b.left; });
      docs.insert(docs.end(), row.begin(), row.end());
    }
  }
  return docs;
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
