// Loading the driver library, opening the scanner and reading what it can do; the end.
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "ds/scan/common/Clock.h"
#include "ds/scan/scanner/ScanCallback.h"
#include "ds/scan/scanner/ScanLog.h"
#include "ds/scan/scanner/TezFRLScan.h"
#include "platform/foundation/Resources.h"

namespace ferrolite {

uint32_t gDeviceID = 0;
bool gNewKrapi = false;
DeviceAbility deviceAbility{};
ScannerAbilityEx scannerAbilityEx{};
uint32_t gMaxLongLengthHighRes = kDefaultMaxLongLengthHighRes;
int gColorScan = 0;
int gDisableJpeg = 0;
int gLongPageCrop = 0;
int gSingleCropDuplex = 0;
bool HWAutoCrop = false;
bool HWBlankPageDetect = false;
bool HWProcessing = false;
int gMergeAll = 1;
std::atomic<bool> gCarrierSheet{false};
std::atomic<bool> gPatchcodeImage{false};
std::atomic<bool> gPatchBarcodeReading{false};
BarcodeInfo gBarcodeInfo;

std::string hex32(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

namespace {

// The long-page table the scanner reports: 6 bytes an entry (mode bits, resolution in tens of
// dpi, a u32 pixel count in host order), read with general-operation tag 28.
constexpr uint16_t kTagLongPageTable = 28;
constexpr uint32_t kDataTypeByte = 6;
constexpr size_t kLongPageEntrySize = 6;
// Mode bits of an entry and the slot group each pair fills.
constexpr uint8_t kModeColorSensor = 0x04;
constexpr uint8_t kModeGraySensor = 0x02;
constexpr uint8_t kModeFlatbedGroup = 0x40;
constexpr uint8_t kModeFeederGroup = 0x20;
// Device-type bits of the scanners with long pages.
constexpr uint32_t kLongPageDeviceTypes = 0x74;
constexpr int kGroupSize = 6;
// The NVRAM tag of the first-scan date, written as three u16 (month, day, year).
constexpr uint32_t kNvmTagFirstScanDate = 3;
constexpr uint32_t kNvmTypeBytes = 6;

// The slot offset of a resolution within its group; -1 for a resolution without a slot.
int LongPageResolutionSlot(int res) {
  switch (res) {
    case 600:
      return 0;
    case 500:
      return 1;
    case 400:
      return 2;
    case 300:
      return 3;
    case 200:
      return 4;
    case 150:
      return 5;
    default:
      return -1;
  }
}

std::string AbilityText(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

TezFRLScan::TezFRLScan() { std::memset(&siData_, 0, sizeof siData_); }

TezFRLScan::~TezFRLScan() {
  freeMemory();
  releaseLibrary();
}

void TezFRLScan::releaseLibrary() {
  if (hdrvLib_ == nullptr) return;
  if (kr_.KRTerminateDevice != nullptr) {
    scanLog("KRTerminateDevice", kLogIn, 1);
    kr_.KRTerminateDevice(kControllerId, &gDeviceID);
    scanLog("KRTerminateDevice", kLogOut, 1);
    if (kr_.KRTerminateDriver != nullptr) {
      scanLog("KRTerminateDriver", kLogIn, 1);
      kr_.KRTerminateDriver(kControllerId);
      scanLog("KRTerminateDriver", kLogOut, 1);
    }
  }
  // The driver's ability record goes back before its library does.
  if (pDeviceAbility_ != nullptr && kr_.KRMemFree != nullptr)
    kr_.KRMemFree(kControllerId, pDeviceAbility_);
  pDeviceAbility_ = nullptr;
  // The copy's texts lived in the driver.
  deviceAbility.pVendorName = deviceAbility.pModelName = deviceAbility.pFWVersion = nullptr;
  deviceAbility.pPortType = deviceAbility.pPortAddress = nullptr;
  dlclose(hdrvLib_);
  hdrvLib_ = nullptr;
  kr_ = KrEntries{};
  scanLog("LLD released", kLogBlank, 1);
  operationDict_ = foundation::Dictionary();
  funDict_ = foundation::Dictionary();
}

bool TezFRLScan::initalizeScanner(const std::string& libraryName,
                                  const std::filesystem::path& libResourcePath, uint32_t usbID) {
  gNewKrapi = false;
  gScanPage.iScanPages = 0;
  std::error_code error;
  std::filesystem::path path = libResourcePath / libraryName;
  if (!std::filesystem::exists(path, error))
    path = foundation::scannerModuleResourceFolder() / libraryName;
  char id[16];
  std::snprintf(id, sizeof id, "%04X%04X", usbID & 0xFFFFu, (usbID >> 16) & 0xFFFFu);
  usbID_ = id;

  // A library bound before is ended (device, driver) before it is unloaded.
  releaseLibrary();
  hdrvLib_ = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (hdrvLib_ == nullptr) {
    const char* why = dlerror();
    scanLog("dlopen", kLogBlank, 0, why ? why : path.c_str());
    return false;
  }
  libraryPath_ = path;
  kr_.KRInitializeDriver =
      reinterpret_cast<decltype(&::KRInitializeDriver)>(dlsym(hdrvLib_, "KRInitializeDriver"));
  if (kr_.KRInitializeDriver == nullptr) {
    // The older, unprefixed driver generation is not supported.
    scanLog("KRInitializeDriver", kLogBlank, 0, "not exported");
    return false;
  }
  gNewKrapi = true;
  auto names = foundation::readDictionaryFile(libResourcePath / kDebugNamesFile);
  operationDict_ = names ? std::move(*names) : foundation::Dictionary();
  if (auto operations = operationDict_.dictionary("NewGeneralOperation")) funDict_ = *operations;
  return initalizeNewKrapiScanner();
}

bool TezFRLScan::initalizeNewKrapiScanner() {
#define VT_KR_BIND(name) kr_.name = reinterpret_cast<decltype(&::name)>(dlsym(hdrvLib_, #name));
  VT_KR_BIND(KRTerminateDriver)
  VT_KR_BIND(KRInitializeDevice)
  VT_KR_BIND(KRTerminateDevice)
  VT_KR_BIND(KRGetDeviceList)
  VT_KR_BIND(KRGetDeviceAbility)
  VT_KR_BIND(KRSensorStatus)
  VT_KR_BIND(KRSetParameter)
  VT_KR_BIND(KRSetGamma)
  VT_KR_BIND(KRStartJob)
  VT_KR_BIND(KRStopJob)
  VT_KR_BIND(KRStartScan)
  VT_KR_BIND(KRStopScan)
  VT_KR_BIND(KRSetHWProcess)
  VT_KR_BIND(KRDeviceStatus)
  VT_KR_BIND(KRReadNVMData)
  VT_KR_BIND(KRWriteNVMData)
  VT_KR_BIND(KRGeneralOperation)
  VT_KR_BIND(KRReleasePaper)
  VT_KR_BIND(KRRequestImageInfo)
  VT_KR_BIND(KRMemFree)
#undef VT_KR_BIND

  scanLog("KRInitializeDriver", kLogBlank, 1);
  if (kr_.KRInitializeDriver(kControllerId) != 0) return false;

  scanLog("KRInitializeDevice", kLogBlank, 1);
  scannerError_ = kr_.KRInitializeDevice != nullptr
                      ? kr_.KRInitializeDevice(kControllerId, nullptr, &gDeviceID)
                      : kErrorNoMemory;
  if (scannerError_ != 0) {
    scanLog("KRInitializeDevice", kLogBlank, 0, scannerError_.load());
    if (kr_.KRTerminateDriver != nullptr) kr_.KRTerminateDriver(kControllerId);
    // Releasing the object must not end the driver a second time.
    kr_.KRTerminateDriver = nullptr;
    kr_.KRTerminateDevice = nullptr;
    return false;
  }

  if (kr_.KRMemFree != nullptr && pDeviceAbility_ != nullptr) {
    kr_.KRMemFree(kControllerId, pDeviceAbility_);
    pDeviceAbility_ = nullptr;
  }
  std::memset(&deviceAbility, 0, sizeof deviceAbility);
  if (kr_.KRGetDeviceAbility == nullptr) return false;
  DeviceAbility* ability = nullptr;
  scannerError_ = kr_.KRGetDeviceAbility(kControllerId, &gDeviceID, &ability);
  if (scannerError_ != 0 || ability == nullptr) return false;
  std::memcpy(&deviceAbility, ability, sizeof deviceAbility);
  pDeviceAbility_ = ability;

  adfAlignment_ = static_cast<uint8_t>((deviceAbility.ScannerCapability1 >> 15) & 3);
  maxLongLength_ = 0;
  if ((deviceAbility.DeviceType & kLongPageDeviceTypes) != 0 &&
      (deviceAbility.LongPageLength & 0xFF) != 0) {
    multiLongPageLength();
  }
  repairFirstScanDate();
  logAbility();
  rescaleAbilityTo300(deviceAbility);
  return true;
}

void TezFRLScan::repairFirstScanDate() {
  if (!readNewNVMData(&newNvmData_)) return;
  if (newNvmData_.FirstScanMonth != 0 && newNvmData_.FirstScanMonth <= 12) return;
  const CivilTime today = localCivilTime(std::chrono::system_clock::now());
  uint16_t date[3] = {static_cast<uint16_t>(today.month), static_cast<uint16_t>(today.day),
                      static_cast<uint16_t>(today.year)};
  if (writeNewNVMData(kNvmTagFirstScanDate, kNvmTypeBytes, date)) readNewNVMData(&newNvmData_);
}

void TezFRLScan::logAbility() {
  const DeviceAbility& a = deviceAbility;
  scanLog("--------------- Scanner Ability ---------------", "", 1);
  scanLog("Version", kLogBlank, 1, a.Version);
  scanLog("Size", kLogBlank, 1, a.Size);
  scanLog("VendorName", kLogBlank, 1, AbilityText(a.pVendorName));
  scanLog("ModelName", kLogBlank, 1, AbilityText(a.pModelName));
  scanLog("FWVersion", kLogBlank, 1, AbilityText(a.pFWVersion));
  scanLog("PortType", kLogBlank, 1, AbilityText(a.pPortType));
  scanLog("PortAddress", kLogBlank, 1, AbilityText(a.pPortAddress));
  scanLog("BaseRes", kLogBlank, 1, a.BaseRes);
  scanLog("FlatbedMaxWidth", kLogBlank, 1, a.FlatbedMaxWidth);
  scanLog("FlatbedMaxLenth", kLogBlank, 1, a.FlatbedMaxLength);
  scanLog("ADFMaxWidth", kLogBlank, 1, a.ADFMaxWidth);
  scanLog("ADFMaxLength", kLogBlank, 1, a.ADFMaxLength);
  scanLog("LongPageLengthIndex", kLogBlank, 1, a.LongPageLength & 0xFF);
  scanLog("ImageType", kLogBlank, 1, hex32(a.ImageType));
  scanLog("DeviceType", kLogBlank, 1, hex32(a.DeviceType));
  scanLog("ScanMethod", kLogBlank, 1, hex32(a.ScanMethod));
  scanLog("OpticalRes", kLogBlank, 1, a.OpticalRes);
  scanLog("YCbCrCapability", kLogBlank, 1, a.YCbCrCapability);
  scanLog("MinimumRes", kLogBlank, 1, a.MinimumRes);
  scanLog("ScannerCapability0", kLogBlank, 1, hex32(a.ScannerCapability0));
  scanLog("ScannerCapability1", kLogBlank, 1, hex32(a.ScannerCapability1));
  scanLog("ScannerCapability2", kLogBlank, 1, hex32(a.ScannerCapability2));
}

void rescaleAbilityTo300(DeviceAbility& a) {
  // A base of 0 says nothing about the unit: the sizes stay as they are.
  if (a.BaseRes == 300 || a.BaseRes == 0) return;
  const uint32_t base = a.BaseRes;
  // The "no limit" length stays unlimited at any unit.
  auto scale32 = [base](uint32_t v) {
    return v == kUnlimitedLength || v == UINT32_MAX ? v : uint32_t(uint64_t(v) * 300 / base);
  };
  auto scale16 = [base](uint16_t v) {
    return v == kUnlimitedLength ? v : uint16_t(uint32_t(v) * 300 / base);
  };
  a.FlatbedMaxWidth = scale32(a.FlatbedMaxWidth);
  a.FlatbedMaxLength = scale32(a.FlatbedMaxLength);
  a.ADFMaxWidth = scale32(a.ADFMaxWidth);
  a.ADFMaxLength = scale32(a.ADFMaxLength);
  a.XPAMaxWidth = scale32(a.XPAMaxWidth);
  a.XPAMaxLength = scale32(a.XPAMaxLength);
  a.FlatbedMinWidth = scale16(a.FlatbedMinWidth);
  a.FlatbedMinLength = scale16(a.FlatbedMinLength);
  a.ADFMinWidth = scale16(a.ADFMinWidth);
  a.ADFMinLength = scale16(a.ADFMinLength);
  a.XPAMinWidth = scale16(a.XPAMinWidth);
  a.XPAMinLength = scale16(a.XPAMinLength);
  a.BaseRes = 300;
}

void TezFRLScan::multiLongPageLength() {
  std::fill(std::begin(longPageLimited_), std::end(longPageLimited_), 0u);
  if (!gNewKrapi) return;
  const size_t entries = deviceAbility.LongPageLength & 0xFF;
  std::vector<uint8_t> table(entries * kLongPageEntrySize);
  if (!generalOperation(KR_GENERAL_READ, kTagLongPageTable, kDataTypeByte,
                        static_cast<uint16_t>(table.size()), table.data())) {
    return;
  }
  maxLongPageRes_ = 600;
  for (size_t i = 0; i < entries; ++i) {
    const uint8_t* entry = &table[i * kLongPageEntrySize];
    const uint8_t mode = entry[0];
    const int res = entry[1] * 10;
    uint32_t pixels;
    std::memcpy(&pixels, entry + 2, sizeof pixels);
    const uint32_t length = res != 0 ? uint32_t(uint64_t(pixels) * 300 / uint32_t(res)) : 0;
    char text[80];
    std::snprintf(text, sizeof text, "Mode=%d, Resolution=%d, Pixels=%d", mode, res,
                  static_cast<int>(pixels));
    scanLog("Long page length index", kLogBlank, static_cast<int>(i), text);
    const uint32_t limit =
        length > gMaxLongLengthHighRes && res >= 301 ? gMaxLongLengthHighRes : length;
    maxLongLength_ = std::max(maxLongLength_, limit);
    const int r = LongPageResolutionSlot(res);
    if (r < 0) continue;
    if ((mode & kModeColorSensor) && (mode & kModeFlatbedGroup)) longPageLimited_[0 + r] = limit;
    if ((mode & kModeColorSensor) && (mode & kModeFeederGroup)) longPageLimited_[12 + r] = limit;
    if ((mode & kModeGraySensor) && (mode & kModeFlatbedGroup)) longPageLimited_[6 + r] = limit;
    if ((mode & kModeGraySensor) && (mode & kModeFeederGroup)) longPageLimited_[18 + r] = limit;
  }
  // A lower resolution without its own limit takes the next higher one's.
  for (int k = 0; k < kLongPageUsedSlots - 1; ++k) {
    if (k % kGroupSize == kGroupSize - 1) continue;
    if (longPageLimited_[k + 1] == 0) longPageLimited_[k + 1] = longPageLimited_[k];
  }
  if (gColorScan == 1) {
    std::copy_n(&longPageLimited_[0], kGroupSize, &longPageLimited_[6]);
    std::copy_n(&longPageLimited_[12], kGroupSize, &longPageLimited_[18]);
  }
}

void TezFRLScan::testScannerInfo() {
  std::memset(&scannerAbilityEx, 0, sizeof scannerAbilityEx);
  ScannerAbilityEx& a = scannerAbilityEx;
  std::snprintf(a.VenderName, sizeof a.VenderName, "%s", "Demo");
  std::snprintf(a.ModelName, sizeof a.ModelName, "%s", "Test Sample");
  std::snprintf(a.FirmwareVersion, sizeof a.FirmwareVersion, "%s", "0.00");
  std::snprintf(a.PortType, sizeof a.PortType, "%s", "None");
  std::snprintf(a.PortAddress, sizeof a.PortAddress, "%s", "None");
  a.FlatbedMaxWidth = 2550;
  a.FlatbedMaxLength = 3508;
  a.ADFMaxWidth = 2550;
  a.ADFMaxLength = 4200;
  a.TransparencyMaxWidth = 2550;
  a.TransparencyMaxLength = 3508;
  a.OpticalRes = 300;
  a.MaxGrayXRes = 300;
  a.MaxGrayYRes = 300;
  a.MaxColorXRes = 300;
  a.MaxColorYRes = 300;
  a.ImageType = 160;
  a.ScanMethod = 224;
  a.ChannelsPerPixe = 3;
  a.BitsPerChannel = 8;
  a.LineartPixelBound = 8;
  a.GrayPixelBound = 1;
  a.ColorPixelBound = 1;
}

}  // namespace ferrolite
