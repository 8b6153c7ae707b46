#pragma once
// The data source's one object that talks to the scanner driver `Vantrel`: it loads the library
// by name, opens the scanner and reads what it can do, turns the scan settings into the
// driver's scan parameters, runs the page loop on the driver's data callback, and offers the
// scanner's small services (NVRAM, feeder sensor, power times, general operations, errors).
//
// Threads: the host's thread binds, starts and ends jobs and calls the services; the scan
// thread runs doScan (and getADFStatus between pages); the driver's reader thread runs the
// callback (ScanCallback.h). Only the driver's current generation (the KR-prefixed exports) is
// supported: a library without KRInitializeDriver is refused.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "ds/scan/records/NvmData.h"
#include "ds/scan/records/ScanSetting.h"
#include "ds/scan/records/ScannerAbilityEx.h"
#include "ds/scan/records/XferImageInfo.h"
#include "ds/scan/scanner/ScanPageSteps.h"
#include "platform/foundation/PropertyList.h"
#include "vantrel/kr_api.h"
#include "vantrel/nidata.h"

namespace ferrolite {

// Passed first to every driver call of the data source.
inline constexpr uint32_t kControllerId = 20231914;  // 0x0134B6EA

// The long-page limit (1/300 inch) for resolutions above 300 dpi, and the length that means
// "no limit" in the ability record.
inline constexpr uint32_t kDefaultMaxLongLengthHighRes = 11400;
inline constexpr uint32_t kUnlimitedLength = 65535;

// Slots of the long-page table (`LongPageLimited`): four groups of six resolutions.
inline constexpr int kLongPageSlots = 64;
inline constexpr int kLongPageUsedSlots = 24;

// The data source's own status values in `scannerError`.
inline constexpr int64_t kErrorNoMemory = -1;
inline constexpr int64_t kErrorNoPaper = -2;
inline constexpr int64_t kErrorBlankLastPage = -3;

// The scan source of a job.
inline constexpr int kScanSourceFlatbed = 0;
inline constexpr int kScanSourceFeederFront = 1;
inline constexpr int kScanSourceFeederDuplex = 2;
inline constexpr int kScanSourceFeederRear = 3;

// The state the binding fills and the rest of the data source reads.
extern uint32_t gDeviceID;
extern bool gNewKrapi;
extern DeviceAbility deviceAbility;  // rescaled to 300 dpi
extern ScannerAbilityEx scannerAbilityEx;
extern uint32_t gMaxLongLengthHighRes;
// Options of the settings file: always scan in colour, never ask for JPEG, limit automatic
// feeder sizes to the long-page length, crop duplex pages as one.
extern int gColorScan;
extern int gDisableJpeg;
extern int gLongPageCrop;
extern int gSingleCropDuplex;
// Hardware crop applies, hardware blank detection applies, the hardware record was accepted.
extern bool HWAutoCrop;
extern bool HWBlankPageDetect;
extern bool HWProcessing;
// Page-step state shared with the transfer side.
extern int gMergeAll;
extern int gTezOlmex;  // defined with the common services
extern std::atomic<bool> gCarrierSheet;
extern std::atomic<bool> gPatchcodeImage;
extern std::atomic<bool> gPatchBarcodeReading;
extern BarcodeInfo gBarcodeInfo;  // written by the scan thread while gPatchBarcodeReading is off

// The ability's sizes in 1/300 inch: each size field scaled from BaseRes to 300 dpi, BaseRes then
// 300. A BaseRes of 0 leaves the record alone; the "no limit" length stays unlimited.
void rescaleAbilityTo300(DeviceAbility& ability);

// The driver's entries as the binding looks them up by name; null when the library lacks one.
struct KrEntries {
#define VT_KR_ENTRY(name) decltype(&::name) name = nullptr;
  VT_KR_ENTRY(KRInitializeDriver)
  VT_KR_ENTRY(KRTerminateDriver)
  VT_KR_ENTRY(KRInitializeDevice)
  VT_KR_ENTRY(KRTerminateDevice)
  VT_KR_ENTRY(KRGetDeviceList)
  VT_KR_ENTRY(KRGetDeviceAbility)
  VT_KR_ENTRY(KRSensorStatus)
  VT_KR_ENTRY(KRSetParameter)
  VT_KR_ENTRY(KRSetGamma)
  VT_KR_ENTRY(KRStartJob)
  VT_KR_ENTRY(KRStopJob)
  VT_KR_ENTRY(KRStartScan)
  VT_KR_ENTRY(KRStopScan)
  VT_KR_ENTRY(KRSetHWProcess)
  VT_KR_ENTRY(KRDeviceStatus)
  VT_KR_ENTRY(KRReadNVMData)
  VT_KR_ENTRY(KRWriteNVMData)
  VT_KR_ENTRY(KRGeneralOperation)
  VT_KR_ENTRY(KRReleasePaper)
  VT_KR_ENTRY(KRRequestImageInfo)
  VT_KR_ENTRY(KRMemFree)
#undef VT_KR_ENTRY
};

class TezFRLScan {
 public:
  TezFRLScan();
  ~TezFRLScan();  // dealloc: ends the device and the driver and unloads the library
  TezFRLScan(const TezFRLScan&) = delete;
  TezFRLScan& operator=(const TezFRLScan&) = delete;

