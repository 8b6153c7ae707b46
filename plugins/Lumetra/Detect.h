#pragma once
// Decisions about a whole page: blank, without colour, a patch sheet.
#include "plugins/Lumetra/Raster.h"

namespace lumetra {

// Blank when the print on the page covers at most threshold x 2 parts per million of it (marks
// smaller than 1/50 inch discounted, a 3% margin left out). A sheet that the scanner background
// frames is read inside its edges, any other page whole: a solid area (a logo, a photo, a
// barcode) is print. A higher threshold calls more pages blank. `background` is the caller's
// grey level of the scanner background (kNoBackgroundHint: none).
bool isBlank(const Raster& r, int xRes, int threshold, int background);

// Colour when enough pixels (in 2 x 2 blocks) have a chroma (largest minus smallest sample) of at
// least 16 + (100 - s): at least total x (101 - s) / 100,000 of them, s the sensitivity clamped
// to 1..100. A higher sensitivity finds colour on more pages. Grey and bits have no colour.
bool hasColour(const Raster& r, int sensitivity);

// The patch sheet's index in kLumetraPatchPatterns, or -1.
int patchIndex(const Raster& r, int xRes, int yRes);

}  // namespace lumetra
