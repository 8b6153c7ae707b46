#include "ica/ICA_Base.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "ica/ModuleResources.h"
#include "platform/foundation/StringFormat.h"
#include "platform/foundation/SystemLog.h"
#include "vantrel/button_event.h"

namespace icamodule {

using foundation::Array;
using foundation::LogLevel;
using foundation::stringWithFormat;
using foundation::systemLogf;

namespace {

constexpr const char* kTypeOneValue = "TWON_ONEVALUE";
constexpr const char* kTypeEnumeration = "TWON_ENUMERATION";
constexpr const char* kTypeRange = "TWON_RANGE";
constexpr const char* kVendorFeatures = "vendor features";
constexpr const char* kFeatureKey = "feature";
constexpr const char* kDefaultThreshold = "ICAP_THRESHOLD";
constexpr long kThresholdWhenMissing = 127;
constexpr std::size_t kRawPathCapacity = 512;  // the record's field, terminator included
constexpr long kMaxOutputTries = 1000000;
constexpr const char* kRawTemplate = "icaRawImageXXXXXX.ica";
constexpr int kRawTemplateSuffix = 4;  // ".ica" after the X characters
constexpr auto kFirstBackoff = std::chrono::milliseconds(1);
constexpr auto kLongestBackoff = std::chrono::milliseconds(1000);

// Numbers compare by value whatever their kind (a host's 300 equals a file's 300.0).
bool sameValue(const Value& a, const Value& b) {
  auto ra = a.real(), rb = b.real();
  auto isNumber = [](const Value& v) {
    return v.kind() == foundation::Kind::integer || v.kind() == foundation::Kind::real ||
           v.kind() == foundation::Kind::boolean;
  };
  if (isNumber(a) && isNumber(b)) return *ra == *rb;
  return a == b;
}

// The index of the first allowed value equal to `value`, which an enumeration's "current" takes.
std::optional<int64_t> firstIndexOf(const Array& allowed, const Value& value) {
  for (std::size_t i = 0; i < allowed.size(); ++i)
    if (sameValue(allowed[i], value)) return int64_t(i);
  return std::nullopt;
}

bool withinRange(const Dictionary& entry, const Value& value) {
  auto v = value.integer(), lo = entry.integer("min"), hi = entry.integer("max");
  if (!v || !lo || !hi) return false;
  return uint64_t(*lo) <= uint64_t(*v) && uint64_t(*v) <= uint64_t(*hi);
}

std::string describe(const Dictionary& dict) {
  auto xml = foundation::serializePropertyList(dict, foundation::PlistFormat::xml);
  return xml ? std::string(xml->begin(), xml->end()) : std::string("<unprintable>");
}

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return text;
}

bool pathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::string expandTilde(const std::string& path) {
  if (path.empty() || path[0] != '~') return path;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + path.substr(1);
}

void putLittleEndian(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

}  // namespace

std::array<uint8_t, kRawHeaderSize> rawImageHeader(const RawImageDescription& image) {
  std::array<uint8_t, kRawHeaderSize> header{};
  const uint32_t fields[] = {uint32_t(kRawHeaderSize),
                             1,
                             image.width,
                             image.height,
                             image.bytesPerRow,
                             image.samplesPerPixel,
                             image.bitsPerSample,
                             image.samplesPerPixel * image.bitsPerSample,
                             uint32_t(image.colorSpaceModel),
                             0,
                             image.orientation,
                             image.resolution};
  for (std::size_t i = 0; i < std::size(fields); ++i) putLittleEndian(&header[4 * i], fields[i]);
  std::size_t n = std::min(image.colorSyncMode.size(), kRawColorSyncModeBytes - 1);
  std::memcpy(&header[kRawColorSyncModeOffset], image.colorSyncMode.data(), n);
  return header;
}

ICA_Base::ICA_Base() = default;

ICA_Base::~ICA_Base() {
  stopButtonEvents();
  closeRawFile();
}

// ---- abstract operations ------------------------------------------------------------------------

namespace {
void abstractCalled(const char* method) {
  systemLogf(LogLevel::error, "*** Assertion failure in ICA_Base: %s,%s\n", "ICA_Base", method);
}
}  // namespace

bool ICA_Base::initWithDriverName(const std::string&, uint32_t) {
  abstractCalled("initWithDriverName:usbLocationID:");
  return false;
}
std::string ICA_Base::name() const {
  abstractCalled("name");
  return {};
}
std::size_t ICA_Base::numberOfScannedImages() const {
  abstractCalled("numberOfScannedImages");
  return 0;
}
ICAError ICA_Base::startScanningWithParams(ICD_ScannerStartPB*) {
  abstractCalled("startScanningWithParams:");
  return kICAAbstractMethodErr;
}

void ICA_Base::initWithGUID(uint64_t guid, const std::string& /*ioRegPath*/) {
  fireWireGUID_ = guid;
  scannedImages_.clear();
}

void ICA_Base::initWithParameters(const Dictionary& parameters) {
  scannedImages_.clear();
  networkParams_ = parameters;
}

void ICA_Base::cleanUp() {
  stopButtonEvents();
  paperInfoDict_.reset();
  functionalUnitSettings_ = Dictionary{};
  scannedImages_.clear();
  propertyListPath_.clear();
  deviceInfoPath_.clear();
  documentFolderPath_.clear();
  documentName_.clear();
  documentExtension_.clear();
  documentFilePath_.clear();
  scannedImageMetadata_.reset();
  colorSyncMode_.clear();
  scanMethod_.clear();
  activity_ = false;
}

// ---- sessions -------------------------------------------------------------------------------

ICAError ICA_Base::openSessionWithParams(ICD_ScannerOpenSessionPB*) {
  std::lock_guard lock(condition4ButtonMutex_);
  ICAError error = scannerSessionOpened_ ? kICASessionStateErr : kICANoErr;
  scannerSessionOpened_ = true;
  return error;
}

ICAError ICA_Base::closeSessionWithParams(ICD_ScannerCloseSessionPB*) {
  std::lock_guard lock(condition4ButtonMutex_);
  if (!scannerSessionOpened_) return kICASessionStateErr;
  scannerSessionOpened_ = false;
  condition4Button_.notify_all();
  return kICANoErr;
}

// ---- parameters -----------------------------------------------------------------------------

const Dictionary* ICA_Base::currentUnit() const {
  auto unit = functionalUnitSettings_.dictionary(scanMethod_);
  return unit ? &*unit : nullptr;
}

ICAError ICA_Base::getSelectedFunctionalUnitParams(ICD_ScannerGetParametersPB* params) {
  if (!params || !params->theDict) return kICABadParameterErr;
  Dictionary* unit = functionalUnitSettings_.editDictionary(scanMethod_);
  if (unit && getValueForVendorFeature("KR_Invert")) {
    Dictionary invert;
    invert.set("current", 0);
    invert.set("default", 0);
    invert.set(kFeatureKey, "KR_Invert");
    invert.set("type", kTypeEnumeration);
    invert.set("label", localizedString("image.invert", "Image Invert"));
    invert.set("value", Array{Value(0), Value(1)});
    unit->set(kVendorFeatures, Array{Value(std::move(invert))});
  }
  Dictionary device = unit ? *unit : Dictionary{};
  systemLogf(LogLevel::notice, "Parameters Sent:%s\n", describe(device).c_str());
  params->theDict->set("device", std::move(device));
  return kICANoErr;
}

ICAError ICA_Base::setSelectedFunctionalUnitParams(ICD_ScannerSetParametersPB* params) {
  if (!params || !params->theDict) return -1;
  const Dictionary& dict = *params->theDict;
  systemLogf(LogLevel::notice, "Scan Parameters Passed In:%s\n", describe(dict).c_str());
  const Value* areaValue = dict.find("userScanArea");
  if (!areaValue) return kICANoErr;
  // An array names the area in its second element, or in its only one.
  if (auto areas = areaValue->array()) {
    if (areas->empty()) return kICANoErr;
    areaValue = &(*areas)[areas->size() >= 2 ? 1 : 0];
  }
  auto areaGot = areaValue->dictionary();
  if (!areaGot) return kICANoErr;
  const Dictionary& area = *areaGot;

  if (auto unitType = area.integer("selectedFunctionalUnitType")) {
    systemLogf(LogLevel::notice, "    Changing Functional Unit\n");
    std::string method = std::to_string(uint64_t(*unitType));
    if (method != scanMethod_) scanMethod_ = method;
    return kICANoErr;
  }
  systemLogf(LogLevel::notice, "   Update scan parameters: \n");
  updateScanParamsUsingValuesInDictionary(area);

  progressNotificationWithOverviewData_ =
      area.boolean("progressNotificationWithData").valueOr(false);
  progressNotificationNoData_ = area.boolean("progressNotificationNoData").valueOr(false);
  progressNotificationWithScanData_ =
      area.boolean("progressNotificationWithScanData").valueOr(false);
  progressNotificationWithScanDataMaxBandSize_ = 0;
  if (auto band = area.integer("progressNotificationWithScanDataMaxBandSize")) {
    progressNotificationWithScanDataMaxBandSize_ = *band;
    maxProgressBandSize_ = uint32_t(*band);
  } else {
    maxProgressBandSize_ = kDefaultMaxProgressBandSize;
  }
  colorSyncMode_ = area.string("ColorSyncMode").valueOr("");
  documentName_ = area.string("document name").valueOr("");
  documentFolderPath_ = area.string("document folder").valueOr("");
  documentUTI_ = area.string("document format").valueOr("");
  if (!area.contains("document format") && progressNotificationNoData_)
    documentUTI_ = kICUTTypeTIFF;
  documentExtension_ = area.string("document extension").valueOr("");
  if (!area.contains("document extension") && progressNotificationNoData_)
    documentExtension_ = PreferredExtensionForType(documentUTI_);
  evenPageOrientation_ = area.integer("evenPageOrientation").valueOr(0);
  oddPageOrientation_ = area.integer("oddPageOrientation").valueOr(0);
  if (auto metadata = area.dictionary("metadata")) {
    scannedImageMetadata_ = *metadata;
  } else {
    scannedImageMetadata_.reset();
  }
  heightFromICA_ = area.integer("height").valueOr(heightFromICA_);
  widthFromICA_ = area.integer("width").valueOr(widthFromICA_);
  offsetXFromICA_ = area.integer("offsetX").valueOr(offsetXFromICA_);
  offsetYFromICA_ = area.integer("offsetY").valueOr(offsetYFromICA_);
  return kICANoErr;
}

void ICA_Base::updateScanParamsUsingValuesInDictionary(const Dictionary& dict) {
  static const char* const kKeys[] = {"ICAP_BITDEPTH",    "ICAP_PIXELTYPE",    "ICAP_UNITS",
                                      "ICAP_XRESOLUTION", "ICAP_YRESOLUTION",  "ICAP_XSCALING",
                                      "ICAP_YSCALING",    "CAP_FEEDERENABLED", "CAP_DUPLEXENABLED",
                                      kDefaultThreshold};
  for (const char* key : kKeys) setValueForKey(key, dict);
  setValuesForVendorFeaturesFromDictionary(dict);
}

void ICA_Base::setValueForKey(std::string_view key, const Dictionary& dict) {
  const Value* host = dict.find(key);
  Dictionary* unit = functionalUnitSettings_.editDictionary(scanMethod_);
  if (!host || !unit) return;
  Dictionary* entry = unit->editDictionary(key);
  if (!entry) {
    unit->set(key, *host);
    return;
  }
  std::string type = entry->string("type").valueOr("");
  if (type == kTypeOneValue) {
    unit->set(key, *host);
    return;
  }
  auto hostEntry = host->dictionary();
  const Value* value = hostEntry ? hostEntry->find("value") : nullptr;
  if (!value) return;
  if (type == kTypeEnumeration) {
    auto allowed = entry->array("value");
    if (!allowed) return;
    if (auto index = firstIndexOf(*allowed, *value)) entry->set("current", *index);
  } else if (type == kTypeRange) {
    if (withinRange(*entry, *value)) entry->set("current", *value);
  }
}

void ICA_Base::setValuesForVendorFeaturesFromDictionary(const Dictionary& dict) {
  Dictionary* unit = functionalUnitSettings_.editDictionary(scanMethod_);
  auto hostFeatures = dict.array(kVendorFeatures);
  if (!unit || !hostFeatures) return;
  Array* features = unit->editArray(kVendorFeatures);
  if (!features) return;
  for (Value& featureValue : *features) {
    Dictionary* feature = featureValue.editDictionary();
    if (!feature) continue;
    std::string name = feature->string(kFeatureKey).valueOr("");
    std::string type = feature->string("type").valueOr("");
    for (const Value& hostValue : *hostFeatures) {
      auto hostFeature = hostValue.dictionary();
      if (!hostFeature || hostFeature->string(kFeatureKey).valueOr("") != name) continue;
      const Value* value = hostFeature->find("value");
      if (!value) continue;
      if (type == kTypeOneValue) {
        feature->set("value", *value);
      } else if (type == kTypeEnumeration) {
        auto allowed = feature->array("values");
        auto index = allowed ? firstIndexOf(*allowed, *value) : std::nullopt;
        if (index) feature->set("current", *index);
      } else if (type == kTypeRange) {
        if (withinRange(*feature, *value)) feature->set("current", *value);
      }
    }
  }
}

namespace {
// The chosen value of a typed entry: one value, enumeration or range.
std::optional<Value> typedValue(const Dictionary& entry, const char* valuesKey) {
  std::string type = entry.string("type").valueOr("");
  if (type == kTypeOneValue) {
    if (const Value* v = entry.find("value")) return *v;
  } else if (type == kTypeEnumeration) {
    auto values = entry.array(valuesKey);
    auto current = entry.integer("current");
    if (values && current && *current >= 0 && std::size_t(*current) < values->size())
      return (*values)[std::size_t(*current)];
  } else if (type == kTypeRange) {
    if (const Value* v = entry.find("current")) return *v;
  }
  return std::nullopt;
}
}  // namespace

std::optional<Value> ICA_Base::getValueForKey(std::string_view key) const {
  const Dictionary* unit = currentUnit();
  if (!unit) return std::nullopt;
  auto entry = unit->dictionary(key);
  return entry ? typedValue(*entry, "value") : std::nullopt;
}

std::optional<Value> ICA_Base::getValueForVendorFeature(std::string_view name) const {
  const Dictionary* unit = currentUnit();
  auto features = unit ? unit->array(kVendorFeatures) : foundation::Got<Array>::missing();
  if (!features) return std::nullopt;
  for (const Value& value : *features) {
    auto feature = value.dictionary();
    if (!feature || feature->string(kFeatureKey).valueOr("") != name) continue;
    std::string type = feature->string("type").valueOr("");
    if (type != kTypeOneValue && type != kTypeEnumeration && type != kTypeRange) continue;
    return typedValue(*feature, "values");
  }
  return std::nullopt;
}

namespace {
int64_t integerOf(const std::optional<Value>& value, int64_t fallback) {
  if (!value) return fallback;
  return value->integer().valueOr(fallback);
}
}  // namespace

uint32_t ICA_Base::bitDepth() const {
  return uint32_t(integerOf(getValueForKey("ICAP_BITDEPTH"), 0));
}
uint32_t ICA_Base::pixelType() const {
  return uint32_t(integerOf(getValueForKey("ICAP_PIXELTYPE"), 0));
}
long ICA_Base::xResolution() const {
  return long(integerOf(getValueForKey("ICAP_XRESOLUTION"), 0));
}
long ICA_Base::yResolution() const {
  return long(integerOf(getValueForKey("ICAP_YRESOLUTION"), 0));
}
uint32_t ICA_Base::capUnit() const { return uint32_t(integerOf(getValueForKey("ICAP_UNITS"), 0)); }
uint32_t ICA_Base::duplexEnabled() const {
  auto feeder = getValueForKey("CAP_FEEDERENABLED");
  auto duplex = getValueForKey("CAP_DUPLEXENABLED");
  if (!feeder || !duplex) return 0;
  return uint32_t(integerOf(duplex, 0));
}
long ICA_Base::threshold() const {
  return long(integerOf(getValueForKey(kDefaultThreshold), kThresholdWhenMissing));
}

// ---- properties and the object list -----------------------------------------------------------

ICAError ICA_Base::addPropertiesToDictionary(Dictionary* dict) {
  if (!dict) return kICABadParameterErr;
  std::string deviceName = name();
  if (!deviceName.empty()) {
    if (auto info = foundation::readDictionaryFile(deviceInfoPath_)) {
      if (auto devices = info->dictionary("devices")) {
        if (auto device = devices->dictionary(deviceName)) {
          if (const Value* buttons = device->find("ButtonTypes")) dict->set("Buttons", *buttons);
        }
      }
    }
  }
  dict->set(kICAUserAssignedDeviceNameKey, deviceName);
  dict->set("supportsICARawFileFormat", 1);
  return kICANoErr;
}

ICAError ICA_Base::updateObjectInfo(ScannerObjectInfo* info, uint32_t index) const {
  if (!info || index >= scannedImages_.size()) return kICABadParameterErr;
  *info = scannedImages_[index].info;
  return kICANoErr;
}

ICAError ICA_Base::readFileDataWithObjectInfo(const ScannerObjectInfo* info, char* buffer,
                                              uint32_t offset, uint32_t length) const {
  if (!info || !buffer) return kICABadParameterErr;
  for (const ScannedImage& image : scannedImages_) {
    if (image.info.icaObject != info->icaObject) continue;
    int fd = ::open(image.path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return kICABadParameterErr;
    ssize_t n = ::pread(fd, buffer, length, off_t(offset));
    ::close(fd);
    return n < 0 ? kICABadParameterErr : kICANoErr;
  }
  return kICABadParameterErr;
}

ICAError ICA_Base::removeObject(const ScannerObjectInfo* info) {
  if (!info) return kICABadParameterErr;
  for (auto it = scannedImages_.begin(); it != scannedImages_.end(); ++it) {
    if (it->info.icaObject != info->icaObject) continue;
    ::unlink(it->path.c_str());
    scannedImages_.erase(it);
    return kICANoErr;
  }
  return kICABadParameterErr;
}

// ---- error notifications ------------------------------------------------------------------------

void ICA_Base::sendErrorNotification(const std::string& subtype) {
  Dictionary dict;
  ScannerObjectInfo* info = deviceObjectInfo();
  dict.set(kICANotificationICAObjectKey, uint32_t(info ? info->icaObject : 0));
  dict.set(kICANotificationTypeKey, kICANotificationTypeDeviceStatusError);
  dict.set(kICANotificationSubTypeKey, subtype);
  ICASendNotificationPB block{};
  block.notificationDictionary = &dict;
  ICDSendNotification(&block);
}

void ICA_Base::feederNoPaperMsg() { sendErrorNotification("kICAErrStrDFEmptyErr"); }
void ICA_Base::feederJamMsg() { sendErrorNotification("kICAErrStrDFPaperErr"); }
void ICA_Base::scannerErrMsg() { sendErrorNotification("kICAErrStrScanErr"); }
void ICA_Base::scannerBusyErrMsg() { sendErrorNotification("kICAErrStrScannerBusyErr"); }
void ICA_Base::adfErrMsg() { sendErrorNotification("kICAErrStrDFSetupErr"); }
void ICA_Base::missfeedMsg() { sendErrorNotification(localizedString("miss.feed", "Miss Feed")); }
void ICA_Base::fileCorruptedMsg(const std::string& path) {
  sendErrorNotification(localizedString("file.missing", "File Missing: ") + path);
}

// ---- output files and the raw image file --------------------------------------------------------

bool ICA_Base::isDocumentUTI_ICA_RAW() const { return documentUTI_ == kICUTTypeRaw; }

bool ICA_Base::setOutputFilePath() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string temporary = tmpdir && *tmpdir ? tmpdir : "/tmp";
  while (temporary.size() > 1 && temporary.back() == '/') temporary.pop_back();
  ScannerObjectInfo* info = deviceObjectInfo();
  uint32_t object = info ? info->icaObject : 0;
  std::string folder = expandTilde(documentFolderPath_);
  documentFilePath_.clear();
  for (long attempt = 0; attempt < kMaxOutputTries; ++attempt) {
    std::string candidate;
    if (documentFolderPath_.empty()) {
      candidate = attempt == 0 ? stringWithFormat("%s/%08x_scan.%s", temporary.c_str(), object,
                                                  documentExtension_.c_str())
                               : stringWithFormat("%s/%08x_scan %ld.%s", temporary.c_str(), object,
                                                  attempt, documentExtension_.c_str());
    } else {
      candidate = attempt == 0
                      ? stringWithFormat("%s/%s.%s", folder.c_str(), documentName_.c_str(),
                                         documentExtension_.c_str())
                      : stringWithFormat("%s/%s %ld.%s", folder.c_str(), documentName_.c_str(),
                                         attempt, documentExtension_.c_str());
    }
    if (!pathExists(candidate)) {
      documentFilePath_ = candidate;
      break;
    }
  }
  rawImageFileCachePath_.clear();
  if (isDocumentUTI_ICA_RAW()) return !documentFilePath_.empty();
  std::string pattern = temporary + "/" + kRawTemplate;
  std::vector<char> path(pattern.begin(), pattern.end());
  path.push_back('\0');
  int fd = pattern.size() < kRawPathCapacity ? ::mkstemps(path.data(), kRawTemplateSuffix) : -1;
  if (fd < 0 || documentFilePath_.empty()) {
    if (fd >= 0) {
      ::close(fd);
      ::unlink(path.data());
    }
    systemLogf(LogLevel::error, "setOutputFilePath: no temporary raw file in %s\n",
               temporary.c_str());
    scannerErrMsg();
    icaError_ = kICAScanFailedErr;
    return false;
  }
  ::close(fd);
  rawImageFileCachePath_ = path.data();
  return true;
}

namespace {
std::FILE* openNoFollow(const std::string& path, bool writing) {
  if (path.empty()) return nullptr;
  int flags = writing ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY;
  int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, writing ? "wb" : "rb");
  if (!file) ::close(fd);
  return file;
}
}  // namespace

