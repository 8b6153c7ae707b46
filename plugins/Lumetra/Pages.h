#pragma once
// Whole-page steps that produce a new image: crop and deskew (with the flatbed's several
// documents), turning text upright, and merging the two sides of a sheet.
#include <vector>

#include "plugins/Lumetra/Raster.h"

namespace lumetra {

// Clockwise quarter turns that put the page's text upright (0 when undecided).
int uprightTurns(const Raster& r, int xRes);

// Crop, deskew and orientation as the record's AutoCrop and Rotate ask; the documents in
// reading order (one unless AutoCrop asks for every document).
Result cropPage(const Raster& page, const NIDATA& ni, std::vector<Raster>* docs);

// The flatbed's further documents, waiting for GetMultipleImage.
void keepPending(std::vector<Raster> docs);
// Takes the next one; false when none waits. `left` is how many wait after it.
bool takePending(Raster* out, int* left);
void dropPending();

// Front and rear side by side (or the rear below), each cropped first when the record asks.
Result mergeSides(const Raster& front, const Raster& rear, const NIDATA& ni, Raster* out);

}  // namespace lumetra
