// The outside plug-ins of the image-process object: loading and binding them, colour drop-out
// (pipeline and dialog preview) with the per-model drop gamma tables, colour matching, barcode
// search and the imprint.
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "ds/scan/image/ImageRaster.h"
#include "ds/scan/image/TezFRLImageProcess.h"
#include "ds/scan/records/DeviceType.h"
#include "ds/scan/scanner/TezFRLScan.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Resources.h"

namespace ferrolite {

using namespace image;
namespace fs = std::filesystem;

namespace {

constexpr const char* kDropGammaFile = "DropGamma.plist";
constexpr const char* kDropGammaChannels[3] = {"Red", "Green", "Blue"};
constexpr const char* kDropGammaLogNames[3] = {"dropRedGammaTable", "dropGreenGammaTable",
                                               "dropBlueGammaTable"};
constexpr unsigned kBlackBackgroundBelow = 129;
constexpr int kDropCustom = 4;
constexpr uint8_t kAdvDropQuality = 0x81, kAdvDropPlain = 0x41;
constexpr uint8_t kDropBackgroundLevel = 247;
constexpr uint8_t kDropTolerance = 10;
constexpr uint8_t kDropFilterDefault = 10;
constexpr uint8_t kDropBWThreshold = 128;
constexpr size_t kDropBlockSize = 15;
constexpr int32_t kProfileIntent = 3, kProfileCode = 38;
constexpr int kCurveEntries = 256;
constexpr size_t kDibHeader = 40;
constexpr double kInchesPerMetre = 39.37;
constexpr uint32_t kDataBar = 0x1000, kDataBarExpanded = 0x2000;
constexpr uint32_t kBarcodeTextMax = 1u << 20;  // bounds for a malformed result block
constexpr uint32_t kBarcodePointsMax = 1u << 16;

// The drop-out fields of one output kind and side.
struct DropSide {
  uint8_t ScanSetting::*colour;
  uint8_t ScanSetting::*advanced;
  uint8_t ScanSetting::*quality;
  uint8_t ScanSetting::*filter;
  uint8_t ScanSetting::*r;
  uint8_t ScanSetting::*g;
  uint8_t ScanSetting::*b;
};
using S = ScanSetting;
// [grey output][rear side]
constexpr DropSide kDropSides[2][2] = {
    {{&S::bFBColorDropOut, &S::bFBAdvanceProcess, &S::bFBAdvDropQuality, &S::bFBFilterThreshold,
      &S::bFBCustomR, &S::bFBCustomG, &S::bFBCustomB},
     {&S::bRBColorDropOut, &S::bRBAdvanceProcess, &S::bRBAdvDropQuality, &S::bRBFilterThreshold,
      &S::bRBCustomR, &S::bRBCustomG, &S::bRBCustomB}},
    {{&S::bFGColorDropOut, &S::bFGAdvanceProcess, &S::bFGAdvDropQuality, &S::bFGFilterThreshold,
      &S::bFGCustomR, &S::bFGCustomG, &S::bFGCustomB},
     {&S::bRGColorDropOut, &S::bRGAdvanceProcess, &S::bRGAdvDropQuality, &S::bRGFilterThreshold,
      &S::bRGCustomR, &S::bRGCustomG, &S::bRGCustomB}}};

void* OpenPlugin(const fs::path& resources, const char* name) {
  fs::path path = resources / name;
  void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (handle == nullptr) {
    path = foundation::scannerModuleResourceFolder() / name;
    handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
  }
  if (handle == nullptr) {
    const char* why = dlerror();
    imageLog(name, kLogBlank, 0, why ? why : "not found");
  }
  return handle;
}

template <class F>
void Bind(void* handle, const char* name, F* entry) {
  *entry = reinterpret_cast<F>(dlsym(handle, name));
}

// The profile file in the resource folder, else in the Image Capture module's.
fs::path FindProfile(const fs::path& resources, const std::string& file) {
  fs::path path = resources / "icc" / file;
  if (fs::exists(path)) return path;
  return foundation::scannerModuleResourceFolder() / "icc" / file;
}

void PutU16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void PutI64(std::vector<uint8_t>& r, size_t at, int64_t v) { std::memcpy(&r[at], &v, 8); }
void PutF64(std::vector<uint8_t>& r, size_t at, double v) { std::memcpy(&r[at], &v, 8); }

// UTF-8 to UTF-16 units, at most `max` units; bad bytes become U+FFFD.
std::u16string Utf16(const std::string& text, size_t max) {
  std::u16string out;
  for (size_t i = 0; i < text.size() && out.size() < max;) {
    const auto c = uint8_t(text[i]);
    uint32_t cp = 0xFFFD;
    size_t n = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c >> 5) == 6 && i + 1 < text.size()) {
      cp = (c & 0x1F) << 6 | (uint8_t(text[i + 1]) & 0x3F), n = 2;
    } else if ((c >> 4) == 14 && i + 2 < text.size()) {
      cp = (c & 0x0F) << 12 | (uint8_t(text[i + 1]) & 0x3F) << 6 | (uint8_t(text[i + 2]) & 0x3F);
      n = 3;
    } else if ((c >> 3) == 30 && i + 3 < text.size()) {
      cp = (c & 0x07) << 18 | (uint8_t(text[i + 1]) & 0x3F) << 12 |
           (uint8_t(text[i + 2]) & 0x3F) << 6 | (uint8_t(text[i + 3]) & 0x3F);
      n = 4;
    }
    i += n;
    if (cp >= 0x10000) {
      if (out.size() + 2 > max) break;
      cp -= 0x10000;
      out += char16_t(0xD800 + (cp >> 10));
      out += char16_t(0xDC00 + (cp & 0x3FF));
    } else {
      out += char16_t(cp);
    }
  }
  return out;
}