bool ICA_Base::openRawFileForWriting() {
  closeRawFile();
  rawImageFile_ =
      openNoFollow(isDocumentUTI_ICA_RAW() ? documentFilePath_ : rawImageFileCachePath_, true);
  return rawImageFile_ != nullptr;
}

void ICA_Base::writeRawFileWithBuffer(const void* bytes, std::size_t size) {
  if (rawImageFile_ && bytes && size) std::fwrite(bytes, 1, size, rawImageFile_);
}

bool ICA_Base::openRawFileForReading() {
  closeRawFile();
  rawImageFile_ =
      openNoFollow(isDocumentUTI_ICA_RAW() ? documentFilePath_ : rawImageFileCachePath_, false);
  return rawImageFile_ != nullptr;
}

std::size_t ICA_Base::readRawFileWithBuffer(void* buffer, std::size_t size) {
  if (!rawImageFile_ || !buffer) return 0;
  return std::fread(buffer, 1, size, rawImageFile_);
}

void ICA_Base::rewindRawFile() {
  if (rawImageFile_) std::fseek(rawImageFile_, long(kRawHeaderSize), SEEK_SET);
}

void ICA_Base::closeRawFile() {
  if (!rawImageFile_) return;
  std::fflush(rawImageFile_);
  std::fclose(rawImageFile_);
  rawImageFile_ = nullptr;
}

