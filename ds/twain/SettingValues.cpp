#include "ds/twain/SettingValues.h"

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <type_traits>

namespace ferrolite {
namespace {

template <class T>
constexpr SettingType typeOf() {
  if constexpr (std::is_same_v<T, uint8_t>) return SettingType::u8;
  if constexpr (std::is_same_v<T, uint16_t>) return SettingType::u16;
  if constexpr (std::is_same_v<T, uint32_t>) return SettingType::u32;
  static_assert(std::is_same_v<T, uint8_t> || std::is_same_v<T, uint16_t> ||
                std::is_same_v<T, uint32_t> || std::is_same_v<T, int32_t>);
  return SettingType::i32;
}

// The key of a field: its name without the lower-case type prefix.
constexpr std::string_view keyOf(std::string_view name) {
  size_t i = 0;
  while (i < name.size() && name[i] >= 'a' && name[i] <= 'z') ++i;
  return name.substr(i);
}

#define VT_SETTING(field)                                                               \
  SettingNumber {                                                                       \
    keyOf(#field), offsetof(ScanSetting, field), typeOf<decltype(ScanSetting::field)>() \
  }

constexpr SettingNumber kNumbers[] = {
    VT_SETTING(wImageType),
    VT_SETTING(bFBinaryProcess),
    VT_SETTING(bRBinaryProcess),
    VT_SETTING(bFDTSensitivity),
    VT_SETTING(bRDTSensitivity),
    VT_SETTING(bFBThreshold),
    VT_SETTING(bRBThreshold),
    VT_SETTING(bFDocumentThreshold),
    VT_SETTING(bRDocumentThreshold),
    VT_SETTING(iFBBrightness),
    VT_SETTING(iRBBrightness),
    VT_SETTING(iFGBrightness),
    VT_SETTING(iRGBrightness),
    VT_SETTING(iFCBrightness),
    VT_SETTING(iRCBrightness),
    VT_SETTING(iFGContrast),
    VT_SETTING(iRGContrast),
    VT_SETTING(iFCContrast),
    VT_SETTING(iRCContrast),
    VT_SETTING(bFGrayQuality),
    VT_SETTING(bRGrayQuality),
    VT_SETTING(bFNonColorSelection),
    VT_SETTING(bRNonColorSelection),
    VT_SETTING(bFACDSensitivity),
    VT_SETTING(bRACDSensitivity),
    VT_SETTING(wBWRes),
    VT_SETTING(wGrayRes),
    VT_SETTING(wColorRes),
    VT_SETTING(bFBInvert),
    VT_SETTING(bRBInvert),
    VT_SETTING(bFGInvert),
    VT_SETTING(bRGInvert),
    VT_SETTING(bFCInvert),
    VT_SETTING(bRCInvert),
    VT_SETTING(bColorMatch),
    VT_SETTING(bPaperSize),
    VT_SETTING(bScanSource),
    VT_SETTING(bFBColorDropOut),
    VT_SETTING(bRBColorDropOut),
    VT_SETTING(bFGColorDropOut),
    VT_SETTING(bRGColorDropOut),
    VT_SETTING(bFGAdvanceProcess),
    VT_SETTING(bRGAdvanceProcess),
    VT_SETTING(bFBAdvanceProcess),
    VT_SETTING(bRBAdvanceProcess),
    VT_SETTING(bFGAdvDropQuality),
    VT_SETTING(bRGAdvDropQuality),
    VT_SETTING(bFBAdvDropQuality),
    VT_SETTING(bRBAdvDropQuality),
    VT_SETTING(bFGFilterThreshold),
    VT_SETTING(bRGFilterThreshold),
    VT_SETTING(bFBFilterThreshold),
    VT_SETTING(bRBFilterThreshold),
    VT_SETTING(bFGCustomR),
    VT_SETTING(bRGCustomR),
    VT_SETTING(bFGCustomG),
    VT_SETTING(bRGCustomG),
    VT_SETTING(bFGCustomB),
    VT_SETTING(bRGCustomB),
    VT_SETTING(bFBCustomR),
    VT_SETTING(bRBCustomR),
    VT_SETTING(bFBCustomG),
    VT_SETTING(bRBCustomG),
    VT_SETTING(bFBCustomB),
    VT_SETTING(bRBCustomB),
    VT_SETTING(bPaperSizeUnit),
    VT_SETTING(bPaperDirection),
    VT_SETTING(wXPos),
    VT_SETTING(wYPos),
    VT_SETTING(wWidth),
    VT_SETTING(wLength),
    VT_SETTING(dwLongWidth),
    VT_SETTING(dwLongLength),
    VT_SETTING(bLengthDetection),
    VT_SETTING(wLengthDetectionValue),
    VT_SETTING(bUltrasonic),
    VT_SETTING(bStopAfterMultefeed),
    VT_SETTING(bMultifeedAlarm),
    VT_SETTING(bPaperWeight),
    VT_SETTING(bRotation),
    VT_SETTING(bBlankPageRemoval),
    VT_SETTING(bBlankPageThreshold),
    VT_SETTING(bEdgeColor),
    VT_SETTING(bEdgeExtend),
    VT_SETTING(wLeftEdge),
    VT_SETTING(wTopEdge),
    VT_SETTING(wRightEdge),
    VT_SETTING(wBottomEdge),
    VT_SETTING(wNoiseNumber),
    VT_SETTING(bNoiseRadius),
    VT_SETTING(bBackground),
    VT_SETTING(iImageCount),
    VT_SETTING(wEnergySaver),
    VT_SETTING(wPowerOffTime),
    VT_SETTING(wTransportTimeout),
    VT_SETTING(bEjectOpposite),
    VT_SETTING(bMirror),
    VT_SETTING(bSplitImage),
    VT_SETTING(bPunchHole),
    VT_SETTING(bMergeOption),
    VT_SETTING(bBarcodeDetection),
    VT_SETTING(bPatchCode),
    VT_SETTING(bBackgroundProcessing),
    VT_SETTING(bBackgroundSpeed),
    VT_SETTING(bBackgroundMode),
    VT_SETTING(bBackgroundFill),
    VT_SETTING(wTabWindow),
    VT_SETTING(bImprinter),
    VT_SETTING(bPrintAll),
    VT_SETTING(bPrintArea),
    VT_SETTING(wPrintX),
    VT_SETTING(wPrintY),
    VT_SETTING(bPrintFormat),
    VT_SETTING(bPrintFixedWidth),
    VT_SETTING(bPrintFontAttri),
    VT_SETTING(bPrintOrientation),
    VT_SETTING(bPrintSize),
    VT_SETTING(bPrintDensity),
    VT_SETTING(bPrintTransparency),
    VT_SETTING(bPrintHollow),
    VT_SETTING(bPrintDate),
    VT_SETTING(bPrintTime),
    VT_SETTING(bSplitMode),
    VT_SETTING(bCarrierSheet),
    VT_SETTING(dwSelectBarcode),
    VT_SETTING(bFlipSide),
    VT_SETTING(bShowProgress),
    VT_SETTING(bShowWarning),
    VT_SETTING(bSaveSetting),
    VT_SETTING(bBackgroundSensitivity),
    VT_SETTING(bPowerOff),
};
#undef VT_SETTING
static_assert(std::size(kNumbers) == 131, "every number of the record");

const SettingText kTexts[] = {
    {"Profile", &ScanSetting::strProfile},
    {"AlarmPath", &ScanSetting::strAlarm},
    {"PrintText", &ScanSetting::strPrintText},
    {"PrintCounter", &ScanSetting::strPrintCounter},
};
static_assert(std::size(kNumbers) + std::size(kTexts) == kSettingKeyCount);

template <class T>
T* fieldAt(ScanSetting* setting, size_t offset) {
  return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(setting) + offset);
}
template <class T>
T fieldAt(const ScanSetting& setting, size_t offset) {
  T value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(&setting) + offset, sizeof value);
  return value;
}

}  // namespace