// The drop-out fields of one output kind's block.
template <class Block>
void SetDropFields(Block& b, uint8_t colour, uint8_t filter, bool quality, const uint8_t rgb[3]) {
  b.AdvDrop = quality ? kAdvDropQuality : kAdvDropPlain;
  b.DropThreshold = filter;
  b.ColorFilter = colour;
  b.BackgroundColor = 255;
  if (colour == kDropCustom) {
    b.RDropValue = rgb[0], b.GDropValue = rgb[1], b.BDropValue = rgb[2];
    b.DropTolerance = kDropTolerance;
  }
}

void SetDropRecord(NIDATA& rec, bool greyOut, uint8_t colour, uint8_t filter, bool quality,
                   uint8_t bwThreshold, const uint8_t rgb[3]) {
  NIDATA_OutImage& out = rec.OutImage;
  if (greyOut) {
    out.OutMode = 2;
    out.Gray.Mode = colour == kDropCustom ? 0 : 2;
    out.Gray.BackgroundLevel = kDropBackgroundLevel;
    SetDropFields(out.Gray, colour, filter, quality, rgb);
  } else {
    out.OutMode = 1;
    out.BW.Mode = 0;
    out.BW.BytesPerLine = uint16_t(packedLine(1, rec.InImage.Pixel));
    out.BW.BWThreshold = bwThreshold;
    SetDropFields(out.BW, colour, filter, quality, rgb);
  }
}

}  // namespace

uint8_t barcodeTypeIndex(uint32_t bit) {
  switch (bit) {
    case 0x1:
      return 0;
    case 0x2:
      return 1;
    case 0x4:
      return 2;
    case 0x8:
      return 3;
    case 0x10:
      return 4;
    case 0x20:
      return 5;
    case 0x40:
      return 6;
    case 0x80:
    case 0x10000:
      return 7;
    case 0x100:
      return 8;
    case 0x200:
      return 9;
    case 0x400:
      return 10;
    case 0x800:
      return 11;
    case 0x1000:
    case 0x2000:
      return 12;
    case 0x4000:
      return 13;
    case 0x8000:
      return 14;
    default:
      return 0xFF;
  }
}

