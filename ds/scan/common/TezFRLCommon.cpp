#include "ds/scan/common/TezFRLCommon.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/foundation/Files.h"
#include "platform/foundation/SystemLog.h"
#include "platform/foundation/TextFile.h"
#include "vantrel/library_version.h"
#include "vantrel/log_folder.h"

namespace ferrolite {

std::atomic<int> gDebugLevel{0};
std::atomic<int> gPrivateDebug{0};
std::atomic<int> gDebugImage{0};
int gTezOlmex = 0;
std::unique_ptr<TezFRLCommon> gKrCommon;

namespace {

constexpr int kObjectLogLevel = 3;  // from this level on, lines also go to the system log
constexpr uint8_t kUtf16LeMark[] = {0xFF, 0xFE};
constexpr mode_t kLogFileMode = 0644;

// Debug images above this horizontal resolution need gDebugImage 2 or more.
constexpr int kDebugImageMaxDpi = 300;
constexpr int kDebugImageAllResolutions = 2;
constexpr int kDebugImageTries = 10;

// The sections of "DSDebug.plist" that the triplet and result lines read.
constexpr std::string_view kDataGroupNames = "DataGroup";
constexpr std::string_view kAttributeNames = "Attribute";
constexpr std::string_view kMessageNames = "Messages";
constexpr std::string_view kCapabilityNames = "Capabilities";
constexpr std::string_view kResultNames = "Result";
constexpr std::string_view kConditionNames = "Condition";

// TWAIN numbers the two request lines treat specially.
constexpr uint16_t kDatCapability = 0x0001;
constexpr uint16_t kMsgProcessEvent = 0x0601;
constexpr uint32_t kRcSuccess = 0, kRcDsEvent = 4, kRcNotDsEvent = 5;

constexpr std::string_view kNoPreviewName = "preview.tif";

std::string hexKey(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04x", value);
  return text;
}

// "%@ %d: %@ : %@", "%@ %d: %@ : %d", "%@" or "%@ %d: %@".
std::string lineText(std::string_view name, std::string_view status, int functionReturn,
                     const TezFRLCommon::LogData& data) {
  std::string line(status);
  line += ' ';
  line += std::to_string(functionReturn);
  line += ": ";
  line += name;
  if (data.isText()) {
    line += " : ";
    line += data.text();
  } else if (static_cast<int32_t>(data.number()) != -1) {
    line += " : ";
    line += std::to_string(static_cast<int32_t>(data.number()));
  } else if (status.empty()) {
    return std::string(name);
  }
  return line;
}

std::string timeStamp(const CivilTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", t.hour, t.minute, t.second,
                t.millisecond);
  return text;
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= size_t(n);
  }
  return true;
}

// Appends to the file, made empty first when missing; a new (or empty) file starts with the
// byte-order mark, so that the mark is there once, however many lines follow.
void appendUtf16(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kLogFileMode);
  if (fd < 0) return;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    if (info.st_size == 0) writeAll(fd, kUtf16LeMark, sizeof kUtf16LeMark);
    writeAll(fd, bytes.data(), bytes.size());
  }
  ::close(fd);
}

std::string lowerAscii(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The names of the loaded objects that begin with the prefix, in the loader's order. Only
// collected here: the loader's list is locked while it is walked.
struct LoadedObjects {
  std::string prefix;
  std::vector<std::string> names;
};

int collectLoadedObject(dl_phdr_info* info, size_t, void* context) {
  auto* objects = static_cast<LoadedObjects*>(context);
  const char* name = info->dlpi_name;
  if (name && *name && std::strncmp(name, objects->prefix.c_str(), objects->prefix.size()) == 0) {
    objects->names.emplace_back(name);
  }
  return 0;
}

// The version entry of the loaded object itself, not one that a library it needs exports.
std::optional<uint32_t> ownVersion(const std::string& name) {
  void* handle = ::dlopen(name.c_str(), RTLD_LAZY | RTLD_LOCAL | RTLD_NOLOAD);
  if (!handle) return std::nullopt;
  std::optional<uint32_t> version;
  link_map* object = nullptr;
  void* entry = ::dlsym(handle, VANTREL_LIBRARY_VERSION_ENTRY);
  if (entry && ::dlinfo(handle, RTLD_DI_LINKMAP, &object) == 0) {
    Dl_info where{};
    link_map* owner = nullptr;
    if (::dladdr1(entry, &where, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) != 0 &&
        owner == object) {
      version = reinterpret_cast<LibraryCurrentVersionFn>(entry)();
    }
  }
  ::dlclose(handle);
  return version;
}

}  // namespace

