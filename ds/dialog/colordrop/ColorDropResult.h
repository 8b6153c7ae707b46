#pragma once
// The colour drop-out page's preview result and eye dropper: the colour under the pointer as
// the side's custom colour, the records handed to the data source's drop-out, and the run
// that turns the preview raster into "colorDrop.bmp".
#include <cstdint>
#include <string>
#include <vector>

#include "ds/dialog/DialogContext.h"
#include "ds/dialog/colordrop/ColorDropPage.h"
#include "ds/scan/records/ColorDropParam.h"
#include "ds/scan/records/XferImageInfo.h"

namespace ferrolite::dialog {

// A colour component 0.0-1.0 as a settings byte: trunc(c x 255) in single precision (0.999
// gives 254, 1.0 gives 255).
uint8_t colourByte(float component);

// The picked colours: the committed one and the one under the pointer.
struct PickedColours {
  WellColour committed{128.0f / 255.0f, 128.0f / 255.0f, 128.0f / 255.0f, 1.0f};
  WellColour underPointer{};
};

// "CustomColorChange" (the colour under the pointer) and "setCustomColor" (the committed
// colour back): the well, the bound slider values and, for a grey or black-and-white side, its
// custom colour bytes.
struct CustomColourShown {
  WellColour well;
  int64_t mRedValue, mGreenValue, mBlueValue;
};
CustomColourShown customColorChange(DialogContext& ctx, int64_t mode, PickedColours& colours,
                                    WellColour underPointer);
CustomColourShown setCustomColor(DialogContext& ctx, int64_t mode, const PickedColours& colours);

// The page's values that the drop-out run reads (each slider's value cut to its low byte).
struct ColorDropValues {
  int64_t mode;       // the mode/side index
  int64_t dropOut;    // the drop-out popup's index
  int64_t filter;     // the filter threshold slider
  int64_t backLevel;  // the background level slider
  int64_t red, green, blue;
};
ColorDropParam colorDropParam(const ColorDropValues& values);

// The preview as the drop-out reads it: RGB, 3 x width bytes a row, rows top-down.
struct PreviewRaster {
  uint32_t width = 0;
  uint32_t height = 0;
  float dpiX = 0, dpiY = 0;
  std::vector<uint8_t> rgb;
};
XferImageInfo previewImageInfo(const PreviewRaster& raster);
// The destination's size: width x height bytes for a grey result, ((width + 7) / 8) x height
// for a black-and-white one.
std::size_t dropDestinationSize(uint32_t width, uint32_t height, bool grayOutput);

// previewResult:: hands the raster to the data source's drop-out and writes the result as a
// bitmap (8-bit grey or 1-bit black-and-white) at the preview's horizontal resolution.
// Answers the writer's result (1 written, -1 not written whole); a raster of the wrong size
// writes nothing (-1), and neither does a drop-out that answers NO (0): its destination holds
// no result.
int runPreviewResult(DialogDataSource& dataSource, const PreviewRaster& raster,
                     const ColorDropParam& param, const std::string& bmpPath);

}  // namespace ferrolite::dialog
