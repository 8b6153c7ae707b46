// The scan-setting exports: the scan parameter, gamma tables and hardware image processing of
// the next job, and the check of the scan parameter against the device.
#include "drv/engine/ScanSettings.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <vector>

#include "drv/device/ExportFrame.h"
#include "drv/device/ScanParameters.h"
#include "drv/engine/GammaStore.h"
#include "drv/platform/DbgLog.h"

using namespace krstatus;

namespace {

constexpr uint32_t kScanModeUVWithIR = 0x8000007;
constexpr uint32_t kScanModeIRWithUV = 0x9000006;

// ---- logging a record field by field ----

struct FieldLine {
  const char* name;
  size_t offset;
  uint8_t width;  // bytes: 1, 2 or 4
  bool hex;
  bool isSigned;
};

uint32_t FieldValue(const uint8_t* record, const FieldLine& f) {
  switch (f.width) {
    case 1: {
      uint8_t v = record[f.offset];
      return f.isSigned ? static_cast<uint32_t>(static_cast<int8_t>(v)) : v;
    }
    case 2: {
      uint16_t v;
      std::memcpy(&v, record + f.offset, 2);
      return v;
    }
    default: {
      uint32_t v;
      std::memcpy(&v, record + f.offset, 4);
      return v;
    }
  }
}

#define SP_FIELD(name, hex) \
  { #name, offsetof(SCANPARAMETER_UNION, name), sizeof(SCANPARAMETER_UNION::name), hex, false }
#define SP_SIGNED(name) \
  { #name, offsetof(SCANPARAMETER_UNION, name), sizeof(SCANPARAMETER_UNION::name), false, true }
const FieldLine kScanParameterFields[] = {
    SP_FIELD(Size, false),
    SP_FIELD(BaseRes, false),
    SP_FIELD(Left, false),
    SP_FIELD(Top, false),
    SP_FIELD(Width, false),
    SP_FIELD(Length, false),
    SP_FIELD(XRes, false),
    SP_FIELD(YRes, false),
    SP_FIELD(PixelNum, false),
    SP_FIELD(LineNum, false),
    SP_FIELD(BytesPerLine, false),
    SP_FIELD(ScanMode, true),
    SP_FIELD(ScanMethod, false),
    SP_FIELD(Compression, false),
    SP_FIELD(BitsPerPixel, false),
    SP_FIELD(SpeedMode, false),
    SP_SIGNED(Contrast),
    SP_SIGNED(Brightness),
    SP_FIELD(DitherIndex, false),
    SP_FIELD(Highlight, false),
    SP_FIELD(Shadow, false),
    SP_FIELD(ColorFilter, false),
    SP_FIELD(Invert, false),
    SP_FIELD(CtrlMode, true),
    SP_FIELD(CacheMode, false),
    SP_FIELD(CacheSize, false),
    SP_FIELD(JobPages, false),
    SP_FIELD(DetectFeedLength, false),
    SP_FIELD(byBackgroundLines, false),
    SP_FIELD(Threshold, false),
    SP_FIELD(TuneScanLengthBottom, true),
    SP_FIELD(TuneScanLengthTop, true),
    SP_FIELD(TuneScanLengthLeft, true),
    SP_FIELD(TuneScanLengthRight, true),
    SP_FIELD(ExtParam0, true),
    SP_FIELD(ExtParam1, true),
    SP_FIELD(ExtParam2, true),
    SP_FIELD(ExtParam3, true),
    SP_FIELD(ExtParam4, true),
};
#undef SP_FIELD
#undef SP_SIGNED

#define HW_FIELD(name)                                                                           \
  {                                                                                              \
#name, offsetof(HWIMAGEPROCPARAMETER_UNION, name), sizeof(HWIMAGEPROCPARAMETER_UNION::name), \
        false, false                                                                             \
  }
const FieldLine kHWFields[] = {
    HW_FIELD(AutoColor),
    HW_FIELD(BlurLevel),
    HW_FIELD(SharpenLevel),
    HW_FIELD(RemoveBG),
    HW_FIELD(BlankDetect),
    HW_FIELD(Hori_MagSwitch),
    HW_FIELD(Ver_MagSwitch),
    HW_FIELD(WatermarkSwitch),
    HW_FIELD(ImageMode),
    HW_FIELD(AutoOrientation),
    HW_FIELD(CropDeskew),
    HW_FIELD(CropDeskewMarginBottom),
    HW_FIELD(CropDeskewMarginRight),
    HW_FIELD(CropDeskewMarginTop),
    HW_FIELD(CropDeskewMarginLeft),
    HW_FIELD(Rotate),
    HW_FIELD(ImageWidthResize),
    HW_FIELD(ImageHeightResize),
    HW_FIELD(CropBgPaddingR),
    HW_FIELD(CropBgPaddingG),
    HW_FIELD(CropBgPaddingB),
};
#undef HW_FIELD

bool IsCropMargin(const FieldLine& f) {
  return f.offset >= offsetof(HWIMAGEPROCPARAMETER_UNION, CropDeskewMarginBottom) &&
         f.offset <= offsetof(HWIMAGEPROCPARAMETER_UNION, CropDeskewMarginLeft);
}

// A crop margin: bit 7 the sign, bits 0 to 6 the magnitude.
int SignAndMagnitude(uint32_t v) {
  const int magnitude = static_cast<int>(v & 0x7F);
  return (v & 0x80) != 0 ? -magnitude : magnitude;
}

void LogHWImageProcParm(const HWIMAGEPROCPARAMETER_UNION& param) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&param);
  for (const FieldLine& f : kHWFields) {
    const uint32_t v = FieldValue(bytes, f);
    const int shown = IsCropMargin(f) ? SignAndMagnitude(v) : static_cast<int>(v);
    DbgPrintf(1, "AP.HWImageProcParam.%-23s= %i", f.name, shown);
  }
}

// The client's record as it arrived: at most its own Size, never more than the record.
void DumpClientRecord(const void* record, size_t recordLength) {
  uint16_t size;
  std::memcpy(&size, static_cast<const uint8_t*>(record) + 2, sizeof size);
  DbgDump(1, record, static_cast<uint32_t>(size < recordLength ? size : recordLength));
}

uint16_t RecordVersion(const void* src) {
  uint16_t version;
  std::memcpy(&version, src, sizeof version);
  return version;
}

// The whole record when its version is 200, whatever its size field says.
template <class Record>
bool TransToUnion(Record* dst, const void* src) {
  const uint16_t version = RecordVersion(src);
  if (version != kRecordVersion) {
    DbgPrintf(1, "Not support version = %d", version);
    return false;
  }
  std::memcpy(dst, src, sizeof *dst);
  return true;
}

// ---- the check ----

bool Bit(uint32_t value, uint32_t mask) { return (value & mask) != 0; }

bool HasGreyBits(uint32_t t) { return Bit(t, 0x08 | 0x10 | 0x20); }
bool HasColourBits(uint32_t t) { return Bit(t, 0x80 | 0x100 | 0x200); }

// The base mode of a mode with an IR or UV channel: grey, colour, or none of them.
const char* BaseModeFault(uint32_t mode, uint32_t t) {
  if ((mode & 0xFF) == 2 && !HasGreyBits(t)) return "Not support Gray";
  if ((mode & 0xFF) == 4 && !HasColourBits(t)) return "Not support color";
  return nullptr;
}

const char* YccFault(CScanner* scanner, const SCANPARAMETER_UNION& p, uint32_t t,
                     const ScanModelInfo& info) {
  const uint8_t byte93 = info.InquiryByte(93);
  bool anyFeature = false;
  for (Device_Features feature :
       {kFeatureYcc7, kFeatureYcc1, kFeatureYcc2, kFeatureYcc3, kFeatureYcc4}) {
    if (scanner->GetFeature(feature)) {
      anyFeature = true;
      break;
    }
  }
  if (!anyFeature && !Bit(t, 0x400) && !Bit(byte93, 0x80)) return "Not support YCC";
  if (p.ScanMode == 0x1000004 && !Bit(byte93, 0x40)) return "Not support YCC422";
  if (p.ScanMode == 0x2000004 && !Bit(byte93, 0x80)) return "Not support YCC420";
  if (p.Compression != 0) return "Not support YCC compression argument";
  return nullptr;
}

const char* JpegFault(CScanner* scanner, const SCANPARAMETER_UNION& p, uint32_t t,
                      const ScanModelInfo& info) {
  if (scanner->GetFeature(kFeatureExtendedModes)) return "Not supported JPEG";
  if (!Bit(info.InquiryByte(93), 0x08)) return "Not support set 0 JPEG";
  if (p.ScanMode != 0x6000002 && !Bit(t, 0x1000) && p.BitsPerPixel != 24)
    return "Not supported JPEG(Color mode)";
  if (p.ScanMode == 0x6000002 && !Bit(t, 0x10000) && p.BitsPerPixel != 8)
    return "Not supported JPEG(Gray mode)";
  const bool compressionKnown =
      p.Compression <= 4 || (p.Compression >= 129 && p.Compression <= 132);
  if (!compressionKnown) return "Not support Jpeg compression argument";
  return nullptr;
}

const char* ModeFault(CScanner* scanner, const SCANPARAMETER_UNION& p, const ScanModelInfo& info) {
  const uint32_t t = info.ImageTypeBits();
  const uint32_t c = info.InquiryBigEndian(56, 2);
  constexpr uint32_t kIR = 0x1000, kUV = 0x2000;
  switch (p.ScanMode) {
    case 0:
      return Bit(t, 0x01) ? nullptr : "Not support Lineart (threshold control)";
    case 1:
      return Bit(t, 0x02) ? nullptr : "Not support Halftone";
    case 2:
      return HasGreyBits(t) ? nullptr : "Not support Gray";
    case 3:
      return Bit(t, 0x800) ? nullptr : "Not support Lineart (Dynamic threshold)";
    case 4:
      return HasColourBits(t) ? nullptr : "Not support color";
    case 5:
      return Bit(t, 0x04) ? nullptr : "Not support Error Diffusion";
    case 6:
      return Bit(c, kIR) ? nullptr : "Not support IR";
    case 7:
      return Bit(c, kUV) ? nullptr : "Not support UV";
    case 0x1000004:
    case 0x2000004:
      return YccFault(scanner, p, t, info);
    case 0x3000004:
    case 0x4000004:
    case 0x5000004:
    case 0x6000002:
      return JpegFault(scanner, p, t, info);
    case 0x7000000:
    case 0x7000003:
      return Bit(t, 0x2000) ? nullptr : "Not support JBIG Lineart";
    case 0x7000001:
      return Bit(t, 0x4000) ? nullptr : "Not support JBIG Halftone";
    case 0x7000005:
      return Bit(t, 0x8000) ? nullptr : "Not support JBIG ErrorDiffusion";
    case 0x8000002:
    case 0x8000004:
      if (!Bit(c, kIR)) return "Not support with IR";
      return BaseModeFault(p.ScanMode, t);
    case 0x9000002:
    case 0x9000004:
      if (!Bit(c, kUV)) return "Not support with UV";
      return BaseModeFault(p.ScanMode, t);
    case 0x8000007:
    case 0x9000006:
    case 0xA000002:
    case 0xA000004:
      if (!Bit(c, kIR) || !Bit(c, kUV)) return "Not support with IR+UV";
      return BaseModeFault(p.ScanMode, t);
    default:
      return "Unknown scan mode";
  }
}

const char* MethodFault(const SCANPARAMETER_UNION& p, const ScanModelInfo& info) {
  uint32_t needed = 0;
  switch (p.ScanMethod) {
    case 0:
      needed = 0xA0;
      break;
    case 1:
      needed = 0x70;
      break;
    case 2:
    case 3:
      needed = 0x08;
      break;
    case 4:
    case 5:
      needed = 0x04;
      break;
    default:
      break;
  }
  return Bit(info.InquiryBigEndian(54, 2), needed) ? nullptr
                                                   : "Device does not support this scan method";
}

const char* ResolutionFault(const SCANPARAMETER_UNION& p, const ScanModelInfo& info) {
  const uint32_t xLimit = info.InquiryBigEndian(58, 2);
  const uint32_t yLimit = info.InquiryBigEndian(p.ScanMethod == 0 ? 62 : 60, 2);
  const uint32_t minimum = info.InquiryBigEndian(94, 2);
  if (p.XRes > xLimit || p.YRes > yLimit) return "Resolution exceed device's Maxmum resolution";
  if (p.XRes < minimum || p.YRes < minimum) return "Resolution exceed device's Minimum resolution";
  if (p.XRes != p.YRes && !Bit(info.InquiryByte(88), 0x04))
    return "Device does not support X/Y resolution different";
  return nullptr;
}

// The pixel count's boundary for the exact mode (a mode with a device-processing kind has 1,
// but for the device-JPEG modes); a boundary byte of 0 counts as 1.
uint32_t CheckedPixelBoundary(CScanner* scanner, const SCANPARAMETER_UNION& p,
                              const ScanModelInfo& info) {
  if (scanner->GetFeature(kFeatureFixedPixelBounds)) {
    // The fixed bounds of the binary modes and grey; every other mode 1.
    const bool fixed = p.ScanMode <= 3 || p.ScanMode == 5;
    return fixed ? GetPixelBoundaryAPSide(info, p) : 1;
  }
  switch (p.ScanMode) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 0x3000004:
    case 0x4000004:
    case 0x5000004:
      // The inquiry byte of the base mode (colour for the JPEG colour kinds).
      return GetPixelBoundaryFWSide(info, p);
    case 0x6000002: {
      constexpr uint32_t kGreyBound = 71;
      const uint8_t bound = info.InquiryByte(kGreyBound);
      return bound == 0 ? 1 : bound;
    }
    default:
      return 1;
  }
}