  // ---- binding ----
  // `libraryName` ("Vantrel.so") is looked for in the resource folder, then in the Image
  // Capture module's resource folder. usbID: vendor id in the low 16 bits, product id in the
  // high 16 bits.
  bool initalizeScanner(const std::string& libraryName,
                        const std::filesystem::path& libResourcePath, uint32_t usbID);
  void multiLongPageLength();
  void testScannerInfo();

  const uint32_t* LongPageLimited() const { return longPageLimited_; }
  uint32_t maxLongLength() const { return maxLongLength_; }
  uint16_t MaxLongPageRes() const { return maxLongPageRes_; }
  uint8_t adfAlignment() const { return adfAlignment_; }
  int64_t scannerError() const { return scannerError_.load(); }
  void setScannerError(int64_t error) { scannerError_ = error; }
  const std::string& usbID() const { return usbID_; }
  const std::filesystem::path& libraryPath() const { return libraryPath_; }
  // The bound entries; a test may wrap one to see what the driver receives.
  KrEntries& driverEntries() { return kr_; }

  // ---- job and parameters ----
  bool startScanJob(const ScanSetting& setting);
  bool endScanJob();
  bool doPreviewScan(const ScanSetting& setting, const std::filesystem::path& previewImage);
  bool setNewParameter(int mode);
  void customScanRes(int res) { scanRes_ = res; }
  void singleOnePage(bool pageScan) { pageScan_ = pageScan; }
  // The image-process object and the progress window (both through the page-step seam).
  void getOtherClass(ScanPageSteps* steps) { steps_ = steps ? steps : &noSteps_; }
  void setIndicatorInfo(uint32_t startTick, const std::string& warmup, const std::string& elapsed);
  const SCANPARAMETER_UNION& deviceScanParam() const { return deviceScanParam_; }
  const ScanSetting& uiParam() const { return uiParam_; }
  bool mergeSides() const { return mergeSides_; }

  // ---- pages ----
  bool doScan();
  bool readScanImage(bool preview);
  bool multifeedOperation();
  void initSIData();
  void freeMemory();
  const NIDATA& siData() const { return siData_; }

  // ---- services ----
  bool readNewNVMData(NewNvmData* out);
  bool writeNewNVMData(uint32_t tag, uint32_t type, void* value);
  bool readNVMData(NvmData* out);
  bool setNVRAMValue(void* buffer, uint32_t size, uint16_t tag);
  const NvmData& nvmData() const { return nvmData_; }
  const NewNvmData& newNvmData() const { return newNvmData_; }
  bool nvramV100() const { return nvramV100_; }
  bool getADFStatus(uint8_t* paper, bool fromScanThread);
  bool sendPowerTime(uint8_t which, uint16_t minutes);
  bool doCalibration(uint8_t op, uint16_t* job);
  bool generalOperation(uint8_t op, uint16_t tag, uint32_t dataType, uint16_t count, void* buffer);
  bool getScannerError(uint32_t* code);

