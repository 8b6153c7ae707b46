#include "plugins/Lumetra/Detect.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>

#include "plugins/Lumetra/Documents.h"
#include "plugins/Lumetra/Lept.h"
#include "plugins/Lumetra/Lumetra.h"

namespace lumetra {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kInkContrast = 48;        // grey levels print differs from the paper
constexpr double kMarginShare = 0.03;   // of each side left out of the blank test
constexpr double kMinSheetShare = 0.4;  // of the page: a found region smaller is print, not a sheet
constexpr int kSpeckDivisor = 50;       // marks below 1/50 inch do not count as print
constexpr double kPartsPerMillionPerStep = 2;

// Patch sheets, in inches.
constexpr double kNarrowBar = 0.08, kWideBar = 0.20, kBarGap = 0.08;
constexpr double kBarSlack = 0.4;        // share a bar or gap may differ from its nominal width
constexpr double kQuietZone = 0.15;      // white on either side of the four bars
constexpr double kMinPatchLength = 0.5;  // length of bars that makes a patch
constexpr double kScanStep = 0.05;       // distance of the scan lines across the bars

}  // namespace

bool isBlank(const Raster& r, int xRes, int threshold, int background) {
  quietLeptonica();
  const int res = std::max(xRes, 1);
  const Plane g = greyPlane(r);
  // A sheet framed by the scanner background is read inside its edges (in place: turning it
  // would smear dust into marks); anything else (a cropped page, a sheet as wide as the feeder)
  // whole, so that a logo, a photo or a barcode on a cropped page is never taken for the sheet
  // and its surroundings for empty paper.
  Quad area;
  area.cx = g.width / 2.0, area.cy = g.height / 2.0, area.w = g.width, area.h = g.height;
  const Found found = findDocuments(g, std::max(4, res / 2), false, background);
  if (found.docs.size() == 1 &&
      found.docs.front().w * found.docs.front().h >= kMinSheetShare * double(g.width) * g.height)
    area = found.docs.front();
  const double a = area.angle * kPi / 180, c = std::cos(a), s = std::sin(a);
  const double halfW = area.w * (0.5 - kMarginShare), halfH = area.h * (0.5 - kMarginShare);
  auto inside = [&](int x, int y) {
    const double dx = x + 0.5 - area.cx, dy = y + 0.5 - area.cy;
    return std::fabs(dx * c + dy * s) <= halfW && std::fabs(-dx * s + dy * c) <= halfH;
  };
  std::array<uint64_t, 256> hist{};
  uint64_t total = 0;
  for (int y = 0; y < g.height; ++y)
    for (int x = 0; x < g.width; ++x)
      if (inside(x, y)) ++hist[g.at(x, y)], ++total;
  if (total == 0) return true;
  int paper = 0;
  for (uint64_t seen = 0; paper < 255 && (seen += hist[size_t(paper)]) * 2 < total;) ++paper;
  // Outside the area every pixel reads as paper.
  Plane read = g;
  for (int y = 0; y < g.height; ++y)
    for (int x = 0; x < g.width; ++x)
      if (!inside(x, y)) read.at(x, y) = uint8_t(paper);
  PixPtr ink = maskOf(read, [&](uint8_t v) { return std::abs(int(v) - paper) > kInkContrast; });
  if (!ink) return false;
  const int speck = std::max(2, res / kSpeckDivisor);
  PixPtr marks(
      pixSelectBySize(ink.get(), speck, speck, 8, L_SELECT_IF_EITHER, L_SELECT_IF_GTE, nullptr));
  if (!marks) return false;
  l_int32 count = 0;
  pixCountPixels(marks.get(), &count, nullptr);
  return count * 1e6 <= threshold * kPartsPerMillionPerStep * double(total);
}

