// The settings record's defaults and load rules, the settings files, profiles and the debug
// level.
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "ds/scan/common/TezFRLCommon.h"
#include "ds/scan/records/AlarmSound.h"
#include "ds/twain/Options.h"
#include "ds/twain/SettingValues.h"
#include "ds/twain/TezFRLDS.h"
#include "platform/foundation/Files.h"

namespace ferrolite {
namespace {

constexpr const char* kSaveSettingKey = "SaveSetting";
constexpr const char* kLanguageKey = "Language";
constexpr const char* kDebugLevelKey = "DebugLevel";
constexpr const char* kDefaultPrintCounter = "0001";

constexpr uint16_t kTabWindowDefault = 0x105 + 0x040;
constexpr uint16_t kTabWindowAlways = 0x105;
// Byte 135 of the older ability record, bit 7: the scanner knows paper weights.
constexpr size_t kPaperWeightByte = 135;
constexpr uint8_t kPaperWeightBit = 0x80;

foundation::Dictionary readOrEmpty(const std::filesystem::path& file) {
  if (auto read = foundation::readDictionaryFile(file)) return std::move(*read);
  return {};
}

}  // namespace

void TezFRLDS::initSetting() {
  ScanSetting& s = scanSetting;
  s = ScanSetting{};
  s.wImageType = 1;
  s.bFDTSensitivity = s.bRDTSensitivity = 20;
  s.bFBThreshold = s.bRBThreshold = 128;
  s.bFDocumentThreshold = s.bRDocumentThreshold = 230;
  s.bFACDSensitivity = s.bRACDSensitivity = 37;
  s.wBWRes = s.wGrayRes = s.wColorRes = defaultResolution;
  s.bColorMatch = 2;
  s.bFGFilterThreshold = s.bRGFilterThreshold = s.bFBFilterThreshold = s.bRBFilterThreshold = 10;
  for (uint8_t* custom :
       {&s.bFGCustomR, &s.bRGCustomR, &s.bFGCustomG, &s.bRGCustomG, &s.bFGCustomB, &s.bRGCustomB,
        &s.bFBCustomR, &s.bRBCustomR, &s.bFBCustomG, &s.bRBCustomG, &s.bFBCustomB, &s.bRBCustomB}) {
    *custom = 128;
  }
  s.wWidth = static_cast<uint16_t>(maxScanWidth);
  s.wLength = static_cast<uint16_t>(maxScanLength);
  s.dwLongWidth = maxScanWidth;
  s.dwLongLength = maxLongLength;
  s.bBlankPageThreshold = 50;
  s.bNoiseRadius = 1;
  s.iImageCount = -1;
  s.wEnergySaver = 15;
  s.wPowerOffTime = 240;
  s.wTabWindow = kTabWindowDefault;
  s.bPrintAll = 1;
  s.bPrintArea = 1;
  s.bPrintSize = 5;
  s.bShowProgress = 1;
  s.bShowWarning = 1;
  s.bSaveSetting = 1;
  s.bPowerOff = 1;
  s.strProfile = kCustomProfileName;
  s.strAlarm = SharedText(kDefaultAlarmSound);
  s.strPrintText = "";
  s.strPrintCounter = kDefaultPrintCounter;
  const auto* ability = reinterpret_cast<const uint8_t*>(&scannerAbilityEx);
  if (ability[kPaperWeightByte] & kPaperWeightBit) s.bPaperWeight = 1;
  if (gAdvColorDropOn == 1) {
    s.bFGAdvanceProcess = s.bRGAdvanceProcess = s.bFBAdvanceProcess = s.bRBAdvanceProcess = 1;
  }
}

uint32_t TezFRLDS::deviceType() const {
  return newKrapi ? deviceAbility.DeviceType : scannerAbilityEx.ScanMethod;
}

void TezFRLDS::applyLoadRules() {
  ScanSetting& s = scanSetting;
  if (sdUsbScanner) s.wEnergySaver = gNoSleep == 1 ? 0 : 1;
  if (gCheckPowerOff == 0) s.bPowerOff = 1;
  s.wTabWindow |= kTabWindowAlways;
  s.wWidth = std::max(s.wWidth, kMinimumScanSize);
  s.wLength = std::max(s.wLength, kMinimumScanSize);
  const uint32_t type = deviceType();
  const bool flatbed = deviceHasFlatbed(type), feeder = deviceHasFeeder(type);
  if (flatbed && feeder) return;
  if (flatbed) {
    if (s.bScanSource != kSourceFlatbed && s.bScanSource != kSourceFlatbedOther) {
      s.bScanSource = kSourceFlatbed;
    }
  } else if (s.bScanSource != kSourceFeeder && s.bScanSource != kSourceMergeTwoSides) {
    s.bScanSource = kSourceFeeder;
  }
}

namespace {
std::mutex gProbeLock;
std::function<void(const char*)> gSettingProbe;
}  // namespace

void setSettingAccessProbe(std::function<void(const char* where)> probe) {
  std::lock_guard lock(gProbeLock);
  gSettingProbe = std::move(probe);
}

void TezFRLDS::accessSetting(const char* where, const std::function<void()>& access) {
  auto run = [&] {
    std::function<void(const char*)> probe;
    {
      std::lock_guard lock(gProbeLock);
      probe = gSettingProbe;
    }
    if (probe) probe(where);
    access();
  };
  // A dialog whose UI thread is gone leaves the record to this thread alone.
  if (mainDialog && mainDialog->performOnUiThread(run)) return;
  run();
}

ScanSetting TezFRLDS::settingCopy() {
  ScanSetting copy;
  accessSetting("settingCopy", [&] { copy = scanSetting; });
  return copy;
}

void TezFRLDS::readSetting(const std::optional<std::string>& profile, bool loadDefault) {
  const std::filesystem::path file = profile ? profileFile() : settingsFile();
  auto read = foundation::readDictionaryFile(file);
  accessSetting("readSetting", [&] {
    initSetting();
    if (!read) return;
    const std::string key = profile ? *profile : loadDefault ? kDefaultEntry : scannerName;
    auto entry = read->dictionary(key);
    if (!entry) return;
    for (const SettingNumber& number : settingNumbers()) {
      if (const foundation::Value* value = entry->find(number.key)) {
        setSettingNumber(&scanSetting, number, integerValue(*value));
      }
    }
    for (const SettingText& text : settingTexts()) {
      if (auto value = entry->string(text.key)) scanSetting.*text.field = SharedText(*value);
    }
    applyLoadRules();
  });
}

void TezFRLDS::writeSetting(const std::optional<std::string>& profile, bool toDebugLog) {
  std::filesystem::path file;
  std::string key;
  const bool asProfile = !toDebugLog && profile.has_value();
  if (toDebugLog) {
    file = logRootFolder() / kSettingsFileName;
    key = scannerName;
  } else if (asProfile) {
    file = profileFile();
    key = *profile;
  } else {
    file = settingsFile();
    key = scannerName;
  }
  foundation::Dictionary settings = readOrEmpty(file);
  foundation::Dictionary& entry = settings.ensureDictionary(key);
  accessSetting("writeSetting", [&] {
    if (asProfile) scanSetting.strProfile = SharedText(*profile);
    for (const SettingNumber& number : settingNumbers()) {
      entry.set(number.key, settingNumber(scanSetting, number));
    }
    for (const SettingText& text : settingTexts()) {
      entry.set(text.key, (scanSetting.*text.field).str());
    }
  });
  if (!asProfile && alertDate != 0) entry.set(kAlertDateKey, int64_t{alertDate});
  // Failures are not reported: the next save tries again.
  (void)foundation::writePropertyList(file, foundation::Value(std::move(settings)));
}

void TezFRLDS::profileOperation(const std::string& profile, int operation) {
  switch (operation) {
    case kProfileLoad:
      readSetting(profile, false);
      break;
    case kProfileSave:
      writeSetting(profile, false);
      break;
    case kProfileDelete: {
      auto profiles = foundation::readDictionaryFile(profileFile());
      if (!profiles) return;
      profiles->remove(profile);
      (void)foundation::writePropertyList(profileFile(), foundation::Value(std::move(*profiles)));
      break;
    }
    default:
      break;
  }
}

std::optional<std::vector<std::string>> TezFRLDS::availableProfile() const {
  auto profiles = foundation::readDictionaryFile(profileFile());
  if (!profiles) return std::nullopt;
  std::vector<std::string> names = profiles->keys();
  std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  });
  return names;
}