std::span<const SettingNumber> settingNumbers() { return kNumbers; }
std::span<const SettingText> settingTexts() { return kTexts; }

int64_t settingNumber(const ScanSetting& setting, const SettingNumber& number) {
  switch (number.type) {
    case SettingType::u8:
      return fieldAt<uint8_t>(setting, number.offset);
    case SettingType::u16:
      return fieldAt<uint16_t>(setting, number.offset);
    case SettingType::u32:
      return fieldAt<uint32_t>(setting, number.offset);
    case SettingType::i32:
      return fieldAt<int32_t>(setting, number.offset);
  }
  return 0;
}

void setSettingNumber(ScanSetting* setting, const SettingNumber& number, int64_t value) {
  switch (number.type) {
    case SettingType::u8:
      *fieldAt<uint8_t>(setting, number.offset) = static_cast<uint8_t>(value);
      break;
    case SettingType::u16:
      *fieldAt<uint16_t>(setting, number.offset) = static_cast<uint16_t>(value);
      break;
    case SettingType::u32:
      *fieldAt<uint32_t>(setting, number.offset) = static_cast<uint32_t>(value);
      break;
    case SettingType::i32:
      *fieldAt<int32_t>(setting, number.offset) =
          static_cast<int32_t>(static_cast<uint32_t>(value));
      break;
  }
}

int64_t integerValue(const foundation::Value& value) {
  if (auto number = value.integer()) return *number;
  if (auto text = value.string()) {
    // Leading blanks, a sign and digits, as a text's integer value reads.
    const char* start = text->c_str();
    char* end = nullptr;
    const long long parsed = std::strtoll(start, &end, 10);
    return end == start ? 0 : parsed;
  }
  return 0;
}

}  // namespace ferrolite