// The widest line a client may ask of the device, in pixels at `res` dpi: twice the wider of its
// flatbed and feeder areas (room for the overscan margins a client adds at both sides), rounded
// up to `bound`; 0 when the inquiry data names neither.
uint64_t WidestPixels(const ScanModelInfo& info, uint32_t res, uint32_t bound) {
  constexpr uint64_t kOverscanRoom = 2;
  constexpr uint32_t kBaseResolution = 16, kFlatbedWidth = 18, kFeederWidth = 24;
  const uint32_t base = info.InquiryBigEndian(kBaseResolution, 2);
  const uint64_t width =
      std::max(info.InquiryBigEndian(kFlatbedWidth, 3), info.InquiryBigEndian(kFeederWidth, 3));
  if (base == 0 || width == 0) return 0;
  const uint64_t pixels = (kOverscanRoom * width * res + base - 1) / base;
  return (pixels + bound - 1) / bound * bound;
}

// Sizes that would give a page without end, an empty page or buffers far beyond any sheet:
// each is refused before a job starts, including what the device side makes of the record.
const char* SizeFault(CScanner* scanner, const SCANPARAMETER_UNION& p, const ScanModelInfo& info) {
  constexpr uint32_t kLongestJfifPage = 0xFFFF;  // the JFIF height is a 16-bit field
  constexpr uint32_t kFixedLength = 0x2;
  if (p.Width == 0 || p.PixelNum == 0) return "Scan width is zero";
  if (p.Length == 0 || p.LineNum == 0) return "Scan length is zero";
  const bool unknownLength = IsUnknownLength(p);
  if (unknownLength && (p.CtrlMode & kFixedLength) != 0)
    return "Unknown page length with fixed length delivery";
  constexpr uint32_t kWidestPixelBound = 32;
  const uint64_t widest = WidestPixels(info, std::max(p.XRes, p.YRes), kWidestPixelBound);
  if (widest != 0) {
    if (p.PixelNum > widest) return "Pixel count exceeds the device's width";
    // Room for the deepest pixels of any mode, whatever depth the record names.
    constexpr uint64_t kDeepestPixelBytes = 6;
    const uint64_t widestLine = widest * kDeepestPixelBytes;
    if (p.BytesPerLine > widestLine) return "Bytes per line exceed the device's width";
  }
  DeviceScanParameter device{};
  const bool realRaw = info.HasFeature(kFeatureExtendedModes) && ReadRealRawSwitch();
  InitializeNewScanParameter(scanner->Traits(), info, p, realRaw, &device);
  const SCANPARAMETER_UNION& dev = device.dev;
  if (dev.PixelNum == 0 || dev.LineNum == 0) return "Scan area is empty at the device's resolution";
  const uint32_t kind = ModeKind(dev.ScanMode);
  const bool deviceJpeg = kind >= 3 && kind <= 6;
  if (deviceJpeg && !unknownLength && (dev.CtrlMode & kFixedLength) != 0 &&
      dev.LineNum > kLongestJfifPage)
    return "Device JPEG page is longer than 65535 lines";
  return nullptr;
}

