// The scan parameters of a feeder scan, from the host's settings and the device's record.
#include <cstring>

#include "ica/KR_ICA_Mark2_200.h"
#include "platform/foundation/SystemLog.h"

using foundation::LogLevel;
using foundation::systemLogf;

namespace icamodule {
namespace {

constexpr uint16_t kParameterSize = sizeof(SCANPARAMETER_UNION);
constexpr uint32_t kUnitInches = 0;
constexpr uint32_t kPixelTypeBlackWhite = 0;
constexpr uint32_t kPixelTypeGray = 1;
constexpr uint32_t kScanModeGray = 0x06000002;
constexpr uint32_t kScanModeColor = 0x05000004;
constexpr uint32_t kScanModeKindMask = 0x00FFFFFF;  // the base mode without the processing kind
constexpr uint32_t kImageTypeProcessingKind = 0x10000;
constexpr uint16_t kScanMethodSimplex = 1;
constexpr uint16_t kScanMethodDuplex = 4;
constexpr uint16_t kCompressionNone = 0x84;
constexpr uint8_t kBitsGray = 8;
constexpr uint8_t kBitsColor = 24;
constexpr uint8_t kSpeedNormal = 1;
constexpr uint8_t kHighlightFull = 255;
constexpr uint16_t kCtrlFixedLengthBatch = 2;
constexpr uint8_t kThresholdMiddle = 128;
constexpr uint32_t kCapabilityLengthEdges = 0x100000;  // top and bottom extensions
constexpr uint32_t kCapabilityWidthEdges = 0x80000;    // left and right extensions
constexpr uint16_t kEdgeExtended = 0x8000;
constexpr int kOperationRead = 1;
constexpr DDS_DATA_TYPE kTwoByteElements = 7;
constexpr uint32_t kEdgeTop = 1, kEdgeBottom = 3, kEdgeLeft = 5, kEdgeRight = 7;

// The multiple of `bound` at or below n; a bound of 0 counts as 1.
uint32_t alignDown(uint32_t n, uint8_t bound) { return bound > 1 ? n / bound * bound : n; }

void alignForPixelType(SCANPARAMETER_UNION* p, uint32_t pixelType, const DeviceAbility& a) {
  if (pixelType == kPixelTypeBlackWhite) {
    p->LineNum = alignDown(p->LineNum, a.LineartPixelBound);
    p->PixelNum = alignDown(p->PixelNum, a.GrayPixelBound);
  } else if (pixelType == kPixelTypeGray) {
    p->PixelNum = alignDown(p->PixelNum, a.GrayPixelBound);
  } else {
    p->PixelNum = alignDown(p->PixelNum, a.ColorPixelBound);
  }
}

}  // namespace

bool KR_ICA_Mark2_200::ICAParamToKRParam(SCANPARAMETER_UNION* p) {
  std::memset(p, 0, sizeof *p);
  const DeviceAbility& a = ability_;
  const int64_t xRes = xResolution();
  const int64_t yRes = yResolution();
  const uint32_t unit = capUnit();
  if (a.BaseRes == 0 || a.OpticalRes == 0 || xRes <= 0 || yRes <= 0) {
    systemLogf(LogLevel::error,
               "ICAParamToKRParam: no usable resolution (base %u, optical %u, x %ld, y %ld)\n",
               unsigned(a.BaseRes), unsigned(a.OpticalRes), long(xRes), long(yRes));
    return false;
  }
  auto crop = getValueForVendorFeature("KR_Crop");
  const bool cropping = !crop || crop->boolean().valueOr(true);

  const int64_t base = a.BaseRes;
  if (unit == kUnitInches) {
    p->Left = uint32_t(offsetXFromICA_ * base);
    p->Top = uint32_t(offsetYFromICA_ * base);
    p->Width = uint32_t(widthFromICA_ * base);
    p->Length = uint32_t(heightFromICA_ * base);
  } else {
    p->Left = uint32_t(offsetXFromICA_ * base / a.OpticalRes);
    // The vertical offset is in the scan's lines.
    p->Top = uint32_t(offsetYFromICA_ * base / yRes);
    p->Width = uint32_t(widthFromICA_ * base / xRes);
    p->Length = uint32_t(heightFromICA_ * base / yRes);
  }
  const uint32_t maxLength = feederMaxLength(a);
  if (p->Width > a.ADFMaxWidth) p->Width = a.ADFMaxWidth;
  if (p->Length > maxLength) p->Length = maxLength;
  // The page is centred on the feeder; the host's horizontal offset is not used.
  p->Left = (a.ADFMaxWidth - p->Width) / 2;

  if (cropping) {
    // The device scans the whole feeder area (with its edge extensions) and the page is cropped
    // afterwards.
    p->Width = a.ADFMaxWidth;
    p->Length = maxLength;
    // The device's extension at `tag`; 0 when the read fails.
    auto readEdge = [&](uint32_t tag) -> uint16_t {
      uint16_t value[2] = {0, 0};
      uint32_t handle = _hDevice;
      if (entries_._KRGeneralOperation &&
          entries_._KRGeneralOperation(kModuleControllerId, &handle, kOperationRead, tag,
                                       kTwoByteElements, 2, value) == 0)
        return value[0];
      return 0;
    };
    // Both extensions of a pair, marked as extensions, and what they add in the base unit.
    struct Extension {
      uint16_t first, second;
      uint32_t added;
    };
    auto extension = [&](uint32_t firstTag, uint32_t secondTag) {
      const uint16_t first = readEdge(firstTag), second = readEdge(secondTag);
      const uint16_t sum = uint16_t(first + second);
      return Extension{uint16_t(first | kEdgeExtended), uint16_t(second | kEdgeExtended),
                       uint32_t(sum) * a.BaseRes / a.OpticalRes};
    };
    if (a.ScannerCapability1 & kCapabilityLengthEdges) {
      const Extension e = extension(kEdgeTop, kEdgeBottom);
      p->TuneScanLengthTop = e.first;
      p->TuneScanLengthBottom = e.second;
      p->Length += e.added;
    }
    if (a.ScannerCapability1 & kCapabilityWidthEdges) {
      const Extension e = extension(kEdgeLeft, kEdgeRight);
      p->TuneScanLengthLeft = e.first;
      p->TuneScanLengthRight = e.second;
      p->Width += e.added;
    }
    p->Left = 0;
    p->Top = 0;
  }

  const uint32_t pixelType = this->pixelType();
  const bool gray = pixelType == kPixelTypeBlackWhite || pixelType == kPixelTypeGray;
  p->PixelNum = uint32_t(int64_t(p->Width) * xRes / base);
  p->LineNum = uint32_t(int64_t(p->Length) * yRes / base);
  alignForPixelType(p, pixelType, a);

  p->Version = a.Version;
  p->Size = kParameterSize;
  p->BaseRes = a.BaseRes;
  p->XRes = uint16_t(xRes);
  p->YRes = uint16_t(yRes);
  p->ScanMode = gray ? kScanModeGray : kScanModeColor;
  if (!(a.ImageType & kImageTypeProcessingKind)) p->ScanMode &= kScanModeKindMask;
  p->ScanMethod = (duplexEnabled() != 0 || duplexScanFromTessalineButton()) ? kScanMethodDuplex
                                                                            : kScanMethodSimplex;
  p->Compression = kCompressionNone;
  p->BitsPerPixel = gray ? kBitsGray : kBitsColor;
  p->SpeedMode = kSpeedNormal;
  p->Highlight = kHighlightFull;
  p->CtrlMode = kCtrlFixedLengthBatch;
  p->Threshold = kThresholdMiddle;
  p->BytesPerLine = uint32_t(uint64_t(p->PixelNum) * p->BitsPerPixel / 8);
  sourceImageWidth_ = destImageWidth_ = p->PixelNum;
  sourceImageLength_ = destImageLength_ = p->LineNum;

  // Below the device's lowest resolution the device scans at that one and the page consumer
  // reduces the page to the destination size.
  if (xRes < a.MinimumRes) {
    p->XRes = p->YRes = a.MinimumRes;
    p->PixelNum = p->Width * p->XRes / a.BaseRes;
    p->LineNum = p->Length * p->XRes / a.BaseRes;
    alignForPixelType(p, pixelType, a);
    sourceImageWidth_ = p->PixelNum;
    sourceImageLength_ = p->LineNum;
    p->BytesPerLine = uint32_t(uint64_t(p->PixelNum) * p->BitsPerPixel / 8);
  }
  return true;
}

}  // namespace icamodule