std::filesystem::path logRootFolder() {
  const char* root = std::getenv(VANTREL_LOG_ROOT_VARIABLE);
  return std::filesystem::path(root && *root ? root : VANTREL_LOG_ROOT_DEFAULT);
}

imageio::FileKind imageFileKindForPath(const std::filesystem::path& path) {
  std::string extension = lowerAscii(path.extension().string());
  if (!extension.empty()) extension.erase(0, 1);
  if (extension == "bmp") return imageio::FileKind::Bmp;
  if (extension == "gif") return imageio::FileKind::Gif;
  // Hosts name their JFIF files ".jpeg" as often as ".jpg".
  if (extension == "jpg" || extension == "jpeg") return imageio::FileKind::Jpeg;
  if (extension == "png") return imageio::FileKind::Png;
  if (extension == "jpk") return imageio::FileKind::Jpeg2000;
  return imageio::FileKind::Tiff;
}

TezFRLCommon::TezFRLCommon(std::shared_ptr<const Clock> clock,
                           std::shared_ptr<const LocaleDateOrder> dateOrder)
    : clock_(clock ? std::move(clock) : std::make_shared<SystemClock>()),
      dateOrder_(dateOrder ? std::move(dateOrder) : std::make_shared<IcuDateOrder>()) {
  gDebugLevel = 0;
}

void TezFRLCommon::setDebugLevel(int level) {
  debugLevel_ = level;
  gDebugLevel = level;
}

void TezFRLCommon::setPrivateDebug(int privateDebug) {
  privateDebug_ = privateDebug;
  gPrivateDebug = privateDebug;
}

void TezFRLCommon::setDS_ResourcePath(const std::filesystem::path& bundleFolder,
                                      const std::filesystem::path& resourceFolder) {
  resourcePath_ = resourceFolder;
  debugFile_ = logRootFolder() / kDebugConfName;
  const std::filesystem::path logFolder =
      privateDebug_ >= 1 ? bundleFolder : debugFile_.parent_path();
  logPath_ = logFolder / kTwainLogName;
  logDir_ = logPath_.parent_path();
  appPath_ = bundleFolder;
  {
    std::lock_guard lock(twainLog_.mutex);
    twainLog_.path = logPath_;
  }
  {
    std::lock_guard lock(callbackLog_.mutex);
    callbackLog_.path = logDir_ / kCallbackLogName;
  }

  // A log lives for one day of the month: one from another day starts afresh.
  std::error_code error;
  if (std::filesystem::exists(logPath_, error)) {
    const auto made = foundation::fileCreationDate(logPath_);
    if (made && localCivilTime(*made).day != clock_->now().day) {
      std::filesystem::remove(logPath_, error);
    }
  }

  twainDict_ = foundation::Dictionary();
  const std::filesystem::path names = resourcePath_ / kDebugNamesFile;
  auto read = foundation::readDictionaryFile(names);
  if (read) {
    twainDict_ = std::move(*read);
  } else {
    outputDebugLog(kDebugNamesFile, kLogBlank, 0, read.error());
  }
}

