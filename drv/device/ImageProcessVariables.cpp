#include "drv/device/ImageProcessVariables.h"

#include <cstring>

#include "drv/platform/DbgLog.h"

namespace {

constexpr uint32_t kBuiltInPatterns = 5;

struct Pair {
  uint32_t mode;
  uint32_t bits;
  bool operator==(const Pair&) const = default;
};

// Number of halftone patterns and the pattern number of a client's 1-based dither index.
uint32_t HalftonePatternCount(const ScanModelInfo& info) {
  if (info.HasFeature(kFeatureSoftwareHalftone)) return kBuiltInPatterns;
  const uint32_t offset = info.InquiryBigEndian(66, 2);
  return offset == 0 ? 0 : info.InquiryByte(offset);
}

uint8_t HalftoneTableIndex(const ScanModelInfo& info, uint8_t ditherIndex) {
  uint32_t index;
  if (info.HasFeature(kFeatureSoftwareHalftone)) {
    index = static_cast<uint8_t>(ditherIndex - 1);
  } else {
    const uint32_t offset = info.InquiryBigEndian(66, 2);
    index = offset == 0 ? 0 : info.InquiryByte(offset + ditherIndex);
  }
  return static_cast<uint8_t>(index >= 16 ? 0 : index);
}

void AddColorToGray(ImageProcessList* list, uint32_t id, const SCANPARAMETER_UNION& ap) {
  list->ColorToGray.Pixel = ap.PixelNum;
  list->ColorToGray.CofficientR = 0.212671;
  list->ColorToGray.CofficientG = 0.71516;
  list->ColorToGray.CofficientB = 0.072169;
  list->ColorToGray.ColorFilter = ap.ColorFilter;
  list->Add(id, &list->ColorToGray);
}

void AddC24ToR2YCC(ImageProcessList* list, const ImageVariablesSource& s) {
  list->C24ToR2YCC.Pixel = s.ap->PixelNum;
  list->C24ToR2YCC.Kr = s.YCCCoefficient[0];
  list->C24ToR2YCC.Kg = s.YCCCoefficient[1];
  list->C24ToR2YCC.Kb = s.YCCCoefficient[2];
  list->Add(IP_C24ToR2YCC, &list->C24ToR2YCC);
}

// From 24-bit colour to 16-bit grey, the R2 YCC form or 8-bit grey.
void AddFromColour(ImageProcessList* list, const ImageVariablesSource& s, Pair client, bool toR2YCC,
                   Pair* cur) {
  if (client == Pair{2, 16}) {
    AddColorToGray(list, IP_C24ToG16, *s.ap);
    *cur = {2, 16};
  } else if (toR2YCC) {
    AddC24ToR2YCC(list, s);
    *cur = {0x1000004, 12};
  } else {
    AddColorToGray(list, IP_C24ToG8, *s.ap);
    *cur = {2, 8};
  }
}

// From 8-bit grey to the client's one-bit mode; `checkPatterns` refuses halftone patterns the
// model does not have.
void AddOneBitStage(ImageProcessList* list, const ImageVariablesSource& s, uint32_t clientMode,
                    bool checkPatterns) {
  const SCANPARAMETER_UNION& ap = *s.ap;
  if (clientMode == 0) {
    list->Lineart.Pixel = ap.PixelNum;
    list->Lineart.bThreshold = 128;
    list->Add(IP_G8ToLineart, &list->Lineart);
  } else if (clientMode == 1) {
    if (checkPatterns && ap.DitherIndex > HalftonePatternCount(*s.info)) return;
    list->Halftone.Pixel = ap.PixelNum;
    list->Halftone.blCustomHalftoneTable = 0;
    list->Halftone.bTableIndex = HalftoneTableIndex(*s.info, ap.DitherIndex);
    list->Add(IP_G8ToHalftone, &list->Halftone);
  } else if (clientMode == 5) {
    list->ErrorDiffusion.Pixel = ap.PixelNum;
    list->Add(IP_G8ToErrorDiffusion, &list->ErrorDiffusion);
  }
}

// Grey 8 bits to the client's one-bit pair.
void AddOneBitFromGrey(ImageProcessList* list, const ImageVariablesSource& s, Pair ap, Pair cur) {
  if (!(cur == Pair{2, 8}) || ap.bits != 1) return;
  if (ap.mode == 0 || ap.mode == 1 || ap.mode == 5) AddOneBitStage(list, s, ap.mode, true);
}

// The scaling stage from `width` device pixels to the client's image. The stage works on the
// data it receives, so its depth is that of the data at this point of the chain; one-bit data
// cannot be interpolated and always goes through nearest scaling.
void AddScaling(ImageProcessList* list, const ImageVariablesSource& s, uint32_t width,
                uint32_t bits, bool useLineCounts) {
  const SCANPARAMETER_UNION& ap = *s.ap;
  const DeviceScanParameter& d = *s.device;
  CImageProcess_Parameter_Scale& p = list->Scale;
  p = {};
  p.dwSrcWidth = width;
  p.dwDestWidth = ap.PixelNum;
  p.dwBitsPerPixel = bits;
  // A client page of open length (read to its end within a known window) has no line count to
  // scale to: it goes by the resolutions.
  if (useLineCounts && ap.LineNum != kUnknownLength) {
    p.dwSrcLength = d.dwLinesToRead - d.dwAlignmentLines;
    p.dwDestLength = ap.LineNum;
    p.blUseYRateFraction = 0;
  } else {
    p.blUseYRateFraction = 1;
    p.dwYRateNumerator = ap.YRes;
    p.dwYRateDenominator = d.dev.YRes;
  }
  const bool bilinear = s.blQualityMode && bits % 8 == 0 && bits > 0;
  list->Add(bilinear ? IP_BiLinearScale : IP_NearestScale, &p);
}

void AddWidthFix(ImageProcessList* list, const SCANPARAMETER_UNION& ap) {
  const uint64_t natural = uint64_t{ap.BitsPerPixel} * ap.PixelNum / 8;
  if (ap.BytesPerLine == natural) return;
  list->ModifyWidth.dwSrcBytesPerLine = static_cast<uint32_t>(natural);
  list->ModifyWidth.dwDstBytesPerLine = ap.BytesPerLine;
  list->ModifyWidth.bPaddingValue = 0;
  list->Add(IP_ModifyWidth, &list->ModifyWidth);
}

void BaseImageList(const ImageVariablesSource& s, ImageProcessList* list) {
  const SCANPARAMETER_UNION& ap = *s.ap;
  const DeviceScanParameter& d = *s.device;
  Pair cur{d.dev.ScanMode, d.dev.BitsPerPixel};
  if (s.info->HasFeature(kFeatureExtendedModes)) cur.mode = BaseMode(cur.mode);
  uint32_t width = d.dev.PixelNum;

  if (d.dwCutLeft != 0 || d.dwCutRight != 0 || d.dwCutTop != 0) {
    const uint32_t unit = cur.bits == 1 ? 8 : 1;  // one-bit lines are cut in bytes
    CImageProcess_Parameter_CutImage& c = list->Cut;
    c = {};
    c.blColor = cur.mode == 4;
    c.blDelayCutTop = 0;
    c.Pixel = d.dev.PixelNum / unit;
    c.dwCutLeft = d.dwCutLeft / unit;
    c.dwCutRight = d.dwCutRight / unit;
    c.dwCutTop = d.dwCutTop;
    list->Add(IP_CutImage, &c);
    const uint32_t cut = d.dwCutLeft + d.dwCutRight;
    width = d.dev.PixelNum > cut ? d.dev.PixelNum - cut : 0;
  }

  if (d.blNeedsScaling) AddScaling(list, s, width, cur.bits, d.dwLinesToRead != kUnknownLength);

  const Pair client{ap.ScanMode, ap.BitsPerPixel};
  auto differ = [&] { return client.mode != cur.mode && client.bits != cur.bits; };
  if (differ() && cur == Pair{0x1000004, 16}) {
    list->YCCToC24 = {};
    list->YCCToC24.Pixel = ap.PixelNum;
    list->YCCToC24.Kr = s.YCCCoefficient[0];
    list->YCCToC24.Kg = s.YCCCoefficient[1];
    list->YCCToC24.Kb = s.YCCCoefficient[2];
    list->Add(IP_TrestleYCC422ToC24, &list->YCCToC24);
    cur = {4, 24};
  }
  if (differ() && cur == Pair{4, 24}) {
    AddFromColour(list, s, client, ap.Compression == 0x0102 && ap.BitsPerPixel == 12, &cur);
  }
  if (differ()) AddOneBitFromGrey(list, s, client, cur);
  AddWidthFix(list, ap);
}

void IrUvImageList(const ImageVariablesSource& s, ImageProcessList* list, ImageProcessList* iruv) {
  const SCANPARAMETER_UNION& ap = *s.ap;
  const DeviceScanParameter& d = *s.device;
  if (d.blNeedsScaling) {
    const uint16_t ctrl = d.dev.CtrlMode;
    const bool counts =
        d.dwLinesToRead != kUnknownLength && ((ctrl & 0x4) == 0 || (ctrl & 0x1) != 0);
    AddScaling(list, s, d.dev.PixelNum, d.dev.BitsPerPixel, counts);
    if (iruv != nullptr) {
      iruv->Scale = list->Scale;
      iruv->Scale.dwBitsPerPixel = 8;
      iruv->Add(list->Items[list->dwCount - 1].dwStageId, &iruv->Scale);
    }
  }
  const uint32_t dev = d.dev.ScanMode, client = ap.ScanMode;
  if (dev != client) {
    if ((dev == 0xA000004 && client == 0xA000002) || (dev == 0x8000004 && client == 0x8000002)) {
      AddColorToGray(list, IP_C24ToG8, ap);
    } else if (dev == 2) {
      AddOneBitStage(list, s, client, false);
    }
  }
  AddWidthFix(list, ap);
}

uint32_t FoldBackgroundMode(const ModelTraits& model, uint32_t mode) {
  if (model.irUv) {
    mode = BaseMode(mode);
    return mode == 6 || mode == 7 ? 2 : mode;
  }
  switch (mode) {
    case 0x3000004:
    case 0x4000004:
    case 0x5000004:
      return 4;
    case 0x6000002:
      return 2;
    case 0x7000000:
    case 0x7000001:
    case 0x7000003:
    case 0x7000005:
      return mode & 0xFF;
    default:
      return mode;
  }
}

}  // namespace