// One table (filter 1 to 3 or 0, head 1 or 2) into the store.
long SetOneGammaTable(CScannerManagerScannerItem* item, const void* table, uint32_t size,
                      int filter, int head) {
  if (head != 1 && head != 2) {
    DbgPrintf(1, "Illegal head =%d", head);
    return kParameterError;
  }
  if (filter < 0 || filter > 3) {
    DbgPrintf(1, "Illegal Filter =%d", filter);
    return kParameterError;
  }
  uint8_t* stored = GammaTable(item, static_cast<uint32_t>(filter), static_cast<uint32_t>(head));
  const bool differs = std::memcmp(stored, table, size) != 0;
  if (item->bJobRunning) {
    // The job already sent its tables: a change now would not reach the device.
    if (differs) DbgPrintf(1, "WARNING: GammaTable set different value in job");
    return kOK;
  }
  if (differs) {
    item->bGammaChanged = 1;
    std::memcpy(stored, table, size);
  }
  return kOK;
}

}  // namespace

bool TransToUnionScanParameter(SCANPARAMETER_UNION* dst, const void* src) {
  return TransToUnion(dst, src);
}

bool TransToUnionHWImageProcParm(HWIMAGEPROCPARAMETER_UNION* dst, const void* src) {
  return TransToUnion(dst, src);
}

