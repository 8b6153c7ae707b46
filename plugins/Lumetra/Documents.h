#pragma once
// Documents on a scanned page. The scanner background is read where a feeder or a flatbed shows it
// (the page's corners; the caller's level decides between corners that disagree), and a sheet is
// the solid region that differs from it, its edges placed halfway between the background and the
// sheet's own margin level. A sheet as wide as the feeder, or only a little lighter or darker than
// the background, is found the same way; print left outside a found sheet shows that it is a
// piece of the page (a logo, a barcode), not the sheet, and nothing is found then.
#include <vector>

#include "plugins/Lumetra/Raster.h"

namespace lumetra {

// A document: centre, size along its own axes, and its angle in degrees (-45 to 45; positive
// turns its top edge clockwise on the page, rows growing downwards).
struct Quad {
  double cx = 0, cy = 0;
  double w = 0, h = 0;
  double angle = 0;
  int left = 0, top = 0, right = 0, bottom = 0;  // bounding box on the page, right/bottom open
};

// What was found: the documents, and whether the page holds anything other than background.
struct Found {
  std::vector<Quad> docs;
  bool content = false;  // something differs from the background (set also without documents)
};

// No level from the caller: the page's own corners decide alone.
inline constexpr int kNoBackgroundHint = -1;

// The caller's level of the feeder's background; the flatbed's lid is read from the page alone.
inline int backgroundHint(const NIDATA_InImage& in) {
  return in.ScanType != 0 ? int(in.BackgroundColor) : kNoBackgroundHint;
}

// The documents on the page, at least minSide pixels on each side: every one with `all`, in
// reading order (rows of documents top to bottom, each left to right), else the largest when it
// is the page's only content. `hint` is the caller's grey level of the scanner background.
Found findDocuments(const Plane& p, int minSide, bool all, int hint = kNoBackgroundHint);

// The document cut out of the page; with deskew it is turned upright (bilinear for grey and
// colour), else its bounding box is copied. Pixels outside the page take the fill.
Raster cutOut(const Raster& page, const Quad& q, bool deskew, const Fill& fill);

// The smallest rectangle around a set of points (rotating calipers over their convex hull).
struct Point {
  double x, y;
};
Quad smallestRectangle(std::vector<Point> points);

}  // namespace lumetra
