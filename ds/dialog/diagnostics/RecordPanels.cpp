#include "ds/dialog/diagnostics/RecordPanels.h"

#include <cstdio>
#include <cstring>

namespace ferrolite::dialog {

namespace {
using F = FieldFormat;
constexpr std::size_t kPointerTextLimit = 255;

constexpr RecordField kScannerAbilityEx[] = {
    {"VenderName", 0, 12, F::Text},
    {"ModelName", 12, 20, F::Text},
    {"FirmwareVersion", 32, 8, F::Text},
    {"PortType", 40, 12, F::Text},
    {"PortAddress", 52, 8, F::Text},
    {"HalftoneIndex", 60, 8, F::ByteListComma},
    {"ScannerCapability", 68, 4, F::HexPrefixed},
    {"DriverFunctionSupport", 72, 4, F::HexPrefixed},
    {"FlatbedMaxWidth", 80, 2, F::Unsigned},
    {"FlatbedMaxLength", 82, 2, F::Unsigned},
    {"ADFMaxWidth", 84, 2, F::Unsigned},
    {"ADFMaxLength", 86, 2, F::Unsigned},
    {"OpticalRes", 88, 2, F::Unsigned},
    {"MaxGrayXRes", 90, 2, F::Unsigned},
    {"MaxGrayYRes", 92, 2, F::Unsigned},
    {"MaxColorXRes", 94, 2, F::Unsigned},
    {"MaxColorYRes", 96, 2, F::Unsigned},
    {"ImageType", 98, 2, F::HexPrefixed},
    {"ScanMethod", 100, 2, F::HexPrefixed},
    {"ChannelsPerPixe", 104, 1, F::HexPrefixed},
    {"BitsPerChannel", 105, 1, F::HexPrefixed},
    {"HalftoneNum", 106, 1, F::Unsigned},
    {"ErrorDiffusionNum", 107, 1, F::Unsigned},
    {"LineartPixelBound", 108, 1, F::Unsigned},
    {"GrayPixelBound", 109, 1, F::Unsigned},
    {"ColorPixelBound", 110, 1, F::Unsigned},
    {"HalftonePixelBound", 111, 1, F::Unsigned},
    {"ErrorDiffusioPixelBound", 112, 1, F::Unsigned},
    {"Gray4bitsPixelBound", 113, 1, F::Unsigned},
    {"ScannerCapability2", 114, 4, F::HexPrefixed},
    {"DriverFunctionSupport2", 118, 4, F::HexPrefixed},
    {"TransparencyMaxWidth", 122, 2, F::Unsigned},
    {"TransparencyMaxLength", 124, 2, F::Unsigned},
    {"MaxShadingTarget", 126, 2, F::Unsigned},
    {"ButtonNumber", 128, 1, F::Unsigned},
    {"ExtIndex", 129, 2, F::Unsigned},
    {"YCbCrCapability", 131, 1, F::Unsigned},
    {"UltraSonicSensorCound", 132, 1, F::Unsigned},
    {"ScannerCapability3", 133, 4, F::HexPrefixed},
    {"LightSource", 137, 1, F::Unsigned},
    {"BackgroundColor", 138, 1, F::Unsigned},
};

constexpr RecordField kNvmData[] = {
    {"PadScanCount", 0, 4, F::Unsigned},
    {"ADFSingleModeScanCount", 4, 4, F::Unsigned},
    {"ADFDuplexModeScanCount", 8, 4, F::Unsigned},
    {"FlatbedScanCount", 12, 4, F::Unsigned},
    {"LeadingEdgeFletbed", 16, 2, F::Signed},
    {"SideEdgeFletbed", 18, 2, F::Signed},
    {"LeadingEdgeADFFrontPage", 20, 2, F::Signed},
    {"SideEdgeADFFrontPage", 22, 2, F::Signed},
    {"LeadingEdgeADFRearPage", 24, 2, F::Signed},
    {"SideEdgeADFRearPage", 26, 2, F::Signed},
    {"BornMonth", 28, 2, F::Unsigned},
    {"BornDay", 30, 2, F::Unsigned},
    {"BornYear", 32, 2, F::Unsigned},
    {"FirstScanMonth", 34, 2, F::Unsigned},
    {"FirstScanDay", 36, 2, F::Unsigned},
    {"FirstScanYear", 38, 2, F::Unsigned},
    {"VerticalMagnification", 40, 2, F::Unsigned},
    {"HorizontalMagnification", 42, 2, F::Unsigned},
    {"CCDType", 44, 1, F::Unsigned},
    {"ScanSpeed", 45, 1, F::Unsigned},
    {"SN", 46, 24, F::Text},
    {"PowerSavingTime", 70, 2, F::Unsigned},
    {"AutoFeed", 72, 1, F::Unsigned},
    {"RollerCount", 73, 4, F::Unsigned},
    {"MultifeedCount", 77, 4, F::Unsigned},
    {"JamCount", 81, 4, F::Unsigned},
    {"ReserveForFirmware", 85, 1, F::Unsigned},
    {"IdentifyInfo", 86, 16, F::Text},
    {"FormalName", 102, 16, F::Text},
    {"FunctionCode", 118, 1, F::Unsigned},
    {"PreFeed", 119, 1, F::Unsigned},
    {"PreFeedTime", 120, 1, F::Unsigned},
    {"ButtonNumber", 121, 1, F::Unsigned},
    {"PowerOffTime", 122, 2, F::Unsigned},
};

constexpr RecordField kDeviceAbility[] = {
    {"Version", 0, 2, F::Unsigned},
    {"Size", 2, 2, F::Unsigned},
    {"pVendorName", 4, 8, F::StringPointer},
    {"pModelName", 12, 8, F::StringPointer},
    {"pFWVersion", 20, 8, F::StringPointer},
    {"pPortType", 28, 8, F::StringPointer},
    {"pPortAddress", 36, 8, F::StringPointer},
    {"BaseRes", 44, 2, F::Unsigned},
    {"FlatdbedMaxWidth", 46, 4, F::Unsigned},
    {"FlatbedMaxLength", 50, 4, F::Unsigned},
    {"ADFMaxWidth", 54, 4, F::Unsigned},
    {"ADFMaxLength", 58, 4, F::Unsigned},
    {"XPAMaxWidth", 62, 4, F::Unsigned},
    {"XPAMaxLength", 66, 4, F::Unsigned},
    {"FlatdbedMinWidth", 70, 2, F::Unsigned},
    {"FlatbedMinLength", 72, 2, F::Unsigned},
    {"ADFMinWidth", 74, 2, F::Unsigned},
    {"ADFMinLength", 76, 2, F::Unsigned},
    {"XPAMinWidth", 78, 2, F::Unsigned},
    {"XPAMinLength", 80, 2, F::Unsigned},
    {"Reserved", 82, 2, F::Zero},
    {"LongPageLength", 84, 4, F::Unsigned},
    {"ImageType", 88, 4, F::Hex8},
    {"DeviceType", 92, 4, F::Hex8},
    {"ScanMethod", 96, 4, F::Hex8},
    {"OpticalRes", 100, 2, F::Unsigned},
    {"ADFMotorRes", 102, 2, F::Unsigned},
    {"FlatbedMotorRes", 104, 2, F::Unsigned},
    {"ResolutionRes", 106, 1, F::Unsigned},
    {"HalftoneNum", 107, 1, F::Unsigned},
    {"HalftoneIndex", 108, 8, F::ByteList},
    {"ErrorDiffusionNum", 116, 1, F::Unsigned},
    {"DiffusionIndex", 117, 8, F::ByteList},
    {"LinearPixelBound", 125, 1, F::Unsigned},
    {"GrayPixelBound", 126, 1, F::Unsigned},
    {"ColorPixelBound", 127, 1, F::Unsigned},
    {"HalftonePixelBound", 128, 1, F::Unsigned},
    {"DiffusionPixelBound", 129, 1, F::Unsigned},
    {"Gray4bitsPixelBound", 130, 1, F::Unsigned},
    {"ButtonFunctionNumber", 131, 1, F::Unsigned},
    {"Reserved2", 132, 3, F::Zero},
    {"YCbCrCapability", 135, 1, F::Unsigned},
    {"MinimumRes", 136, 2, F::Unsigned},
    {"FrontADFBackground_R", 138, 1, F::Unsigned},
    {"FrontADFBackground_G", 139, 1, F::Unsigned},
    {"FrontADFBackground_B", 140, 1, F::Unsigned},
    {"RearADFBackground_R", 141, 1, F::Unsigned},
    {"RearADFBackground_G", 142, 1, F::Unsigned},
    {"RearADFBackground_B", 143, 1, F::Unsigned},
    {"FlatbedADFBackground_R", 144, 1, F::Unsigned},
    {"FlatbedADFBackground_G", 145, 1, F::Unsigned},
    {"FlatbedADFBackground_B", 146, 1, F::Unsigned},
    {"Reserved0", 147, 11, F::Zero},
    {"ScannerVapability0", 158, 4, F::Hex8},
    {"ScannerVapability1", 162, 4, F::Hex8},
    {"ScannerVapability2", 166, 4, F::Hex8},
    {"ScannerVapability3", 170, 4, F::Hex8},
    {"ScannerVapability4", 174, 4, F::Hex8},
};

constexpr RecordField kNewNvmData[] = {
    {"CtrlID", 0, 2, F::Unsigned},
    {"Version", 2, 1, F::Unsigned},
    {"Size", 3, 2, F::Unsigned},
    {"PadScanCount", 5, 4, F::Hex8},
    {"ADFSingleModeScanCount", 9, 4, F::Hex8},
    {"ADFDuplexModeScanCount", 13, 4, F::Hex8},
    {"FlatbedScanCount", 17, 4, F::Hex8},
    {"LeadingEdgeFletbed", 21, 2, F::Signed},
    {"SideEdgeFletbed", 23, 2, F::Signed},
    {"LeadingEdgeADFFrontPage", 25, 2, F::Signed},
    {"SideEdgeADFFrontPage", 27, 2, F::Signed},
    {"LeadingEdgeADFRearPage", 29, 2, F::Signed},
    {"SideEdgeADFRearPage", 31, 2, F::Signed},
    {"BornMonth", 33, 2, F::Unsigned},
    {"BornDay", 35, 2, F::Unsigned},
    {"BornYear", 37, 2, F::Unsigned},
    {"FirstScanMonth", 39, 2, F::Unsigned},
    {"FirstScanDay", 41, 2, F::Unsigned},
    {"FirstScanYear", 43, 2, F::Unsigned},
    {"VerticalMagnification", 45, 2, F::Unsigned},
    {"HorizontalMagnification", 47, 2, F::Unsigned},
    {"CCDType", 49, 1, F::Unsigned},
    {"ScanSpeed", 50, 1, F::Unsigned},
    {"SN", 51, 24, F::Text},
    {"PowerSavingTime", 75, 2, F::Unsigned},
    {"Reserved", 77, 1, F::Unsigned},
    {"RollerCount", 78, 4, F::Hex8},
    {"MultifeedCount", 82, 4, F::Hex8},
    {"JamCount", 86, 4, F::Hex8},
    {"ReserveForFirmware", 90, 1, F::Unsigned},
    {"IdentifyInfo", 91, 16, F::Text},
    {"FormalName", 107, 16, F::Text},
    {"FunctionCode", 123, 1, F::Unsigned},
    {"PreFeed", 124, 1, F::Unsigned},
    {"PreFeedTime", 125, 1, F::Unsigned},
    {"FunctionIndex", 126, 1, F::Unsigned},
    {"PowerOffTime", 127, 2, F::Unsigned},
    {"Reserved1", 153, 1, F::FirstByte},
};

constexpr BitBox kScannerCapability[] = {
    {"TransCap", 0},
    {"ExposureTimeCtlCap", 1},
    {"FlatbedTransLightSwitchCap", 2},
    {"NeedDoTransCalibration", 3},
    {"SupportGrayWhite", 4},
    {"SupportIndexColor", 5},
    {"SupportAAS", 6},
    {"SupportGainCtl", 7},
    {"NeedPutWhitePaperDoCalibration", 8},
    {"NeedDoCalibrationPerTime", 9},
    {"ADFCanScanUnlimitedLength", 10},
    {"NeedDoPaperFeedPerTime", 11},
    {"Support3X3ColorTable", 12},
    {"Support1X3Filter", 13},
    {"SupportControlPowerSaveTime", 14},
    {"FWSearchLeadSideEdge", 15},
    {"CanDoPrescanRoughCalibraiton", 16},
    {"Scanner10BitCap", 17},
    {"HWSupportHighShadow", 18},
    {"HWSupportInvert", 19},
    {"QualityModeSupport", 20},
    {"SpeedModeSupport", 21},
    {"NoNeedDLGammaTable", 22},
    {"SupportPushBotton", 23},
    {"SupportKeepGammaTable", 24},
    {"SupportKeepWindowParam", 25},
    {"SupportXYResDifference", 26},
    {"SupportLightControl", 28},
    {"SupportQualitySpeedCalibration", 29},
    {"TwoModeADFScan", 30},
    {"SupportParameterEx2400Base", 31},
};

constexpr BitBox kScannerCapability2[] = {
    {"IsPushButtonScanner", 0},        {"SupportSWCalibration", 1},
    {"SupportDarkCalibration", 2},     {"ADFNeedMirror", 3},
    {"SWDoLineColorPack", 4},          {"SupportDetectAccessories", 5},
    {"SupportASICAddressUpdate", 6},   {"SupportNVMRecord", 7},
    {"SupportLightDetect", 8},         {"IsKorvaneProduct", 9},
    {"SupportPRNUTest", 10},           {"SupportSWNewCalibration", 11},
    {"FlatbedNeedMirror", 12},         {"SupportDuplex", 13},
    {"SupportInterlaceDuplex", 14},    {"SupportDualModeADF", 15},
    {"DontSupportSubstituteGray", 16}, {"SupportPaperLength", 17},
    {"SupportReadBackground", 18},     {"SupportBatchScan", 19},
    {"SupportLeftEdge", 20},           {"SupportRightEdge", 21},
    {"SupportHTuneScanLength", 22},    {"SupportYCbCr", 23},
    {"SupportContinuousScan", 24},     {"Is3PassADF", 25},
    {"HaveUltraSonicSensor", 26},      {"CanMultifeedStopAndContinue", 27},
    {"CanDisablePaperJamSensor", 28},  {"CanEjectPaperOppositeDirection", 29},
    {"NeedCheckCalibrationData", 30},  {"SupportScanToExternalStorage", 31},
};

constexpr BitBox kScannerCapability3[] = {
    {"SupportSendUltrasonicArea", 0},
    {"IntelligentMultiFeed", 1},
    {"NotSupportPageScan", 2},
    {"SupportPreFeed", 3},
    {"SupportManageIntelligentMultiFeed", 4},
    {"SupportEjectPaperAfterScan", 5},
    {"SupportSanProfileList", 6},
    {"SupportReadWriteNetworkValues", 7},
    {"HaveFAXBoard", 8},
    {"SupportAutoPowerOff", 9},
    {"SupportLearningStatus", 10},
    {"SupportSendPowerOffTime", 11},
    {"SupportSkewDetect", 12},
    {"SupportFallback", 13},
    {"SupportMiscCommand", 14},
    {"SupportImprinterSyncMode", 15},
    {"SupportEnableScanFunction", 16},
    {"SupportReadQuantizationTables", 17},
    {"SupportSendQuantizationTables", 18},
    {"Support256NVRAMSize", 19},
    {"SupportLCDStringTableRW", 20},
    {"SupportTestPatternScan", 21},
    {"SupportMotorSetting", 22},
    {"SupportPapaerWeight", 23},
    {"SupportLearningDataRead", 24},
    {"SupportLearningCaliDataRead", 25},
    {"SupportMotorSpeedDataRead", 27},
    {"SupportADFEjectWithoutNextPage", 28},
    {"SupportIgnoreMultifeedLength", 29},
};

constexpr BitBox kDriverFunctionSupport[] = {
    {"InitializeDriver", 0},
    {"TerminateDriver", 1},
    {"InitializeScanner", 2},
    {"GetADFStatus", 3},
    {"GetScannerAbility", 4},
    {"ResetScanner", 5},
    {"SetScanParameter", 6},
    {"StartScan", 7},
    {"ReadScan", 8},
    {"StopScan", 9},
    {"DoPaperFeed", 10},
    {"SetGammaTable", 11},
    {"ChooseScanner", 12},
    {"DoCalibration", 13},
    {"GetEOPStatus", 14},
    {"SetSpeedMode", 15},
    {"GetScannerStatus", 16},
    {"SlowDownScanSpeed", 17},
    {"SpeedUpScanSpeed", 18},
    {"SetPrintPortMode", 19},
    {"LampOn", 20},
    {"LampOff", 21},
    {"GetScannerAbilityEx", 22},
    {"GetEOPStatusEx", 23},
    {"FlatbedTransLightSwitch", 24},
    {"GetScannerStatusEx", 25},
    {"SearchPushButton", 26},
    {"ResetPushButton", 27},
    {"CheckPushButton", 28},
    {"ReadPushButton", 29},
    {"InitialPushButton", 30},
    {"ISetPowerSaveTime", 31},
};

constexpr BitBox kDriverFunctionSupport2[] = {
    {"SetColorMatrix", 0},       {"ChooseScannerEx", 1},
    {"ReadWriteNVMData", 2},     {"DetectOtherAccessories", 3},
    {"ResetCalibrationData", 4}, {"DoCalibrationData", 5},
    {"PrepareScan", 6},          {"TuneScanLength", 7},
    {"SwitchStrip", 8},          {"ReadFlashRamInfo", 10},
    {"LeadingSideEdge", 11},     {"DoNewCalibration", 12},
    {"GetAccTable", 13},         {"DoHousekeeping", 14},
    {"GeneralOperation", 15},    {"SetSkewDetectParam", 16},
    {"SetFallback", 17},         {"SetMiscCommand", 18},
    {"GetLastStatusCode", 19},   {"GetFallback", 20},
};

constexpr BitPanel kOlderBitPanels[] = {
    {"mScannerCapability_", 68, kScannerCapability},
    {"mScannerCapability2_", 114, kScannerCapability2},
    {"mScannerCapability3_", 133, kScannerCapability3},
    {"mDriverFunctionSupport_", 72, kDriverFunctionSupport},
    {"mDriverFunctionSupport2_", 118, kDriverFunctionSupport2},
};

// Blur and AutoColorDetection carry two bits each, as their labels say.
constexpr BitGroup kCapability0[] = {
    {"ResizeImage", 30, 31}, {"RotateImage", 28, 29},         {"Deskew", 26, 27},
    {"Autocrop", 24, 25},    {"AutoOrientation", 22, 23},     {"SpecifyImageMode", 20, 21},
    {"Watermark", 18, 19},   {"V_Magnification", 16, 17},     {"H_Magnification", 14, 15},
    {"BlackPage", 12, 13},   {"RemoveBackground", 10, 11},    {"Sharpen", 8, 9},
    {"Blur", 6, 7},          {"BWOutputAutoColorMode", 4, 4}, {"AutoColorDetection", 2, 3},
    {"SkewDetection", 1, 1}, {"UltrasonicDetection", 0, 0},
};

constexpr BitGroup kCapability1[] = {
    {"Reserved1", 29, 31},       {"DirectionPeperEject", 23, 28},
    {"NetworkScan", 22, 22},     {"WifiScan", 21, 21},
    {"VTuneScanLength", 20, 20}, {"HTuneScanLength", 19, 19},
    {"Reserved2", 17, 18},       {"ADFAlignment", 15, 16},
    {"Endorsor", 14, 14},        {"LCDStringTable", 13, 13},
    {"SWControlTime", 12, 12},   {"ADFContScan", 11, 11},
    {"WriteTag", 9, 10},         {"ReadTag", 7, 8},
    {"PowerOff", 6, 6},          {"PowerSaving", 5, 5},
    {"NeedCalibration", 4, 4},   {"XYDiffRes", 3, 3},
    {"LightControl", 2, 2},      {"CalibrationUse", 1, 1},
    {"ScanQualityMode", 0, 0},
};

constexpr BitGroup kCapability2[] = {
    {"SkewEjectControl", 4, 7},
    {"MultifeedEjectControl", 0, 3},
};

constexpr GroupPanel kCurrentGroupPanels[] = {
    {"mNewScannerCapability0_", 158, kCapability0},
    {"mNewScannerCapability1_", 162, kCapability1},
    {"mNewScannerCapability2_", 166, kCapability2},
};

uint64_t little(std::span<const uint8_t> record, std::size_t offset, std::size_t width) {
  uint64_t v = 0;
  for (std::size_t i = width; i-- > 0;) v = v << 8 | record[offset + i];
  return v;
}

std::string text(const char* format, uint64_t v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, static_cast<unsigned long long>(v));
  return buffer;
}
}  // namespace

