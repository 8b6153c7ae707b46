#pragma once
// The data source's image-process object: the software pipeline that turns each scanned page
// into the image the host receives (conversions, tone, resolution, geometry, imprint), the page
// steps the scan thread runs on a whole page (blank page, crop and deskew, orientation, merge,
// punch holes, patch code, barcodes), and the outside plug-ins it binds (Lumetra for the page
// steps, Chromalis for colour matching, KRCocoa for the imprint and the button hand-over,
// Stripecode for barcodes).
//
// Threads: the page steps run on the scan thread, the pipeline, multi-crop and split on the
// host's thread, and in a batch the scan thread works on the next page while the host's thread
// processes the current one. So every step fills a plug-in record of its own; the pipeline's
// record (siData_) belongs to the host's thread, and only the crop's remembered record (behind
// a lock) and the page and remnant counters (atomic) are shared.
//
// Rasters: rows `dwBytesPerLine` apart; 1 bit a pixel (most significant bit first, a set bit
// white), 8-bit grey, or 24-bit R, G, B. The working image lives in one malloc'd buffer that the
// caller owns; steps may replace it by a larger one and report the new pointer and size back.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "ds/scan/records/ColorDropParam.h"
#include "ds/scan/records/ScanSetting.h"
#include "ds/scan/records/XferImageInfo.h"
#include "ds/scan/scanner/ScanPageSteps.h"
#include "plugins/Chromalis/Chromalis.h"
#include "plugins/KRCocoa/KRCocoa.h"
#include "plugins/Lumetra/Lumetra.h"
#include "plugins/Stripecode/Stripecode.h"
#include "vantrel/nidata.h"

namespace ferrolite {

// Set when the pipeline's colour drop-out went through the second advanced drop-out entry.
extern bool gAdvDrop2Processing;
// Automatic colour drop-out is on (no drop gamma tables then).
extern int gAdvColorDropOn;

// The halftone matrices: 16 of 8 x 8 thresholds, matrix by matrix, row by row.
inline constexpr int kHalftoneMatrices = 16;
const uint8_t* halftoneTable();

// The barcode type bit of the plug-in to its index in the type table; 0xFF for no known bit.
uint8_t barcodeTypeIndex(uint32_t typeBit);

// The entries of "Lumetra.so" the data source binds.
struct LumetraEntries {
  LumetraTerminateLibFn TerminateLib = nullptr;
  LumetraIdentifyProductSettingFn IdentifyProductSetting = nullptr;
  LumetraFreeMemoryFn FreeMemory = nullptr;
  LumetraProcessFn GrayQuality = nullptr, DeskewCrop = nullptr, AdvColorDrop = nullptr,
                   EdgeCleanup = nullptr, AutoColorDetection = nullptr,
                   BlankPageDetection = nullptr, AutoOrientation = nullptr,
                   PunchHoleRemoval = nullptr, DoDespeckle = nullptr, Merge2Side = nullptr,
                   DeskewCropCont = nullptr, GetDeskewCropContImage = nullptr, lThreshold = nullptr,
                   PatchCode = nullptr, BackgroundProcess = nullptr, AdvColorDrop2 = nullptr,
                   GetMultipleImage = nullptr;
  LumetraSetDebugModeFn SetDebugMode = nullptr;
  LumetraJpegCropFn JpegCrop = nullptr;
};

// One instance of "Chromalis.so".
struct ChromalisInstance {
  ChromalisSetProfileFn setProfile = nullptr;
  ChromalisSetIntentFn setIntent = nullptr;
  ChromalisAdjustFn adjust = nullptr;
  ChromalisConvertFn convert = nullptr;
};

// The 160-byte record of addWaterMark for an image and the settings.
std::vector<uint8_t> watermarkRecord(const ScanSetting& s, const XferImageInfo& info,
                                     size_t textLength);
// The imprinter's counter text for image `number` (from 1): the typed counter for image 1, else
// its value plus number - 1 with as many digits as were typed.
std::string imprinterCounter(const std::string& typed, int number);

class TezFRLImageProcess : public ScanPageSteps {
 public:
  TezFRLImageProcess();
  ~TezFRLImageProcess() override;
  TezFRLImageProcess(const TezFRLImageProcess&) = delete;
  TezFRLImageProcess& operator=(const TezFRLImageProcess&) = delete;

