// The device object's binding to the driver library, its properties and display texts, and the
// scan entry.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "ica/KR_ICA_Mark2_200.h"
#include "ica/ModuleResources.h"
#include "ica/ScanUtils.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/RegularExpression.h"
#include "platform/foundation/SystemLog.h"
#include "platform/foundation/TextFile.h"
#include "platform/foundation/UserDefaults.h"
#include "vantrel/button_event.h"

namespace icamodule {

using foundation::Array;
using foundation::LogLevel;
using foundation::systemLogf;

namespace {

constexpr uint32_t kDeviceTypeFlatbed = 0x80;
constexpr uint32_t kDeviceTypeFeeder = 0x20;
constexpr uint32_t kDeviceTypeFeederOnly = 0x40;
constexpr uint32_t kDeviceTypeFeederKind = 0x10;
constexpr uint32_t kScanMethodDuplex = 0x40;
constexpr uint32_t kCapabilityTextDisplay = 0x2000;
constexpr uint32_t kNoLengthLimit = 65535;
constexpr uint32_t kLongestPageInches = 14;
constexpr uint32_t kPaperUnit = 300;  // "PaperInfo" sizes are in 1/300 inch
constexpr const char* kFlatbedUnit = "0";
constexpr const char* kFeederUnit = "3";

// The display texts.
constexpr int kOperationRead = 1, kOperationWrite = 2;
constexpr uint32_t kTagDisplayLanguageRead = 0x19, kTagDisplayLanguage = 0x400b,
                   kTagDisplayString = 0x400d;
constexpr DDS_DATA_TYPE kDataTypeBytes = 6;
constexpr uint32_t kLanguageBlockSize = 16, kDisplayStringBlockSize = 260;
constexpr uint32_t kEnglishLanguageCode = 1033;
constexpr const char* kEnglishSection = "[English]";
constexpr std::size_t kDisplayStringMaxCharacters = 127;

void removeFirst(Dictionary* unit, int64_t type) {
  if (!unit) return;
  Dictionary* units = unit->editDictionary("functionalUnits");
  Array* available = units ? units->editArray("availableFunctionalUnitTypes") : nullptr;
  if (!available) return;
  for (auto it = available->begin(); it != available->end(); ++it) {
    if (it->integer().valueOr(-1) == type) {
      available->erase(it);
      return;
    }
  }
}

void putLittleEndian16(uint8_t* at, uint16_t value) {
  at[0] = uint8_t(value);
  at[1] = uint8_t(value >> 8);
}

// The integer at the start of a text, as a number scanner reads it (blanks, sign, digits).
long leadingInteger(const std::u16string& text) {
  std::string ascii;
  for (char16_t c : text) ascii += c < 0x80 ? char(c) : '?';
  return std::strtol(ascii.c_str(), nullptr, 10);
}

std::vector<std::u16string> splitLines(const std::u16string& text) {
  std::vector<std::u16string> lines(1);
  for (char16_t c : text) {
    if (c == u'\r' || c == u'\n') {
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  return lines;
}

}  // namespace

uint32_t feederMaxLength(const DeviceAbility& ability) {
  return ability.ADFMaxLength == kNoLengthLimit ? uint32_t(ability.BaseRes) * kLongestPageInches
                                                : ability.ADFMaxLength;
}

KR_ICA_Mark2_200::~KR_ICA_Mark2_200() {
  stopButtonEvents();
  entries_.clear();
  if (hdrvLib_) dlclose(hdrvLib_);
}

bool KR_ICA_Mark2_200::initWithDriverName(const std::string& driverName, uint32_t usbLocationID) {
  ScanUtils::deviceIDByLocationID(usbLocationID, &vid_, &pid_);
  propertyListPath_ = resourcePath(kScannerPropertiesResource, kPlistType);
  deviceInfoPath_ = resourcePath(kDeviceInfoResource, kPlistType);
  if (auto papers = foundation::readDictionaryFile(resourcePath(kPaperInfoResource, kPlistType)))
    paperInfoDict_ = *papers;
  usbLocationID_ = usbLocationID;
  scannedImages_.clear();

  std::string library = (resourceFolder() / (driverName + kLibraryExtension)).string();
  hdrvLib_ = dlopen(library.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (!hdrvLib_) {
    systemLogf(LogLevel::notice, "Load %s failed \n", library.c_str());
    buttonThreadStop_ = true;
    return false;
  }
  driverName_ = driverName;
  ICA_Base::startButtonEvent();
  if (!readProperties()) {
    buttonThreadStop_ = true;
    entries_.clear();
    dlclose(hdrvLib_);
    hdrvLib_ = nullptr;
    return false;
  }
  startButtonNotifications();
  activity_ = true;
  return true;
}

void KR_ICA_Mark2_200::copyAbility(const DeviceAbility& ability) {
  std::memcpy(&ability_, &ability, sizeof ability_);
  // The record is packed: its string pointers are read and written byte-wise.
  const std::size_t offsets[] = {
      offsetof(DeviceAbility, pVendorName), offsetof(DeviceAbility, pModelName),
      offsetof(DeviceAbility, pFWVersion), offsetof(DeviceAbility, pPortType),
      offsetof(DeviceAbility, pPortAddress)};
  auto* own = reinterpret_cast<uint8_t*>(&ability_);
  for (std::size_t i = 0; i < abilityStrings_.size(); ++i) {
    const char* text = nullptr;
    std::memcpy(&text, reinterpret_cast<const uint8_t*>(&ability) + offsets[i], sizeof text);
    abilityStrings_[i] = text ? text : "";
    char* copy = abilityStrings_[i].data();
    std::memcpy(own + offsets[i], &copy, sizeof copy);
  }
}

bool KR_ICA_Mark2_200::readProperties() {
  std::string missing;
  if (!entries_.bind(hdrvLib_, &missing)) {
    systemLogf(LogLevel::notice, "%s lacks the export %s\n", driverName_.c_str(), missing.c_str());
    return false;
  }
  long driver = entries_._KRInitializeDriver(kModuleControllerId);
  long device = entries_._KRInitializeDevice(kModuleControllerId, nullptr, &_hDevice);
  DeviceAbility* record = nullptr;
  long got = entries_._KRGetDeviceAbility(kModuleControllerId, &_hDevice, &record);
  if (got == 0 && record) {
    copyAbility(*record);
    abilityRead_ = true;
  } else {
    // Without the device's record nothing about it is known: a zeroed record, and scans are
    // refused.
    systemLogf(LogLevel::notice,
               "Device ability not available: driver %ld, device %ld, ability %ld\n", driver,
               device, got);
    DeviceAbility zero{};
    copyAbility(zero);
    abilityRead_ = false;
  }
  if (device == 0) SendLCDLocalizedString();
  if (record) entries_._KRMemFree(kModuleControllerId, record);
  entries_._KRTerminateDevice(kModuleControllerId, &_hDevice);
  entries_._KRTerminateDriver(kModuleControllerId);
  systemLogf(LogLevel::notice, "FWVersion: %s\n", ability_.pFWVersion);
  readFunctionalUnitProperties();
  return true;
}

std::string KR_ICA_Mark2_200::name() const {
  return ability_.pModelName ? ability_.pModelName : "";
}

ICAError KR_ICA_Mark2_200::startScanningWithParams(ICD_ScannerStartPB* params) {
  if (!entries_.bound() || !abilityRead_) {
    systemLogf(LogLevel::notice, "startScanningWithParams: the driver is not available\n");
    return kICAScannerBusyErr;
  }
  // The scanner is the driver's while it scans: the button reader lets go of it.
  pauseButtonReader();
  ICAError result;
  if (entries_._KRInitializeDriver(kModuleControllerId) != 0 ||
      entries_._KRInitializeDevice(kModuleControllerId, nullptr, &_hDevice) != 0) {
    scannerBusyErrMsg();
    result = kICAScannerBusyErr;
  } else {
    icaError_ = kICANoErr;
    if (progressNotificationWithOverviewData_) {
      result = preViewWithParams(params);
    } else {
      result = scanMethod_ == kFlatbedUnit ? flatbedScanWithParams(params) : kICAScannerBusyErr;
      if (scanMethod_ == kFeederUnit) result = adfScanWithParams(params);
    }
    entries_._KRTerminateDevice(kModuleControllerId, &_hDevice);
  }
  entries_._KRTerminateDriver(kModuleControllerId);
  for (const char* leftover : kScanLeftovers) ::unlink(leftover);
  resumeButtonReader();
  return result;
}

ICAError KR_ICA_Mark2_200::flatbedScanWithParams(ICD_ScannerStartPB*) {
  return kICABadParameterErr;
}
ICAError KR_ICA_Mark2_200::preViewWithParams(ICD_ScannerStartPB*) { return kICABadParameterErr; }

void KR_ICA_Mark2_200::cleanUp() {
  const char* name = "-[KR_ICA_Mark2_200 cleanUp]";
  systemLogf(LogLevel::notice, "--> %s\n", name);
  for (std::string& text : abilityStrings_) text.clear();
  ability_.pVendorName = ability_.pModelName = ability_.pFWVersion = ability_.pPortType =
      ability_.pPortAddress = nullptr;
  abilityRead_ = false;
  ICA_Base::cleanUp();  // stops the button reader before the library goes
  entries_.clear();
  if (hdrvLib_) {
    dlclose(hdrvLib_);
    hdrvLib_ = nullptr;
  }
  systemLogf(LogLevel::notice, "<-- %s\n", name);
}

// ---- functional units -----------------------------------------------------------------------

void KR_ICA_Mark2_200::readFunctionalUnitProperties() {
  functionalUnitSettings_ = Dictionary{};
  if (auto file = foundation::readDictionaryFile(propertyListPath_)) {
    auto scanner = file->dictionary("Scanner Properties");
    auto units =
        scanner ? scanner->array("functionalUnitProperties") : foundation::Got<Array>::missing();
    if (units) {
      for (const Value& entryValue : *units) {
        auto entry = entryValue.dictionary();
        if (!entry) continue;
        auto number = entry->integer("unitNumber");
        auto properties = entry->dictionary("unitProperties");
        (void)entry->integer("unitDelay").valueOr(0);
        if (number && properties)
          functionalUnitSettings_.set(std::to_string(uint64_t(*number)), *properties);
      }
    }
  } else {
    systemLogf(LogLevel::notice, "ScannerProperties: %s\n", file.error().c_str());
  }
  const uint32_t type = ability_.DeviceType;
  Dictionary* flatbed = functionalUnitSettings_.editDictionary(kFlatbedUnit);
  Dictionary* feeder = functionalUnitSettings_.editDictionary(kFeederUnit);
  Dictionary noUnit;
  if ((type & kDeviceTypeFlatbed) && !(type & kDeviceTypeFeeder)) {
    systemLogf(LogLevel::notice, "DeviceType : Flatbed Type Only\n");
    removeFirst(flatbed, 3);
    readFlatbedProperties(flatbed ? *flatbed : noUnit);
    scanMethod_ = kFlatbedUnit;
  }
  if ((type & kDeviceTypeFeederOnly) && !(type & kDeviceTypeFeederKind)) {
    systemLogf(LogLevel::notice, "DeviceType : ADF Type Only\n");
    removeFirst(feeder, 0);
    if (feeder && !(ability_.ScanMethod & kScanMethodDuplex)) feeder->remove("CAP_DUPLEX");
    readADFProperties(feeder ? *feeder : noUnit);
    scanMethod_ = kFeederUnit;
  }
  if ((type & kDeviceTypeFlatbed) && (type & kDeviceTypeFeeder)) {
    systemLogf(LogLevel::notice, "DeviceType : ADF & flatbed\n");
    readFlatbedProperties(flatbed ? *flatbed : noUnit);
    if (feeder && !(ability_.ScanMethod & kScanMethodDuplex)) feeder->remove("CAP_DUPLEX");
    readADFProperties(feeder ? *feeder : noUnit);
    scanMethod_ = kFlatbedUnit;
  }
}

void KR_ICA_Mark2_200::readFlatbedProperties(Dictionary&) {}

void KR_ICA_Mark2_200::readADFProperties(Dictionary& unit) {
  const DeviceAbility& a = ability_;
  unit.ensureDictionary("ICAP_XNATIVERESOLUTION").set("value", a.OpticalRes);
  unit.ensureDictionary("ICAP_YNATIVERESOLUTION").set("value", a.OpticalRes);
  for (const char* key : {"ICAP_XRESOLUTION", "ICAP_YRESOLUTION"}) {
    Dictionary* entry = unit.editDictionary(key);
    Array* values = entry ? entry->editArray("value") : nullptr;
    if (!values) continue;
    std::erase_if(*values, [&](const Value& v) { return v.integer().valueOr(0) > a.OpticalRes; });
  }
  if (a.BaseRes == 0) {
    // A record without its unit gives no sizes (and would divide by zero).
    systemLogf(LogLevel::notice, "readADFProperties: no base resolution\n");
  } else {
    const uint64_t length = feederMaxLength(a);
    unit.ensureDictionary("ICAP_PHYSICALHEIGHT")
        .set("value", int64_t(length * a.OpticalRes / a.BaseRes));
    unit.ensureDictionary("ICAP_PHYSICALWIDTH")
        .set("value", int64_t(uint64_t(a.ADFMaxWidth) * a.OpticalRes / a.BaseRes));
    const uint32_t maxWidth = a.ADFMaxWidth * kPaperUnit / a.BaseRes;
    const uint32_t maxHeight = uint32_t(length) * kPaperUnit / a.BaseRes;
    Array sizes;
    if (paperInfoDict_) {
      if (auto papers = paperInfoDict_->array("Papers")) {
        for (const Value& paperValue : *papers) {
          auto paper = paperValue.dictionary();
          if (!paper) continue;
          auto width = paper->integer("width"), height = paper->integer("height");
          const Value* size = paper->find("twain_size");
          if (width && height && size && *width <= int64_t(maxWidth) &&
              *height <= int64_t(maxHeight))
            sizes.push_back(*size);
        }
      }
    }
    unit.ensureDictionary("ICAP_SUPPORTEDSIZES").set("value", std::move(sizes));
  }
  foundation::UserDefaults defaults(vantrel::kScannerModuleBundleId);
  Dictionary crop;
  crop.set("feature", "KR_Crop");
  crop.set("type", "TWON_ENUMERATION");
  crop.set("label", localizedString("image.crop", "Automatic image cropping"));
  crop.set("values", Array{Value(0), Value(1)});
  crop.set("default", 1);
  crop.set("current", defaults.boolean(kDefaultsLastCrop).valueOr(true) ? 1 : 0);
  unit.set("vendor features", Array{Value(std::move(crop))});
}

// ---- display texts --------------------------------------------------------------------------

void KR_ICA_Mark2_200::SendLCDLocalizedString() {
  const std::filesystem::path file = resourceFolder() / kLcdStringsFile;
  std::error_code ec;
  if (!std::filesystem::exists(file, ec) || !(ability_.ScannerCapability1 & kCapabilityTextDisplay))
    return;
  uint8_t current[kLanguageBlockSize] = {};
  if (entries_._KRGeneralOperation(kModuleControllerId, &_hDevice, kOperationRead,
                                   kTagDisplayLanguageRead, kDataTypeBytes, kLanguageBlockSize,
                                   current) != 0)
    return;
  auto decoded = foundation::readTextFile(file);
  if (!decoded) {
    systemLogf(LogLevel::notice, "lcd_str.loc: %s\n", decoded.error().c_str());
    return;
  }
  const std::u16string& text = decoded->text;
  auto headers = foundation::RegularExpression::compile(u"\\[.*\\]");
  std::vector<std::u16string> sections =
      headers ? headers->allMatches(text) : std::vector<std::u16string>{};
  auto isSection = [&](const std::u16string& line) {
    return std::find(sections.begin(), sections.end(), line) != sections.end();
  };

  uint32_t code = kEnglishLanguageCode;
  std::u16string section = foundation::toUtf16(kEnglishSection);
  std::vector<std::string> languages = foundation::preferredLanguages();
  if (auto table = foundation::readPropertyList(resourceFolder() / kLocaleTableFile);
      table && !languages.empty()) {
    if (auto entries = table->array()) {
      for (const Value& value : *entries) {
        auto entry = value.dictionary();
        if (!entry || entry->string("appleLanguage").valueOr("") != languages.front()) continue;
        std::string id = entry->string("languageID").valueOr("");
        code = uint32_t(std::strtoul(id.c_str(), nullptr, 16));
        section = foundation::toUtf16("[" + entry->string("language").valueOr("") + "]");
        break;
      }
    }
  }
  if (!isSection(section)) {
    code = kEnglishLanguageCode;
    section = foundation::toUtf16(kEnglishSection);
  }
  systemLogf(LogLevel::notice, "sessionName = %s\n", foundation::toUtf8(section).c_str());

  std::vector<std::u16string> kept;
  for (const std::u16string& line : splitLines(text)) {
    if (isSection(line)) kept.push_back(line);
    if (line.find(u'=') != std::u16string::npos) kept.push_back(line);
  }
  std::vector<std::u16string> taken;
  bool inSection = false;
  for (const std::u16string& line : kept) {
    if (line == section) {
      inSection = true;
    } else if (line.find(u'[') != std::u16string::npos) {
      inSection = false;
    } else if (inSection) {
      taken.push_back(line);
    }
  }

  uint8_t language[kLanguageBlockSize] = {};
  for (int i = 0; i < 4; ++i) language[i] = uint8_t(code >> (8 * i));
  entries_._KRGeneralOperation(kModuleControllerId, &_hDevice, kOperationWrite, kTagDisplayLanguage,
                               kDataTypeBytes, kLanguageBlockSize, language);
  for (const std::u16string& line : taken) {
    std::size_t first = line.find(u'=');
    std::size_t second = line.find(u'=', first + 1);
    std::u16string shown = line.substr(
        first + 1, second == std::u16string::npos ? std::u16string::npos : second - first - 1);
    if (shown.size() > kDisplayStringMaxCharacters) shown.resize(kDisplayStringMaxCharacters);
    uint8_t block[kDisplayStringBlockSize] = {};
    putLittleEndian16(block, uint16_t(leadingInteger(line.substr(0, first))));
    block[2] = 1;
    block[3] = uint8_t(shown.size() * 2);
    for (std::size_t i = 0; i < shown.size(); ++i) putLittleEndian16(block + 6 + 2 * i, shown[i]);
    long r = entries_._KRGeneralOperation(kModuleControllerId, &_hDevice, kOperationWrite,
                                          kTagDisplayString, kDataTypeBytes,
                                          kDisplayStringBlockSize, block);
    if (r != 0) systemLogf(LogLevel::notice, "_KRGeneralOperation fail : %ld\n", r);
  }
}

}  // namespace icamodule
