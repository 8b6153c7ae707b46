#pragma once
// The data source's one services object, `gKrCommon`: its debug log and the TWAIN triplet and
// result lines, the driver callback's log, debug images and raw dumps, image files by extension,
// the TIFF of a native transfer, JPEG pages decoded into raw rows, EXIF Make and Model, TWAIN
// fixed-point numbers, the version of a loaded library, the imprinter line and the copy of a
// settings record.
//
// Every thread of the data source logs through it (the host's thread, the scan thread and the
// driver's callback thread): each log file is written under a lock of its own, one whole line
// at a time. The paths and the debug names are set once, by the data source's construction,
// before any other thread runs.
//
//   gKrCommon->outputDebugLog("openDS", kLogIn, 1, kLogNoData);   // "... ==> In  1: openDS"
//   gKrCommon->outputDebugLog("Scanner", kLogBlank, 1, name);     // "...     1: Scanner : <name>"
#include <atomic>
#include <chrono>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ds/scan/common/Clock.h"
#include "ds/scan/common/ImprinterString.h"
#include "ds/scan/records/ScanSetting.h"
#include "ds/scan/records/XferImageInfo.h"
#include "platform/foundation/PropertyList.h"
#include "platform/imageio/ImageIO.h"

namespace ferrolite {

// Status texts of the log lines: a method's entry and exit, on the host's thread or the scan
// thread, and a plain line.
inline constexpr std::string_view kLogIn = "In ";
inline constexpr std::string_view kLogOut = "Out";
inline constexpr std::string_view kLogBlank = "   ";
inline constexpr std::string_view kLogThreadIn = "[Thread]In ";
inline constexpr std::string_view kLogThreadOut = "[Thread]Out";
// A number whose low 32 bits are -1 prints no data part.
inline constexpr int64_t kLogNoData = -1;

// The file names in the log folder, and the debug names in the resource folder.
inline constexpr const char* kTwainLogName = "twainlog.txt";
inline constexpr const char* kCallbackLogName = "callbacklog.txt";
inline constexpr const char* kDebugConfName = "Debug.conf";
inline constexpr const char* kDebugNamesFile = "DSDebug.plist";

// The settings every part of the data source reads. `gDebugLevel` and `gPrivateDebug` mirror
// the services object; `gDebugImage` comes from the settings file ("DebugImage"): 0 no debug
// images or raw dumps, 1 up to 300 dpi, 2 and more at every resolution.
extern std::atomic<int> gDebugLevel;
extern std::atomic<int> gPrivateDebug;
extern std::atomic<int> gDebugImage;
// The brand flag (Tessaline or Olmex data source), set by the data source's construction and open.
extern int gTezOlmex;

class TezFRLCommon;
// Made by the data source's construction, released when the module unloads.
extern std::unique_ptr<TezFRLCommon> gKrCommon;

// The folder of "Debug.conf", the logs and the debug images: "/tmp/DrvLog/", or the folder
// that VANTREL_LOG_ROOT names.
std::filesystem::path logRootFolder();

// The file kind a path's extension asks for, without regard to case: "tif" and "tiff" TIFF,
// "bmp" BMP, "gif" GIF, "jpg" and "jpeg" JPEG, "png" PNG, "jpk" JPEG 2000, anything else TIFF.
imageio::FileKind imageFileKindForPath(const std::filesystem::path& path);

// The resolution of an image representation (a bitmap over rows, or one read from a file): a
// representation without one is 72 dpi, as an image whose size in points equals its pixels.
template <class Image>
float dpiX(const Image& image) {
  return image.resolution.x > 0 ? float(image.resolution.x) : 72.0f;
}
template <class Image>
float dpiY(const Image& image) {
  return image.resolution.y > 0 ? float(image.resolution.y) : 72.0f;
}
// A resolution of 0 or less leaves the representation without one.
template <class Image>
void setdpiX(Image& image, int dpi) {
  image.resolution.x = dpi > 0 ? dpi : 0;
}
template <class Image>
void setdpiY(Image& image, int dpi) {
  image.resolution.y = dpi > 0 ? dpi : 0;
}

class TezFRLCommon {
 public:
  // A log line's data: a number (printed "%d" of its low 32 bits, nothing for -1) or an
  // object's text. The text is only borrowed for the call.
  class LogData {
   public:
    template <std::integral Number>
    LogData(Number number) : number_(static_cast<int64_t>(number)) {}                 // NOLINT
    LogData(std::string_view text) : text_(text), isText_(true) {}                    // NOLINT
    LogData(const char* text) : LogData(std::string_view(text ? text : "(null)")) {}  // NOLINT
    LogData(const std::string& text) : LogData(std::string_view(text)) {}             // NOLINT

    bool isText() const { return isText_; }
    std::string_view text() const { return text_; }
    int64_t number() const { return number_; }

   private:
    int64_t number_ = 0;
    std::string_view text_;
    bool isText_ = false;
  };

  // Empty ports mean the machine's clock and the current locale's date order.
  explicit TezFRLCommon(std::shared_ptr<const Clock> clock = nullptr,
                        std::shared_ptr<const LocaleDateOrder> dateOrder = nullptr);
  TezFRLCommon(const TezFRLCommon&) = delete;
  TezFRLCommon& operator=(const TezFRLCommon&) = delete;

  // 0 turns logging off. Each also sets its global.
  void setDebugLevel(int level);
  void setPrivateDebug(int privateDebug);
  int debugLevel() const { return debugLevel_.load(std::memory_order_relaxed); }