void LogScanParameter(const char* prefix, const SCANPARAMETER_UNION& param) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&param);
  for (const FieldLine& f : kScanParameterFields) {
    const uint32_t v = FieldValue(bytes, f);
    if (f.hex) {
      DbgPrintf(1, "%s.%-13s = 0x%08X", prefix, f.name, v);
    } else {
      DbgPrintf(1, "%s.%-13s = %d", prefix, f.name, static_cast<int>(v));
    }
    if (f.offset == offsetof(SCANPARAMETER_UNION, CtrlMode)) {
      DbgPrintf(1, "\t\t\t// Bit 2 : 0-off , 1-continuous");
      DbgPrintf(1, "\t\t\t// Bit 1 : 0-to EOP , 1-fix");
      DbgPrintf(1, "\t\t\t// Bit 0 : 0-batch , 1-page");
    }
  }
}

const char* ScanParameterFault(CScanner* scanner, const SCANPARAMETER_UNION& p) {
  const ScanModelInfo& info = scanner->ModelInfo();
  if (const char* fault = ModeFault(scanner, p, info)) return fault;
  if (const char* fault = MethodFault(p, info)) return fault;
  if (const char* fault = ResolutionFault(p, info)) return fault;
  const uint32_t bound = CheckedPixelBoundary(scanner, p, info);
  if (p.PixelNum % bound != 0) return "Pixel boundary is error";
  const auto lines = static_cast<int32_t>(p.LineNum);
  if (p.ScanMethod == 4 && lines < 0 && lines != -1) return "Line count is too large";
  const uint32_t direction = p.ExtParam0 & 7;
  if (direction != 0 && !Bit(info.InquiryByte(92), 1u << (direction - 1)))
    return "FW not support this direction of paper eject";
  if (const char* fault = SizeFault(scanner, p, info)) return fault;
  return nullptr;
}