std::size_t ICA_Base::getBytes(void* buffer, std::size_t count) {
  return readRawFileWithBuffer(buffer, count);
}

long ICA_Base::skipBytes(long count) {
  if (!rawImageFile_ || count <= 0) return 0;
  long here = std::ftell(rawImageFile_);
  if (here < 0 || std::fseek(rawImageFile_, 0, SEEK_END) != 0) return 0;
  long end = std::ftell(rawImageFile_);
  long skipped = std::clamp(end - here, 0L, count);
  std::fseek(rawImageFile_, here + skipped, SEEK_SET);
  return skipped;
}

void ICA_Base::rewind() { rewindRawFile(); }

void ICA_Base::releaseProvider() { std::fputs("Release Provider\n", stdout); }

// ---- the push-button path -----------------------------------------------------------------------

namespace {
// This process's marker: a data source that finds it waits for the answer to its "stop".
std::filesystem::path readerMarker() {
  return foundation::notificationFolder() /
         (std::string(vantrel::kButtonReaderMarker) + "." + std::to_string(::getpid()));
}
}  // namespace

void ICA_Base::startButtonNotifications() {
  stopButtonEventByNoneICA_ = false;
  auto started = buttonEventObserver_.start(
      vantrel::kButtonEventNotification, std::string(vantrel::kScannerModuleBundleId),
      [this](const foundation::Notification& n) { handleButonEventNoneICA(n); });
  if (!started) {
    systemLogf(LogLevel::error, "Button notification not available: %s\n", started.error().c_str());
    return;
  }
  std::ofstream marker(readerMarker());
  if (!marker) systemLogf(LogLevel::error, "Button reader marker not written\n");
}