void TezFRLImageProcess::closeLibraries() {
  if (hLumetra_ != nullptr) {
    if (lm_.TerminateLib) lm_.TerminateLib();
    dlclose(hLumetra_);
    imageLog("Lumetra released", kLogBlank);
  }
  if (hChromalis_ != nullptr) {
    dlclose(hChromalis_);
    imageLog("ColorMatch released", kLogBlank);
  }
  if (hKrCocoa_ != nullptr) dlclose(hKrCocoa_);
  if (hBarcode_ != nullptr) dlclose(hBarcode_);
  hLumetra_ = hChromalis_ = hKrCocoa_ = hBarcode_ = nullptr;
  lm_ = {};
  for (auto& i : icc_) i = {};
  addWaterMark_ = nullptr;
  queryICAButton_ = nullptr;
  search_ = nullptr;
  colorMatchOn_ = false;
}

bool TezFRLImageProcess::initalizeLumetraLib(const fs::path& resources, int /*debugLevel*/,
                                             uint32_t usbID) {
  if (hLumetra_ != nullptr) {
    if (lm_.TerminateLib) lm_.TerminateLib();
    dlclose(hLumetra_);
    hLumetra_ = nullptr;
    lm_ = {};
  }
  hLumetra_ = OpenPlugin(resources, kLumetraLibraryName);
  if (hLumetra_ == nullptr) return false;
  LumetraInitializeLibFn initialize = nullptr;
  Bind(hLumetra_, "InitializeLib", &initialize);
  if (initialize == nullptr || initialize() < 0) {
    imageLog("InitializeLib", kLogBlank, 0);
    dlclose(hLumetra_);
    hLumetra_ = nullptr;
    return false;
  }
  Bind(hLumetra_, "TerminateLib", &lm_.TerminateLib);
  Bind(hLumetra_, "GrayQuality", &lm_.GrayQuality);
  Bind(hLumetra_, "DeskewCrop", &lm_.DeskewCrop);
  Bind(hLumetra_, "AdvColorDrop", &lm_.AdvColorDrop);
  Bind(hLumetra_, "EdgeCleanup", &lm_.EdgeCleanup);
  Bind(hLumetra_, "AutoColorDetection", &lm_.AutoColorDetection);
  Bind(hLumetra_, "BlankPageDetection", &lm_.BlankPageDetection);
  Bind(hLumetra_, "AutoOrientation", &lm_.AutoOrientation);
  Bind(hLumetra_, "PunchHoleRemoval", &lm_.PunchHoleRemoval);
  Bind(hLumetra_, "DoDespeckle", &lm_.DoDespeckle);
  Bind(hLumetra_, "Merge2Side", &lm_.Merge2Side);
  Bind(hLumetra_, "DeskewCropCont", &lm_.DeskewCropCont);
  Bind(hLumetra_, "GetDeskewCropContImage", &lm_.GetDeskewCropContImage);
  Bind(hLumetra_, "lThreshold", &lm_.lThreshold);
  Bind(hLumetra_, "SetDebugMode", &lm_.SetDebugMode);
  Bind(hLumetra_, "IdentifyProductSetting", &lm_.IdentifyProductSetting);
  Bind(hLumetra_, "PatchCode", &lm_.PatchCode);
  Bind(hLumetra_, "BackgroundProcess", &lm_.BackgroundProcess);
  Bind(hLumetra_, "FreeMemory", &lm_.FreeMemory);
  Bind(hLumetra_, "AdvColorDrop2", &lm_.AdvColorDrop2);
  Bind(hLumetra_, "JpegCrop", &lm_.JpegCrop);
  Bind(hLumetra_, "GetMultipleImage", &lm_.GetMultipleImage);

  const DeviceAbility& a = deviceAbility;
  blackADF_ =
      (unsigned(a.FrontADFBackground_R) + a.FrontADFBackground_G + a.FrontADFBackground_B) / 3 <
      kBlackBackgroundBelow;
  char id[16];
  std::snprintf(id, sizeof id, "%04X%04X", usbID & 0xFFFF, usbID >> 16);
  usbID_ = id;
  if (lm_.IdentifyProductSetting) {
    long status = 0;
    lm_.IdentifyProductSetting(id, 0, &status);
  }
  getDropGamma(resources);
  return true;
}