  // ---- accessors ----
  bool lastPage() const { return lastPage_.load(); }
  bool xferGo() const { return xferGoEvent_.load(); }
  int scanPageDone() const { return scanPageDone_.load(); }
  XferImageInfo scanImageInfo() const { return scanImageInfo_; }
  uint8_t* scanBuffer() const { return pScanBuffer_; }
  uint32_t scanBufferSize() const { return allocScanSize_; }
  bool frontPage() const { return frontPage_; }
  int scanSource() const { return scanSource_; }
  uint16_t imageTypeChanged() const { return imageTypeChanged_; }
  bool enableBatchScan() const { return enableBatchScan_; }
  // The multi-fed sheets, ", "-joined; `count` gets their number.
  std::string multifeedInfo(int* count) const;
  int scanPage() const { return scanPage_; }

 private:
  bool initalizeNewKrapiScanner();
  void releaseLibrary();
  void logAbility();
  void repairFirstScanDate();
  void setGamma();
  bool setHardwareProcess();
  void mapImageTypes(SCANPARAMETER_UNION& p, uint16_t* imageType);
  bool scanInColour(uint16_t t) const;
  void logScanParameter();
  bool finishPage(uint64_t pageBytes);
  bool takeJpegSegment(int segment, bool preview);
  bool decodeJpegPage();
  bool growScanBuffer(uint64_t bytes);
  void pageSteps(bool* good, bool* restart);
  void waitForBarcodeHandOver();
  uint32_t maxWidth() const;
  uint32_t maxLength() const;

  // binding
  void* hdrvLib_ = nullptr;
  KrEntries kr_;
  DeviceAbility* pDeviceAbility_ = nullptr;
  std::string usbID_;
  std::filesystem::path libraryPath_;
  foundation::Dictionary operationDict_;
  foundation::Dictionary funDict_;
  uint8_t adfAlignment_ = 0;
  uint32_t maxLongLength_ = 0;
  uint32_t longPageLimited_[kLongPageSlots] = {};
  uint16_t maxLongPageRes_ = 300;
  std::atomic<int64_t> scannerError_{0};
  NvmData nvmData_{};
  NewNvmData newNvmData_{};
  bool nvramV100_ = false;

  // job
  ScanSetting uiParam_{};
  SCANPARAMETER_UNION deviceScanParam_{};
  XferImageInfo scanImageInfo_{};
  XferImageInfo firstImageInfo_{};
  uint16_t overscan_[5] = {};  // wHead, wTail, wLeft, wRight, wHead1st
  int scanSource_ = kScanSourceFlatbed;
  int scanRes_ = -1;
  bool pageScan_ = false;
  bool mergeSides_ = false;
  uint16_t imageTypeChanged_ = 1;
  int scanPage_ = 1;
  std::atomic<int> scanPageDone_{0};
  std::atomic<bool> lastPage_{false};
  bool lauchScan_ = false;
  bool previewScan_ = false;
  bool enableBatchScan_ = true;
  std::string multifeedPages_;
  int multifeedCount_ = 0;
  uint32_t startTick_ = 0;
  std::string warmupText_;
  std::string elapsedText_;

  // pages
  uint8_t* pScanBuffer_ = nullptr;
  uint8_t* pReadBuffer_ = nullptr;
  uint8_t* pBackBuffer_ = nullptr;
  uint32_t allocScanSize_ = 0;
  uint32_t backBufferSize_ = 0;
  bool useBackBuffer_ = false;
  bool frontPage_ = true;
  bool multifeedPaper_ = false;
  std::atomic<bool> xferGoEvent_{false};
  NIDATA siData_{};
  ScanPageSteps noSteps_;
  ScanPageSteps* steps_ = &noSteps_;
};

}  // namespace ferrolite
