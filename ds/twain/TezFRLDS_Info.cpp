// System, language and scanner information, the NVRAM copy, the wear counters and their alert.
#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/utsname.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "ds/scan/common/TezFRLCommon.h"
#include "ds/scan/scanner/TezFRLScan.h"
#include "ds/twain/DSHelpers.h"
#include "ds/twain/Options.h"
#include "ds/twain/PlugIns.h"
#include "ds/twain/TezFRLDS.h"

namespace ferrolite {

namespace {

constexpr const char* kDemoSerial = "0123456789";
constexpr uint32_t kNoCounter = 0xFFFFFFFFu;
constexpr uint32_t kRollerLife = 200000, kReverseRollerLife = 100000, kPadLife = 50000;
// The build date is shown in the maker's time zone, eight hours east of UTC.
constexpr long kBuildZoneSeconds = 8 * 3600;
constexpr uint32_t kNvmTypeCounter = 3;
constexpr uint16_t kOldTagPad = 8, kOldTagRoller = 9;
constexpr uint32_t kCounterTags[] = {4, 5, 11, 12};  // pad, roller, reverse roller, pickup roller

void log(std::string_view name, const TezFRLCommon::LogData& data) {
  if (gKrCommon) gKrCommon->outputDebugLog(name, kLogBlank, 1, data);
}

std::string dateText(int year, int month, int day) {
  char text[32];
  std::snprintf(text, sizeof text, "%d/%d/%d", year, month, day);
  return text;
}

std::tm localNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

std::string shortDate(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[16];
  std::strftime(text, sizeof text, "%y.%m%d", &local);
  return text;
}

// "%d.%d.%d" of the library's version word, else its file date, else "0.0.0".
std::string libraryVersion(const std::filesystem::path& file) {
  struct stat info {};
  if (file.empty() || ::stat(file.c_str(), &info) != 0) return "0.0.0";
  const uint32_t version = TezFRLCommon::dylibVersion(file);
  if (version == 0) return shortDate(info.st_mtime);
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u", version >> 16, (version >> 8) & 0xFF,
                version & 0xFF);
  return text;
}

}  // namespace

void TezFRLDS::getSystemInfo() {
  // 1. Only the release is known here; the 3-second wait of one system version never applies.
  osYosemite = false;
  utsname system{};
  if (uname(&system) == 0)
    log("System version", std::string(system.sysname) + " " + system.release);
  // 2.
  const foundation::LocaleName locale = foundation::currentLocale();
  log("Current locale", locale.identifier);
  log("Language code", locale.language);
  log("Country code", locale.country);
  sysLanguage = languageIdFor(locale.language, locale.country);
  // 3.
  if (gCheckPowerOff == 0 &&
      (locale.country == "US" || locale.country == "CA" || locale.country == "MX")) {
    gCheckPowerOff = 1;
  }
  // 4.
  mergeSides = gMergeSides != 0;
  // 5.
  availableLanguage.clear();
  std::error_code error;
  for (const KnownLanguage& language : kKnownLanguageTable) {
    char id[8];
    std::snprintf(id, sizeof id, "%02d", language.id);
    if (!supportedLanguage.empty() && supportedLanguage.find(id) == std::string::npos) continue;
    if (!std::filesystem::is_directory(resourcePath / language.folder, error)) continue;
    availableLanguage.push_back({language.id, language.folder, language.displayName});
  }
  if (availableLanguage.empty()) {
    availableLanguage.push_back(
        {0, kKnownLanguageTable[0].folder, kKnownLanguageTable[0].displayName});
  }
}

const std::vector<LanguageEntry>& TezFRLDS::supportedLanguages(int* count) {
  if (count) *count = static_cast<int>(availableLanguage.size());
  return availableLanguage;
}