void TezFRLImageProcess::getDropGamma(const fs::path& resources) {
  supportdropGamma_ = false;
  for (auto& table : dropGamma_)
    for (int k = 0; k < 256; ++k) table[k] = uint8_t(k);
  if (gAdvColorDropOn == 1) return;
  auto file = foundation::readDictionaryFile(resources / kDropGammaFile);
  if (!file) return;
  auto model = file->dictionary(scannerName_);
  if (!model) return;
  supportdropGamma_ = true;
  for (int c = 0; c < 3; ++c) {
    auto channel = model->dictionary(kDropGammaChannels[c]);
    if (channel) {
      for (int k = 0; k < 256; ++k) {
        char key[8];
        std::snprintf(key, sizeof key, "%03d", k);
        if (auto v = channel->integer(key); v && *v >= 0 && *v <= 255)
          dropGamma_[c][k] = uint8_t(*v);
      }
    }
    imageLog(kDropGammaLogNames[c], kLogBlank);
    for (int row = 0; row < 16; ++row) {
      std::string line;
      for (int k = 0; k < 16; ++k) {
        char v[8];
        std::snprintf(v, sizeof v, k ? " %3d" : "%3d", dropGamma_[c][row * 16 + k]);
        line += v;
      }
      imageLog(line, "");
    }
  }
}

const uint8_t* TezFRLImageProcess::dropGammaTable(int colour) const {
  return colour >= 1 && colour <= 3 ? dropGamma_[colour - 1] : nullptr;
}

bool TezFRLImageProcess::initalizeColorMatchLib(const fs::path& resources) {
  colorMatchOn_ = false;
  chromalisTable_.clear();
  if (std::ifstream krc(resources / kChromalisDataFile, std::ios::binary); krc)
    chromalisTable_.assign(std::istreambuf_iterator<char>(krc), {});
  if (hChromalis_ != nullptr) dlclose(hChromalis_);
  hChromalis_ = OpenPlugin(resources, kChromalisLibraryName);
  if (hChromalis_ == nullptr) return false;
  static constexpr const char* kEndings[3] = {"", "_2nd", "_3rd"};
  for (int i = 0; i < 3; ++i) {
    const std::string e = kEndings[i];
    Bind(hChromalis_, ("KR_Icc_SetProfile" + e).c_str(), &icc_[i].setProfile);
    Bind(hChromalis_, ("KR_Icc_SetIntent" + e).c_str(), &icc_[i].setIntent);
    Bind(hChromalis_, ("KR_Icc_Adjust" + e).c_str(), &icc_[i].adjust);
    Bind(hChromalis_, ("KR_Icc_Convert2" + e).c_str(), &icc_[i].convert);
  }
  const fs::path front = FindProfile(resources, scannerName_ + ".icc");
  if (!fs::exists(front)) {
    imageLog(front.string() + " not found", kLogBlank, 0);
    return false;
  }
  fs::path rear = FindProfile(resources, scannerName_ + "R.icc");
  fs::path flatbed = FindProfile(resources, scannerName_ + "FB.icc");
  if (!fs::exists(rear)) rear = front;
  if (!fs::exists(flatbed)) flatbed = front;
  const fs::path profiles[3] = {front, rear, flatbed};
  for (int i = 0; i < 3; ++i) {
    if (icc_[i].setProfile == nullptr || icc_[i].convert == nullptr) return false;
    if (icc_[i].setProfile(profiles[i].c_str(), 0, kProfileIntent, 0, kProfileCode) ==
        kChromalisFailed) {
      imageLog("Set profile failed " + profiles[i].filename().string(), kLogBlank, 0);
      return false;
    }
  }
  colorMatchOn_ = true;
  return true;
}

