#include "drv/device/ScanParameters.h"

#include <cstdlib>
#include <cstring>

#include "drv/platform/DbgLog.h"

namespace {

uint32_t AtLeastOne(uint8_t v) { return v == 0 ? 1 : v; }

// Pixel bound of a mode's low 24 bits from inquiry bytes 70-75; `other` for unknown modes.
uint32_t PixelBound(const ScanModelInfo& model, uint32_t scanMode, uint8_t bits, uint32_t other) {
  switch (BaseMode(scanMode)) {
    case 0:
    case 3:
      return AtLeastOne(model.InquiryByte(70));
    case 1:
      return AtLeastOne(model.InquiryByte(73));
    case 2:
    case 6:
    case 7:
      return AtLeastOne(model.InquiryByte(bits == 4 ? 75 : 71));
    case 4:
      return AtLeastOne(model.InquiryByte(72));
    case 5:
      return AtLeastOne(model.InquiryByte(74));
    default:
      return other;
  }
}

void DefaultBackgroundLines(const ScanModelInfo& model, SCANPARAMETER_UNION* dev) {
  if (!model.HasFeature(kFeatureBackgroundLines)) return;
  if (dev->byBackgroundLines == 0) {
    const uint32_t kind = ModeKind(dev->ScanMode);
    if (kind == 1 || kind == 2) {
      dev->byBackgroundLines = 2;
    } else if (kind < 3 || kind > 7) {
      dev->byBackgroundLines = 1;
    }
    DbgPrintf(1, "Reset Background Line to %d", dev->byBackgroundLines);
  } else if (dev->byBackgroundLines > 100) {
    dev->byBackgroundLines = 100;
    DbgPrintf(1, "Reset Background Line to %d", dev->byBackgroundLines);
  }
}

void StartDerivation(const SCANPARAMETER_UNION& ap, DeviceScanParameter* out) {
  std::memset(out, 0, sizeof(*out));
  out->dev = ap;
  out->dwLinesToRead = ap.LineNum;
  out->dwRequestedLength = ap.Length;
}

// Rounds the lines to read up to the line bound and writes the result back; a page of unknown
// length keeps its markers so that scaling later goes by the resolutions.
void FinishDerivation(const ScanModelInfo& model, DeviceScanParameter* out) {
  if (IsUnknownLength(out->dev)) {
    out->dwLinesToRead = kUnknownLength;
    return;
  }
  const uint32_t bound = GetLineBoundary(model, out->dev);
  const uint32_t rest = out->dwLinesToRead % bound;
  if (rest != 0) {
    out->dwAlignmentLines = bound - rest;
    out->dwLinesToRead += out->dwAlignmentLines;
  }
  out->dev.LineNum = out->dwLinesToRead;
  out->dev.Length = out->dwRequestedLength;
}

uint16_t FamilyResolution(uint16_t x) { return x > 300 ? 600 : (x < 201 ? 200 : 300); }

// Step 3: resolutions the device does not scan become ones it does; true when they changed.
bool DeriveResolution(ResolutionRule rule, SCANPARAMETER_UNION* dev) {
  const uint16_t x = dev->XRes;
  switch (rule) {
    case ResolutionRule::Native600300200:
      if (x == 600 || x == 300 || x == 200) return false;
      dev->XRes = dev->YRes = FamilyResolution(x);
      return true;
    case ResolutionRule::Native600300:
      if (x == 600 || x == 300) return false;
      dev->XRes = dev->YRes = FamilyResolution(x);
      return true;
    case ResolutionRule::Native600300Wide:
      if (x == 600 || x == 300) return false;
      dev->XRes = dev->YRes = FamilyResolution(x);
      if (dev->XRes == 200) dev->XRes = 300;  // scanned 300 across, 200 along
      return true;
    case ResolutionRule::Only600300:
      if (x == 600 || x == 300) return false;
      dev->XRes = dev->YRes = x > 300 ? 600 : 300;
      return true;
    case ResolutionRule::AsAsked:
      break;
  }
  return false;
}

// Steps 4 and 5 (and the IR/UV modes of QN70HT): modes the device does not make itself; true
// when the mode changed.
bool DeriveMode(const ModelTraits& traits, const ScanModelInfo& model, bool realRaw,
                SCANPARAMETER_UNION* dev) {
  bool changed = false;
  if ((dev->ScanMode == 1 && model.HasFeature(kFeatureSoftwareHalftone)) ||
      (dev->ScanMode == 5 && model.HasFeature(kFeatureSoftwareErrorDiffusion))) {
    dev->ScanMode = 2;
    dev->BitsPerPixel = 8;
    dev->DitherIndex = 0;
    changed = true;
  }
  if (traits.irUv) {
    if (dev->ScanMode == 6 || dev->ScanMode == 0x8000002) {
      dev->ScanMode = 0x8000004;
      dev->BitsPerPixel = 24;
      changed = true;
    } else if (dev->ScanMode == 0xA000002 || dev->ScanMode == 0x8000007 ||
               dev->ScanMode == 0x9000006) {
      dev->ScanMode = 0xA000004;
      dev->BitsPerPixel = 24;
      changed = true;
    }
    return changed;
  }
  if (model.HasFeature(kFeatureExtendedModes) && !realRaw) {
    // Device JPEG stands in for the device's own depths it decodes to, 24-bit colour and 8-bit
    // grey (the grey of a software halftone too).
    const uint32_t types = model.ImageTypeBits();
    if (dev->ScanMode == 4 && dev->BitsPerPixel == 24 && (types & 0x1000) != 0) {
      dev->ScanMode = 0x4000004;
      dev->BitsPerPixel = 24;
      dev->Compression = kDeviceJpegCompression;
      changed = true;
    } else if (dev->ScanMode == 2 && dev->BitsPerPixel == 8 && (types & 0x10000) != 0) {
      dev->ScanMode = 0x6000002;
      dev->BitsPerPixel = 8;
      dev->Compression = kDeviceJpegCompression;
      changed = true;
    }
  }
  return changed;
}

void DeriveFamily(const ModelTraits& traits, const ScanModelInfo& model,
                  const SCANPARAMETER_UNION& ap, bool realRaw, DeviceScanParameter* out) {
  SCANPARAMETER_UNION* dev = &out->dev;
  DefaultBackgroundLines(model, dev);
  bool recompute = DeriveResolution(traits.resolutions, dev);
  out->blNeedsScaling = recompute;
  if (DeriveMode(traits, model, realRaw, dev)) recompute = true;

  const SCANPARAMETER_UNION& boundBy = traits.irUv ? ap : *dev;
  const uint32_t bound = PixelBound(model, boundBy.ScanMode, boundBy.BitsPerPixel, 1);
  if (recompute) {
    const uint64_t exact = uint64_t{dev->Width} * dev->XRes / 300;
    uint64_t n =
        traits.roundPixelsDown ? exact / bound * bound : (exact + bound - 1) / bound * bound;
    if (n > 0xFFFFFFFFu) n = exact / bound * bound;
    if (!out->blNeedsScaling) {
      // Only the mode changed: a narrower client line is cut from the device's.
      if (ap.PixelNum <= n) {
        out->dwCutRight += static_cast<uint32_t>(n - ap.PixelNum);
      } else {
        out->blNeedsScaling = true;
      }
    }
    dev->PixelNum = static_cast<uint32_t>(n);
    dev->BytesPerLine = static_cast<uint32_t>(n * dev->BitsPerPixel / 8);
    if (!IsUnknownLength(*dev)) {
      out->dwLinesToRead =
          static_cast<uint32_t>(uint64_t{out->dwRequestedLength} * dev->YRes / 300);
    }
  }
  FinishDerivation(model, out);
}

}  // namespace