void TezFRLDS::setLanguage(int index) {
  if (index < 0 || static_cast<size_t>(index) >= availableLanguage.size()) return;
  const LanguageEntry& entry = availableLanguage[index];
  if (entry.langFolder.empty()) return;
  selLanguage = entry.langID;
  auto bundle = foundation::LanguageBundle::open(resourcePath / entry.langFolder);
  if (!bundle) return;
  // A language that translates only part of the texts shows the rest in English.
  const std::string_view english = kKnownLanguageTable[0].folder;
  auto fallback = foundation::LanguageBundle::open(resourcePath / std::string(english));
  langBundle = entry.langFolder != english && fallback ? bundle->withFallback(*fallback) : *bundle;
}

const foundation::LanguageBundle* TezFRLDS::getLanguage(int* languageId) {
  if (languageId) *languageId = selLanguage;
  return langBundle ? &*langBundle : nullptr;
}

std::string TezFRLDS::localized(std::string_view key, std::string_view defaultText) const {
  if (!langBundle) return std::string(defaultText.empty() ? key : defaultText);
  return langBundle->localizedString(key, defaultText);
}

std::string TezFRLDS::buildDateText() const {
  Dl_info info{};
  struct stat file {};
  if (dladdr(reinterpret_cast<const void*>(&languageIdFor), &info) == 0 ||
      info.dli_fname == nullptr || ::stat(info.dli_fname, &file) != 0) {
    return "0.0000";
  }
  std::tm local{};
  const std::time_t modified = file.st_mtime;
  localtime_r(&modified, &local);
  return shortDate(modified + kBuildZoneSeconds - local.tm_gmtoff);
}

void TezFRLDS::getScannerInfo() {
  ScannerInfo& info = scannerInfo;
  // 1.
  info.usbID = vidpid;
  info.modelName = SharedText(scannerName);
  log("Model name", scannerName);
  // 2.
  std::string serial = kDemoSerial;
  if (scannerFound) {
    const char* sn = newKrapi ? newNvmData.SN : nvmData.SN;
    serial.assign(sn, strnlen(sn, sizeof newNvmData.SN));
  }
  info.serialNumber = SharedText(serial);
  log("Serial number", serial);
  // 3.
  const std::string driver = !customVersion.empty() ? customVersion : "2.1." + buildDateText();
  info.driverVersion = SharedText(driver);
  log("Driver version", driver);
  // 4.
  const std::string libraryName = scannerFound ? deviceName : std::string("Vantrel");
  const std::string io = libraryVersion(locatePlugIn(resourcePath, libraryName + ".so"));
  info.ioVersion = SharedText(io);
  log("LLD version", io);
  // 5.
  log("Lumetra version", libraryVersion(locatePlugIn(resourcePath, "Lumetra.so")));
  log("ColorMatch version", libraryVersion(locatePlugIn(resourcePath, "Chromalis.so")));
  // 6.
  std::string firmware;
  if (newKrapi) {
    firmware = deviceAbility.pFWVersion ? deviceAbility.pFWVersion : "";
  } else {
    firmware.assign(
        scannerAbilityEx.FirmwareVersion,
        strnlen(scannerAbilityEx.FirmwareVersion, sizeof scannerAbilityEx.FirmwareVersion));
  }
  info.fwVersion = SharedText(firmware);
  log("Firmware version", firmware);
  // 7.-8. The dates and counters of the record in use; the two records name them alike.
  auto fromRecord = [&](const auto& r, uint32_t flatbedScanCount) {
    if (scannerFound) {
      info.bornDate = SharedText(dateText(r.BornYear, r.BornMonth, r.BornDay));
      info.firstScan = SharedText(dateText(r.FirstScanYear, r.FirstScanMonth, r.FirstScanDay));
    } else {
      const std::tm now = localNow();
      info.bornDate = SharedText(dateText(now.tm_year + 1900, now.tm_mon + 1, now.tm_mday));
      info.firstScan = info.bornDate;
    }
    info.adfPadCount = r.PadScanCount;
    info.adfRollerCount = r.RollerCount;
    info.adfScanCount = r.ADFSingleModeScanCount + r.ADFDuplexModeScanCount;
    info.multifeedCount = r.MultifeedCount;
    info.jamCount = r.JamCount;
    info.flatbedScanCount = flatbedScanCount;
  };
  if (newKrapi) {
    fromRecord(newNvmData, newNvmData.FletbedScanCount);
  } else {
    fromRecord(nvmData, nvmData.FlatbedScanCount);
  }
}