bool CheckScanParameter(CScannerManagerScannerItem* item) {
  SCANPARAMETER_UNION param;
  item->pScanner->GetAPScanParameter(&param);
  const char* fault = ScanParameterFault(item->pScanner, param);
  if (fault != nullptr) {
    DbgPrintf(1, "Check Scan Parameter error = %s", fault);
    return false;
  }
  return true;
}

long IntenalSetGamma(CScannerManagerScannerItem* item, const void* table, int size, int bits,
                     int filter, int head) {
  DbgPrintf(1, "=> IntenalSetGamma");
  DbgPrintf(1, " Size=%d   bits=%d   Filter=%d   head=%d", size, bits, filter, head);
  long result = kOK;
  const auto length = static_cast<uint32_t>(size);
  if (head == 0) {
    // Both heads; the results of the single tables are not the caller's concern.
    for (int h = 1; h <= 2; ++h) {
      if (filter == 0) {
        for (int f = 1; f <= 3; ++f) SetOneGammaTable(item, table, length, f, h);
      } else {
        SetOneGammaTable(item, table, length, filter, h);
      }
    }
  } else {
    result = SetOneGammaTable(item, table, length, filter, head);
  }
  DbgPrintf(1, "<= IntenalSetGamma");
  return result;
}

KR_API long KRSetParameter(uint32_t /*ctrlId*/, uint32_t* phDevice, SCANPARAMETER_UNION* pParam) {
  return DeviceExport("KRSetParameter", phDevice)
      .Run([&](CScannerManagerScannerItem* item) -> long {
        if (pParam == nullptr) return kParameterError;
        const bool inJob = item->bJobRunning != 0;
        std::optional<IoLockScope> device;  // IoLockEnd on every way out
        if (!inJob) {
          device.emplace(item->pIoObject);
          if (!device->ok()) return CommandFailure(item);
        }
        DbgPrintf(1, "======= User set parameter version = %i =======", RecordVersion(pParam));
        DumpClientRecord(pParam, sizeof(SCANPARAMETER_UNION));
        SCANPARAMETER_UNION param;
        if (!TransToUnionScanParameter(&param, pParam)) return kParameterError;
        if (param.ScanMode == kScanModeUVWithIR) {
          param.ScanMode = kScanModeIRWithUV;
          DbgPrintf(1, " Set UV+IR as IR+UV !!");
        }
        DbgPrintf(1, "======= Union version = %i =======", param.Version);
        LogScanParameter("AP.ScanParameter", param);
        if (inJob) {
          SCANPARAMETER_UNION stored;
          item->pScanner->GetAPScanParameter(&stored);
          if (std::memcmp(&stored, &param, sizeof param) == 0) {
            DbgPrintf(1, "AP transfer same scan parameter, we bypass it");
          } else {
            DbgPrintf(1,
                      "WARNING: AP transfer different scan parameter, we afread it will make "
                      "error in the next steps.");
          }
          return kOK;
        }
        // A record that fails the check stays stored; the job start refuses it.
        item->pScanner->SetAPScanParameter(&param);
        item->bScanParameterChecked = CheckScanParameter(item) ? 1 : 0;
        return item->bScanParameterChecked ? kOK : kParameterError;
      });
}

