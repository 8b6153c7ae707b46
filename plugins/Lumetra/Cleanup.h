#pragma once
// In-place clean-up of a page: punch holes, specks, edges, background.
#include "plugins/Lumetra/Raster.h"

namespace lumetra {

// Round marks of 0.1 to 0.5 inch whose centre lies within an inch of an edge (punch holes
// showing the scanner background) are painted with the paper's colour. Answers how many.
int removePunchHoles(Raster& r, int xRes);

// Black specks of at most `dots` pixels that fit in a square of 2 x radius + 1 become white.
// zeroIsBlack: a clear bit is black (the data source's convention), else a set bit.
void despeckle(Raster& r, int radius, int dots, bool zeroIsBlack);

// Margins of the given widths painted with the fill.
void fillEdges(Raster& r, int left, int top, int right, int bottom, const Fill& fill);

// Background processing (grey and colour): pixels within the tolerance of the page's dominant
// colour are evened out to that colour, or to the fill with `toFill`. The tolerance is
// 16 + 4 x sensitivity (sensitivity capped at 20).
void evenBackground(Raster& r, int sensitivity, bool toFill, const Fill& fill);

}  // namespace lumetra