void ICA_Base::handleButonEventNoneICA(const foundation::Notification& notification) {
  std::string what = lowered(notification.userInfo.string(vantrel::kButtonEventKey).valueOr(""));
  std::thread ended;
  {
    std::lock_guard lock(condition4ButtonMutex_);
    if (what == vantrel::kButtonEventStop) {
      stopButtonEventByNoneICA_ = true;
      buttonThreadStop_ = true;
      closeButtonInterface();
      ended = std::move(thread4Button_);
    } else if (what == vantrel::kButtonEventGo) {
      if (thread4Button_.joinable()) {
        // One reader owns the pipe: a second "go" finds it running.
        systemLogf(LogLevel::notice, "Button thread runs already\n");
      } else {
        stopButtonEventByNoneICA_ = false;
        buttonThreadStop_ = false;
        thread4Button_ = std::thread([this] { buttonEventThread(); });
      }
    }
    condition4Button_.notify_all();
  }
  if (ended.joinable()) ended.join();
  if (what == vantrel::kButtonEventStop) {
    // The reader has let the scanner go: the data source that asked may open it now.
    auto sent = foundation::postNotification(
        {vantrel::kButtonReleasedNotification, std::string(vantrel::kScannerModuleBundleId), {}});
    if (!sent) systemLogf(LogLevel::error, "Button release not told: %s\n", sent.error().c_str());
  }
}

