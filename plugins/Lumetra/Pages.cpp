#include "plugins/Lumetra/Pages.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "plugins/Lumetra/Documents.h"
#include "plugins/Lumetra/Lept.h"
#include "plugins/Lumetra/Lumetra.h"

namespace lumetra {

namespace {

constexpr double kNoSkew = 0.05;        // degrees below which a document is copied, not turned
constexpr int kOrientationDpi = 200;    // orientation works on text near this resolution
constexpr uint8_t kInkThreshold = 128;  // darker pixels are print for the orientation test
constexpr double kLinesClearer =
    1.2;  // the text lines' direction: its profile varies this much more

std::mutex gPendingMutex;
std::deque<Raster> gPending;

// The cut of the front of a duplex sheet, for a rear whose own edges do not show when one cut
// serves both sides.
struct FrontCut {
  bool valid = false;
  uint16_t page = 0;
  int width = 0;
  Quad quad;
};
std::mutex gFrontMutex;
FrontCut gFront;

bool isRearOfDuplex(const NIDATA_InImage& in) { return in.ScanType == 2 && (in.CurPages & 1) == 0; }

int forcedTurns() {
  const char* v = getenv(kLumetraForceOrientationEnv);
  if (!v || !*v) return -1;
  return (atoi(v) / 90) & 3;
}

enum class Lines { horizontal, vertical, unclear };

// Which way the text lines of an ink mask run: across them, ink comes and goes with the lines
// and their gaps, so the sums of the rows (for horizontal lines) vary much more than the sums of
// the columns, and the other way round.
Lines linesOf(PIX* ink) {
  const int w = int(pixGetWidth(ink)), h = int(pixGetHeight(ink));
  std::vector<double> rows(size_t(h), 0), columns(size_t(w), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (maskBit(ink, x, y)) ++rows[size_t(y)], ++columns[size_t(x)];
  // Spread relative to the mean, over the stretch between the first and the last ink.
  auto variation = [](const std::vector<double>& sums) {
    auto first = std::find_if(sums.begin(), sums.end(), [](double v) { return v > 0; });
    auto last = std::find_if(sums.rbegin(), sums.rend(), [](double v) { return v > 0; }).base();
    if (first >= last) return 0.0;
    double mean = 0, square = 0;
    for (auto i = first; i != last; ++i) mean += *i, square += *i * *i;
    const double n = double(last - first);
    mean /= n;
    return std::sqrt(std::max(0.0, square / n - mean * mean)) / mean;
  };
  const double across = variation(rows), down = variation(columns);
  if (across > kLinesClearer * down) return Lines::horizontal;
  if (down > kLinesClearer * across) return Lines::vertical;
  return Lines::unclear;
}

}  // namespace

int uprightTurns(const Raster& r, int xRes) {
  const int forced = forcedTurns();
  if (forced >= 0) return forced;
  quietLeptonica();
  PixPtr ink = maskOf(greyPlane(r), [](uint8_t v) { return v < kInkThreshold; });
  for (int res = xRes; ink && res > kOrientationDpi * 3 / 2; res /= 2)
    ink.reset(pixReduceRankBinary2(ink.get(), 1, nullptr));
  if (!ink) return 0;
  l_float32 up = 0, left = 0;
  if (pixOrientDetect(ink.get(), &up, &left, 0, 0) != 0) return 0;
  // Leptonica's own bars (its defaults): a page whose text does not clearly read one way is
  // left as it is, since turning an upright page sideways is worse than not turning at all.
  l_int32 orient = L_TEXT_ORIENT_UNKNOWN;
  if (makeOrientDecision(up, left, 0, 0, &orient, 0) != 0) return 0;
  // The decision must agree with the direction the text lines run: small or dense print can
  // make the sideways reading look confident on a page whose lines are plainly horizontal.
  const Lines lines = linesOf(ink.get());
  const bool sideways = orient == L_TEXT_ORIENT_LEFT || orient == L_TEXT_ORIENT_RIGHT;
  if (sideways ? lines != Lines::vertical : lines != Lines::horizontal) return 0;
  switch (orient) {
    case L_TEXT_ORIENT_DOWN:
      return 2;
    case L_TEXT_ORIENT_LEFT:  // text reading upwards wants a clockwise quarter turn
      return 1;
    case L_TEXT_ORIENT_RIGHT:
      return 3;
    default:
      return 0;
  }
}

Result cropPage(const Raster& page, const NIDATA& ni, std::vector<Raster>* docs) {
  const NIDATA_InImage& in = ni.InImage;
  const uint8_t crop = ni.OutImage.AutoCrop;
  const bool cut = crop & kLumetraCropOn, deskew = ni.OutImage.Rotate >= 1,
             upright = ni.OutImage.Rotate >= 2, all = crop & kLumetraCropMultiple;
  const Fill fill = fillOf(ni, page.bits);
  docs->clear();
  std::vector<Quad> quads;
  if (cut || deskew) {
    const int res = std::max<int>(in.XRes, 1);
    const int minSide = std::max(4, all ? res / 2 : res / 4);
    bool fromFront = false, searched = false;
    Found f;
    if ((crop & kLumetraCropSameForRear) && isRearOfDuplex(in)) {
      // The rear's own edges where they show: the caller numbers the pages it keeps, so after a
      // dropped blank page the next sheet's front comes numbered as a rear.
      f = findDocuments(greyPlane(page), minSide, all, backgroundHint(in));
      searched = true;
      std::lock_guard<std::mutex> lock(gFrontMutex);
      if (f.docs.empty() && gFront.valid && gFront.page + 1 == in.CurPages &&
          gFront.width == page.width) {
        // The rear is the front seen through the sheet: the same cut, mirrored.
        Quad q = gFront.quad;
        q.cx = page.width - q.cx;
        q.angle = -q.angle;
        const int l = page.width - q.right, r = page.width - q.left;
        q.left = l, q.right = r;
        quads.push_back(q);
        fromFront = true;
      }
    }
    bool whole = false;
    if (!fromFront) {
      if (!searched) f = findDocuments(greyPlane(page), minSide, all, backgroundHint(in));
      if (f.docs.empty() && !f.content) return kNothingFound;
      // Print but no sheet found with confidence: the page as scanned, never a piece of it.
      whole = f.docs.empty();
      quads = std::move(f.docs);
    }
    if (whole) {
      Quad q;
      q.cx = page.width / 2.0, q.cy = page.height / 2.0;
      q.w = page.width, q.h = page.height;
      q.right = page.width, q.bottom = page.height;
      quads.push_back(q);
    }
    if ((crop & kLumetraCropSameForRear) && !isRearOfDuplex(in)) {
      std::lock_guard<std::mutex> lock(gFrontMutex);
      gFront = {true, in.CurPages, page.width, quads.front()};
    }
  } else {
    quads.push_back({});  // neither cut nor straighten: the page itself
  }
  try {
    for (Quad q : quads) {
      if (std::fabs(q.angle) < kNoSkew) q.angle = 0;
      if (!cut) {
        q.cx = page.width / 2.0, q.cy = page.height / 2.0;
        q.w = page.width, q.h = page.height;
        q.left = q.top = 0, q.right = page.width, q.bottom = page.height;
      }
      Raster r = (cut || (deskew && q.angle != 0)) ? cutOut(page, q, deskew, fill) : page;
      if (upright) r = turnClockwise(r, uprightTurns(r, in.XRes));
      docs->push_back(std::move(r));
    }
  } catch (const std::bad_alloc&) {
    docs->clear();
    return kNoMemory;
  }
  return kOk;
}

void keepPending(std::vector<Raster> docs) {
  std::lock_guard<std::mutex> lock(gPendingMutex);
  gPending.assign(std::make_move_iterator(docs.begin()), std::make_move_iterator(docs.end()));
}

bool takePending(Raster* out, int* left) {
  std::lock_guard<std::mutex> lock(gPendingMutex);
  if (gPending.empty()) return false;
  *out = std::move(gPending.front());
  gPending.pop_front();
  *left = int(gPending.size());
  return true;
}

void dropPending() {
  std::lock_guard<std::mutex> lock(gPendingMutex);
  gPending.clear();
  std::lock_guard<std::mutex> front(gFrontMutex);
  gFront = {};
}

namespace {
void blit(Raster& dst, const Raster& src, int x0, int y0) {
  for (int y = 0; y < src.height; ++y) {
    if (src.bits == 1) {
      for (int x = 0; x < src.width; ++x) dst.setBit(x0 + x, y0 + y, src.bit(x, y));
    } else {
      const int bpp = src.bits / 8;
      memcpy(dst.row(y0 + y) + size_t(x0) * bpp, src.row(y), src.stride());
    }
  }
}
}  // namespace

Result mergeSides(const Raster& front, const Raster& rear, const NIDATA& ni, Raster* out) {
  if (!(ni.OutImage.Merge2Side & 1)) return kBadMode;
  const Raster* sides[2] = {&front, &rear};
  Raster cut[2];
  for (int i = 0; i < 2; ++i) {
    std::vector<Raster> docs;
    NIDATA one = ni;
    one.OutImage.AutoCrop &= uint8_t(~(kLumetraCropMultiple | kLumetraCropSameForRear));
    const bool asked = (one.OutImage.AutoCrop & kLumetraCropOn) || one.OutImage.Rotate >= 1;
    // A side without a document to find (a blank rear) is merged as it was scanned.
    if (asked && cropPage(*sides[i], one, &docs).ok() && !docs.empty())
      cut[i] = std::move(docs.front());
    else
      cut[i] = *sides[i];
  }
  const bool vertical = ni.OutImage.Merge2Side & kLumetraMergeVertical;
  const int w = vertical ? std::max(cut[0].width, cut[1].width) : cut[0].width + cut[1].width;
  const int h = vertical ? cut[0].height + cut[1].height : std::max(cut[0].height, cut[1].height);
  try {
    *out = Raster(w, h, front.bits);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  const Fill fill = fillOf(ni, front.bits);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) fillPixel(*out, x, y, fill);
  blit(*out, cut[0], 0, 0);
  blit(*out, cut[1], vertical ? 0 : cut[0].width, vertical ? cut[0].height : 0);
  return kOk;
}

}  // namespace lumetra