bool TezFRLImageProcess::initalizeKrCocoaLib(const fs::path& resources) {
  if (hKrCocoa_ != nullptr) dlclose(hKrCocoa_);
  hKrCocoa_ = OpenPlugin(resources, kKRCocoaLibraryName);
  if (hKrCocoa_ == nullptr) return false;
  Bind(hKrCocoa_, "addWaterMark", &addWaterMark_);
  Bind(hKrCocoa_, "queryICAButton", &queryICAButton_);
  if (hBarcode_ != nullptr) dlclose(hBarcode_);
  hBarcode_ = OpenPlugin(resources, kStripecodeLibraryName);
  if (hBarcode_ != nullptr) Bind(hBarcode_, "Search", &search_);
  return true;
}

void TezFRLImageProcess::detectButtonEvent(int stop, const std::string& vendor) {
  if (queryICAButton_ == nullptr) return;
  imageLog("detectButtonEvent", kLogBlank, 1,
           "stop: " + std::to_string(stop) + ", vendor: " + vendor);
  queryICAButton_(stop, vendor.c_str());
}

bool TezFRLImageProcess::doColorDropOut(int type) {
  XferImageInfo& info = xferImageInfo_;
  if (info.bBitsPerPixel != 24 || (type != 0 && type != 1) || pXferBuffer_ == nullptr) return false;
  const ScanSetting& s = ui();
  const bool f = frontSide_, grey = type == 1;
  const DropSide& d = kDropSides[grey ? 1 : 0][f ? 0 : 1];
  const uint8_t colour = s.*d.colour, advanced = s.*d.advanced, quality = s.*d.quality;
  uint8_t filter = s.*d.filter;
  const uint8_t rgb[3] = {s.*d.r, s.*d.g, s.*d.b};
  const uint8_t threshold = grey ? kDropBWThreshold : f ? s.bFBThreshold : s.bRBThreshold;
  if (colour == 0) return false;
  const bool normal = colour >= 1 && colour <= 3 && advanced == 0;
  const bool second = !normal && lm_.AdvColorDrop2 != nullptr;
  const bool greyOut = grey || !second;
  if (second) {
    gAdvDrop2Processing = true;
    if (quality == 0 || colour == kDropCustom) filter = kDropFilterDefault;
  }
  initSIData();
  SetDropRecord(siData_, greyOut, colour, filter, quality != 0, threshold, rgb);
  uint8_t block[kDropBlockSize];
  std::memset(block, 0xFF, sizeof block);
  if (colour == kDropCustom) std::memcpy(block, rgb, 3);

  if (normal) {
    imageLog("Normal mode", kLogBlank);
    imageLog("Drop out color", kLogBlank, 1, colour);
    colorToGray(colour);
    if (supportdropGamma_) {
      imageLog("Drop gamma mode", kLogBlank);
      const uint8_t* table = dropGamma_[colour - 1];
      const uint64_t n = imageBytes(info);
      for (uint64_t i = 0; i < n; ++i) pXferBuffer_[i] = table[pXferBuffer_[i]];
    }
    return true;
  }
  bool ok;
  if (second) {
    imageLog("AdvColorDrop2 mode", kLogBlank);
    ok = runInPlace(lm_.AdvColorDrop2, "AdvColorDrop2", block);
  } else {
    imageLog("AdvColorDrop mode", kLogBlank);
    ok = runInPlace(lm_.AdvColorDrop, "AdvColorDrop");
  }
  if (!ok) {
    gAdvDrop2Processing = false;
    return false;
  }
  if (second && !greyOut && siData_.OutImage.ImageWidth != 0)
    info.dwWidth = siData_.OutImage.ImageWidth;
  setKind(info, greyOut ? kXferModeGray : kXferModeBW);
  return true;
}

