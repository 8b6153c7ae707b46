#pragma once
// The framework-facing base of the device objects: the session flag, the functional units and
// their typed settings, the host's scan parameters, error notifications, output files and the raw
// image file, and the push-button reader.
//
// Threads: every method runs on the framework thread except the button path, whose thread
// (buttonEventThread) and notification handler (handleButonEventNoneICA, on the notification
// observer's thread) share only atomic flags and what condition4Button_ guards.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/foundation/Notifications.h"
#include "platform/foundation/PropertyList.h"
#include "platform/ica/ICADevices.h"
#include "platform/usb/UsbHost.h"

namespace icamodule {

using foundation::Dictionary;
using foundation::Value;

// The raw image file's header (112 bytes, 32-bit fields in host byte order).
inline constexpr std::size_t kRawHeaderSize = 112;
inline constexpr std::size_t kRawColorSyncModeOffset = 48;
inline constexpr std::size_t kRawColorSyncModeBytes = 64;
struct RawImageDescription {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bytesPerRow = 0;
  uint32_t samplesPerPixel = 1;
  uint32_t bitsPerSample = 8;
  ICAColorSpaceModel colorSpaceModel = ICAColorSpaceModel::monochrome;
  uint32_t orientation = 1;
  uint32_t resolution = 0;
  std::string colorSyncMode;
};
std::array<uint8_t, kRawHeaderSize> rawImageHeader(const RawImageDescription& image);

// The largest band of a band delivery, in bytes, when the host gives none.
inline constexpr uint32_t kDefaultMaxProgressBandSize = 0x80000;

// The button packet: byte 1 the kind (2 one-sided scan, 3 two-sided), byte 6 the button (from 1).
inline constexpr uint32_t kButtonPacketSize = 8;
inline constexpr int kButtonKindOffset = 1;
inline constexpr int kButtonNumberOffset = 6;
inline constexpr uint8_t kButtonKindSimplex = 2;
inline constexpr uint8_t kButtonKindDuplex = 3;

class ICA_Base {
 public:
  ICA_Base();
  virtual ~ICA_Base();
  ICA_Base(const ICA_Base&) = delete;
  ICA_Base& operator=(const ICA_Base&) = delete;

  // ---- life cycle (abstract on the base: an assertion line, and nothing / -9905) ----
  virtual bool initWithDriverName(const std::string& driverName, uint32_t usbLocationID);
  virtual std::string name() const;
  virtual std::size_t numberOfScannedImages() const;
  virtual ICAError startScanningWithParams(ICD_ScannerStartPB* params);
  // A FireWire device: only the empty list of scanned images (the GUID is kept so that closing
  // finds the device's entry).
  void initWithGUID(uint64_t guid, const std::string& ioRegPath);
  // A network device: keeps the parameters.
  void initWithParameters(const Dictionary& parameters);
  virtual void cleanUp();

  // ---- sessions, parameters, properties, the host's object list ----
  ICAError openSessionWithParams(ICD_ScannerOpenSessionPB* params);
  ICAError closeSessionWithParams(ICD_ScannerCloseSessionPB* params);
  ICAError getSelectedFunctionalUnitParams(ICD_ScannerGetParametersPB* params);
  ICAError setSelectedFunctionalUnitParams(ICD_ScannerSetParametersPB* params);
  void updateScanParamsUsingValuesInDictionary(const Dictionary& dict);
  void setValueForKey(std::string_view key, const Dictionary& dict);
  void setValuesForVendorFeaturesFromDictionary(const Dictionary& dict);
  std::optional<Value> getValueForKey(std::string_view key) const;
  std::optional<Value> getValueForVendorFeature(std::string_view feature) const;
  uint32_t bitDepth() const;
  uint32_t pixelType() const;
  long xResolution() const;
  long yResolution() const;
  uint32_t capUnit() const;
  uint32_t duplexEnabled() const;
  long threshold() const;
  ICAError addPropertiesToDictionary(Dictionary* dict);
  ICAError updateObjectInfo(ScannerObjectInfo* info, uint32_t index) const;
  ICAError readFileDataWithObjectInfo(const ScannerObjectInfo* info, char* buffer, uint32_t offset,
                                      uint32_t length) const;
  ICAError removeObject(const ScannerObjectInfo* info);

