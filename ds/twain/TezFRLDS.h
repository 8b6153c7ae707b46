#pragma once
// The one data-source object: made when the bundle loads, it answers every TWAIN triplet that
// DS_Entry receives. This header holds its construction, the entry's dispatch of the control and
// image groups, the state machine, the small handlers (event, status, identity, transfer group),
// the messages to the manager and the settings files (TezFRLDS_Settings.cpp).
//
// States are the TWAIN state times ten (35 loaded, 40 open, 50 enabled, 60 transfer ready, 70
// transferring). Every request arrives on the host's thread, one at a time.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ds/scan/records/DeviceType.h"
#include "ds/scan/records/NvmData.h"
#include "ds/scan/records/ScanSetting.h"
#include "ds/scan/records/ScannerAbilityEx.h"
#include "ds/scan/records/ScannerInfo.h"
#include "ds/scan/scanner/TezFRLScan.h"
#include "ds/twain/DSPorts.h"
#include "ds/twain/Languages.h"
#include "ds/twain/MessagePoster.h"
#include "ds/twain/ModelTable.h"
#include "ds/twain/ScanThread.h"
#include "ds/twain/TezFRLDialogBox.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/MainThreadQueue.h"
#include "platform/foundation/PropertyList.h"
#include "platform/twain/Twain.h"
#include "vantrel/device_records.h"

namespace ferrolite {

// One barcode of a page: its row of the supported-barcode table, its text and where it is.
struct BarcodeResult {
  uint8_t type = 0;
  std::string text;
  uint16_t x = 0, y = 0, width = 0, height = 0;
};

// The settings files in the bundle folder, and the log folder's copy.
inline constexpr const char* kSettingsFileName = "krscan.plist";
inline constexpr const char* kProfileFileName = "profile.plist";
inline constexpr const char* kDefaultEntry = "Default";
inline constexpr const char* kCustomProfileName = "Custom";
inline constexpr const char* kBarcodeFileName = "barcode.plist";  // the last page's barcodes
// The file transfer's file until the host names one.
inline constexpr const char* kSetupFileName = "TwainDS.tif";
inline constexpr const char* kAlertDateKey = "AlertDate";  // the model entry's last wear alert

// Sizes in 1/300 inch: the smallest scan size where the device states none.
inline constexpr uint16_t kMinimumScanSize = 150;

// Profile operations of profileOperation:add:.
inline constexpr int kProfileLoad = 0;
inline constexpr int kProfileSave = 1;
inline constexpr int kProfileDelete = 2;

// The progress side (TezFRLDialogBox.h) is a base of its own.
class TezFRLDS : public DSProgress {
 public:
  // Reads "Debug.conf" and the options of "krscan.plist" in `bundleFolder` (the folder of the
  // module, holding "Info.plist" and "Resources"), sets up the services object gKrCommon and
  // the identity. Starts no thread.
  explicit TezFRLDS(const std::filesystem::path& bundleFolder);
  ~TezFRLDS();
  TezFRLDS(const TezFRLDS&) = delete;
  TezFRLDS& operator=(const TezFRLDS&) = delete;

  // DS_Entry after the manager's own triplets: logs the triplet, dispatches by data group and
  // keeps the condition code (cleared by a success).
  TW_UINT16 dsEntry(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                    TW_MEMREF data);