bool TezFRLImageProcess::getColorDropData(const uint8_t* source, uint8_t* dest,
                                          XferImageInfo sourceInfo, ColorDropParam param) {
  if (source == nullptr || dest == nullptr || sourceInfo.bBitsPerPixel != 24) return false;
  NIDATA rec;
  inputSIData(&rec, sourceInfo);
  const uint32_t type = deviceAbility.DeviceType;
  rec.InImage.ScanType = deviceHasFeeder(type) ? 1 : 0;
  const bool greyOut = param.bGrayOutput != 0;
  const uint8_t rgb[3] = {param.bCustomR, param.bCustomG, param.bCustomB};
  SetDropRecord(rec, greyOut, param.bDropColor, param.bThreshold, param.bQuality != 0,
                kDropBWThreshold, rgb);
  const uint32_t w = sourceInfo.dwWidth, h = sourceInfo.dwLength;
  if (param.bAdvance) {
    uint8_t block[kDropBlockSize];
    std::memset(block, 0xFF, sizeof block);
    if (param.bDropColor == kDropCustom) std::memcpy(block, rgb, 3);
    const LumetraProcessFn entry = lm_.AdvColorDrop2 ? lm_.AdvColorDrop2 : lm_.AdvColorDrop;
    if (entry == nullptr) return false;
    void* out = dest;
    long status = 0;
    const long msg = entry(const_cast<uint8_t*>(source), &out, &rec,
                           lm_.AdvColorDrop2 ? block : nullptr, &status);
    imageLog("getColorDropData", kLogBlank, msg == 0, status);
    return msg == 0;
  }
  const int colour = param.bDropColor;
  if (colour < 1 || colour > 3) return false;  // nothing to copy: the destination stays unfilled
  // The destination is sized for the output kind: one grey byte, or one bit, a pixel.
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* src = source + uint64_t(y) * sourceInfo.dwBytesPerLine;
    if (greyOut) {
      uint8_t* dst = dest + uint64_t(y) * w;
      for (uint32_t x = 0; x < w; ++x) dst[x] = src[3 * uint64_t(x) + colour - 1];
    } else {
      uint8_t* dst = dest + uint64_t(y) * packedLine(1, w);
      std::memset(dst, 0, packedLine(1, w));
      for (uint32_t x = 0; x < w; ++x)
        putBit(dst, x, src[3 * uint64_t(x) + colour - 1] >= kDropBWThreshold);
    }
  }
  return true;
}

bool TezFRLImageProcess::applyColorMatch() {
  const XferImageInfo& info = xferImageInfo_;
  const ScanSetting& s = ui();
  if (info.bBitsPerPixel != 24 || !colorMatchOn_ || s.bColorMatch == 0 || pXferBuffer_ == nullptr)
    return false;
  int32_t intent = 0, code = 10;
  std::string mode;
  switch (s.bColorMatch) {
    case 1:
      intent = 0, code = 34, mode = "Perceptual/sRGB_TonalPhoto";
      break;
    case 2:
      intent = 3, code = 38, mode = "Absolute/sRGB_TonalMix";
      break;
    case 3:
      intent = 3, code = 36, mode = "Absolute/sRGB_TonalText";
      break;
    default:
      mode = "Custom " + std::to_string(s.bColorMatch - 3);
      break;
  }
  imageLog("Mode", kLogBlank, 1, mode);
  uint8_t table[256], curve[kCurveEntries];
  const bool f = frontSide_;
  buildGammaTable(table, f ? s.iFCBrightness : s.iRCBrightness, f ? s.iFCContrast : s.iRCContrast,
                  100, false);
  for (int i = 0; i < kCurveEntries; ++i) curve[i] = table[chromalisContents_[i]];
  const int use = scanSource_ == kScanSourceFlatbed ? 2 : f ? 0 : 1;
  auto prepare = [&](ChromalisInstance& c) {
    if (resetIntent_ && c.setIntent) {
      c.setIntent(intent, 0, code);
      imageLog("Icc set intent", kLogBlank, 1, intent);
    }
    if (!chromalisTable_.empty() && c.adjust) {
      c.adjust(0, 0, 0, curve, curve, curve, kCurveEntries);
      imageLog("Icc adjust", kLogBlank);
    }
  };
  prepare(icc_[use]);
  if (use == 0 && scanSource_ == kScanSourceFeederDuplex) prepare(icc_[1]);
  imageLog("Icc convert", kLogBlank, 1, use);
  for (uint32_t y = 0; y < info.dwLength; ++y) {
    uint8_t* line = pXferBuffer_ + uint64_t(y) * info.dwBytesPerLine;
    icc_[use].convert(line, line, int32_t(info.dwWidth));
  }
  resetIntent_ = false;
  return true;
}

