#pragma once
// The page steps that run on the image plug-in (merging sides, blank pages, crop and deskew,
// punch holes, patch codes, orientation, barcodes, the JPEG crop session of a segmented page)
// and the progress window's cancel button, as the page loop calls them. The image-process object
// and the progress window implement these; until they are set the page loop runs without them:
// nothing is merged, cropped or detected, and a page sent in JPEG segments fails.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ds/scan/records/XferImageInfo.h"
#include "vantrel/nidata.h"

namespace ferrolite {

// What the barcode step found on one page, handed to the transfer side: the count, then per
// result the index of its type in the type table (0-14), its text (zero-terminated, at most 255
// characters) and its rectangle in pixels.
inline constexpr int kBarcodeMax = 64;
inline constexpr int kBarcodeTextSize = 256;
struct BarcodeRect {
  uint16_t X, Y, Width, Height;
};
struct BarcodeInfo {
  uint8_t count;
  uint8_t type[kBarcodeMax];
  char text[kBarcodeMax][kBarcodeTextSize];
  BarcodeRect rect[kBarcodeMax];
};

// A page buffer the steps may replace: `data` is a malloc'd block of `size` bytes.
struct PageBuffer {
  uint8_t* data = nullptr;
  uint32_t size = 0;
};

class ScanPageSteps {
 public:
  virtual ~ScanPageSteps() = default;

  virtual void setScanSource(int scanSource) { (void)scanSource; }
  virtual void scanPage(int page) { (void)page; }

  // The rear side in `back` joins the front in `page`; `info` describes the result.
  virtual bool doMerge2Sides(XferImageInfo* info, PageBuffer* page, const uint8_t* back,
                             uint8_t option, bool autoOrientation) {
    (void)info, (void)page, (void)back, (void)option, (void)autoOrientation;
    return true;
  }
  virtual bool isBlankPage(const XferImageInfo& info, const uint8_t* buffer, uint8_t threshold) {
    (void)info, (void)buffer, (void)threshold;
    return false;
  }
  virtual bool doCropDeskew(XferImageInfo* info, PageBuffer* page, bool autoOrientation,
                            bool multiCrop) {
    (void)info, (void)page, (void)autoOrientation, (void)multiCrop;
    return true;
  }
  virtual bool doPunchHoleRemoval(const XferImageInfo& info, uint8_t* buffer) {
    (void)info, (void)buffer;
    return true;
  }
  // True when the page is a patch-code sheet.
  virtual bool doPatchCode(const XferImageInfo& info, const uint8_t* buffer) {
    (void)info, (void)buffer;
    return false;
  }
  virtual bool doAutoOrientation(XferImageInfo* info, PageBuffer* page) {
    (void)info, (void)page;
    return true;
  }
  virtual bool doBarcodeDetection(const XferImageInfo& info, const uint8_t* buffer, uint32_t types,
                                  BarcodeInfo* result) {
    (void)info, (void)buffer, (void)types, (void)result;
    return true;
  }

  // The crop session of a page that arrives in JPEG segments: reset, one segment in, then the
  // decoded output strips once the page is complete (`more` while the library has more).
  virtual void jpegCropReset() {}
  virtual bool jpegCropInput(std::span<const uint8_t> segment, NIDATA* siData) {
    (void)segment, (void)siData;
    return false;
  }
  virtual bool jpegCropOutput(NIDATA* siData, std::vector<uint8_t>* strip, bool* more) {
    (void)siData, (void)strip, (void)more;
    return false;
  }

  // The progress window's cancel button.
  virtual bool scanCancelled() { return false; }
  // The alarm of a multi-fed sheet: the sound file the settings name.
  virtual void playSound(const std::string& alarm) { (void)alarm; }
};

}  // namespace ferrolite