void TezFRLDS::offSaveSetting() {
  auto settings = foundation::readDictionaryFile(settingsFile());
  if (!settings) return;
  settings->ensureDictionary(scannerName).set(kSaveSettingKey, 0);
  (void)foundation::writePropertyList(settingsFile(), foundation::Value(std::move(*settings)));
}

void TezFRLDS::setCustomSetting() {
  if (auto settings = foundation::readDictionaryFile(settingsFile())) {
    foundation::Dictionary& defaults = settings->ensureDictionary(kDefaultEntry);
    if (privateDebug != 0 && debugAction) defaults.set(kDebugLevelKey, debugLevel);
    defaults.set(kLanguageKey, selLanguage);
    (void)foundation::writePropertyList(settingsFile(), foundation::Value(std::move(*settings)));
  }
  if (debugAction && privateDebug == 0) {
    const std::filesystem::path conf = logRootFolder() / kDebugConfName;
    std::error_code error;
    std::filesystem::create_directories(conf.parent_path(), error);
    char line[32];
    const int length = std::snprintf(line, sizeof line, "DebugLevel %d\n", debugLevel);
    (void)foundation::writeFileAtomically(
        conf, std::span(reinterpret_cast<const uint8_t*>(line), size_t(length)));
  }
}

void TezFRLDS::printDebugLog(bool on) {
  debugAction = true;
  debugLevel += 1;
  if (!on) {
    debugLevel = 0;
  } else if (debugLevel < 2) {
    debugLevel = 2;
  }
  if (gKrCommon) gKrCommon->setDebugLevel(debugLevel);
  setCustomSetting();
}

}  // namespace ferrolite