void TezFRLDS::getNVMData(void* destination, std::size_t size) {
  if (destination == nullptr) return;
  if (scannerFound && scanObject && mCurrentState == TWAIN_STATE_ENABLED) {
    if (newKrapi) {
      scanObject->readNewNVMData(&newNvmData);
    } else {
      scanObject->readNVMData(&nvmData);
    }
  }
  if (newKrapi) {
    std::memcpy(destination, &newNvmData, std::min(size, sizeof newNvmData));
  } else {
    std::memcpy(destination, &nvmData, std::min(size, sizeof nvmData));
  }
}

bool TezFRLDS::resetRollerCount(int which) {
  if (!scannerFound || !scanObject || which < 0) return false;
  bool written;
  if (newKrapi) {
    if (which > 3) return false;
    uint32_t zero = 0;
    written = scanObject->writeNewNVMData(kCounterTags[which], kNvmTypeCounter, &zero);
  } else {
    if (which > 2) return false;
    uint32_t zero = 0;
    written =
        scanObject->setNVRAMValue(&zero, sizeof zero, which == 1 ? kOldTagRoller : kOldTagPad);
  }
  if (!written) return false;
  const bool reread =
      newKrapi ? scanObject->readNewNVMData(&newNvmData) : scanObject->readNVMData(&nvmData);
  if (reread) {
    scannerInfo.adfPadCount = newKrapi ? newNvmData.PadScanCount : nvmData.PadScanCount;
    scannerInfo.adfRollerCount = newKrapi ? newNvmData.RollerCount : nvmData.RollerCount;
  }
  return true;
}

void TezFRLDS::alertRollerPadExceed() {
  // 1.
  const std::tm now = localNow();
  const uint32_t today =
      static_cast<uint32_t>((now.tm_year + 1900) * 10000 + (now.tm_mon + 1) * 100 + now.tm_mday);
  auto file = foundation::readDictionaryFile(settingsFile());
  if (!file) return;
  auto entry = file->dictionary(scannerName);
  if (!entry) return;
  alertDate = 0;
  if (auto date = entry->integer(kAlertDateKey)) alertDate = static_cast<uint32_t>(*date);
  // 2.-4.
  struct Round {
    uint32_t count;
    uint32_t limit;
    const char* key;
    const char* text;
    bool run;
  };
  const char* rollerText =
      "Roller count exceeds %d. Please replace the roller and reset the roller count.";
  const uint32_t rollerLimit =
      maxLifeRoller > 0 ? static_cast<uint32_t>(maxLifeRoller) : kRollerLife;
  const uint32_t padLimit = maxLifePad > 0 ? static_cast<uint32_t>(maxLifePad) : kPadLife;
  const Round rounds[] = {
      {newKrapi ? newNvmData.RollerCount : nvmData.RollerCount, rollerLimit, "RollerExceed",
       rollerText, !reverseRoller},
      // The reverse roller is counted only by models that report it.
      {newNvmData.ReverseRollerCount, kReverseRollerLife, "ReverseRollerExceed", rollerText,
       newKrapi && reverseRoller},
      {newNvmData.PickupRollerCount, rollerLimit, "PickupRollerExceed", rollerText,
       newKrapi && !reverseRoller},
      {newKrapi ? newNvmData.PadScanCount : nvmData.PadScanCount, padLimit, "PadExceed",
       "Pad count exceeds %d. Please replace the ADF pad and reset the pad count.", !reverseRoller},
  };
  for (const Round& round : rounds) {
    if (!round.run || round.count <= round.limit || round.count == kNoCounter ||
        alertDate == today) {
      continue;
    }
    const std::string text =
        replaceAll(localized(round.key, round.text), "%d", std::to_string(round.limit));
    showAlert(text);
    showReplace = true;
  }
  // 5.
  if (showReplace) {
    alertDate = today;
    file->ensureDictionary(scannerName).set(kAlertDateKey, int64_t{today});
    foundation::writePropertyList(settingsFile(), foundation::Value(*file));
  }
}

}  // namespace ferrolite
