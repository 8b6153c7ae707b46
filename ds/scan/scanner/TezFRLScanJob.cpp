// The scan job: its start (source, feeder check, scan parameters, gamma, hardware crop), its
// end and the one-page preview.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "ds/scan/records/DeviceType.h"
#include "ds/scan/scanner/ScanCallback.h"
#include "ds/scan/scanner/ScanLog.h"
#include "ds/scan/scanner/TezFRLScan.h"

namespace ferrolite {

namespace {

// Image-type bits of wImageType.
constexpr uint16_t kColourTypes = 0xF0;
constexpr uint16_t kAutoColourTypes = 0xC0;
constexpr uint16_t kGrayTypes = 0x0C;
constexpr uint16_t kBWTypes = 0x03;

constexpr uint8_t kColourDropNeedsColour = 4;

// Scan parameter values.
constexpr uint16_t kParamVersion = 200;
constexpr uint16_t kParamSize = sizeof(SCANPARAMETER_UNION);
constexpr uint16_t kBaseRes = 300;
constexpr uint32_t kModeGray = 2;
constexpr uint32_t kModeColour = 4;
constexpr uint16_t kMethodFlatbed = 0;
constexpr uint16_t kMethodFeederFront = 1;
constexpr uint16_t kMethodDuplex = 4;
constexpr uint16_t kMethodFeederRear = 5;
constexpr uint16_t kCompressionJpeg = 132;
constexpr uint32_t kJpegGray = 0x6000000;
constexpr uint32_t kJpegColour = 0x5000000;
constexpr uint32_t kImageTypeJpeg = 0x1000 | 0x10000;
constexpr uint16_t kCtrlPage = 1;
constexpr uint16_t kCtrlFixed = 2;
constexpr uint32_t kExtEjectOpposite = 0x1;
constexpr uint32_t kExtUltrasonic = 0x8;
constexpr uint32_t kExtStopMultifeed = 0x10;
constexpr uint32_t kExtStopMultifeedOld = 0x20;
constexpr uint32_t kExtLongPage = 0x400;
constexpr uint32_t kExtCarrierSheet = 0x800;
constexpr uint16_t kTuneFromDevice = 0x8000;
constexpr uint16_t kPreviewRes = 150;
// ScannerCapability bits.
constexpr uint32_t kCap1OverscanHeadTail = 1u << 20;
constexpr uint32_t kCap1OverscanSides = 1u << 19;
constexpr uint32_t kCap1EjectOpposite = 1u << 24;
constexpr uint32_t kCap0HardwareCrop = 0x03u << 24;
constexpr uint32_t kCap2MultifeedStop = 0x7;
// General-operation tags of the overscan (u16 each, data type 7).
constexpr uint16_t kTagOverscanHead = 1, kTagOverscanTail = 3, kTagOverscanLeft = 5,
                   kTagOverscanRight = 7;
constexpr uint32_t kDataTypeWord = 7;
enum Overscan { kHead, kTail, kLeft, kRight, kHead1st };

constexpr uint16_t kGammaSize = 256;
constexpr uint32_t kGammaBits = 8;
constexpr uint16_t kHWVersion = 200;
constexpr uint8_t kHWCropDeskew = 3;

// a / b, a divisor of 0 counting as 1.
uint32_t Div(uint64_t a, uint32_t b) { return uint32_t(a / (b != 0 ? b : 1)); }
uint32_t RoundDown(uint32_t v, uint32_t bound) { return bound > 1 ? v - v % bound : v; }

bool NeedsColour(uint8_t drop, uint8_t advanced) {
  return drop == kColourDropNeedsColour || advanced != 0;
}

}  // namespace

uint32_t TezFRLScan::maxWidth() const {
  return scanSource_ == kScanSourceFlatbed ? deviceAbility.FlatbedMaxWidth
                                           : deviceAbility.ADFMaxWidth;
}
uint32_t TezFRLScan::maxLength() const {
  return scanSource_ == kScanSourceFlatbed ? deviceAbility.FlatbedMaxLength
                                           : deviceAbility.ADFMaxLength;
}

void TezFRLScan::setIndicatorInfo(uint32_t startTick, const std::string& warmup,
                                  const std::string& elapsed) {
  startTick_ = startTick;
  warmupText_ = warmup;
  elapsedText_ = elapsed;
}

bool TezFRLScan::startScanJob(const ScanSetting& setting) {
  scanPage_ = 1;
  scanPageDone_ = 0;
  lastPage_ = false;
  scannerError_ = 0;
  enableBatchScan_ = true;
  multifeedPages_.clear();
  multifeedCount_ = 0;
  gScanPage.setStatus(kPageRunning);
  TezFRLCommon::settingCopy(&uiParam_, setting);

  mergeSides_ = false;
  if (uiParam_.bScanSource == kSourceMergeTwoSides) {
    mergeSides_ = true;
    uiParam_.bPaperSize = kPageAutomatic;
    uiParam_.wImageType &= kImageFrontBits;
  }
  // An automatic-colour side excludes the other kinds of the same side.
  if (uiParam_.wImageType & kImageAutoColorFront) uiParam_.wImageType &= 0xD5;
  if (uiParam_.wImageType & kImageAutoColorRear) uiParam_.wImageType &= 0xEA;
  if (uiParam_.wImageType == 0) uiParam_.wImageType = 1;

  lauchScan_ = false;
  scanLog("KRStartJob", kLogIn, 1);
  scannerError_ =
      kr_.KRStartJob != nullptr ? kr_.KRStartJob(kControllerId, &gDeviceID) : kErrorNoMemory;
  scanLog("KRStartJob", kLogOut, scannerError_ == 0, scannerError_.load());
  if (scannerError_ != 0) {
    getScannerError(nullptr);
    return false;
  }
  lauchScan_ = true;

  switch (uiParam_.bScanSource) {
    case kSourceAutomatic:
      if (deviceAbility.DeviceType & kDeviceFeeder) {
        scanSource_ = kScanSourceFeederFront;
      } else if (deviceHasFlatbed(deviceAbility.DeviceType)) {
        scanSource_ = kScanSourceFlatbed;
        uiParam_.bScanSource = kSourceFlatbed;
      } else {
        scanSource_ = kScanSourceFeederFront;
        uiParam_.bScanSource = kSourceFeeder;
      }
      break;
    case kSourceFlatbed:
    case kSourceFlatbedOther:
      scanSource_ = kScanSourceFlatbed;
      break;
    default:
      scanSource_ = kScanSourceFeederFront;
      break;
  }

  if (scanSource_ != kScanSourceFlatbed) {
    uint8_t paper = 0;
    if (!getADFStatus(&paper, false)) {
      getScannerError(nullptr);
      return false;
    }
    // An empty feeder sends the automatic source to the flatbed, where there is one; without
    // one the user hears that the feeder is empty, not that the settings were refused.
    if (uiParam_.bScanSource == kSourceAutomatic && paper == 0 &&
        (uiParam_.wImageType & kImageFrontBits) && deviceHasFlatbed(deviceAbility.DeviceType)) {
      scanSource_ = kScanSourceFlatbed;
    }
    if (scanSource_ == kScanSourceFeederFront && paper == 0) {
      scannerError_ = kErrorNoPaper;
      return false;
    }
  }

  if (!setNewParameter(1)) {
    getScannerError(nullptr);
    return false;
  }
  steps_->setScanSource(scanSource_);

  setGamma();
  bool result = true;
  if (HWAutoCrop) result = setHardwareProcess();
  if (!result) getScannerError(nullptr);
  gScanPage.scanTotal = scanImageInfo_.dwBytesPerLine * scanImageInfo_.dwLength;
  return result;
}

void TezFRLScan::setGamma() {
  uint8_t table[kGammaSize];
  // Black and white comes inverted from the device's point of view.
  const bool invert = scanImageInfo_.bMode == kXferModeBW;
  for (int i = 0; i < kGammaSize; ++i) table[i] = uint8_t(invert ? 255 - i : i);
  for (uint32_t channel = 1; channel <= 3; ++channel) {
    scanLog("KRSetGamma", kLogIn, 1, channel);
    if (kr_.KRSetGamma != nullptr)
      scannerError_ =
          kr_.KRSetGamma(kControllerId, &gDeviceID, table, kGammaSize, kGammaBits, channel, 0);
    scanLog("KRSetGamma", kLogOut, scannerError_ == 0, scannerError_.load());
  }
}

bool TezFRLScan::setHardwareProcess() {
  HWIMAGEPROCPARAMETER_UNION record;
  std::memset(&record, 0, sizeof record);
  record.Version = kHWVersion;
  record.Size = sizeof record;
  record.CropDeskew = kHWCropDeskew;
  record.BlankDetect = 0;  // hardware blank detection is never asked for
  scanLog("KRSetHWProcess", kLogIn, 1);
  scanLog("Version", kLogBlank, 1, record.Version);
  scanLog("Size", kLogBlank, 1, record.Size);
  scanLog("CropDeskew", kLogBlank, 1, record.CropDeskew);
  scanLog("BlankDetect", kLogBlank, 1, record.BlankDetect);
  scannerError_ = kr_.KRSetHWProcess != nullptr
                      ? kr_.KRSetHWProcess(kControllerId, &gDeviceID, &record, 0)
                      : kErrorNoMemory;
  HWProcessing = scannerError_ == 0;
  scanLog("KRSetHWProcess", kLogOut, HWProcessing, scannerError_.load());
  return HWProcessing;
}

void TezFRLScan::mapImageTypes(SCANPARAMETER_UNION& p, uint16_t* imageType) {
  uint16_t t = uiParam_.wImageType != 0 ? uiParam_.wImageType : 1;
  if (scanSource_ != kScanSourceFlatbed) {
    if (deviceAbility.DeviceType < kDeviceDuplex) t &= kImageFrontBits;
    if ((t & kImageFrontBits) == 0) {
      p.ScanMethod = kMethodFeederRear;
      scanSource_ = kScanSourceFeederRear;
    } else if ((t & kImageRearBits) || mergeSides_) {
      p.ScanMethod = kMethodDuplex;
      scanSource_ = kScanSourceFeederDuplex;
    } else {
      p.ScanMethod = kMethodFeederFront;
      scanSource_ = kScanSourceFeederFront;
    }
  } else {
    t &= kImageFrontBits;
    if (t == 0) {
      // Rear types on the flatbed are scanned as front types.
      uiParam_.wImageType = uint16_t(uiParam_.wImageType >> 1);
      t = uiParam_.wImageType;
    }
    p.ScanMethod = kMethodFlatbed;
  }
  imageTypeChanged_ = t;
  *imageType = t;
}

bool TezFRLScan::scanInColour(uint16_t t) const {
  if ((t & kColourTypes) || gColorScan == 1) return true;
  const ScanSetting& s = uiParam_;
  const bool fg = t & kImageGrayFront, rg = t & kImageGrayRear, fb = t & kImageBWFront,
             rb = t & kImageBWRear;
  if ((fg && NeedsColour(s.bFGColorDropOut, s.bFGAdvanceProcess)) ||
      (rg && NeedsColour(s.bRGColorDropOut, s.bRGAdvanceProcess)))
    return true;
  if ((fb && NeedsColour(s.bFBColorDropOut, s.bFBAdvanceProcess)) ||
      (rb && NeedsColour(s.bRBColorDropOut, s.bRBAdvanceProcess)))
    return true;
  // Sides scanned in one pass must agree on the drop-out and the advanced process.
  if ((fg && fb && s.bFGColorDropOut != s.bFBColorDropOut) ||
      (rg && rb && s.bRGColorDropOut != s.bRBColorDropOut))
    return true;
  if (fg && rg &&
      (s.bFGColorDropOut != s.bRGColorDropOut || s.bFGAdvanceProcess != s.bRGAdvanceProcess))
    return true;
  if (fb && rb &&
      (s.bFBColorDropOut != s.bRBColorDropOut || s.bFBAdvanceProcess != s.bRBAdvanceProcess))
    return true;
  if (deviceScanParam_.ScanMethod == kMethodDuplex &&
      ((fg && fb && s.bFGAdvanceProcess != s.bFBAdvanceProcess) ||
       (rg && rb && s.bRGAdvanceProcess != s.bRBAdvanceProcess)))
    return true;
  return false;
}

bool TezFRLScan::setNewParameter(int /*mode*/) {
  SCANPARAMETER_UNION& p = deviceScanParam_;
  std::memset(&p, 0, sizeof p);
  p.Version = kParamVersion;
  p.Size = kParamSize;
  p.BaseRes = kBaseRes;
  p.Highlight = 255;
  p.Threshold = 128;
  std::fill(std::begin(overscan_), std::end(overscan_), uint16_t(0));
  HWAutoCrop = HWBlankPageDetect = HWProcessing = false;
  const DeviceAbility& a = deviceAbility;
  const ScanSetting& s = uiParam_;

  if (previewScan_) {
    p.ScanMode = kModeColour;
    p.BitsPerPixel = 24;
    p.CtrlMode = kCtrlPage | kCtrlFixed;
    const uint16_t res = std::max<uint16_t>(kPreviewRes, a.MinimumRes);
    p.XRes = p.YRes = res;
    p.ScanMethod = scanSource_ != kScanSourceFlatbed ? kMethodFeederFront : kMethodFlatbed;
    p.PixelNum = Div(uint64_t(res) * maxWidth(), 300);
    p.LineNum = Div(uint64_t(res) * maxLength(), 300);
    p.PixelNum = RoundDown(RoundDown(p.PixelNum, 8), a.ColorPixelBound);
    p.Width = Div(uint64_t(p.PixelNum) * 300, res);
    p.Length = Div(uint64_t(p.LineNum) * 300, res);
  } else {
    const bool feeder = scanSource_ != kScanSourceFlatbed;
    uint16_t t = 0;
    mapImageTypes(p, &t);

    uint32_t res = 0;
    if (t & kColourTypes) res = s.wColorRes;
    if (t & kGrayTypes) res = std::max<uint32_t>(res, s.wGrayRes);
    if (t & kBWTypes) res = std::max<uint32_t>(res, s.wBWRes);
    if (t & kAutoColourTypes) res = s.wColorRes;

    const bool colour = scanInColour(t);
    if (colour) {
      p.BitsPerPixel = 24;
      p.ScanMode = kModeColour;
      p.ColorFilter = 0;
    } else {
      p.BitsPerPixel = 8;
      p.ScanMode = kModeGray;
      p.ColorFilter = (t & kImageBWFront) ? s.bFBColorDropOut : s.bRBColorDropOut;
      if (t & kGrayTypes)
        p.ColorFilter = (t & kImageGrayFront) ? s.bFGColorDropOut : s.bRGColorDropOut;
    }

    // An optical resolution of 0 says nothing: no cap.
    if (a.OpticalRes != 0) res = std::min<uint32_t>(res, a.OpticalRes);
    res = std::max<uint32_t>(res, a.MinimumRes);
    if (scanRes_ > 0) res = uint32_t(scanRes_);
    p.XRes = p.YRes = uint16_t(res);
    const uint32_t bound = colour ? a.ColorPixelBound : a.GrayPixelBound;
    const uint32_t width = std::min<uint32_t>(s.wWidth, maxWidth());
    const uint32_t length = std::min<uint32_t>(s.wLength, maxLength());
    const bool automatic = s.bPaperSize == kPageAutomatic || s.bPaperSize == kPageMultiCrop;
    const uint32_t centred =
        feeder && adfAlignment_ == 0 && a.ADFMaxWidth > width ? (a.ADFMaxWidth - width) / 2 : 0;

    if (s.bPaperSize == kPageLong) {
      p.Left = p.Top = 0;
      const int r = res > 500   ? 0
                    : res > 400 ? 1
                    : res > 300 ? 2
                    : res > 200 ? 3
                    : res > 150 ? 4
                                : 5;
      const uint32_t limit = longPageLimited_[(colour ? 12 : 18) + r];
      uint32_t longLength = s.dwLongLength;
      if (limit != 0) longLength = std::min(longLength, limit);
      p.PixelNum = Div(uint64_t(p.XRes) * s.dwLongWidth, 300);
      p.LineNum = Div(uint64_t(p.YRes) * longLength, 300);
      if (feeder) {
        p.ExtParam0 |= kExtLongPage;
        if (p.YRes > maxLongPageRes_) p.LineNum = Div(uint64_t(p.YRes) * maxLength(), 300);
        p.Left = centred;
        p.LineNum = RoundDown(p.LineNum, s.bSplitImage);
      } else {
        p.LineNum = Div(uint64_t(p.YRes) * maxLength(), 300);
      }
    } else if (automatic) {
      p.Left = p.Top = 0;
      p.PixelNum = Div(uint64_t(p.XRes) * maxWidth(), 300);
      p.LineNum = Div(uint64_t(p.YRes) * maxLength(), 300);
      if (feeder) {
        if (maxLongLength_ != 0 && gLongPageCrop == 1 && p.YRes <= 300)
          p.LineNum = Div(uint64_t(p.YRes) * maxLongLength_, 300);
        if (a.ScannerCapability1 & kCap1OverscanHeadTail) {
          generalOperation(KR_GENERAL_READ, kTagOverscanHead, kDataTypeWord, 1, &overscan_[kHead]);
          generalOperation(KR_GENERAL_READ, kTagOverscanTail, kDataTypeWord, 1, &overscan_[kTail]);
        }
        if (a.ScannerCapability1 & kCap1OverscanSides) {
          generalOperation(KR_GENERAL_READ, kTagOverscanLeft, kDataTypeWord, 1, &overscan_[kLeft]);
          generalOperation(KR_GENERAL_READ, kTagOverscanRight, kDataTypeWord, 1,
                           &overscan_[kRight]);
        }
      }
    } else {
      p.Left = s.wXPos;
      p.Top = s.wYPos;
      if (s.bPaperSize < kPageCustom) {
        p.Top = 0;
        p.Left = feeder ? centred : 0;
      }
      p.PixelNum = Div(uint64_t(p.XRes) * width, 300);
      p.LineNum = Div(uint64_t(p.YRes) * length, 300);
    }

    p.PixelNum += Div(uint64_t(p.XRes) * (overscan_[kLeft] + overscan_[kRight]), a.OpticalRes);
    p.PixelNum = RoundDown(p.PixelNum, bound);
    p.Width = Div(uint64_t(p.PixelNum) * 300, p.XRes);
    p.LineNum += Div(uint64_t(p.YRes) * (overscan_[kHead] + overscan_[kTail] + overscan_[kHead1st]),
                     a.OpticalRes);
    p.Length = Div(uint64_t(p.LineNum) * 300, p.YRes);

    if (pageScan_) p.CtrlMode |= kCtrlPage;
    if (feeder) {
      if (!automatic && s.bLengthDetection == 1)
        p.DetectFeedLength =
            p.Top + s.wLengthDetectionValue + p.Length + (s.wLengthDetectionValue == 0 ? 1 : 0);
      if (s.bUltrasonic == 1) p.ExtParam0 |= kExtUltrasonic;
      if ((s.bUltrasonic == 1 || s.bLengthDetection == 1) &&
          (a.ScannerCapability2 & kCap2MultifeedStop) && s.bStopAfterMultefeed == 1) {
        if (a.ScannerCapability2 & 4) {
          p.ExtParam0 |= kExtStopMultifeed;
        } else if (a.ScannerCapability2 & 1) {
          p.ExtParam0 |= kExtStopMultifeedOld;
        }
      }
    }
    if (!feeder) p.CtrlMode |= kCtrlPage | kCtrlFixed;
    if (feeder && s.iImageCount > 0) p.CtrlMode |= kCtrlPage;
    if (!automatic) p.CtrlMode |= kCtrlFixed;
    if (feeder && automatic) {
      p.TuneScanLengthTop = kTuneFromDevice | overscan_[kHead];
      p.TuneScanLengthBottom = kTuneFromDevice | overscan_[kTail];
      p.TuneScanLengthLeft = kTuneFromDevice | overscan_[kLeft];
      p.TuneScanLengthRight = kTuneFromDevice | overscan_[kRight];
      if (s.bCarrierSheet) p.ExtParam0 |= kExtCarrierSheet;
    }
    if (p.XRes <= 300 && automatic && (a.ScannerCapability0 & kCap0HardwareCrop)) HWAutoCrop = true;
    if (mergeSides_ || s.bCarrierSheet || !feeder) HWAutoCrop = false;
    if (feeder && (a.ScannerCapability1 & kCap1EjectOpposite) && s.bEjectOpposite == 1)
      p.ExtParam0 |= kExtEjectOpposite;
  }

  if ((a.ImageType & kImageTypeJpeg) == kImageTypeJpeg && p.BitsPerPixel >= 8 &&
      gDisableJpeg != 1) {
    p.Compression = kCompressionJpeg;
    p.ScanMode |= p.BitsPerPixel == 8 ? kJpegGray : kJpegColour;
  }
  p.BytesPerLine = p.BitsPerPixel == 24  ? p.PixelNum * 3
                   : p.BitsPerPixel == 1 ? (p.PixelNum + 7) / 8
                                         : p.PixelNum;
  p.Length = Div(uint64_t(p.LineNum) * 300, p.YRes);

  logScanParameter();
  scanLog("KRSetParameter", kLogIn, 1);
  scannerError_ = kr_.KRSetParameter != nullptr ? kr_.KRSetParameter(kControllerId, &gDeviceID, &p)
                                                : kErrorNoMemory;
  const bool ok = scannerError_ == 0;
  scanLog("KRSetParameter", kLogOut, ok, scannerError_.load());

  scanImageInfo_ = XferImageInfo{};
  scanImageInfo_.bBitsPerPixel = p.BitsPerPixel;
  scanImageInfo_.wXRes = p.XRes;
  scanImageInfo_.wYRes = p.YRes;
  scanImageInfo_.dwWidth = p.PixelNum;
  scanImageInfo_.dwLength = p.LineNum;
  scanImageInfo_.dwBytesPerLine = p.BytesPerLine;
  scanImageInfo_.bMode = p.BitsPerPixel == 24  ? kXferModeColor
                         : p.BitsPerPixel == 8 ? kXferModeGray
                                               : kXferModeBW;
  enableBatchScan_ = (p.CtrlMode & kCtrlPage) == 0;
  return ok;
}

void TezFRLScan::logScanParameter() {
  const SCANPARAMETER_UNION& p = deviceScanParam_;
  static constexpr const char* kHeading = "--------------- Scan Parameters ---------------";
  char tune[8];
  auto hex16 = [&tune](uint16_t v) {
    std::snprintf(tune, sizeof tune, "0x%04X", v);
    return std::string(tune);
  };
  scanLog(kHeading, "", 1);
  scanLog("Version", kLogBlank, 1, p.Version);
  scanLog("Size", kLogBlank, 1, p.Size);
  scanLog("BaseRes", kLogBlank, 1, p.BaseRes);
  scanLog("Left", kLogBlank, 1, p.Left);
  scanLog("Top", kLogBlank, 1, p.Top);
  scanLog("Width", kLogBlank, 1, p.Width);
  scanLog("Length", kLogBlank, 1, p.Length);
  scanLog("XRes", kLogBlank, 1, p.XRes);
  scanLog("YRes", kLogBlank, 1, p.YRes);
  scanLog("PixelNum", kLogBlank, 1, p.PixelNum);
  scanLog("LineNum", kLogBlank, 1, p.LineNum);
  scanLog("BytesPerLine", kLogBlank, 1, p.BytesPerLine);
  scanLog("ScanMode", kLogBlank, 1, hex32(p.ScanMode));
  scanLog("ScanMethod", kLogBlank, 1, p.ScanMethod);
  scanLog("Compression", kLogBlank, 1, p.Compression);
  scanLog("BitsPerPixel", kLogBlank, 1, p.BitsPerPixel);
  scanLog("SpeedMode", kLogBlank, 1, p.SpeedMode);
  scanLog("Contrast", kLogBlank, 1, p.Contrast);
  scanLog("Brightness", kLogBlank, 1, p.Brightness);
  scanLog("DitherIndex", kLogBlank, 1, p.DitherIndex);
  scanLog("Highlight", kLogBlank, 1, p.Highlight);
  scanLog("Shadow", kLogBlank, 1, p.Shadow);
  scanLog("ColorFilter", kLogBlank, 1, p.ColorFilter);
  scanLog("Invert", kLogBlank, 1, p.Invert);
  scanLog("CtrlMode", kLogBlank, 1, p.CtrlMode);
  scanLog("DetectFeedLength", kLogBlank, 1, p.DetectFeedLength);
  scanLog("TuneScanLengthBottom", kLogBlank, 1, hex16(p.TuneScanLengthBottom));
  scanLog("TuneScanLengthTop", kLogBlank, 1, hex16(p.TuneScanLengthTop));
  scanLog("TuneScanLengthLeft", kLogBlank, 1, hex16(p.TuneScanLengthLeft));
  scanLog("TuneScanLengthRight", kLogBlank, 1, hex16(p.TuneScanLengthRight));
  scanLog("ExtParam0", kLogBlank, 1, hex32(p.ExtParam0));
  scanLog(kHeading, "", 1);
}

bool TezFRLScan::endScanJob() {
  if (!lauchScan_) return true;
  scanLog("KRStopJob", kLogIn, 1);
  scannerError_ =
      kr_.KRStopJob != nullptr ? kr_.KRStopJob(kControllerId, &gDeviceID) : kErrorNoMemory;
  const bool ok = scannerError_ == 0;
  scanLog("KRStopJob", kLogOut, ok, scannerError_.load());
  lauchScan_ = previewScan_ = false;
  return ok;
}

bool TezFRLScan::doPreviewScan(const ScanSetting& setting,
                               const std::filesystem::path& previewImage) {
  previewScan_ = true;
  const bool started = startScanJob(setting);
  previewScan_ = false;
  if (!started) return false;
  const uint64_t bytes = uint64_t(scanImageInfo_.dwBytesPerLine) * scanImageInfo_.dwLength;
  freeMemory();
  if (bytes == 0 || bytes > UINT32_MAX ||
      (pScanBuffer_ = static_cast<uint8_t*>(std::calloc(1, size_t(bytes)))) == nullptr) {
    scannerError_ = kErrorNoMemory;
    endScanJob();
    return false;
  }
  allocScanSize_ = uint32_t(bytes);
  useBackBuffer_ = false;
  {
    std::lock_guard lock(gScanPage.bufferLock);
    gScanPage.gPageBuffer = pScanBuffer_;
    gScanPage.gScanSize = gScanPage.gPageBufSize = allocScanSize_;
  }
  gScanPage.clearPageCounters();
  gScanPage.setStatus(kPageRunning);
  scanLog("KRStartScan", kLogIn, 1);
  scannerError_ = kr_.KRStartScan != nullptr
                      ? kr_.KRStartScan(kControllerId, &gDeviceID, GetScanImage, 0)
                      : kErrorNoMemory;
  bool ok = scannerError_ == 0;
  scanLog("KRStartScan", kLogOut, ok, scannerError_.load());
  if (ok) {
    ok = readScanImage(true);
    const int64_t readError = scannerError_;
    const long stopped =
        kr_.KRStopScan != nullptr ? kr_.KRStopScan(kControllerId, &gDeviceID, 0) : kErrorNoMemory;
    scannerError_ = readError != 0 ? readError : stopped;
    ok = ok && stopped == 0;
  }
  const int64_t firstError = scannerError_;
  endScanJob();
  if (!ok) scannerError_ = firstError;
  if (pScanBuffer_ != nullptr) {
    if (ok && gKrCommon) ok = gKrCommon->saveImageFile(pScanBuffer_, scanImageInfo_, previewImage);
    freeMemory();
  }
  return ok;
}

}  // namespace ferrolite
