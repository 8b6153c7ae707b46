#pragma once
// Tone steps: grey quality, thresholds to one bit, colour drop-out and colour keep.
#include <array>
#include <vector>

#include "plugins/Lumetra/Raster.h"

namespace lumetra {

// Grey output of grey or colour input. Document mode (mode 0): every pixel at or above the
// background level becomes white; photo mode (any other): the grey values as they are.
Raster grayQuality(const Raster& r, int mode, int backgroundLevel);

// One bit (set = white) of grey or colour input. Dynamic: Sauvola's local threshold with
// k = 0.5 - sensitivity / 250 (at least 0.05) over a window of a sixth of an inch, so a higher
// sensitivity keeps more faint print; fixed: white at or above the threshold.
Raster threshold(const Raster& r, bool dynamic, int sensitivity, int fixedThreshold, int xRes);

// A colour to drop or keep.
struct DropColour {
  int filter = 0;            // 1 red, 2 green, 3 blue, 4 the custom colours
  int chromaThreshold = 10;  // filters 1-3: the channel leads the others by more than this
  std::vector<std::array<uint8_t, 3>> custom;
  int tolerance = 10;  // custom: percent of full scale each channel may differ
  bool soft = false;   // quality mode: a soft edge instead of a hard decision
};
// How much of the pixel is the colour, 0 to 1.
double dropShare(const uint8_t* rgb, const DropColour& c);

// Colour to grey (or bits) with the colour turned into the background; grey values at or above
// backgroundLevel (when not 0) become white, bits are white at or above bwThreshold.
Raster dropColour(const Raster& r, const DropColour& c, uint8_t background, int backgroundLevel,
                  int outBits, int bwThreshold);
// Colour stays where it is the colour; everything else turns grey (still R, G, B).
Raster keepColour(const Raster& r, const DropColour& c);

}  // namespace lumetra