std::chrono::milliseconds ICA_Base::nextButtonBackoff(std::chrono::milliseconds wait) {
  return std::clamp(wait * 2, kFirstBackoff, kLongestBackoff);
}

bool ICA_Base::buttonThreadRunning() const {
  std::lock_guard lock(condition4ButtonMutex_);
  return thread4Button_.joinable();
}

void ICA_Base::stopButtonEvents() {
  if (buttonEventObserver_.running()) {
    std::error_code ignored;
    std::filesystem::remove(readerMarker(), ignored);
  }
  buttonEventObserver_.stop();
  std::thread ended;
  {
    std::lock_guard lock(condition4ButtonMutex_);
    buttonThreadStop_ = true;
    closeButtonInterface();
    ended = std::move(thread4Button_);
    condition4Button_.notify_all();
  }
  if (ended.joinable()) ended.join();
}

void ICA_Base::pauseButtonReader() {
  std::unique_lock lock(condition4ButtonMutex_);
  ++buttonPauses_;
  closeButtonInterface();
  condition4Button_.wait(lock, [this] { return !buttonHoldsScanner_; });
}

void ICA_Base::resumeButtonReader() {
  std::lock_guard lock(condition4ButtonMutex_);
  if (buttonPauses_ > 0) --buttonPauses_;
  condition4Button_.notify_all();
}