  // The bundle folder and its resource folder. Chooses the log ("twainlog.txt" in the log
  // folder, or in the bundle folder with private debugging), deletes a log made on another day
  // of the month, and reads the debug names from "DSDebug.plist".
  void setDS_ResourcePath(const std::filesystem::path& bundleFolder,
                          const std::filesystem::path& resourceFolder);

  const std::filesystem::path& resourcePath() const { return resourcePath_; }
  const std::filesystem::path& appPath() const { return appPath_; }
  const std::filesystem::path& logPath() const { return logPath_; }
  const std::filesystem::path& logDir() const { return logDir_; }
  const std::filesystem::path& debugFile() const { return debugFile_; }
  const foundation::Dictionary& twainDict() const { return twainDict_; }

  // One line of the debug log:
  //   "<HH:mm:ss.SSS> ==> <status> <return>: <name> : <data>"
  // (without " : <data>" for a number -1, and the name alone when the status is empty too),
  // UTF-16LE with one byte-order mark at the file's start. Nothing at level 0; from level 3 on
  // the line also goes to the system log. A file that cannot be written drops the line.
  void outputDebugLog(std::string_view name, std::string_view functionStatus, int functionReturn,
                      const LogData& data);
  // The same line in "callbacklog.txt" (beside "twainlog.txt"), for the driver's callback.
  void outputCallbackLog(std::string_view name, std::string_view functionStatus, int functionReturn,
                         const LogData& data);

  // A TWAIN request: "Triplet Operation" with the names of the data group, the data argument
  // type and the message (not for MSG_PROCESSEVENT), and for DAT_CAPABILITY the capability's
  // name from the first 16-bit word of `data`.
  void outputTripletLog(uint32_t dataGroup, uint16_t dataArgumentType, uint16_t message,
                        const void* data);
  // A request's result other than success, DSEVENT and NOTDSEVENT, and a condition code other
  // than 0.
  void outputResultLog(uint32_t returnCode, uint32_t conditionCode);

  // Deletes the debug images ("*.tif" but not "*preview.tif") from the bundle folder.
  void removeDebugImage();
  // A page as "<name>.tif" in the log folder, when debug images are on (see gDebugImage).
  bool saveDebugImage(const uint8_t* buffer, const XferImageInfo& imageData,
                      std::string_view fileName, bool fromScan);
  // Bytes as "<name>" in the log folder, under the same conditions.
  bool saveRawData(std::string_view fileName, const uint8_t* buffer, size_t length);

  // A bitmap over the caller's rows, no copy: mode 1 grey, 2 RGB, any other one bit (a set bit
  // white); nothing when the description does not fit a bitmap.
  static std::optional<imageio::RasterView> createBitmapData(const uint8_t* buffer,
                                                             const XferImageInfo& imageData);
  // The file of the kind its extension asks for, written whole or not at all; the result is
  // logged and returned.
  bool saveImageFile(const uint8_t* buffer, const XferImageInfo& imageData,
                     const std::filesystem::path& filePath);
  // The TIFF bytes of the image, for the native transfer.
  std::optional<std::vector<uint8_t>> createPictureHandle(const uint8_t* buffer,
                                                          const XferImageInfo& imageData);
  // Decodes a JPEG page into raw rows (packed, top to bottom). The two spans may be the same
  // buffer: the whole stream is decoded before a byte is written. False when the data cannot be
  // decoded or the rows do not fit `rawData`; `decodedBytes` then still gets the size the rows
  // need (0 when undecodable). `preview` chooses the host thread's log statuses.
  bool jpg2raw(std::span<const uint8_t> jpegData, std::span<uint8_t> rawData, bool preview,
               size_t* decodedBytes = nullptr);
  // Make and Model into a TIFF, JPEG or PNG file (a JPEG's data is not encoded again).
  bool appendExif(const std::filesystem::path& path, std::string_view maker,
                  std::string_view model);

  // A TWAIN TW_FIX32 read as one 32-bit word: Whole (signed) in the low 16 bits, Frac in the
  // high 16.
  static float FIX32Tofloat(uint32_t fix32);
  // The version word that the library at `path` exports (VANTREL_LIBRARY_VERSION_ENTRY); 0
  // when it cannot be loaded or exports none.
  static uint32_t dylibVersion(const std::filesystem::path& path);

  // The imprinter line for now (the clock and the locale's date order of this object).
  std::string imprinterString(std::string_view text, std::string_view counter, uint8_t dateCode,
                              uint8_t timeCode, uint8_t format) const;

  // Copies every number and the profile and alarm texts; the destination keeps its imprinter
  // text and counter.
  static void settingCopy(ScanSetting* destination, const ScanSetting& source);

  // How long a debug image waits between its tries (tests shorten it).
  void setDebugImageRetryPause(std::chrono::milliseconds pause) { retryPause_ = pause; }

 private:
  struct LogFile {
    std::mutex mutex;
    std::filesystem::path path;
  };
  void writeLine(LogFile& file, std::string_view name, std::string_view functionStatus,
                 int functionReturn, const LogData& data);
  std::string debugName(std::string_view section, const std::string& key) const;
  bool debugOutputAllowed() const;

  std::shared_ptr<const Clock> clock_;
  std::shared_ptr<const LocaleDateOrder> dateOrder_;
  std::atomic<int> debugLevel_{0};
  std::atomic<int> privateDebug_{0};
  std::filesystem::path resourcePath_;
  std::filesystem::path appPath_;
  std::filesystem::path logPath_;
  std::filesystem::path logDir_;
  std::filesystem::path debugFile_;
  foundation::Dictionary twainDict_;
  LogFile twainLog_;
  LogFile callbackLog_;
  std::chrono::milliseconds retryPause_{200};
};

}  // namespace ferrolite