  // ---- the working image (the geometry and conversions work on it in place) ----
  void setWorkingImage(const XferImageInfo& info, uint8_t* buffer, uint32_t allocSize);
  const XferImageInfo& workingInfo() const { return xferImageInfo_; }
  uint8_t* workingBuffer() const { return pXferBuffer_; }
  uint32_t workingSize() const { return allocSize_; }
  void setUiSetting(const ScanSetting* setting) { pUiSetting_ = setting; }

  // ---- pipeline ----
  bool imageProcessing(XferImageInfo* info, uint8_t** buffer, const ScanSetting* uiSetting,
                       uint32_t* allocatedSize, int currentImage);
  int getXferImageType() const;
  void isFrontPage(bool front) { frontSide_ = front; }
  void frontRearCount(int front, int rear) { frontCount_ = front, rearCount_ = rear; }
  bool onePageDone() const { return onePageDone_; }
  void setScanSource(int source) override { scanSource_ = source; }
  bool blackADF() const { return blackADF_; }
  void setBlackADF(bool black) { blackADF_ = black; }
  void setUsbID(const std::string& usbId) { usbID_ = usbId; }

  bool colorToGray(int channel);
  bool grayToLineart(int threshold);
  static void buildGammaTable(uint8_t* table, int brightness, int contrast, int gamma, bool invert);
  void convertImage();
  uint8_t* gammaTable() { return gammaTable_; }
  bool halftoneProcessing();
  bool doDynamicThreshold();
  bool doGrayQuality();
  bool doDespeckle();
  bool doEdgeCleanup();
  bool doBackgroundProcessing();
  bool doAutoColorDetection(bool* noColour);
  void initSIData();
  const NIDATA& siData() const { return siData_; }

  // ---- geometry ----
  bool deleteXYPixel(uint32_t resolution);
  bool insertXYPixel(uint32_t resolution);
  bool rotateImage(XferImageInfo* info, uint8_t** buffer, int rotation, bool fanfold);
  bool rotate180Image();
  bool rotateCW90Image();
  bool rotateCCW90Image();
  bool mirrorImage();
  bool flipImage();
  bool invertImage();
  bool pixelBoundary(uint32_t n);
  bool edgeExtend();

  // ---- page steps (scan thread) ----
  void scanPage(int page) override { scanPage_ = page; }
  int flatbedRemnantImage() const { return flatbedRemnantImage_.load(); }
  void inputSIData(NIDATA* record, const XferImageInfo& info) const;
  bool isBlankPage(const XferImageInfo& info, const uint8_t* buffer, uint8_t threshold) override;
  bool doCropDeskew(XferImageInfo* info, PageBuffer* page, bool autoOrientation,
                    bool multiCrop) override;
  bool doAutoOrientation(XferImageInfo* info, PageBuffer* page) override;
  bool doMerge2Sides(XferImageInfo* info, PageBuffer* page, const uint8_t* back, uint8_t option,
                     bool autoOrientation) override;
  bool doPunchHoleRemoval(const XferImageInfo& info, uint8_t* buffer) override;
  bool doPatchCode(const XferImageInfo& info, const uint8_t* buffer) override;
  bool doBarcodeDetection(const XferImageInfo& info, const uint8_t* buffer, uint32_t types,
                          BarcodeInfo* result) override;
  // The crop session of a page the scanner sends in JPEG segments (the plug-in's JpegCrop).
  void jpegCropReset() override;
  bool jpegCropInput(std::span<const uint8_t> segment, NIDATA* siData) override;
  bool jpegCropOutput(NIDATA* siData, std::vector<uint8_t>* strip, bool* more) override;
  // Host's thread: the next document of a flatbed multi-crop, and the halves of a split page.
  bool doGetMultipleImage(XferImageInfo* info, uint8_t* buffer, int page);
  bool splitImage(XferImageInfo* info, uint8_t* buffer, int splitMode, int number);
  bool isSplitImage() const { return bStartSplit_; }