void ICA_Base::closeButtonInterface() {
  std::lock_guard lock(interfaceMutex_);
  if (usbInterfaceIntf4Button_) usbInterfaceIntf4Button_->Close();
}

bool ICA_Base::waitUnlessStopped(std::chrono::milliseconds wait) {
  std::unique_lock lock(condition4ButtonMutex_);
  return condition4Button_.wait_for(lock, wait, [this] { return buttonThreadStop_.load(); });
}

bool ICA_Base::acquireButtonEventInterface() {
  using namespace usbhost;
  std::lock_guard lock(interfaceMutex_);
  // Checked under the interface's lock: a pause or stop that comes later closes what is made here.
  if (buttonThreadStop_ || buttonPauses_ > 0) return false;
  std::vector<std::unique_ptr<UsbDevice>> devices;
  Host().FindDevices(vid_, pid_, &devices);
  if (devices.empty()) return false;
  std::unique_ptr<UsbDevice> device = std::move(devices.front());
  uint8_t configuration = 0;
  if (device->GetConfigurationValue(0, &configuration) != kUsbSuccess) return false;
  if (device->OpenDevice() != kUsbSuccess) return false;
  // The device stays open while its interface is read: our host layer's interface lives in the
  // device's handle.
  std::unique_ptr<UsbInterface> intf;
  if (device->SetConfiguration(configuration) != kUsbSuccess ||
      device->CreateInterface(&intf) != kUsbSuccess || !intf) {
    device->CloseDevice();
    return false;
  }
  if (intf->Open() != kUsbSuccess) {
    device->CloseDevice();
    return false;
  }
  uint8_t endpoints = 0;
  int pipe = -1;
  intf->GetNumEndpoints(&endpoints);
  for (uint8_t p = 1; p <= endpoints; ++p) {
    PipeProperties props;
    if (intf->GetPipeProperties(p, &props) == kUsbSuccess &&
        props.transferType == TransferType::Interrupt)
      pipe = p;  // the last interrupt pipe
  }
  if (pipe < 0) {
    intf->Close();
    device->CloseDevice();
    return false;
  }
  interruptPipeRef4Button_ = pipe;
  buttonDevice_ = std::move(device);
  usbInterfaceIntf4Button_ = std::move(intf);
  return true;
}