std::span<const RecordField> scannerAbilityExFields() { return kScannerAbilityEx; }
std::span<const RecordField> nvmDataFields() { return kNvmData; }
std::span<const RecordField> deviceAbilityFields() { return kDeviceAbility; }
std::span<const RecordField> newNvmDataFields() { return kNewNvmData; }
std::span<const BitPanel> olderBitPanels() { return kOlderBitPanels; }
std::span<const GroupPanel> currentGroupPanels() { return kCurrentGroupPanels; }

uint32_t recordWord(std::span<const uint8_t> record, std::size_t offset) {
  if (offset + 4 > record.size()) return 0;
  return static_cast<uint32_t>(little(record, offset, 4));
}

std::string formatField(const RecordField& f, std::span<const uint8_t> record) {
  if (f.offset + f.width > record.size()) return "";
  switch (f.format) {
    case F::Text: {
      const char* start = reinterpret_cast<const char*>(record.data() + f.offset);
      return std::string(start, strnlen(start, f.width));
    }
    case F::StringPointer: {
      const char* pointed = nullptr;
      std::memcpy(&pointed, record.data() + f.offset, sizeof pointed);
      return pointed ? std::string(pointed, strnlen(pointed, kPointerTextLimit)) : std::string();
    }
    case F::Unsigned:
      return text("%llu", little(record, f.offset, f.width));
    case F::Signed: {
      const uint64_t raw = little(record, f.offset, f.width);
      const int shift = static_cast<int>(64 - 8 * f.width);
      const int64_t v = static_cast<int64_t>(raw << shift) >> shift;
      return std::to_string(v);
    }
    case F::HexPrefixed:
      return text("%#llx", little(record, f.offset, f.width));
    case F::Hex8:
      return text("0x%08llX", little(record, f.offset, f.width));
    case F::ByteList:
    case F::ByteListComma: {
      std::string out;
      for (std::size_t i = 0; i < f.width; ++i) {
        if (i) out += ",";
        out += std::to_string(record[f.offset + i]);
      }
      if (f.format == F::ByteListComma) out += ",";
      return out;
    }
    case F::Zero:
      return "0";
    case F::FirstByte:
      return std::to_string(record[f.offset]);
  }
  return "";
}