void TezFRLCommon::writeLine(LogFile& file, std::string_view name, std::string_view functionStatus,
                             int functionReturn, const LogData& data) {
  const int level = debugLevel();
  if (level == 0) return;
  const std::string line = lineText(name, functionStatus, functionReturn, data);
  if (level >= kObjectLogLevel) foundation::systemLog(foundation::LogLevel::notice, line);
  // The writer's busy flag is this lock: a writer that takes long is waited for, never written
  // across. The time is taken under it, so that the file's lines stay in time order.
  std::lock_guard lock(file.mutex);
  if (file.path.empty()) return;
  const std::string stamped = timeStamp(clock_->now()) + " ==> " + line + "\n";
  auto bytes = foundation::encodeText(foundation::toUtf16(stamped), "UTF-16LE");
  if (!bytes) return;
  appendUtf16(file.path, *bytes);
}

void TezFRLCommon::outputDebugLog(std::string_view name, std::string_view functionStatus,
                                  int functionReturn, const LogData& data) {
  writeLine(twainLog_, name, functionStatus, functionReturn, data);
}

void TezFRLCommon::outputCallbackLog(std::string_view name, std::string_view functionStatus,
                                     int functionReturn, const LogData& data) {
  writeLine(callbackLog_, name, functionStatus, functionReturn, data);
}

std::string TezFRLCommon::debugName(std::string_view section, const std::string& key) const {
  if (auto names = twainDict_.dictionary(section)) {
    if (auto name = names->string(key)) return *name;
  }
  return key;
}

void TezFRLCommon::outputTripletLog(uint32_t dataGroup, uint16_t dataArgumentType, uint16_t message,
                                    const void* data) {
  if (debugLevel() == 0 || message == kMsgProcessEvent) return;
  const std::string triplet = debugName(kDataGroupNames, std::to_string(dataGroup)) + "/" +
                              debugName(kAttributeNames, hexKey(dataArgumentType)) + "/" +
                              debugName(kMessageNames, hexKey(message));
  outputDebugLog("Triplet Operation", kLogBlank, 1, triplet);
  // A host that sends no capability record gets no capability line rather than a crash.
  if (dataArgumentType == kDatCapability && data) {
    uint16_t capability;
    std::memcpy(&capability, data, sizeof capability);
    outputDebugLog("Capability", kLogBlank, 1, debugName(kCapabilityNames, hexKey(capability)));
  }
}

void TezFRLCommon::outputResultLog(uint32_t returnCode, uint32_t conditionCode) {
  if (debugLevel() == 0) return;
  returnCode &= 0xFFFF;
  conditionCode &= 0xFFFF;
  if (returnCode == kRcSuccess || returnCode == kRcDsEvent || returnCode == kRcNotDsEvent) return;
  outputDebugLog("Result", kLogBlank, 1, debugName(kResultNames, std::to_string(returnCode)));
  if (conditionCode != 0) {
    outputDebugLog("Condition", kLogBlank, 1,
                   debugName(kConditionNames, std::to_string(conditionCode)));
  }
}