  // ---- plug-ins ----
  void scannerName(const std::string& name) { scannerName_ = name; }
  bool initalizeLumetraLib(const std::filesystem::path& resources, int debugLevel, uint32_t usbID);
  bool initalizeColorMatchLib(const std::filesystem::path& resources);
  bool initalizeKrCocoaLib(const std::filesystem::path& resources);
  void detectButtonEvent(int stop, const std::string& vendor);
  void getDropGamma(const std::filesystem::path& resources);
  bool supportDropGamma() const { return supportdropGamma_; }
  const uint8_t* dropGammaTable(int colour) const;  // 1 red, 2 green, 3 blue
  bool doColorDropOut(int type);
  bool getColorDropData(const uint8_t* source, uint8_t* dest, XferImageInfo sourceInfo,
                        ColorDropParam param);
  bool applyColorMatch();
  bool colorMatchReady() const { return colorMatchOn_; }
  bool watermarkImage(const std::string& text);
  // The text the last imprint drew (empty when none).
  const std::string& lastImprint() const { return lastImprint_; }

  // The bound entries (tests may wrap one to see what the plug-in receives).
  LumetraEntries& lumetra() { return lm_; }
  ChromalisInstance& chromalis(int index) { return icc_[index]; }
  KRCocoaAddWaterMarkFn& addWaterMarkEntry() { return addWaterMark_; }
  StripecodeSearchFn& searchEntry() { return search_; }
  KRCocoaQueryICAButtonFn& queryICAButtonEntry() { return queryICAButton_; }

 private:
  const ScanSetting& ui() const;
  bool replaceImage(const uint8_t* data, uint64_t size);
  // The resampled image and its new size and resolution.
  bool takeResized(const std::vector<uint8_t>& image, uint32_t width, uint32_t length,
                   uint32_t line, uint32_t res);
  // The copy-back of a producing plug-in step (its size in the step's record `rec`).
  bool takeProduced(const NIDATA& rec, XferImageInfo* info, PageBuffer* page, void* produced);
  bool halftoneDither(int matrix);
  void errorDiffusion();
  bool runInPlace(LumetraProcessFn entry, const char* name, void* extra = nullptr);
  // Whether the plug-in record's input (siData_) lies within the working buffer; if not, the
  // step is logged as refused and the working image is cut to the buffer (fitToBuffer), so the
  // built-in step that takes over reads only what is there.
  bool recordFits(const char* step);
  // The working description cut to the buffer: a line's pixels to its bytes, the lines to the
  // buffer's size.
  void fitToBuffer();
  void closeLibraries();

  // working image
  XferImageInfo xferImageInfo_{};
  uint8_t* pXferBuffer_ = nullptr;
  uint32_t allocSize_ = 0;
  const ScanSetting* pUiSetting_ = nullptr;
  uint8_t gammaTable_[256] = {};
  NIDATA siData_{};
  std::string usbID_;
  bool frontSide_ = true;
  int scanSource_ = 0;
  bool blackADF_ = false;
  int frontCount_ = 1, rearCount_ = 1;
  int frontNumber_ = 1, rearNumber_ = 1;
  bool onePageDone_ = false;

  // page steps
  std::mutex remMutex_;
  NIDATA siDataRem_{};  // guarded by remMutex_
  std::atomic<int> scanPage_{1};
  std::atomic<int> flatbedRemnantImage_{0};
  int multiCropCount_ = 0;
  bool bStartSplit_ = false;
  std::vector<uint8_t> splitBuf_;
  XferImageInfo splitInfo_{};

  NIDATA jpegSession_{};  // the record of the crop session, for its reset

  // plug-ins
  void* hLumetra_ = nullptr;
  void* hChromalis_ = nullptr;
  void* hKrCocoa_ = nullptr;
  void* hBarcode_ = nullptr;
  LumetraEntries lm_;
  ChromalisInstance icc_[3];
  KRCocoaAddWaterMarkFn addWaterMark_ = nullptr;
  KRCocoaQueryICAButtonFn queryICAButton_ = nullptr;
  StripecodeSearchFn search_ = nullptr;
  std::vector<uint8_t> chromalisTable_;
  uint8_t chromalisContents_[256] = {};
  bool resetIntent_ = false;
  bool colorMatchOn_ = false;
  std::string scannerName_;
  bool supportdropGamma_ = false;
  uint8_t dropGamma_[3][256] = {};
  std::string lastImprint_;
};

}  // namespace ferrolite