void ImageProcessList::Clear() {
  dwCount = 0;
  std::memset(Items, 0, sizeof Items);
}

void ImageProcessList::Add(uint32_t stageId, void* parameter) {
  if (dwCount >= kMaxStagesPerList) {
    DbgPrintf(1, "ImageProcess list full, stage %u dropped", stageId);
    return;
  }
  Items[dwCount].dwStageId = stageId;
  Items[dwCount].pParameter = parameter;
  ++dwCount;
}

void InitializeImageVariables(const ImageVariablesSource& source, ImageProcessList* image,
                              ImageProcessList* iruv) {
  image->Clear();
  if (iruv != nullptr) iruv->Clear();
  if (source.model->irUv) {
    IrUvImageList(source, image, iruv);
  } else {
    BaseImageList(source, image);
  }
}

void InitializeBackgroundVariables(const ImageVariablesSource& s, ImageProcessList* list) {
  list->Clear();
  const SCANPARAMETER_UNION& ap = *s.ap;
  const SCANPARAMETER_UNION& dev = s.device->dev;
  const uint32_t bound = GetPixelBoundaryFWSide(*s.info, dev);
  uint64_t width;
  if (s.info->HasFeature(kFeatureWholeDeviceWidth)) {
    width = dev.PixelNum / bound * bound;
  } else {
    width = uint64_t{dev.XRes} * s.info->InquiryBigEndian(24, 3) / 300 / bound * bound;
  }
  if (width != ap.PixelNum) {
    CImageProcess_Parameter_Scale& p = list->Scale;
    p = {};
    p.dwSrcWidth = static_cast<uint32_t>(width);
    p.dwDestWidth = ap.PixelNum;
    p.dwSrcLength = p.dwDestLength = dev.byBackgroundLines;
    p.dwBitsPerPixel = dev.BitsPerPixel;
    list->Add(IP_NearestScale, &p);
  }
  const Pair client{FoldBackgroundMode(*s.model, ap.ScanMode), ap.BitsPerPixel};
  Pair cur{FoldBackgroundMode(*s.model, dev.ScanMode), dev.BitsPerPixel};
  auto differ = [&] { return client.mode != cur.mode && client.bits != cur.bits; };
  if (differ() && cur == Pair{4, 24}) {
    AddFromColour(list, s, client,
                  ap.ScanMode == 0x1000004 && ap.BitsPerPixel == 12 && ap.Compression == 0, &cur);
  }
  if (differ()) AddOneBitFromGrey(list, s, client, cur);
  if (client == Pair{4, 24}) {
    list->ColorUnpack.Pixel = ap.PixelNum;
    list->Add(IP_BackgroundColorUnpack, &list->ColorUnpack);
  }
}