KR_API long KRSetGamma(uint32_t /*ctrlId*/, uint32_t* phDevice, uint8_t* pGammaTable, uint32_t size,
                       uint32_t bits, uint32_t filter, uint32_t head) {
  DeviceExport frame("KRSetGamma", phDevice);
  DbgPrintf(1, " Size=%d   bits=%d   Filter=%d   head=%d", static_cast<int>(size),
            static_cast<int>(bits), static_cast<int>(filter), static_cast<int>(head));
  return frame.Run([&](CScannerManagerScannerItem* item) -> long {
    if (pGammaTable == nullptr) return kParameterError;
    const uint32_t length = GammaTableLength(item);
    if (length == 0) {
      DbgPrintf(1, "KRSetGamma: the device has no gamma store (not initialised)");
      return kParameterError;
    }
    const uint32_t width = GammaEntryWidth(item->pScanner->InquiryData());
    const uint32_t deviceBits = width * 8;
    const uint8_t* table = pGammaTable;
    std::vector<uint8_t> widened;
    if (size != length) {
      // Only one-byte entries for a device of two-byte entries are widened.
      if (width != 2 || size != length / 2) {
        DbgPrintf(1, "KRSetGamma: a table of %u bytes does not fit %u-byte tables", size, length);
        return kParameterError;
      }
      widened.assign(length, 0);
      for (uint32_t i = 0; i < length / 2; ++i) widened[i * width + 1] = pGammaTable[i];
      table = widened.data();
    }
    DbgPrintf(1, " Transform *** Size=%d   bits=%d   Filter=%d   head=%d", static_cast<int>(length),
              static_cast<int>(deviceBits), static_cast<int>(filter), static_cast<int>(head));
    return IntenalSetGamma(item, table, static_cast<int>(length), static_cast<int>(deviceBits),
                           static_cast<int>(filter), static_cast<int>(head));
  });
}