  // ---- the group dispatchers and their handlers ----
  TW_UINT16 control(TW_IDENTITY* origin, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 image(TW_IDENTITY* origin, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

  TW_UINT16 controlEvent(TW_IDENTITY* origin, TW_UINT16 msg, TW_EVENT* event);
  TW_UINT16 controlIdentity(TW_IDENTITY* origin, TW_UINT16 msg, TW_IDENTITY* identity);
  TW_UINT16 controlStatus(TW_IDENTITY* origin, TW_UINT16 msg, TW_STATUS* status);
  TW_UINT16 controlXferGroup(TW_IDENTITY* origin, TW_UINT16 msg, TW_UINT32* xferGroup);
  // The handlers of the capability and transfer steps.
  TW_UINT16 controlCapability(TW_IDENTITY* origin, TW_UINT16 msg, TW_CAPABILITY* capability);
  TW_UINT16 controlPendingXfers(TW_IDENTITY* origin, TW_UINT16 msg, TW_PENDINGXFERS* pending);
  TW_UINT16 controlSetupMemXfer(TW_IDENTITY* origin, TW_UINT16 msg, TW_SETUPMEMXFER* setup);
  TW_UINT16 controlSetupFileXfer(TW_IDENTITY* origin, TW_UINT16 msg, TW_SETUPFILEXFER* setup);
  TW_UINT16 controlUserInterface(TW_IDENTITY* origin, TW_UINT16 msg, TW_USERINTERFACE* ui);
  TW_UINT16 controlKRCustomCommand(TW_IDENTITY* origin, TW_UINT16 msg, TW_KRCUSTOMCOMMAND* command);
  TW_UINT16 imageInfo(TW_IDENTITY* origin, TW_UINT16 msg, TW_IMAGEINFO* info);
  TW_UINT16 imageLayout(TW_IDENTITY* origin, TW_UINT16 msg, TW_IMAGELAYOUT* layout);
  TW_UINT16 imageMemXfer(TW_IDENTITY* origin, TW_UINT16 msg, TW_IMAGEMEMXFER* memXfer);
  TW_UINT16 imageNativeXfer(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 imageFileXfer(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 extImageInfo(TW_IDENTITY* origin, TW_UINT16 msg, TW_EXTIMAGEINFO* info);

  // ---- open and close (the scan layer's steps) ----
  TW_UINT16 openDS();
  TW_UINT16 closeDS();
  void freeClasses();

  // ---- finding, enabling and disabling (DeviceList.cpp, TezFRLDS_Open.cpp) ----
  // Sets vidpid and scannerName for the first supported scanner with an installed driver
  // library, else scannerList (when "DeviceList.plist" could be read).
  bool searchConnectedScanner();
  // Makes and binds the scan and image-process objects; false when the driver or the image
  // plug-in cannot be loaded (with a scanner).
  bool initialize();
  TW_UINT16 enableDS(const TW_USERINTERFACE& ui);
  TW_UINT16 disableDS();
  // The open's host detection from mAppIdentity.
  void detectHost();

  // ---- alerts (TezFRLDS_Alerts.cpp) ----
  // The alert for `text`, or without one for the pending error; 1000 OK, 1001 Cancel, 0 when
  // nothing was shown.
  int64_t showAlert(const std::optional<std::string>& text);
  void setConditionCode(int64_t code);
  // 0, or -1000 after the long-page alert.
  int32_t checkScanParams();
  void closeIndicatorWindow();
  // The last error text for the host, as UTF-8.
  std::string scannerErrorText() const;

  // ---- information (TezFRLDS_Info.cpp) ----
  const std::vector<LanguageEntry>& supportedLanguages(int* count);
  void setLanguage(int index);
  const foundation::LanguageBundle* getLanguage(int* languageId);
  // A text of the selected language, `defaultText` when it has none.
  std::string localized(std::string_view key, std::string_view defaultText) const;
  void getScannerInfo();
  void getNVMData(void* destination, std::size_t size);
  bool resetRollerCount(int which);
  void alertRollerPadExceed();
  // The data source's build date moved by (8 hours - the local offset), "yy.MMdd".
  std::string buildDateText() const;

  // ---- calibration, preview, results, events (TezFRLDS_Services.cpp) ----
  bool calibrateScanner();
  void previewScan();
  // The page's barcodes into "barcode.plist" (and an alert with the "BarcodeResult" option).
  void barcodeResult(const std::vector<BarcodeResult>& results);
  void patchcodeResult();
  void processEvent();
  void processAllEvent();

  // ---- messages to the application through the manager ----
  // MSG_XFERREADY, MSG_CLOSEDSREQ or MSG_CLOSEDSOK from the source (with the Id the manager
  // gave it) to the application that opened it, posted: it leaves once no call of the
  // application is inside the source (MessagePoster.h). TWRC_FAILURE when no manager can be
  // reached, else TWRC_SUCCESS; the manager's answer is logged when the message leaves.
  TW_UINT16 postToManager(TW_UINT16 message);
  TW_UINT16 closeDSRequest();
  // Marks the confirmation (the disable step then saves) and tells the application.
  TW_UINT16 closeDSOK();

  // ---- settings (TezFRLDS_Settings.cpp) ----
  // The defaults of every field.
  void initSetting();
  // Loads `profile` from "profile.plist", or from "krscan.plist" the "Default" entry
  // (loadDefault) or the model's; always from the defaults, with the load rules.
  void readSetting(const std::optional<std::string>& profile, bool loadDefault);
  // Stores the record: into the log folder's "krscan.plist" (toDebugLog), as a profile, or
  // under the model in "krscan.plist".
  void writeSetting(const std::optional<std::string>& profile, bool toDebugLog);
  void profileOperation(const std::string& profile, int operation);
  // Profile names sorted without regard to case; nothing when "profile.plist" cannot be read.
  std::optional<std::vector<std::string>> availableProfile() const;
  void offSaveSetting();
  void setCustomSetting();
  void printDebugLog(bool on);
  // While a dialog lives on a UI thread of its own the record is its: every read and write of
  // `scanSetting` goes through here and runs there (at once when already there or when there is
  // no such dialog). `where` names the access for the probe below.
  void accessSetting(const char* where, const std::function<void()>& access);
  // A copy of the record (for a job, for the close), taken where the record lives.
  ScanSetting settingCopy();

  // The device-type word of the open scanner (flatbed 0x80, feeder 0x20).
  uint32_t deviceType() const;

  // ---- capability negotiation, image layout, extended information (Capabilities.cpp,
  // ImageLayout.cpp, ExtImageInfo.cpp) ----
  TW_UINT16 controlCapabilityGet(TW_CAPABILITY* capability);
  TW_UINT16 controlCapabilityGetCurrent(TW_CAPABILITY* capability);
  TW_UINT16 controlCapabilityGetDefault(TW_CAPABILITY* capability);
  TW_UINT16 controlCapabilitySet(TW_CAPABILITY* capability);
  TW_UINT16 controlCapabilityReset(TW_CAPABILITY* capability);
  // The capability fields from the settings; the end of the open step.
  void initCaps();
  // wImageType from the current pixel type and whether duplex is on.
  void setXferImageType();
  // The scan area of the settings from mImageLayout.
  void imageLayOut();
  // The scan area of the settings from a frame in inches that frameFits took, by one rule for
  // ICAP_FRAMES and DAT_IMAGELAYOUT (past the feeder's length a long page), and what the host
  // reads back of it.
  void setScanFrame(double left, double top, double right, double bottom, bool logCentring = false);
  // The frame ICAP_FRAMES and DAT_IMAGELAYOUT answer.
  void rememberFrame(double left, double top, double right, double bottom);
  // The codes ICAP_SUPPORTEDSIZES offers on this scanner, in the order of its MSG_GET answer.
  std::vector<int16_t> supportedSizes() const;
  void extBarcodeInfo(TW_EXTIMAGEINFO* info);

  // ---- the batch: scan thread, image information, transfers (TezFRLDS_ScanThread.cpp,
  // TezFRLDS_Xfer.cpp) ----
  // Starts the batch in state 50: the job, state 60, MSG_XFERREADY, the scan thread. Success,
  // or failure with the condition code set and the state left at 50.
  TW_UINT16 xferReady();
  void beginScanThread();
  void scanGo();
  // Stops and joins the scan thread, then ends the job and frees the image buffers.
  void finishScanThread();
  TW_UINT16 getImageInfo();
  void pendingXferDone();
  void adobeXferDone();
  void freeXferBuffers();
  // Waits, turning the main queue, until the scan object has finished `pages` pages, or reports
  // an error while the scan thread is idle, or the thread has left; false when the thread has
  // been out of a page and nothing has come for the time limit.
  bool waitForPages(int pages);
  // The page of the image being prepared never came: the wait for it gave up.
  bool pageStalled = false;
  // The start that the three transfers share; false when the image is not to be delivered.
  bool beginTransfer(const char* name, bool firstStrip);
  TW_UINT16 cancelTransfer();
  // State 60 or 70 with no batch behind it (a host's sequence error), not one that was ended
  // by a cancel or a disable.
  bool batchGone() const;
  TW_UINT16 endTransfer(const char* name);

  // Batch state shared with the scan thread and the driver's callback.
  ScanThreadState batch;

  // Capability values the negotiation keeps (inches).
  float mPhysicalWidth = 0, mPhysicalHeight = 0, mMinWidth = 0.5f, mMinHeight = 1.0f;
  float mFramesLeft = 0, mFramesTop = 0, mFramesRight = 0, mFramesBottom = 0;
  bool pixelTypeJustSet = false;  // the next ICAP_BITDEPTH set leaves the pixel type alone
  // Set by the open step: the feeder's paper alignment.
  uint8_t adfAlignment = 0;
  // The scan layer's last error, for the custom operation.
  int64_t lastScannerError = 0;
  // What the image just transferred carried, for DAT_EXTIMAGEINFO: the barcodes the page steps
  // found and whether the page was a patch-code sheet. The transfer side fills it when it hands
  // the image over.
  struct PageBarcode {
    uint8_t typeIndex = 0;  // row of the supported-barcode table
    std::string text;
    uint16_t x = 0, y = 0;  // pixels
  };
  struct PageCodes {
    std::vector<PageBarcode> barcodes;
    bool patchCode = false;
  };
  PageCodes pageCodes;

  // ---- state ----
  std::atomic<TW_INT16> mCurrentState{TWAIN_STATE_LOADED};
  TW_IDENTITY mIdentity{};
  TW_IDENTITY mAppIdentity{};
  TW_SETUPFILEXFER mGlobalSetupFile{};        // FileName as the record carries it
  unsigned char mGlobalSetupFileName[256]{};  // the same name, length-prefixed
  TW_IMAGELAYOUT mImageLayout{};
  TW_IMAGEINFO mImageInfo{};
  TW_INT16 mTransferMode = 0;
  bool mInfoLoaded = false;
  uint32_t mRowsTransfered = 0;

  // Capability values.
  int32_t mXferCount = -1;
  int32_t mResMinValue = 0, mResMaxValue = 0, mResStepSize = 0, mResDefaultValue = 0,
          mResCurrentValue = 0;
  uint16_t mDeviceOnLine = 0, mFeederLoaded = 0, mFeederEnabled = 0, mDuplexEnabled = 0,
           mIndicators = 0, mAutomaticBorder = 0, mBarcode = 0, mPatchcode = 0, mMultiStream = 0,
           mDuplex = 0, mImageFileFormat = 0;
  int16_t mCurUnits = 0;
  int16_t mPixelTypes[3]{}, mPixelTypeCount = 0, mPixelTypeCurrent = 0, mPixelTypeDefault = 0;
  int16_t mBitDepth[3]{}, mBitDepthCount = 0, mBitDepthCurrent = 0, mBitDepthDefault = 0;
  int16_t mPaperSize[17]{}, mPaperSizeCount = 0, mPaperSizeCurrent = 0, mPaperSizeDefault = 0;
  int32_t mBrightnessCurrent = 0, mBrightnessDefault = 0, mBrightnessMax = 0, mBrightnessMin = 0,
          mBrightnessStep = 0;
  int32_t mContrastCurrent = 0, mContrastDefault = 0, mContrastMax = 0, mContrastMin = 0,
          mContrastStep = 0;

  // Scan state.
  ScanSetting scanSetting{};
  // The batch's own copy of the record, taken where the record lives (the dialog's UI thread
  // while a dialog is open): the scan thread and the transfers read it on other threads.
  ScanSetting jobSetting{};
  ScannerInfo scannerInfo{};
  DeviceAbility deviceAbility{};        // the prefixed driver interface's ability record
  ScannerAbilityEx scannerAbilityEx{};  // the older interface's
  bool newKrapi = false;                // the driver has the prefixed interface
  bool scannerFound = false;
  bool sdUsbScanner = false;  // a manual-feeder model: its energy saver is forced on load
  bool uiOnly = false, noneUI = true, isCloseDSOK = false;
  std::atomic<bool> imageInfoGo{false};
  bool isBarcode = false, isPatchCode = false;
  int32_t debugLevel = 0, privateDebug = 0;
  int32_t ScanRes = -1, UIAlwaysOn = 0;
  int32_t maxLifeRoller = -1, maxLifePad = -1;
  int32_t selLanguage = -1, sysLanguage = 0;
  uint32_t maxScanWidth = 0, maxScanLength = 0, maxLongLength = 0;
  uint16_t adfMinWidth = 0, adfMinLength = 0, flatbedMinWidth = 0, flatbedMinLength = 0;
  int64_t processingError = 0;
  uint32_t alertDate = 0;    // yyyymmdd of the last wear alert, 0 never
  bool debugAction = false;  // the debug level was changed while the object lives
  bool osYosemite = false;
  std::string customVersion, supportedLanguage;
  std::string scannerName, vendorName;
  std::filesystem::path currentPath, resourcePath;
  std::string bundleIdentifier;

  // ---- the open scanner and its session ----
  ModelTable models = modelTable();  // read once, at construction
  uint32_t vidpid = 0;               // vendor id << 16 | product id
  std::string scannerList;           // the supported scanners, when none was found
  std::string deviceName;
  std::unique_ptr<TezFRLScan> scanObject;
  std::unique_ptr<ImagePlugIns> imageProcess;
  std::unique_ptr<DialogController> mainDialog;
  std::unique_ptr<ProgressController> dialogBox;
  std::string dsManufacturer, dsProductName;
  bool pixelTypeContainerOneValue = false, showIndicator = false, appExactScan = false,
       appAcrobat = false, appTWAINSharp = false, photoshopFamily = false, showSecond = false,
       reverseRoller = false, showReplace = false, disableMainButton = false,
       previewScanning = false, initXferTimeout = false, enableChromalis = false, tk3Lite = false,
       mergeSides = true;
  int32_t timeOut = 0, xferPageNumber = 0;
  uint16_t keepImageType = 0;
  NvmData nvmData{};
  NewNvmData newNvmData{};
  char16_t scannerErrorMsg[128]{};  // zero-terminated UTF-16
  std::vector<LanguageEntry> availableLanguage;
  std::optional<foundation::LanguageBundle> langBundle;
  // The host's thread is the thread of the first DS_Entry call.
  foundation::MainThreadQueue mainQueue;
  bool mainQueueAdopted = false;
  std::atomic<bool> apCancelScan{false}, scanInterrupt{false};
  // Last, so that they are stopped and joined before anything they use goes.
  ScanThread scanThread;
  MessagePoster poster{[this](TW_UINT16 message) { return sendToManager(message); }};

 private:
  TW_UINT16 fail(TW_UINT16 conditionCode);
  // The message to the application now, from the poster's thread.
  TW_UINT16 sendToManager(TW_UINT16 message);
  void readDebugConf();
  void readOptions();
  void fixLimits();
  void getSystemInfo();
  void fillIdentity();
  void applyLoadRules();
  std::filesystem::path settingsFile() const;
  std::filesystem::path profileFile() const;
};

// Tests: called with the name of every access of the settings record, on the thread it runs on.
void setSettingAccessProbe(std::function<void(const char* where)> probe);

// The identity strings, length-prefixed as the identity's source keeps them (at most 32
// characters).
extern unsigned char gSTR_MANUFACTURER[34];
extern unsigned char gSTR_PRODUCT_FAMILY[34];
extern unsigned char gSTR_PRODUCT_NAME[34];

}  // namespace ferrolite