void DumpImageProcessVariables(uint32_t level, uint32_t count,
                               const CImageProcess_InitializeParameter* list) {
  struct Name {
    uint32_t id;
    const char* name;
  };
  static const Name kNames[] = {
      {IP_C24ToC48, "C24ToC48"},
      {IP_C24ToG16, "C24ToG16"},
      {IP_C24ToG8, "C24ToG8"},
      {IP_G8ToG16, "G8ToG16"},
      {IP_G8ToLineart, "G8ToLineart"},
      {IP_G8ToHalftone, "G8ToHalftone"},
      {IP_G8ToErrorDiffusion, "G8ToErrorDiffusion"},
      {IP_R2YCCToC24, "R2YCCToC24"},
      {IP_C24ToR2YCC, "C24ToR2YCC"},
      {IP_RX417ColorPack, "RX417ColorPack"},
      {IP_BiLinearScale, "BiLinearScale"},
      {IP_NearestScale, "NearestScale"},
      {IP_HighQualityScaleUp, "HighQualityScaleUp"},
      {IP_CutImage, "CutImage"},
      {IP_LineDifference, "LineDifference"},
      {IP_BackgroundColorUnpack, "BackgroundColorUnpack"},
      {IP_SWGamma, "SWGamma"},
      {IP_TrestleYCC422ToC24, "TrestleYCC422ToC24"},
      {IP_TrestleYCC422ToTrueGray, "TrestleYCC422ToTrueGray"},
      {IP_TrestleCisPack, "TrestleCisPack"},
      {IP_QF9000RgbCisPack, "QF9000RgbCisPack"},
      {IP_HorizontalMirror, "HorizontalMirror"},
      {IP_LeftRightPadding, "LeftRightPadding"},
      {IP_ModifyWidth, "ModifyWidth"},
      {IP_NoProcessing, "NoProcessing"},
  };
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t id = list[i].dwStageId;
    const void* param = list[i].pParameter;
    const char* name = "?";
    for (const Name& n : kNames) {
      if (n.id == id) name = n.name;
    }
    DbgPrintf(level, "ImageProcess Stage %d : %s", static_cast<int>(i), name);
    if (param == nullptr) continue;
    switch (id) {
      case IP_CutImage: {
        const auto* p = static_cast<const CImageProcess_Parameter_CutImage*>(param);
        DbgPrintf(level, " -> blColor : %d", p->blColor);
        DbgPrintf(level, " -> blDelayCutTop : %d", p->blDelayCutTop);
        DbgPrintf(level, " -> Pixel : %d", static_cast<int>(p->Pixel));
        DbgPrintf(level, " -> dwCutLeft : %d", static_cast<int>(p->dwCutLeft));
        DbgPrintf(level, " -> dwCutRight : %d", static_cast<int>(p->dwCutRight));
        DbgPrintf(level, " -> dwCutTop : %d", static_cast<int>(p->dwCutTop));
        break;
      }
      case IP_BiLinearScale:
      case IP_NearestScale:
      case IP_HighQualityScaleUp: {
        const auto* p = static_cast<const CImageProcess_Parameter_Scale*>(param);
        DbgPrintf(level, " -> dwSrcWidth : %d", static_cast<int>(p->dwSrcWidth));
        DbgPrintf(level, " -> dwSrcLength : %d", static_cast<int>(p->dwSrcLength));
        DbgPrintf(level, " -> dwDestWidth : %d", static_cast<int>(p->dwDestWidth));
        DbgPrintf(level, " -> dwDestLength : %d", static_cast<int>(p->dwDestLength));
        DbgPrintf(level, " -> dwYRateFraction : %d/%d", static_cast<int>(p->dwYRateNumerator),
                  static_cast<int>(p->dwYRateDenominator));
        DbgPrintf(level, " -> dwBitsPerPixel : %d", static_cast<int>(p->dwBitsPerPixel));
        DbgPrintf(level, " -> blUseYRateFraction : %d", p->blUseYRateFraction);
        break;
      }
      case IP_C24ToG8:
      case IP_C24ToG16: {
        const auto* p = static_cast<const CImageProcess_Parameter_ColorToGray*>(param);
        DbgPrintf(level, " -> Pixel : %d", static_cast<int>(p->Pixel));
        DbgPrintf(level, " -> CofficientR : %.3f", p->CofficientR);
        DbgPrintf(level, " -> CofficientG : %.3f", p->CofficientG);
        DbgPrintf(level, " -> CofficientB : %.3f", p->CofficientB);
        DbgPrintf(level, " -> ColorFilter : %d", p->ColorFilter);
        break;
      }
      case IP_G8ToLineart: {
        const auto* p = static_cast<const CImageProcess_Parameter_G8ToLineart*>(param);
        DbgPrintf(level, " -> Pixel : %d", static_cast<int>(p->Pixel));
        DbgPrintf(level, " -> bThreshold : %d", p->bThreshold);
        break;
      }
      case IP_G8ToHalftone: {
        const auto* p = static_cast<const CImageProcess_Parameter_G8ToHalftone*>(param);
        DbgPrintf(level, " -> Pixel : %d", static_cast<int>(p->Pixel));
        DbgPrintf(level, " -> blCustomHalftoneTable : %d", p->blCustomHalftoneTable);
        DbgPrintf(level, " -> bTableIndex : %d", p->bTableIndex);
        break;
      }
      case IP_ModifyWidth: {
        const auto* p = static_cast<const CImageProcess_Parameter_ModifyWidth*>(param);
        DbgPrintf(level, " -> dwSrcBytesPerLine : %d", static_cast<int>(p->dwSrcBytesPerLine));
        DbgPrintf(level, " -> dwDstBytesPerLine : %d", static_cast<int>(p->dwDstBytesPerLine));
        DbgPrintf(level, " -> bPaddingValue : %d", p->bPaddingValue);
        break;
      }
      case IP_G8ToErrorDiffusion:
      case IP_BackgroundColorUnpack:
      case IP_TrestleYCC422ToC24:
      case IP_C24ToR2YCC:
        // Each of these blocks starts with the line width.
        DbgPrintf(level, " -> Pixel : %d", static_cast<int>(*static_cast<const uint32_t*>(param)));
        break;
      default:
        break;
    }
  }
}
