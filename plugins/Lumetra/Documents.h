#pragma once
// Documents on a scanned page: the scanner background is read from the page's outer frame,
// every pixel that differs from it belongs to a document, and each document is the smallest
// rectangle around one solid region of such pixels (so its skew is the rectangle's angle).
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

struct Background {
  uint8_t level = 0;   // grey level of the scanner background
  int tolerance = 24;  // a document pixel differs from it by more than this
};
Background backgroundOf(const Plane& p);

// The documents on the page, at least minSide pixels on each side: every one with `all`, in
// reading order (rows of documents top to bottom, each left to right), else the largest.
std::vector<Quad> findDocuments(const Plane& p, int minSide, bool all);

// The document cut out of the page; with deskew it is turned upright (bilinear for grey and
// colour), else its bounding box is copied. Pixels outside the page take the fill.
Raster cutOut(const Raster& page, const Quad& q, bool deskew, const Fill& fill);

// The smallest rectangle around a set of points (rotating calipers over their convex hull).
struct Point {
  double x, y;
};
Quad smallestRectangle(std::vector<Point> points);

}  // namespace lumetra