  // ---- error notifications ----
  void feederNoPaperMsg();
  void feederJamMsg();
  void scannerErrMsg();
  void scannerBusyErrMsg();
  void adfErrMsg();
  void missfeedMsg();
  void fileCorruptedMsg(const std::string& path);

  // ---- output files and the raw image file ----
  bool isDocumentUTI_ICA_RAW() const;
  // Chooses documentFilePath and, for a document that is not raw, a new temporary raw file. A
  // temporary file that cannot be made fails the page: the scanner error message, _icaError
  // -9913 and false.
  bool setOutputFilePath();
  bool openRawFileForWriting();
  void writeRawFileWithBuffer(const void* bytes, std::size_t size);
  bool openRawFileForReading();
  std::size_t readRawFileWithBuffer(void* buffer, std::size_t size);
  void rewindRawFile();
  void closeRawFile();
  // The sequential data provider's callbacks.
  std::size_t getBytes(void* buffer, std::size_t count);
  // Moves on by up to `count` bytes: the bytes actually skipped.
  long skipBytes(long count);
  void rewind();
  void releaseProvider();

  // ---- the push-button path ----
  void handleButonEventNoneICA(const foundation::Notification& notification);
  void setLastButtonPressed(uint32_t code);
  uint32_t lastButtonPressed() const { return lastButtonPressed_.load(); }
  virtual void startButtonEvent() {}
  virtual void scanEvent(uint32_t /*button*/) {}
  bool buttonThreadRunning() const;
  // The reader's wait before it looks for the scanner again: from 1 ms, doubled after each miss,
  // at most a second.
  static std::chrono::milliseconds nextButtonBackoff(std::chrono::milliseconds wait);
  bool duplexScanFromTessalineButton() const { return duplexScanFromTessalineButton_.load(); }
  int interruptPipeRef4Button() const { return interruptPipeRef4Button_.load(); }

  // ---- properties ----
  void setDeviceObjectInfo(ScannerObjectInfo* info) { deviceObjectInfo_.store(info); }
  ScannerObjectInfo* deviceObjectInfo() const { return deviceObjectInfo_.load(); }
  uint32_t usbLocationID() const { return usbLocationID_; }
  uint64_t fireWireGUID() const { return fireWireGUID_; }
  const std::optional<Dictionary>& networkParams() const { return networkParams_; }
  bool scannerSessionOpened() const { return scannerSessionOpened_.load(); }
  const std::string& scanMethod() const { return scanMethod_; }
  void setScanMethod(std::string method) { scanMethod_ = std::move(method); }
  Dictionary& functionalUnitSettings() { return functionalUnitSettings_; }
  const std::string& documentUTI() const { return documentUTI_; }
  const std::string& documentName() const { return documentName_; }
  const std::string& documentFolderPath() const { return documentFolderPath_; }
  const std::string& documentExtension() const { return documentExtension_; }
  const std::string& documentFilePath() const { return documentFilePath_; }
  const std::string& colorSyncMode() const { return colorSyncMode_; }
  const std::string& rawImageFileCachePath() const { return rawImageFileCachePath_; }
  const std::optional<Dictionary>& scannedImageMetadata() const { return scannedImageMetadata_; }
  bool progressNotificationWithOverviewData() const {
    return progressNotificationWithOverviewData_;
  }
  bool progressNotificationWithScanData() const { return progressNotificationWithScanData_; }
  bool progressNotificationNoData() const { return progressNotificationNoData_; }
  int64_t progressNotificationWithScanDataMaxBandSize() const {
    return progressNotificationWithScanDataMaxBandSize_;
  }
  uint32_t maxProgressBandSize() const { return maxProgressBandSize_; }
  int64_t evenPageOrientation() const { return evenPageOrientation_; }
  int64_t oddPageOrientation() const { return oddPageOrientation_; }
  int64_t widthFromICA() const { return widthFromICA_; }
  int64_t heightFromICA() const { return heightFromICA_; }
  int64_t offsetXFromICA() const { return offsetXFromICA_; }
  int64_t offsetYFromICA() const { return offsetYFromICA_; }
  ICAError icaError() const { return icaError_; }
  uint16_t vid() const { return vid_; }
  uint16_t pid() const { return pid_; }