std::vector<uint8_t> watermarkRecord(const ScanSetting& s, const XferImageInfo& info,
                                     size_t textLength) {
  std::vector<uint8_t> r(kWatermarkRecordSize, 0);
  if (s.bPrintHollow) PutF64(r, kWmHollow, 0.5);
  double size = double(int64_t(int64_t(s.bPrintSize * 64 / 5) * info.wXRes / 200));
  if (s.bPrintFontAttri == 2) size *= 2;
  PutF64(r, kWmFontSize, size);
  const int mode = info.bMode > kXferModeColor ? 0 : info.bMode;
  PutI64(r, kWmImageKind, 2 - mode);
  PutI64(r, kWmWidth, info.dwWidth);
  PutI64(r, kWmLength, info.dwLength);
  int64_t ink = s.bPrintDensity;
  if (info.bMode == kXferModeBW) ink = s.bPrintDensity <= 128 ? 0 : 255;
  PutI64(r, kWmInk, ink);
  static constexpr int64_t kAngles[6] = {0, 180, 90, 270, 90, 270};
  PutI64(r, kWmAngle, s.bPrintOrientation <= 5 ? kAngles[s.bPrintOrientation] : 0);
  PutI64(r, kWmTextLength, int64_t(textLength));
  PutI64(r, kWmOpacity, 100 - int64_t(s.bPrintTransparency));
  const uint8_t position = s.bPrintArea == 0   ? kWmTop
                           : s.bPrintArea == 2 ? kWmBottom
                           : s.bPrintArea == 3 ? kWmAt
                                               : kWmMiddle;
  r[kWmPosition] = position;
  r[kWmUnderline] = s.bPrintFontAttri == 1;
  r[kWmBold] = s.bPrintFontAttri == 3;
  r[kWmFixedWidth] = s.bPrintFixedWidth;
  r[kWmVertical] = s.bPrintOrientation == 2 || s.bPrintOrientation == 3;
  if (position == kWmAt) {
    PutI64(r, kWmX, int64_t(s.wPrintX * info.wXRes / 25.4));
    PutI64(r, kWmY, int64_t(s.wPrintY * info.wYRes / 25.4));
  }
  return r;
}

bool TezFRLImageProcess::watermarkImage(const std::string& text) {
  const XferImageInfo& info = xferImageInfo_;
  if (addWaterMark_ == nullptr || pXferBuffer_ == nullptr) return false;
  imageLog("watermark", kLogBlank, 1, text);
  // The plug-in draws on packed rows only.
  if (info.dwBytesPerLine != packedLine(info.bBitsPerPixel, info.dwWidth)) {
    imageLog("watermark", kLogBlank, 0, "rows not packed");
    return false;
  }
  const std::u16string units = Utf16(text, kKRCocoaTextUnits);
  uint16_t field[kKRCocoaTextUnits] = {};
  std::memcpy(field, units.data(), units.size() * sizeof(char16_t));
  const std::vector<uint8_t> record = watermarkRecord(ui(), info, units.size());
  return addWaterMark_(pXferBuffer_, field, record.data()) == 0;
}