KR_API long KRSetHWProcess(uint32_t /*ctrlId*/, uint32_t* phDevice,
                           HWIMAGEPROCPARAMETER_UNION* pParam, int side) {
  DeviceExport frame("KRSetHWProcess", phDevice);
  DbgPrintf(1, " Side=%d", side);
  return frame.Run([&](CScannerManagerScannerItem* item) -> long {
    if (side < 0 || side > 2 || !item->bHardwareProcessing || pParam == nullptr)
      return kParameterError;
    DbgPrintf(1,
              "======= User set HW process parameter version = %i =======", RecordVersion(pParam));
    DumpClientRecord(pParam, sizeof(HWIMAGEPROCPARAMETER_UNION));
    HWIMAGEPROCPARAMETER_UNION param;
    if (!TransToUnionHWImageProcParm(&param, pParam)) return kParameterError;
    DbgPrintf(1, "======= Union version = %i =======", param.Version);
    LogHWImageProcParm(param);
    CScanner* scanner = item->pScanner;
    if (item->bJobRunning) {
      HWIMAGEPROCPARAMETER_UNION front, rear;
      scanner->GetAPHWImageProcParm(&front, 0);
      scanner->GetAPHWImageProcParm(&rear, 1);
      const bool frontSame = side == 2 || std::memcmp(&front, &param, sizeof param) == 0;
      const bool rearSame = side == 1 || std::memcmp(&rear, &param, sizeof param) == 0;
      if (frontSame && rearSame) {
        DbgPrintf(1, "AP transfer same HW image process parameter, we bypass it");
      } else {
        DbgPrintf(1,
                  "WARNING: AP transfer different HW image process parameter, we afread it "
                  "will make error in the next steps.");
      }
      return kOK;
    }
    const bool anySwitch = param.AutoColor || param.BlurLevel || param.SharpenLevel ||
                           param.RemoveBG || param.BlankDetect || param.Hori_MagSwitch ||
                           param.Ver_MagSwitch || param.WatermarkSwitch || param.ImageMode ||
                           param.AutoOrientation || param.CropDeskew || param.Rotate ||
                           param.ImageWidthResize || param.ImageHeightResize;
    DbgPrintf(1, anySwitch ? " Turn on HW image process" : " Turn off HW image process");
    // Any record, even one with every switch off, hands the page to the device.
    scanner->SetEnableHWImageProcess(true);
    scanner->SetAPHWImageProcParm(&param, side);
    return kOK;
  });
}
