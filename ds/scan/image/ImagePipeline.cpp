// The software pipeline of one delivered image: output type, resolution, drop-out, tone, black
// and white, despeckle, rotation, mirror, invert, edges and imprint, with the plug-in steps it
// runs on the way.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "ds/scan/image/ImageRaster.h"
#include "ds/scan/image/TezFRLImageProcess.h"
#include "ds/scan/scanner/ImageRecord.h"
#include "ds/scan/scanner/TezFRLScan.h"

namespace ferrolite {

using namespace image;

bool gAdvDrop2Processing = false;
int gAdvColorDropOn = 0;

namespace {

constexpr int kTypeBW = 0, kTypeGray = 1, kTypeColor = 2;
constexpr uint8_t kMultiCropPage = 20;
constexpr int kToneGamma = 180;      // the pipeline's tone tables
constexpr int kPlainGamma = 100;     // no gamma change
constexpr int kGrayQualityTone = 2;  // grey quality done by the built-in tone table
constexpr int kBuiltInThreshold = 128;
constexpr uint8_t kNoiseRadiusMax = 30;
constexpr uint16_t kNoiseDotsMax = 255;
constexpr uint16_t kAutoColourFront = 0x40, kAutoColourRear = 0x80;
constexpr uint16_t kOutModeDetect = 0x8000;
constexpr size_t kCounterDigitsMax = 10;

const ScanSetting kNoSetting{};

}  // namespace

std::string imprinterCounter(const std::string& typed, int number) {
  if (number <= 1 || typed.empty() || typed.size() > kCounterDigitsMax) return typed;
  // Only a number can be counted on; other texts print as typed.
  if (typed.find_first_not_of("0123456789") != std::string::npos) return typed;
  const unsigned long long value = std::stoull(typed) + unsigned(number - 1);
  char text[32];
  std::snprintf(text, sizeof text, "%0*llu", int(typed.size()), value);
  return text;
}

TezFRLImageProcess::TezFRLImageProcess() {
  for (int k = 0; k < 256; ++k) {
    gammaTable_[k] = uint8_t(k);
    for (auto& table : dropGamma_) table[k] = uint8_t(k);
  }
}

TezFRLImageProcess::~TezFRLImageProcess() { closeLibraries(); }

const ScanSetting& TezFRLImageProcess::ui() const {
  return pUiSetting_ ? *pUiSetting_ : kNoSetting;
}

void TezFRLImageProcess::inputSIData(NIDATA* record, const XferImageInfo& info) const {
  fillImageRecord(record, info, usbID_, scanSource_, blackADF_);
}

void TezFRLImageProcess::initSIData() { inputSIData(&siData_, xferImageInfo_); }

bool TezFRLImageProcess::recordFits(const char* step) {
  const char* misfit = recordMisfit(siData_, pXferBuffer_, allocSize_);
  if (misfit == nullptr) return true;
  imageLog(step, kLogBlank, 0, std::string("refused: ") + misfit);
  fitToBuffer();
  return false;
}

void TezFRLImageProcess::fitToBuffer() {
  XferImageInfo& info = xferImageInfo_;
  const uint32_t bits = info.bBitsPerPixel;
  if (bits != 1 && bits != 8 && bits != 24) {
    info.dwLength = 0;
  } else {
    if (packedLine(bits, info.dwWidth) > info.dwBytesPerLine)
      info.dwWidth = uint32_t(uint64_t(info.dwBytesPerLine) * 8 / bits);
    if (imageBytes(info) > allocSize_)
      info.dwLength = info.dwBytesPerLine ? allocSize_ / info.dwBytesPerLine : 0;
  }
  imageLog("Image cut to its buffer", kLogBlank, 1,
           std::to_string(info.dwWidth) + " x " + std::to_string(info.dwLength));
}

bool TezFRLImageProcess::runInPlace(LumetraProcessFn entry, const char* name, void* extra) {
  if (entry == nullptr || pXferBuffer_ == nullptr) return false;
  if (!recordFits(name)) return false;
  void* out = pXferBuffer_;
  long status = 0;
  const long msg = entry(pXferBuffer_, &out, &siData_, extra, &status);
  imageLog(name, kLogBlank, msg == 0, status);
  return msg == 0;
}

int TezFRLImageProcess::getXferImageType() const {
  const ScanSetting& s = ui();
  uint16_t bits = s.wImageType & 0xFF;
  if (!frontSide_) bits = uint16_t((bits & ~1u) >> 1);
  int number = frontSide_ ? frontNumber_ : rearNumber_;
  int count = frontSide_ ? frontCount_ : rearCount_;
  if (s.bSplitMode) {
    count /= 2;
    number = (number + 1) / 2;
  }
  if (scanSource_ == kScanSourceFlatbed && s.bPaperSize == kMultiCropPage &&
      flatbedRemnantImage_ > 0) {
    count /= flatbedRemnantImage_ + 1;
    if (count > 0) number %= count;
    if (number == 0) number = count;
  }
  if (number == 1) {
    if (bits & kImageColorFront) return kTypeColor;
    return (bits & kImageGrayFront) ? kTypeGray : kTypeBW;
  }
  if (number == 2) {
    if (count == 3) return kTypeGray;
    return (bits & kImageBWFront) ? kTypeBW : kTypeGray;
  }
  return kTypeBW;
}

bool TezFRLImageProcess::doDynamicThreshold() {
  XferImageInfo& info = xferImageInfo_;
  imageLog("doDynamicThreshold", kLogIn);
  initSIData();
  NIDATA_OutImage& out = siData_.OutImage;
  out.OutMode = 1;
  out.BW.Mode = 1;
  out.BW.BytesPerLine = uint16_t(packedLine(1, info.dwWidth) & 0x1FFF);
  out.BW.DyThreshold = frontSide_ ? ui().bFDTSensitivity : ui().bRDTSensitivity;
  out.BW.ColorFilter = 0;
  out.BW.BWThreshold = kBuiltInThreshold;
  bool ok = runInPlace(lm_.lThreshold, "lThreshold");
  const uint32_t width = out.ImageWidth ? out.ImageWidth : info.dwWidth;
  if (ok && uint64_t(packedLine(1, width)) * info.dwLength > allocSize_) ok = false;
  if (ok) {
    info.dwWidth = width;
    setKind(info, kXferModeBW);
  } else {
    // The page still leaves in the negotiated format: the built-in threshold takes over.
    imageLog("lThreshold failure, fixed threshold used", kLogBlank, 0, kBuiltInThreshold);
    grayToLineart(kBuiltInThreshold);
  }
  imageLog("doDynamicThreshold", kLogOut, ok);
  return ok;
}

bool TezFRLImageProcess::doGrayQuality() {
  XferImageInfo& info = xferImageInfo_;
  imageLog("doGrayQuality", kLogIn);
  const uint8_t quality = frontSide_ ? ui().bFGrayQuality : ui().bRGrayQuality;
  const uint8_t level = frontSide_ ? ui().bFDocumentThreshold : ui().bRDocumentThreshold;
  initSIData();
  NIDATA_OutGray& g = siData_.OutImage.Gray;
  g.BackgroundColor = 255;
  g.Mode = quality;
  g.BackgroundLevel = level ? level : 1;
  // The photo tone prepares the page for the plug-in: a refused record skips both.
  const bool fits = recordFits("GrayQuality");
  if (fits && quality != 0) {
    imageLog("Photo", kLogBlank);
    buildGammaTable(gammaTable_, 0, 0, kToneGamma, false);
    convertImage();
  } else if (fits) {
    imageLog("Document", kLogBlank);
  }
  bool ok = fits && runInPlace(lm_.GrayQuality, "GrayQuality");
  if (ok && uint64_t(info.dwWidth) * info.dwLength > allocSize_) ok = false;
  if (ok) {
    setKind(info, kXferModeGray);
  } else if (info.bBitsPerPixel == 24) {
    imageLog("GrayQuality failure, built-in grey used", kLogBlank, 0);
    colorToGray(0);
  }
  imageLog("doGrayQuality", kLogOut, ok);
  return ok;
}

bool TezFRLImageProcess::doDespeckle() {
  if (xferImageInfo_.bBitsPerPixel != 1) return false;
  initSIData();
  NIDATA_Noise& n = siData_.OutImage.Noise;
  n.isZeroBlack = 1;
  n.ratio = std::min(ui().bNoiseRadius, kNoiseRadiusMax);
  n.dotsNumber = uint8_t(std::min(ui().wNoiseNumber, kNoiseDotsMax));
  return runInPlace(lm_.DoDespeckle, "DoDespeckle");
}

bool TezFRLImageProcess::doEdgeCleanup() {
  const XferImageInfo& info = xferImageInfo_;
  const ScanSetting& s = ui();
  const uint8_t fill = s.bEdgeColor ? 0 : 255;
  initSIData();
  NIDATA_OutImage& out = siData_.OutImage;
  out.OutMode = siData_.InImage.ScanMode;
  // Millimetres, as the dialog sets them.
  auto pixels = [&](uint16_t mm, uint32_t cap) {
    return uint16_t(std::min<uint64_t>(uint64_t(mm) * info.wXRes * 10 / 254,
                                       std::min<uint32_t>(cap, UINT16_MAX)));
  };
  out.Edge.Left = pixels(s.wLeftEdge, info.dwWidth);
  out.Edge.Right = pixels(s.wRightEdge, info.dwWidth);
  out.Edge.Top = pixels(s.wTopEdge, info.dwLength);
  out.Edge.Bottom = pixels(s.wBottomEdge, info.dwLength);
  out.Gray.BackgroundColor = out.BW.BackgroundColor = fill;
  out.Color.BackgroundColorR = out.Color.BackgroundColorG = out.Color.BackgroundColorB = fill;
  return runInPlace(lm_.EdgeCleanup, "EdgeCleanup");
}

bool TezFRLImageProcess::doBackgroundProcessing() {
  if (lm_.BackgroundProcess == nullptr) return false;
  const ScanSetting& s = ui();
  initSIData();
  NIDATA_OutImage& out = siData_.OutImage;
  out.OutMode = siData_.InImage.ScanMode;
  out.Mask = s.bBackgroundSensitivity;
  out.Gray.BackgroundColor = 255;
  out.Color.BackgroundColorR = out.Color.BackgroundColorG = out.Color.BackgroundColorB = 255;
  if (s.bBackgroundProcessing == 2)
    out.BackgroundSmooth = uint8_t(0xF1 | (s.bBackgroundFill == 1 ? 0xC2 : 0));
  else
    out.BackgroundSmooth = uint8_t(0x30 | (s.bBackgroundMode == 1 ? 1 : 0));
  return runInPlace(lm_.BackgroundProcess, "BackgroundProcess");
}

bool TezFRLImageProcess::doAutoColorDetection(bool* noColour) {
  *noColour = false;
  if (xferImageInfo_.bBitsPerPixel != 24 || lm_.AutoColorDetection == nullptr) return false;
  initSIData();
  siData_.OutImage.OutMode = kOutModeDetect;
  siData_.OutImage.ACThreshold = frontSide_ ? ui().bFACDSensitivity : ui().bRACDSensitivity;
  if (!recordFits("AutoColorDetection")) return false;
  long status = 0;
  const long msg = lm_.AutoColorDetection(pXferBuffer_, nullptr, &siData_, nullptr, &status);
  imageLog("AutoColorDetection", kLogBlank, msg == 0, status);
  if (msg != 0) return false;
  *noColour = status == kLumetraStatusNoColour;
  return true;
}

bool TezFRLImageProcess::imageProcessing(XferImageInfo* info, uint8_t** buffer,
                                         const ScanSetting* uiSetting, uint32_t* allocatedSize,
                                         int currentImage) {
  if (info == nullptr || buffer == nullptr || *buffer == nullptr || uiSetting == nullptr ||
      allocatedSize == nullptr || imageBytes(*info) > *allocatedSize ||
      info->dwBytesPerLine < packedLine(info->bBitsPerPixel, info->dwWidth)) {
    imageLog("imageProcessing", kLogBlank, 0, "no image");
    return false;
  }
  imageLog("------- Image processing -------", kLogIn, 1, currentImage);
  const auto start = std::chrono::steady_clock::now();
  if (currentImage == 1 || pUiSetting_ == nullptr) pUiSetting_ = uiSetting;
  const ScanSetting& s = *pUiSetting_;
  if (currentImage == 1) {
    frontNumber_ = rearNumber_ = 1;
    if (s.bColorMatch != 0) {
      const size_t at = size_t(s.bColorMatch - 1) * sizeof chromalisContents_;
      if (at + sizeof chromalisContents_ <= chromalisTable_.size())
        std::memcpy(chromalisContents_, chromalisTable_.data() + at, sizeof chromalisContents_);
      resetIntent_ = true;
    }
  }
  uint8_t* const original = *buffer;
  setWorkingImage(*info, *buffer, *allocatedSize);
  XferImageInfo& work = xferImageInfo_;
  const bool front = frontSide_;
  int type = getXferImageType();

  const bool autoColour = (s.wImageType & (front ? kAutoColourFront : kAutoColourRear)) != 0;
  if (autoColour) {
    bool noColour = false;
    if (doAutoColorDetection(&noColour) && noColour)
      type = (front ? s.bFNonColorSelection : s.bRNonColorSelection) == 1 ? kTypeGray : kTypeBW;
    else
      type = kTypeColor;
  }

  uint16_t wanted = type == kTypeBW ? s.wBWRes : type == kTypeGray ? s.wGrayRes : s.wColorRes;
  if (s.wImageType & (kAutoColourFront | kAutoColourRear)) wanted = s.wColorRes;
  if (wanted != 0 && wanted < work.wXRes)
    deleteXYPixel(wanted);
  else if (wanted > work.wXRes)
    insertXYPixel(wanted);

  if (s.bBackgroundProcessing != 0 && (type != kTypeBW || gTezOlmex)) doBackgroundProcessing();

  const int binary = front ? s.bFBinaryProcess : s.bRBinaryProcess;
  int threshold = front ? s.bFBThreshold : s.bRBThreshold;
  int brightness = 0, contrast = 0;
  bool invert = false;
  if (type == kTypeGray) {
    brightness = front ? s.iFGBrightness : s.iRGBrightness;
    contrast = front ? s.iFGContrast : s.iRGContrast;
    invert = front ? s.bFGInvert : s.bRGInvert;
  } else if (type == kTypeColor) {
    brightness = front ? s.iFCBrightness : s.iRCBrightness;
    contrast = front ? s.iFCContrast : s.iRCContrast;
    invert = front ? s.bFCInvert : s.bRCInvert;
  } else {
    brightness = front ? s.iFBBrightness : s.iRBBrightness;
    invert = front ? s.bFBInvert : s.bRBInvert;
  }
  if (autoColour) invert = front ? s.bFCInvert : s.bRCInvert;

  gAdvDrop2Processing = false;
  doColorDropOut(type);

  if (type == kTypeColor) {
    if (s.bColorMatch != 0) {
      applyColorMatch();
    } else {
      buildGammaTable(gammaTable_, brightness, contrast, kToneGamma, false);
      convertImage();
    }
  } else if (type == kTypeGray) {
    if (!gAdvDrop2Processing) {
      const int quality = front ? s.bFGrayQuality : s.bRGrayQuality;
      if (quality != kGrayQualityTone) {
        doGrayQuality();
      } else {
        if (work.bBitsPerPixel == 24) colorToGray(0);
        buildGammaTable(gammaTable_, brightness, contrast, kToneGamma, false);
        convertImage();
      }
    }
  } else {
    if (work.bBitsPerPixel != 1) {
      if (binary == 0) {
        doDynamicThreshold();
      } else {
        if (work.bBitsPerPixel == 24) colorToGray(0);
        if (brightness != 0) {
          buildGammaTable(gammaTable_, brightness, 0, kPlainGamma, false);
          convertImage();
        }
        if (binary >= 2) {
          halftoneProcessing();
          threshold = kBuiltInThreshold;
        }
        grayToLineart(threshold);
      }
    }
    if (s.wNoiseNumber != 0) doDespeckle();
  }

  if (!s.bSplitMode) {
    const bool fanfold = !front && scanSource_ == kScanSourceFeederDuplex && s.bFlipSide == 1;
    rotateImage(nullptr, nullptr, s.bRotation, fanfold);
  }
  if (s.bMirror) mirrorImage();
  if (invert) invertImage();
  if (s.wLeftEdge || s.wTopEdge || s.wRightEdge || s.wBottomEdge) {
    if (s.bEdgeExtend)
      edgeExtend();
    else
      doEdgeCleanup();
  }

  lastImprint_.clear();
  if (s.bImprinter && (s.bPrintAll || currentImage == 1)) {
    const std::string counter = imprinterCounter(s.strPrintCounter.str(), currentImage);
    const std::string text =
        gKrCommon ? gKrCommon->imprinterString(s.strPrintText.view(), counter, s.bPrintDate,
                                               s.bPrintTime, s.bPrintFormat)
                  : s.strPrintText.str() + counter;
    if (work.bBitsPerPixel == 1) pixelBoundary(8);
    lastImprint_ = text;
    watermarkImage(text);
  }

  *info = work;
  *allocatedSize = allocSize_;

  onePageDone_ = true;
  int& number = front ? frontNumber_ : rearNumber_;
  const int count = front ? frontCount_ : rearCount_;
  if (++number > count)
    number = 1;
  else
    onePageDone_ = false;

  if (pXferBuffer_ != original) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", static_cast<void*>(original));
    imageLog("Original memory address", kLogBlank, 1, text);
    std::snprintf(text, sizeof text, "%p", static_cast<void*>(pXferBuffer_));
    imageLog("Translated memory address", kLogBlank, 1, text);
    *buffer = pXferBuffer_;
  }
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  imageLog("Processing time", kLogBlank, 1, std::to_string(ms));
  imageLog("------- Image processing -------", kLogOut, 1);
  return true;
}

}  // namespace ferrolite