bool TezFRLImageProcess::doBarcodeDetection(const XferImageInfo& info, const uint8_t* buffer,
                                            uint32_t types, BarcodeInfo* result) {
  if (result == nullptr) return false;
  std::memset(result, 0, sizeof *result);
  if (search_ == nullptr || buffer == nullptr) return false;
  const uint32_t bits = info.bBitsPerPixel;
  if (bits != 1 && bits != 8 && bits != 24) return false;
  const uint32_t w = info.dwWidth, h = info.dwLength;
  const uint32_t palette = bits == 1 ? 2 : bits == 8 ? 256 : 0;
  const uint64_t row = (packedLine(bits, w) + 3) / 4 * 4;
  const uint64_t offset = kDibHeader + 4 * palette;
  std::vector<uint8_t> dib;
  if (!allocate(dib, offset + row * h) || dib.size() > UINT32_MAX) return false;
  uint8_t* p = dib.data();
  PutU32(p, kDibHeader);
  PutU32(p + 4, w);
  PutU32(p + 8, h);
  PutU16(p + 12, 1);
  PutU16(p + 14, uint16_t(bits));
  PutU32(p + 20, uint32_t(row * h));
  PutU32(p + 24, uint32_t(info.wXRes * kInchesPerMetre + 0.5));
  PutU32(p + 28, uint32_t(info.wYRes * kInchesPerMetre + 0.5));
  PutU32(p + 32, palette);
  for (uint32_t i = 0; i < palette; ++i) {
    const uint8_t v = bits == 1 ? uint8_t(i ? 255 : 0) : uint8_t(i);
    uint8_t* e = p + kDibHeader + 4 * i;
    e[0] = e[1] = e[2] = v;
  }
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* src = buffer + uint64_t(y) * info.dwBytesPerLine;
    uint8_t* dst = p + offset + uint64_t(h - 1 - y) * row;
    std::memcpy(dst, src, packedLine(bits, w));
    if (bits == 24)
      for (uint32_t x = 0; x < w; ++x) std::swap(dst[3 * x], dst[3 * x + 2]);
  }
  if (types & kDataBar) types |= kDataBarExpanded;
  int32_t found = 0;
  void* block = search_(dib.data(), uint32_t(dib.size()), types, &found);
  imageLog("Search", kLogBlank, block != nullptr, found);
  if (block == nullptr) return false;
  const auto* b = static_cast<const uint8_t*>(block);
  auto u32 = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, b + at, 4);
    return v;
  };
  const uint32_t count = u32(0);
  size_t at = 4;
  for (uint32_t i = 0; i < count && result->count < kBarcodeMax; ++i) {
    const uint32_t type = u32(at);
    const uint32_t length = u32(at + 4);
    if (length > kBarcodeTextMax) break;
    const char* text = reinterpret_cast<const char*>(b + at + 8);
    at += 8 + length;
    const uint32_t points = u32(at);
    if (points > kBarcodePointsMax) break;
    at += 4;
    float minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (uint32_t k = 0; k < points; ++k) {
      float xy[2];
      std::memcpy(xy, b + at + 8 * size_t(k), sizeof xy);
      if (k == 0 || xy[0] < minX) minX = xy[0];
      if (k == 0 || xy[1] < minY) minY = xy[1];
      if (k == 0 || xy[0] > maxX) maxX = xy[0];
      if (k == 0 || xy[1] > maxY) maxY = xy[1];
    }
    at += 8 * size_t(points);
    const int slot = result->count++;
    result->type[slot] = barcodeTypeIndex(type);
    const size_t n = std::min<size_t>(length, kBarcodeTextSize - 1);
    std::memcpy(result->text[slot], text, n);
    result->text[slot][n] = 0;
    auto u16 = [](float v) { return uint16_t(std::clamp(v, 0.0f, 65535.0f)); };
    result->rect[slot] = {u16(minX), u16(minY), u16(maxX - minX), u16(maxY - minY)};
  }
  std::free(block);
  return result->count != 0;
}

}  // namespace ferrolite