void ICA_Base::releaseButtonEventInterface() {
  {
    std::lock_guard lock(interfaceMutex_);
    usbInterfaceIntf4Button_.reset();
    if (buttonDevice_) buttonDevice_->CloseDevice();
    buttonDevice_.reset();
  }
  std::lock_guard lock(condition4ButtonMutex_);
  buttonHoldsScanner_ = false;
  condition4Button_.notify_all();
}

void ICA_Base::handleButtonPacket(const uint8_t* packet) {
  duplexScanFromTessalineButton_ = false;
  uint8_t kind = packet[kButtonKindOffset];
  if (!scannerSessionOpened_) {
    if (kind == kButtonKindSimplex || kind == kButtonKindDuplex) {
      if (kind == kButtonKindDuplex) duplexScanFromTessalineButton_ = true;
      scanEvent(uint32_t(packet[kButtonNumberOffset]) - 1);
    }
    return;
  }
  systemLogf(LogLevel::notice, "self.scannerSessionOpened\n");
  if (kind == kButtonKindDuplex) duplexScanFromTessalineButton_ = true;
  setLastButtonPressed(kICAButtonScan);
}

void ICA_Base::setLastButtonPressed(uint32_t code) {
  Dictionary dict;
  ScannerObjectInfo* info = deviceObjectInfo();
  dict.set(kICANotificationICAObjectKey, uint32_t(info ? info->icaObject : 0));
  dict.set(kICANotificationTypeKey, kICANotificationTypeScannerButtonPressed);
  dict.set(kICANotificationScannerButtonTypeKey, code);
  lastButtonPressed_ = code;
  ICASendNotificationPB block{};
  block.notificationDictionary = &dict;
  ICDSendNotification(&block);
}

