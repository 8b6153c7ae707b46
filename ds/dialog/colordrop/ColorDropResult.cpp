#include "ds/dialog/colordrop/ColorDropResult.h"

#include "ds/dialog/Units.h"
#include "ds/dialog/colordrop/BmpWriter.h"

namespace ferrolite::dialog {

namespace {
constexpr uint8_t kCustomFilterThreshold = 20;

CustomColourShown showColour(DialogContext& ctx, int64_t mode, WellColour colour) {
  CustomColourShown shown{colour, colourByte(colour.red), colourByte(colour.green),
                          colourByte(colour.blue)};
  if (const std::optional<DropSide> side = dropSideOf(ctx.record(), mode)) {
    side->red = static_cast<uint8_t>(shown.mRedValue);
    side->green = static_cast<uint8_t>(shown.mGreenValue);
    side->blue = static_cast<uint8_t>(shown.mBlueValue);
  }
  return shown;
}

uint8_t lowByte(int64_t v) { return static_cast<uint8_t>(v & 0xFF); }
}  // namespace

uint8_t colourByte(float component) {
  const float product = component * 255.0f;
  return saturatingTrunc<uint8_t>(static_cast<double>(product));
}

CustomColourShown customColorChange(DialogContext& ctx, int64_t mode, PickedColours& colours,
                                    WellColour underPointer) {
  colours.underPointer = underPointer;
  return showColour(ctx, mode, underPointer);
}

CustomColourShown setCustomColor(DialogContext& ctx, int64_t mode, const PickedColours& colours) {
  return showColour(ctx, mode, colours.committed);
}

ColorDropParam colorDropParam(const ColorDropValues& v) {
  ColorDropParam p;
  const bool custom = v.dropOut == kDropCustom;
  p.bGrayOutput = (v.mode == 2 || v.mode == 3) ? 1 : 0;
  p.bDropColor = lowByte(v.dropOut);
  p.bAdvance = 1;
  p.bThreshold = custom ? kCustomFilterThreshold : lowByte(v.filter);
  p.bBackgroundLevel = lowByte(v.backLevel);
  p.bCustomThreshold = custom ? lowByte(v.filter) : 0;
  p.bCustomR = lowByte(v.red);
  p.bCustomG = lowByte(v.green);
  p.bCustomB = lowByte(v.blue);
  p.bQuality = 0;
  return p;
}

XferImageInfo previewImageInfo(const PreviewRaster& raster) {
  XferImageInfo info;
  info.bMode = kXferModeColor;
  info.bBitsPerPixel = 24;
  info.dwWidth = raster.width;
  info.dwLength = raster.height;
  info.wXRes = saturatingTrunc<uint16_t>(raster.dpiX);
  info.wYRes = saturatingTrunc<uint16_t>(raster.dpiY);
  info.dwBytesPerLine = 3 * raster.width;
  info.bCompression = 0;
  return info;
}

std::size_t dropDestinationSize(uint32_t width, uint32_t height, bool grayOutput) {
  const std::size_t row = grayOutput ? width : (static_cast<std::size_t>(width) + 7) / 8;
  return row * height;
}

int runPreviewResult(DialogDataSource& dataSource, const PreviewRaster& raster,
                     const ColorDropParam& param, const std::string& bmpPath) {
  if (raster.width == 0 || raster.height == 0 ||
      raster.rgb.size() != static_cast<std::size_t>(raster.width) * 3 * raster.height) {
    return -1;
  }
  const bool gray = param.bGrayOutput != 0;
  std::vector<uint8_t> destination(dropDestinationSize(raster.width, raster.height, gray), 0);
  const XferImageInfo info = previewImageInfo(raster);
  if (!dataSource.getColorDropData(raster.rgb.data(), destination.data(), info, param)) return 0;
  const int64_t bytesPerLine = gray ? raster.width : (static_cast<int64_t>(raster.width) + 7) / 8;
  return saveBitmapFile(destination.data(), static_cast<int>(raster.width),
                        static_cast<int>(raster.height), bytesPerLine,
                        saturatingTrunc<uint16_t>(raster.dpiX), bmpPath, gray ? 8 : 1);
}

}  // namespace ferrolite::dialog