bool hasColour(const Raster& r, int sensitivity) {
  if (r.bits != 24) return false;
  const int s = std::clamp(sensitivity, 1, 100);
  const int level = 16 + (100 - s);
  const uint64_t needed =
      std::max<uint64_t>(1, uint64_t(r.width) * uint64_t(r.height) * uint64_t(101 - s) / 100000);
  auto coloured = [&](const uint8_t* p) {
    return std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}) >= level;
  };
  // A pixel counts when its right, lower and lower-right neighbours are coloured as well, so
  // colour fringes one pixel wide along black print do not make a colour page.
  uint64_t count = 0;
  for (int y = 0; y + 1 < r.height; ++y) {
    const uint8_t* a = r.row(y);
    const uint8_t* b = r.row(y + 1);
    for (int x = 0; x + 1 < r.width; ++x)
      if (coloured(a + 3 * x) && coloured(a + 3 * x + 3) && coloured(b + 3 * x) &&
          coloured(b + 3 * x + 3) && ++count >= needed)
        return true;
  }
  return false;
}

namespace {

// The pattern index of four bars found in one line of dark/white samples, with the position of
// its first bar; -1 when the line holds no patch.
struct LineHit {
  int index;
  int start;
};

std::vector<LineHit> patchesInLine(const std::vector<uint8_t>& dark, double dpi) {
  std::vector<LineHit> hits;
  // Runs: (value, start, length).
  struct Run {
    uint8_t dark;
    int start, len;
  };
  std::vector<Run> runs;
  for (int i = 0; i < int(dark.size());) {
    int j = i;
    while (j < int(dark.size()) && dark[size_t(j)] == dark[size_t(i)]) ++j;
    runs.push_back({dark[size_t(i)], i, j - i});
    i = j;
  }
  auto near = [&](int len, double inches) {
    return std::fabs(len - inches * dpi) <= kBarSlack * inches * dpi;
  };
  const double quiet = kQuietZone * dpi;
  // white, bar, gap, bar, gap, bar, gap, bar, white
  for (size_t k = 0; k + 8 < runs.size(); ++k) {
    if (runs[k].dark) continue;
    const Run& before = runs[k];
    const Run& after = runs[k + 8];
    const bool edgeBefore = before.start == 0,
               edgeAfter = after.start + after.len == int(dark.size());
    if ((before.len < quiet && !edgeBefore) || (after.len < quiet && !edgeAfter)) continue;
    char pattern[5] = {};
    bool ok = true;
    for (int bar = 0; bar < 4 && ok; ++bar) {
      const Run& b = runs[k + 1 + 2 * size_t(bar)];
      if (near(b.len, kWideBar))
        pattern[bar] = 'W';
      else if (near(b.len, kNarrowBar))
        pattern[bar] = 'N';
      else
        ok = false;
      if (ok && bar < 3) ok = near(runs[k + 2 + 2 * size_t(bar)].len, kBarGap);
    }
    if (!ok) continue;
    for (int p = 0; p < int(std::size(kLumetraPatchPatterns)); ++p)
      if (strcmp(pattern, kLumetraPatchPatterns[p]) == 0) hits.push_back({p, runs[k + 1].start});
  }
  return hits;
}

// Scan lines across the bars (rows when the bars stand upright, columns when they lie).
int patchAcross(const Plane& g, bool rows, double dpiAcross, double dpiAlong) {
  const int lines = rows ? g.height : g.width, len = rows ? g.width : g.height;
  const int step = std::max(1, int(kScanStep * dpiAlong));
  const int needed = std::max(2, int(kMinPatchLength / kScanStep));
  std::map<std::pair<int, int>, int> votes;  // (index, start bucket) -> lines
  std::vector<uint8_t> dark(size_t(len), 0);
  const int bucket = std::max(1, int(kNarrowBar * dpiAcross / 2));
  for (int l = 0; l < lines; l += step) {
    for (int i = 0; i < len; ++i) dark[size_t(i)] = (rows ? g.at(i, l) : g.at(l, i)) < 128;
    for (const LineHit& h : patchesInLine(dark, dpiAcross)) {
      // Neighbouring buckets vote together so a bar edge on a bucket border still counts.
      for (int d = -1; d <= 1; ++d)
        if (++votes[{h.index, h.start / bucket + d}] >= needed) return h.index;
    }
  }
  return -1;
}

}  // namespace

int patchIndex(const Raster& r, int xRes, int yRes) {
  const Plane g = greyPlane(r);
  const double xr = std::max(xRes, 1), yr = std::max(yRes, 1);
  const int across = patchAcross(g, true, xr, yr);
  return across >= 0 ? across : patchAcross(g, false, yr, xr);
}

}  // namespace lumetra