void ICA_Base::buttonEventThread() {
  auto backoff = kFirstBackoff;
  for (;;) {
    {
      std::unique_lock lock(condition4ButtonMutex_);
      condition4Button_.wait(lock, [this] { return buttonThreadStop_ || buttonPauses_ == 0; });
      if (buttonThreadStop_) break;
      buttonHoldsScanner_ = true;
    }
    if (!acquireButtonEventInterface()) {
      releaseButtonEventInterface();
      // No scanner to read: look again later, less often the longer it stays away.
      if (waitUnlessStopped(backoff)) break;
      backoff = nextButtonBackoff(backoff);
      continue;
    }
    backoff = kFirstBackoff;
    usbhost::UsbInterface* intf;
    {
      std::lock_guard lock(interfaceMutex_);
      intf = usbInterfaceIntf4Button_.get();
    }
    const uint8_t pipe = uint8_t(interruptPipeRef4Button_.load());
    systemLogf(LogLevel::notice, "Button interface is open\n");
    for (;;) {
      uint8_t packet[kButtonPacketSize] = {};
      uint32_t size = kButtonPacketSize;
      usbhost::UsbStatus rc = intf->ReadInterruptPipe(pipe, packet, &size);
      systemLogf(LogLevel::notice, "Interrupt pipe: %d\n", int(rc));
      if (rc != usbhost::kUsbSuccess) break;
      handleButtonPacket(packet);
    }
    {
      std::lock_guard lock(interfaceMutex_);
      intf->ClearPipeStall(pipe);
      intf->Close();
    }
    releaseButtonEventInterface();
    systemLogf(LogLevel::notice, "Button interrupt interface is closed\n");
    interruptPipeRef4Button_ = -1;
    if (buttonThreadStop_ || waitUnlessStopped(kFirstBackoff)) break;
  }
  systemLogf(LogLevel::notice, "Button thread exit\n");
}

}  // namespace icamodule