 protected:
  // Stops the button reader and its notification observer (the interface is closed first, which
  // ends a pending read) and joins the thread.
  void stopButtonEvents();
  // Registers for the button notification; the reader starts with the first "go".
  void startButtonNotifications();
  // While the module uses the scanner through the driver, the reader gives the interface up.
  void pauseButtonReader();
  void resumeButtonReader();
  // Sends a device-status error notification with the subtype text.
  void sendErrorNotification(const std::string& subtype);
  // The unit dictionary of the current functional unit (under scanMethod).
  const Dictionary* currentUnit() const;

  // Fields (the names follow the object's properties).
  std::optional<Dictionary> networkParams_;
  std::atomic<uint32_t> lastButtonPressed_{0};
  std::atomic<ScannerObjectInfo*> deviceObjectInfo_{nullptr};
  std::string rawImageFileCachePath_;
  std::FILE* rawImageFile_ = nullptr;
  std::optional<Dictionary> scannedImageMetadata_;
  std::string colorSyncMode_;
  std::string propertyListPath_;
  std::string deviceInfoPath_;
  struct ScannedImage {
    ScannerObjectInfo info;
    std::string path;
  };
  std::vector<ScannedImage> scannedImages_;
  std::atomic<ICAError> icaError_{kICANoErr};  // the producer and the consumer both set it
  std::atomic<bool> cancelFromGUI_{false};
  void* hdrvLib_ = nullptr;
  uint16_t vid_ = 0;
  uint16_t pid_ = 0;
  int64_t widthFromICA_ = 0, heightFromICA_ = 0, offsetXFromICA_ = 0, offsetYFromICA_ = 0;
  int64_t sourceImageWidth_ = 0, sourceImageLength_ = 0, destImageWidth_ = 0, destImageLength_ = 0;
  std::atomic<bool> scannerSessionOpened_{false};
  bool progressNotificationWithOverviewData_ = false;
  bool progressNotificationWithScanData_ = false;
  bool progressNotificationNoData_ = false;
  uint32_t usbLocationID_ = 0;
  uint64_t fireWireGUID_ = 0;
  uint32_t maxProgressBandSize_ = 0;
  std::optional<Dictionary> paperInfoDict_;
  bool activity_ = false;  // the process keeps from napping while the object lives
  std::string driverName_;
  int64_t evenPageOrientation_ = 0, oddPageOrientation_ = 0;
  Dictionary functionalUnitSettings_;
  std::string documentUTI_, documentFilePath_, documentFolderPath_, documentExtension_,
      documentName_, scanMethod_;
  int64_t progressNotificationWithScanDataMaxBandSize_ = 0;

  // The button reader's state.
  std::thread thread4Button_;
  std::atomic<bool> buttonThreadStop_{true};
  std::atomic<bool> stopButtonEventByNoneICA_{false};
  std::atomic<int> interruptPipeRef4Button_{-1};
  std::atomic<bool> duplexScanFromTessalineButton_{false};
  mutable std::mutex condition4ButtonMutex_;  // guards the session flag's changes, the switch
  std::condition_variable condition4Button_;
  std::atomic<int> buttonPauses_{0};  // changed under condition4ButtonMutex_
  bool buttonHoldsScanner_ = false;   // guarded by condition4ButtonMutex_
  std::mutex interfaceMutex_;         // guards the two objects below
  std::unique_ptr<usbhost::UsbDevice> buttonDevice_;
  std::unique_ptr<usbhost::UsbInterface> usbInterfaceIntf4Button_;
  foundation::NotificationObserver buttonEventObserver_;

 private:
  void buttonEventThread();
  bool acquireButtonEventInterface();
  void releaseButtonEventInterface();
  void closeButtonInterface();  // ends a pending read; with interfaceMutex_ not held
  void handleButtonPacket(const uint8_t* packet);
  // Waits up to `wait` unless the reader is told to stop; true when it is.
  bool waitUnlessStopped(std::chrono::milliseconds wait);
};

}  // namespace icamodule