void TezFRLCommon::removeDebugImage() {
  if (debugLevel() == 0 || appPath_.empty()) return;
  std::error_code error;
  std::vector<std::filesystem::path> doomed;
  for (auto it = std::filesystem::directory_iterator(appPath_, error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    const std::filesystem::path& file = it->path();
    if (file.extension() == ".tif" &&
        file.filename().string().find(kNoPreviewName) == std::string::npos) {
      doomed.push_back(file);
    }
  }
  for (const auto& file : doomed) std::filesystem::remove(file, error);
}

bool TezFRLCommon::debugOutputAllowed() const {
  return debugLevel() > 0 && gDebugImage.load() != 0;
}

bool TezFRLCommon::saveDebugImage(const uint8_t* buffer, const XferImageInfo& imageData,
                                  std::string_view fileName, bool fromScan) {
  if (!debugOutputAllowed()) return false;
  if (imageData.wXRes > kDebugImageMaxDpi && gDebugImage.load() < kDebugImageAllResolutions) {
    return false;
  }
  outputDebugLog("saveDebugImage", fromScan ? kLogThreadIn : kLogIn, 1, fileName);
  const std::optional<imageio::RasterView> bitmap = createBitmapData(buffer, imageData);
  if (!bitmap) {
    outputDebugLog("Cannot save debug image because insufficient", kLogBlank, 0, kLogNoData);
    outputDebugLog("saveDebugImage", fromScan ? kLogThreadOut : kLogOut, 0, kLogNoData);
    return false;
  }
  const std::filesystem::path path = logDir_ / (std::string(fileName) + ".tif");
  bool written = false;
  for (int attempt = 0; attempt < kDebugImageTries && !written; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(retryPause_);
    written = imageio::writeImageFile(path, imageio::FileKind::Tiff, *bitmap).ok();
  }
  outputDebugLog("saveDebugImage", fromScan ? kLogThreadOut : kLogOut, written ? 1 : 0, kLogNoData);
  return written;
}

bool TezFRLCommon::saveRawData(std::string_view fileName, const uint8_t* buffer, size_t length) {
  if (!debugOutputAllowed()) return false;
  if (!buffer) {
    outputDebugLog("Raw buffer is NULL", kLogBlank, 0, fileName);
    return false;
  }
  return foundation::writeFileAtomically(logDir_ / std::string(fileName), {buffer, length}).ok();
}

std::optional<imageio::RasterView> TezFRLCommon::createBitmapData(const uint8_t* buffer,
                                                                  const XferImageInfo& imageData) {
  if (!buffer) return std::nullopt;
  imageio::RasterView view;
  view.pixels = buffer;
  view.layout.width = imageData.dwWidth;
  view.layout.height = imageData.dwLength;
  view.layout.bytesPerRow = imageData.dwBytesPerLine;
  switch (imageData.bMode) {
    case kXferModeGray:
      view.layout.bitsPerSample = 8;
      view.layout.samplesPerPixel = 1;
      break;
    case kXferModeColor:
      view.layout.bitsPerSample = 8;
      view.layout.samplesPerPixel = 3;
      break;
    default:
      view.layout.bitsPerSample = 1;
      view.layout.samplesPerPixel = 1;
      break;
  }
  if (!imageio::checkLayout(view.layout).ok()) return std::nullopt;
  setdpiX(view, imageData.wXRes);
  setdpiY(view, imageData.wYRes);
  return view;
}

bool TezFRLCommon::saveImageFile(const uint8_t* buffer, const XferImageInfo& imageData,
                                 const std::filesystem::path& filePath) {
  if (!buffer) {
    outputDebugLog("Image buffer is NULL", kLogBlank, 0, kLogNoData);
    return false;
  }
  outputDebugLog("saveImageFile", kLogIn, 1, filePath.string());
  const std::optional<imageio::RasterView> bitmap = createBitmapData(buffer, imageData);
  imageio::Status status =
      bitmap ? imageio::writeImageFile(filePath, imageFileKindForPath(filePath), *bitmap)
             : imageio::Status::failure("the image description does not fit a bitmap");
  if (!status.ok()) outputDebugLog("saveImageFile", kLogBlank, 0, status.message());
  outputDebugLog("saveImageFile", kLogOut, status.ok() ? 1 : 0, kLogNoData);
  return status.ok();
}

std::optional<std::vector<uint8_t>> TezFRLCommon::createPictureHandle(
    const uint8_t* buffer, const XferImageInfo& imageData) {
  const std::optional<imageio::RasterView> bitmap = createBitmapData(buffer, imageData);
  if (!bitmap) {
    outputDebugLog("createPictureHandle", kLogBlank, 0,
                   "the image description does not fit a bitmap");
    return std::nullopt;
  }
  std::vector<uint8_t> tiff;
  if (imageio::Status s = imageio::encodeImage(imageio::FileKind::Tiff, *bitmap, {}, tiff);
      !s.ok()) {
    outputDebugLog("createPictureHandle", kLogBlank, 0, s.message());
    return std::nullopt;
  }
  return tiff;
}

bool TezFRLCommon::jpg2raw(std::span<const uint8_t> jpegData, std::span<uint8_t> rawData,
                           bool preview, size_t* decodedBytes) {
  outputDebugLog("jpg2raw", preview ? kLogIn : kLogThreadIn, 1, kLogNoData);
  if (decodedBytes) *decodedBytes = 0;
  imageio::DecodedImage decoded;
  bool ok = false;
  // JPEG data only: bytes of another kind are not read as that kind.
  if (imageio::sniffFileKind(jpegData) != imageio::FileKind::Jpeg) {
    outputDebugLog("jpg2raw", kLogBlank, 0, "not JPEG data");
  } else if (imageio::Status s = imageio::decodeImage(jpegData, decoded); !s.ok()) {
    outputDebugLog("jpg2raw", kLogBlank, 0, s.message());
  } else {
    // Rows are handed on packed: any padding the decoder keeps at a row's end is dropped.
    const imageio::PixelLayout& layout = decoded.raster.layout;
    const size_t rowBytes = layout.packedRowBytes();
    const size_t needed = rowBytes * layout.height;
    if (decodedBytes) *decodedBytes = needed;
    if (needed > rawData.size()) {
      outputDebugLog(
          "Raw buffer is too small", kLogBlank, 0,
          std::to_string(needed) + " bytes needed, " + std::to_string(rawData.size()) + " given");
    } else {
      for (uint32_t y = 0; y < layout.height; ++y) {
        std::memcpy(rawData.data() + size_t(y) * rowBytes, decoded.raster.row(y), rowBytes);
      }
      ok = true;
    }
  }
  outputDebugLog("jpg2raw", preview ? kLogOut : kLogThreadOut, ok ? 1 : 0, kLogNoData);
  return ok;
}

bool TezFRLCommon::appendExif(const std::filesystem::path& path, std::string_view maker,
                              std::string_view model) {
  outputDebugLog("appendExif", kLogIn, 1, path.string());
  outputDebugLog("maker", kLogBlank, 1, maker);
  outputDebugLog("model", kLogBlank, 1, model);
  imageio::Status status = imageio::setMakeAndModel(path, maker, model);
  if (!status.ok()) outputDebugLog("appendExif", kLogBlank, 0, status.message());
  outputDebugLog("appendExif", kLogOut, status.ok() ? 1 : 0, kLogNoData);
  return status.ok();
}

float TezFRLCommon::FIX32Tofloat(uint32_t fix32) {
  const auto whole = static_cast<int16_t>(fix32 & 0xFFFF);
  const auto frac = static_cast<uint16_t>(fix32 >> 16);
  return float(whole) + float(frac) / 65536.0f;
}

uint32_t TezFRLCommon::dylibVersion(const std::filesystem::path& path) {
  void* library = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (!library) return 0;
  LoadedObjects objects{path.string(), {}};
  dl_iterate_phdr(collectLoadedObject, &objects);
  // The last match in the loader's list wins (a name may begin with another's path).
  uint32_t version = 0;
  for (const std::string& name : objects.names) {
    if (std::optional<uint32_t> own = ownVersion(name)) version = *own;
  }
  ::dlclose(library);
  return version;
}

std::string TezFRLCommon::imprinterString(std::string_view text, std::string_view counter,
                                          uint8_t dateCode, uint8_t timeCode,
                                          uint8_t format) const {
  return ferrolite::imprinterString(text, counter, dateCode, timeCode, format, clock_->now(),
                                    dateOrder_->dateOrder());
}

void TezFRLCommon::settingCopy(ScanSetting* destination, const ScanSetting& source) {
  if (!destination || destination == &source) return;
  SharedText printText = std::move(destination->strPrintText);
  SharedText printCounter = std::move(destination->strPrintCounter);
  *destination = source;
  destination->strPrintText = std::move(printText);
  destination->strPrintCounter = std::move(printCounter);
}

}  // namespace ferrolite