std::vector<PanelText> fillPanel(std::string_view prefix, std::span<const RecordField> fields,
                                 std::span<const uint8_t> record) {
  std::vector<PanelText> out;
  for (const RecordField& f : fields) {
    out.push_back({std::string(prefix) + f.outlet, formatField(f, record)});
  }
  return out;
}

std::vector<PanelBox> fillBitPanel(const BitPanel& panel, uint32_t word) {
  std::vector<PanelBox> out;
  for (const BitBox& box : panel.boxes) {
    out.push_back({std::string(panel.prefix) + box.name, ((word >> box.bit) & 1u) != 0});
  }
  return out;
}

uint32_t groupValue(const BitGroup& g, uint32_t word) {
  const int bits = g.high - g.low + 1;
  const uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
  return (word >> g.low) & mask;
}

std::string groupLabel(const BitGroup& g, uint32_t word) {
  const std::string bits = g.low == g.high ? std::to_string(g.low)
                                           : std::to_string(g.low) + "-" + std::to_string(g.high);
  return "Bit" + bits + "(" + std::to_string(groupValue(g, word)) + ")";
}

std::vector<GroupText> fillGroupPanel(const GroupPanel& panel, uint32_t word) {
  std::vector<GroupText> out;
  for (const BitGroup& g : panel.groups) {
    const std::string outlet = std::string(panel.prefix) + g.name;
    out.push_back({outlet, groupLabel(g, word), outlet + "Check", groupValue(g, word) != 0});
  }
  return out;
}

}  // namespace ferrolite::dialog
