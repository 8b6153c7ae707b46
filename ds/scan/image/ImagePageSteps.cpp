// The page steps on a whole scanned page (scan thread): blank page, crop and deskew, orientation,
// merge of two sides, punch holes, patch code; and on the host's thread the next document of a
// flatbed multi-crop and the halves of a split page.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ds/scan/image/ImageRaster.h"
#include "ds/scan/image/TezFRLImageProcess.h"
#include "ds/scan/scanner/ImageRecord.h"
#include "ds/scan/scanner/TezFRLScan.h"

namespace ferrolite {

using namespace image;

namespace {

constexpr uint8_t kCropOn = 0x01;
constexpr uint8_t kCropFeeder = 0x11, kCropFeederDuplex = 0x51, kCropCarrierDuplex = 0x41;
constexpr uint8_t kCropFlatbedOne = 0x20, kCropFlatbedAll = 0x80;
constexpr uint8_t kMergeBeside = 0x21, kMergeBelow = 0xC1, kMergeOther = 0x81;
constexpr uint8_t kScanTypeDuplex = 2;
constexpr uint8_t kRotationAuto = 4;

uint16_t Clamp16(uint64_t v) { return uint16_t(std::min<uint64_t>(v, UINT16_MAX)); }

// Whether the page step may hand the page to the plug-in: the record's input within the page's
// buffer; a refusal is logged.
bool PageFits(const char* step, const NIDATA& rec, const PageBuffer& page) {
  const char* misfit = recordMisfit(rec, page.data, page.size);
  if (misfit == nullptr) return true;
  imageLog(step, "[Thread]   ", 0, std::string("refused: ") + misfit);
  return false;
}

void SetWhiteBackground(NIDATA& rec) {
  rec.OutImage.Gray.BackgroundColor = 255;
  rec.OutImage.Color.BackgroundColorR = rec.OutImage.Color.BackgroundColorG =
      rec.OutImage.Color.BackgroundColorB = 255;
}

}  // namespace

bool TezFRLImageProcess::takeProduced(const NIDATA& rec, XferImageInfo* info, PageBuffer* page,
                                      void* produced) {
  const uint32_t w = rec.OutImage.ImageWidth, h = rec.OutImage.ImageHeight;
  const uint32_t line = packedLine(info->bBitsPerPixel, w);
  const uint64_t size = uint64_t(line) * h;
  // The plug-in's image is measured against what the caller's buffer really holds.
  if (size > page->size) {
    auto* grown = size <= UINT32_MAX ? static_cast<uint8_t*>(std::realloc(page->data, size_t(size)))
                                     : nullptr;
    if (grown == nullptr) {
      lm_.FreeMemory(produced);
      return false;
    }
    page->data = grown;
    page->size = uint32_t(size);
    imageLog("Reallocated scan size", kLogBlank, 1, int(page->size));
    char text[64];
    std::snprintf(text, sizeof text, "%d Address : %p", int(page->size),
                  static_cast<void*>(page->data));
    imageLog(text, kLogBlank);
  }
  std::memcpy(page->data, produced, size_t(size));
  info->dwWidth = w;
  info->dwLength = h;
  info->dwBytesPerLine = line;
  imageLog("Free memory", kLogBlank);
  lm_.FreeMemory(produced);
  return true;
}

bool TezFRLImageProcess::isBlankPage(const XferImageInfo& info, const uint8_t* buffer,
                                     uint8_t threshold) {
  if (lm_.BlankPageDetection == nullptr || buffer == nullptr) return false;
  NIDATA rec;
  inputSIData(&rec, info);
  rec.OutImage.BlankThreshold = threshold;
  long status = 0;
  const long msg =
      lm_.BlankPageDetection(const_cast<uint8_t*>(buffer), nullptr, &rec, nullptr, &status);
  imageLog("BlankPageDetection", kLogBlank, msg == 0, status);
  return msg == 0 && status == kLumetraStatusBlankPage;
}

bool TezFRLImageProcess::doCropDeskew(XferImageInfo* info, PageBuffer* page, bool autoOrientation,
                                      bool multiCrop) {
  flatbedRemnantImage_ = 0;
  imageLog("doCropDeskew", kLogThreadIn);
  NIDATA rec;
  inputSIData(&rec, *info);
  NIDATA_OutImage& out = rec.OutImage;
  out.AutoCrop = kCropOn;
  const bool flatbed = scanSource_ == kScanSourceFlatbed;
  if (!flatbed) {
    imageLog("ADF Mode", "[Thread]   ");
    rec.InImage.ScanTypeMaxWidth = Clamp16(uint64_t(info->wXRes) * deviceAbility.ADFMaxWidth / 300);
    rec.InImage.CurPages = uint16_t(scanPage_);
    const bool singleDuplex = gSingleCropDuplex && rec.InImage.ScanType == kScanTypeDuplex;
    if (gCarrierSheet)
      out.AutoCrop = singleDuplex ? kCropCarrierDuplex : kCropOn;
    else
      out.AutoCrop = singleDuplex ? kCropFeederDuplex : kCropFeeder;
  } else {
    imageLog("Flatbed Mode", "[Thread]   ");
    out.AutoCrop |= multiCrop ? kCropFlatbedAll : kCropFlatbedOne;
  }
  out.OutMode = rec.InImage.ScanMode;
  SetWhiteBackground(rec);
  out.Rotate = uint8_t(autoOrientation ? 2 : 1);
  bool ok = true;
  void* produced = nullptr;
  long status = 0;
  long msg = kLumetraMsgFail;
  if (lm_.DeskewCrop != nullptr && PageFits("DeskewCrop", rec, *page)) {
    imageLog("DeskewCrop", kLogThreadIn);
    msg = lm_.DeskewCrop(page->data, &produced, &rec, nullptr, &status);
    imageLog("DeskewCrop", kLogThreadOut, msg == 0, status);
  }
  if (msg == 0 && produced != nullptr) {
    if (flatbed && status > 0) flatbedRemnantImage_ = int(status);
    {
      const std::lock_guard<std::mutex> lock(remMutex_);
      siDataRem_ = rec;
    }
    ok = takeProduced(rec, info, page, produced);
  } else {
    imageLog("DeskewCrop failure", "[Thread]   ", 0, msg);
  }
  imageLog("doCropDeskew", kLogThreadOut, ok);
  return ok;
}

bool TezFRLImageProcess::doAutoOrientation(XferImageInfo* info, PageBuffer* page) {
  if (lm_.AutoOrientation == nullptr || page->data == nullptr) return true;
  NIDATA rec;
  inputSIData(&rec, *info);
  rec.InImage.CurPages = uint16_t(scanPage_);
  rec.OutImage.OutMode = rec.InImage.ScanMode;
  if (!PageFits("AutoOrientation", rec, *page)) return true;
  void* produced = nullptr;
  long status = 0;
  const long msg = lm_.AutoOrientation(page->data, &produced, &rec, nullptr, &status);
  imageLog("AutoOrientation", "[Thread]   ", msg == 0, status);
  if (msg != 0 || produced == nullptr) return true;
  return takeProduced(rec, info, page, produced);
}

bool TezFRLImageProcess::doMerge2Sides(XferImageInfo* info, PageBuffer* page, const uint8_t* back,
                                       uint8_t option, bool autoOrientation) {
  if (lm_.Merge2Side == nullptr || page->data == nullptr || back == nullptr) return false;
  NIDATA rec;
  inputSIData(&rec, *info);
  rec.InImage.ScanType = kScanTypeDuplex;
  rec.InImage.CurPages = uint16_t(scanPage_);
  rec.InImage.BackgroundColor = 255;
  SetWhiteBackground(rec);
  NIDATA_OutImage& out = rec.OutImage;
  out.OutMode = rec.InImage.ScanMode;
  out.Merge2Side = option == 0 ? kMergeBeside : option == 1 ? kMergeBelow : kMergeOther;
  out.AutoCrop = gCarrierSheet ? kCropCarrierDuplex : kCropFeederDuplex;
  out.Rotate = uint8_t(autoOrientation ? 2 : 1);
  if (!PageFits("Merge2Side", rec, *page)) return false;
  void* produced = nullptr;
  long status = 0;
  const long msg = lm_.Merge2Side(page->data, &produced, &rec, const_cast<uint8_t*>(back), &status);
  imageLog("Merge2Side", "[Thread]   ", msg == 0, status);
  if (msg != 0 || produced == nullptr) return false;
  return takeProduced(rec, info, page, produced);
}

bool TezFRLImageProcess::doPunchHoleRemoval(const XferImageInfo& info, uint8_t* buffer) {
  if (lm_.PunchHoleRemoval == nullptr || buffer == nullptr) return false;
  NIDATA rec;
  inputSIData(&rec, info);
  imageLog("BackgroundColor", "[Thread]   ", 1, rec.InImage.BackgroundColor);
  rec.OutImage.OutMode = rec.InImage.ScanMode;
  void* out = buffer;
  long status = 0;
  const long msg = lm_.PunchHoleRemoval(buffer, &out, &rec, nullptr, &status);
  imageLog("PunchHoleRemoval", "[Thread]   ", msg == 0, status);
  return msg == 0;
}

bool TezFRLImageProcess::doPatchCode(const XferImageInfo& info, const uint8_t* buffer) {
  if (lm_.PatchCode == nullptr || buffer == nullptr) return false;
  NIDATA rec;
  inputSIData(&rec, info);
  rec.OutImage.OutMode = rec.InImage.ScanMode;
  long status = 0;
  const long msg = lm_.PatchCode(const_cast<uint8_t*>(buffer), nullptr, &rec, nullptr, &status);
  imageLog("PatchCode", "[Thread]   ", msg == 0, status);
  return msg == 0 && status <= kLumetraStatusPatch1;
}

bool TezFRLImageProcess::doGetMultipleImage(XferImageInfo* info, uint8_t* buffer, int page) {
  if (lm_.GetMultipleImage == nullptr || info == nullptr || buffer == nullptr) return false;
  NIDATA rem;
  {
    const std::lock_guard<std::mutex> lock(remMutex_);
    rem = siDataRem_;
  }
  void* produced = nullptr;
  long status = 0;
  const long msg = lm_.GetMultipleImage(nullptr, &produced, &rem, nullptr, &status);
  {
    // The plug-in keeps its place among the documents in the record.
    const std::lock_guard<std::mutex> lock(remMutex_);
    siDataRem_ = rem;
  }
  imageLog("GetMultipleImage", kLogBlank, msg == 0, status);
  if (msg != 0 || produced == nullptr) {
    multiCropCount_ = 0;
    imageLog("GetMultipleImage failure", kLogBlank, 0);
    return false;
  }
  const uint32_t w = rem.OutImage.ImageWidth, h = rem.OutImage.ImageHeight;
  const uint32_t line = packedLine(info->bBitsPerPixel, w);
  // The caller's buffer held the whole page the crop ran on; a larger document is refused.
  const uint64_t pageBytes = uint64_t(rem.InImage.BytesPerLine) * rem.InImage.Line;
  if (uint64_t(line) * h > pageBytes) {
    lm_.FreeMemory(produced);
    multiCropCount_ = 0;
    imageLog("GetMultipleImage failure", kLogBlank, 0, "larger than the page");
    return false;
  }
  std::memcpy(buffer, produced, size_t(uint64_t(line) * h));
  lm_.FreeMemory(produced);
  info->dwWidth = w;
  info->dwLength = h;
  info->dwBytesPerLine = line;
  char name[32];
  std::snprintf(name, sizeof name, "%04d_cropped", multiCropCount_ + page + 1);
  ++multiCropCount_;
  if (gKrCommon) gKrCommon->saveDebugImage(buffer, *info, name, false);
  if (status == 0) multiCropCount_ = 0;

  if (pUiSetting_ != nullptr) {
    const ScanSetting& s = *pUiSetting_;
    if (s.bPunchHole == 1) doPunchHoleRemoval(*info, buffer);
    if (s.bRotation == kRotationAuto) {
      // The turned document has the same bytes: it fits where the document was.
      PageBuffer held{buffer, uint32_t(std::min<uint64_t>(pageBytes, UINT32_MAX))};
      doAutoOrientation(info, &held);
    }
    BarcodeInfo found{};
    if (s.bBarcodeDetection) doBarcodeDetection(*info, buffer, s.dwSelectBarcode, &found);
    gBarcodeInfo = found;
  }
  return true;
}

bool TezFRLImageProcess::splitImage(XferImageInfo* info, uint8_t* buffer, int splitMode,
                                    int number) {
  if (splitMode == 0 || info == nullptr || buffer == nullptr) return false;
  if (number == 1) {
    bStartSplit_ = false;
    splitBuf_.clear();
  }
  if (bStartSplit_) {
    std::memcpy(buffer, splitBuf_.data(), splitBuf_.size());
    *info = splitInfo_;
    splitBuf_.clear();
  } else {
    const XferImageInfo savedInfo = xferImageInfo_;
    uint8_t* const savedBuffer = pXferBuffer_;
    const uint32_t savedSize = allocSize_;
    setWorkingImage(*info, buffer, uint32_t(std::min<uint64_t>(imageBytes(*info), UINT32_MAX)));
    XferImageInfo& d = xferImageInfo_;
    bool ok = true;
    if (splitMode == 2) {
      ok = pixelBoundary(d.bBitsPerPixel == 1 ? 16 : 2);
      const uint32_t half = d.dwWidth / 2;
      const uint32_t halfLine = packedLine(d.bBitsPerPixel, half);
      ok = ok && allocate(splitBuf_, uint64_t(halfLine) * d.dwLength);
      for (uint32_t y = 0; ok && y < d.dwLength; ++y) {
        const uint8_t* line = buffer + uint64_t(y) * d.dwBytesPerLine;
        std::memcpy(splitBuf_.data() + uint64_t(y) * halfLine, line + halfLine, halfLine);
        std::memmove(buffer + uint64_t(y) * halfLine, line, halfLine);
      }
      d.dwWidth = half;
      d.dwBytesPerLine = halfLine;
    } else {
      const uint32_t half = d.dwLength / 2;
      ok = allocate(splitBuf_, uint64_t(d.dwBytesPerLine) * half);
      if (ok)
        std::memcpy(splitBuf_.data(), buffer + uint64_t(d.dwBytesPerLine) * half, splitBuf_.size());
      d.dwLength = half;
    }
    const XferImageInfo halved = d;
    setWorkingImage(savedInfo, savedBuffer, savedSize);
    if (!ok) return false;
    splitInfo_ = halved;
    *info = halved;
  }
  bStartSplit_ = !bStartSplit_;
  return true;
}

void TezFRLImageProcess::jpegCropReset() {
  if (lm_.JpegCrop == nullptr || jpegSession_.OutImage.InternalUse == 0) return;
  long status = 0;
  lm_.JpegCrop(nullptr, nullptr, &jpegSession_, nullptr, &status, 0, nullptr);
  jpegSession_ = {};
}

bool TezFRLImageProcess::jpegCropInput(std::span<const uint8_t> segment, NIDATA* siData) {
  if (lm_.JpegCrop == nullptr || siData == nullptr || segment.empty()) return false;
  long status = 0;
  const long msg = lm_.JpegCrop(const_cast<uint8_t*>(segment.data()), nullptr, siData, nullptr,
                                &status, segment.size(), nullptr);
  jpegSession_ = *siData;
  imageLog("JpegCrop", "[Thread]   ", msg == 0, status);
  return msg == 0;
}

bool TezFRLImageProcess::jpegCropOutput(NIDATA* siData, std::vector<uint8_t>* strip, bool* more) {
  *more = false;
  if (lm_.JpegCrop == nullptr || siData == nullptr) return false;
  void* out = nullptr;
  uint64_t size = 0;
  long lines = 0, status = 0;
  const long msg = lm_.JpegCrop(nullptr, &out, siData, &size, &status, 0, &lines);
  jpegSession_ = *siData;
  imageLog("JpegCrop output", "[Thread]   ", msg == 0, status);
  if (msg != 0 || out == nullptr) return false;
  bool ok = true;
  try {
    const auto* bytes = static_cast<const uint8_t*>(out);
    strip->assign(bytes, bytes + size);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  lm_.FreeMemory(out);
  *more = ok && status == kLumetraStatusMoreStrips;
  return ok;
}

}  // namespace ferrolite