ScanModelInfo::ScanModelInfo(const Device_Features* featureList, const uint8_t* inquiry,
                             uint32_t inquiryLength)
    : m_pInquiry(inquiry), m_dwInquiryLength(inquiry == nullptr ? 0 : inquiryLength) {
  for (uint32_t i = 0; featureList != nullptr && i < 16 && featureList[i] != 0; ++i) {
    if (featureList[i] < 72)
      m_Features[featureList[i] / 8] |= static_cast<uint8_t>(1u << (featureList[i] % 8));
  }
}

bool ScanModelInfo::HasFeature(uint32_t feature) const {
  return feature < 72 && (m_Features[feature / 8] & (1u << (feature % 8))) != 0;
}

uint8_t ScanModelInfo::InquiryByte(uint32_t offset) const {
  return offset < m_dwInquiryLength ? m_pInquiry[offset] : 0;
}

uint32_t ScanModelInfo::InquiryBigEndian(uint32_t offset, uint32_t bytes) const {
  uint32_t v = 0;
  for (uint32_t i = 0; i < bytes; ++i) v = (v << 8) | InquiryByte(offset + i);
  return v;
}

uint32_t GetLineBoundary(const ScanModelInfo& model, const SCANPARAMETER_UNION& dev) {
  switch (dev.ScanMode) {
    case 0:
    case 3:
      return AtLeastOne(model.InquiryByte(112));
    case 1:
      return AtLeastOne(model.InquiryByte(115));
    case 4:
      return AtLeastOne(model.InquiryByte(114));
    case 5:
      return AtLeastOne(model.InquiryByte(116));
    case 2:
    case 6:
    case 7:
      if (dev.BitsPerPixel == 4) return AtLeastOne(model.InquiryByte(117));
      if (dev.BitsPerPixel == 8) return AtLeastOne(model.InquiryByte(113));
      return 1;
    case 0x3000004:
    case 0x4000004:
    case 0x5000004:
      return AtLeastOne(model.InquiryByte(119));
    case 0x6000002:
      return AtLeastOne(model.InquiryByte(118));
    default:
      return 1;
  }
}

uint32_t GetPixelBoundaryFWSide(const ScanModelInfo& model, const SCANPARAMETER_UNION& param) {
  return PixelBound(model, param.ScanMode, param.BitsPerPixel, 16);
}

uint32_t GetPixelBoundaryAPSide(const ScanModelInfo& model, const SCANPARAMETER_UNION& param) {
  if (!model.HasFeature(kFeatureFixedPixelBounds)) return GetPixelBoundaryFWSide(model, param);
  switch (BaseMode(param.ScanMode)) {
    case 0:
    case 1:
    case 3:
    case 5:
      return 8;
    case 2:
    case 6:
    case 7:
      return param.BitsPerPixel == 4 ? 2 : 1;
    default:
      return 1;
  }
}

void InitializeNewScanParameter(const ModelTraits& model, const ScanModelInfo& info,
                                const SCANPARAMETER_UNION& ap, bool realRawRequested,
                                DeviceScanParameter* out) {
  StartDerivation(ap, out);
  if (model.resolutions == ResolutionRule::AsAsked) {
    DefaultBackgroundLines(info, &out->dev);
    FinishDerivation(info, out);
    return;
  }
  DeriveFamily(model, info, ap, realRawRequested, out);
}

bool ReadRealRawSwitch() {
  char value[64];
  return GetDebugConfValue("LLDScanRealRaw", value, sizeof value) &&
         std::strtol(value, nullptr, 10) != 0;
}
