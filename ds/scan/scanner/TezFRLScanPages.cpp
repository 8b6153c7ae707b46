// The page loop: one page from the driver's callback into the scan buffer, stopped, checked for
// multi-feed and run through the page steps.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "ds/scan/scanner/ImageRecord.h"
#include "ds/scan/scanner/ScanCallback.h"
#include "ds/scan/scanner/ScanLog.h"
#include "ds/scan/scanner/ScanTiming.h"
#include "ds/scan/scanner/TezFRLScan.h"

namespace ferrolite {

namespace {

std::mutex gTimingLock;
ScanTiming gTiming;

constexpr uint32_t kReadBufferSize = 1024 * 1024;
constexpr uint8_t kRotationAuto = 4;
constexpr uint16_t kCompressionJpeg = 132;
constexpr int64_t kMultifeedCode = 3101;
constexpr int64_t kMultifeedCodeOld = 187;
constexpr uint8_t kBackgroundDark = 128;
constexpr uint8_t kAutoCropFlatbed = 32;
constexpr uint8_t kAutoCropDuplex = 64;
constexpr uint8_t kAutoCropNoCarrier = 16;

bool AutomaticSize(uint8_t paperSize) {
  return paperSize == kPageAutomatic || paperSize == kPageMultiCrop;
}

std::string PageName(const char* format, int page, int segment = 0) {
  char name[32];
  std::snprintf(name, sizeof name, format, page, segment);
  return name;
}

}  // namespace

ScanTiming scanTiming() {
  std::lock_guard lock(gTimingLock);
  return gTiming;
}
void setScanTiming(const ScanTiming& timing) {
  std::lock_guard lock(gTimingLock);
  gTiming = timing;
}

void TezFRLScan::freeMemory() {
  std::lock_guard lock(gScanPage.bufferLock);
  // The callback's buffer is one of the two page buffers (or the one it replaced them by).
  if (gScanPage.gPageBuffer != nullptr && gScanPage.gPageBuffer != pScanBuffer_ &&
      gScanPage.gPageBuffer != pBackBuffer_) {
    std::free(gScanPage.gPageBuffer);
  }
  std::free(pScanBuffer_);
  std::free(pReadBuffer_);
  std::free(pBackBuffer_);
  pScanBuffer_ = pReadBuffer_ = pBackBuffer_ = nullptr;
  allocScanSize_ = backBufferSize_ = 0;
  gScanPage.gPageBuffer = nullptr;
  gScanPage.gScanSize = gScanPage.gPageBufSize = 0;
}

void TezFRLScan::initSIData() {
  const DeviceAbility& a = deviceAbility;
  const unsigned mean =
      (a.FrontADFBackground_R + a.FrontADFBackground_G + a.FrontADFBackground_B) / 3;
  fillImageRecord(&siData_, scanImageInfo_, usbID_, scanSource_,
                  gNewKrapi && mean <= kBackgroundDark);
  NIDATA_InImage& in = siData_.InImage;
  NIDATA_OutImage& out = siData_.OutImage;
  if (AutomaticSize(uiParam_.bPaperSize)) {
    out.AutoCrop = 1;
    if (scanSource_ == kScanSourceFlatbed) out.AutoCrop += kAutoCropFlatbed;
    if (scanSource_ == kScanSourceFeederDuplex && gSingleCropDuplex)
      out.AutoCrop += kAutoCropDuplex;
    out.Rotate = 1;
  }
  out.OutMode = in.ScanMode;
  if ((deviceScanParam_.ScanMode >> 24) != 0) in.ScanMode |= 0x80;
  if (uiParam_.bRotation == kRotationAuto) out.Rotate = 2;
  if (mergeSides_) out.AutoCrop = out.Rotate = 0;
  if (!uiParam_.bCarrierSheet) out.AutoCrop |= kAutoCropNoCarrier;
  out.Gray.BackgroundColor = 255;
  out.Color.BackgroundColorR = out.Color.BackgroundColorG = out.Color.BackgroundColorB = 255;
}

bool TezFRLScan::multifeedOperation() {
  const bool keep = uiParam_.bStopAfterMultefeed == 0;
  // A sheet is listed once, however many of its sides or checks report it.
  if (!multifeedPaper_) {
    const int sheet = scanSource_ == kScanSourceFeederDuplex ? (scanPage_ + 1) / 2 : scanPage_;
    if (!multifeedPages_.empty()) multifeedPages_ += ", ";
    multifeedPages_ += std::to_string(sheet);
    ++multifeedCount_;
    multifeedPaper_ = true;
  }
  if (keep) {
    // The page is kept: its multi-feed is dealt with and must not fail it later.
    scannerError_ = 0;
    gScanPage.multifeedOccur = false;
  }
  return keep;
}

bool TezFRLScan::growScanBuffer(uint64_t bytes) {
  if (bytes > UINT32_MAX) return false;
  std::lock_guard lock(gScanPage.bufferLock);
  uint8_t*& buffer = useBackBuffer_ ? pBackBuffer_ : pScanBuffer_;
  uint32_t& size = useBackBuffer_ ? backBufferSize_ : allocScanSize_;
  if (bytes <= size) return true;
  const bool callbacksBuffer = gScanPage.gPageBuffer == buffer;
  auto* grown = static_cast<uint8_t*>(std::realloc(buffer, size_t(bytes)));
  if (grown == nullptr) return false;
  buffer = grown;
  size = uint32_t(bytes);
  if (callbacksBuffer) {
    gScanPage.gPageBuffer = grown;
    gScanPage.gScanSize = gScanPage.gPageBufSize = size;
  }
  scanLog("Reallocated scan size", kLogBlank, int(size));
  return true;
}

bool TezFRLScan::decodeJpegPage() {
  uint8_t*& buffer = useBackBuffer_ ? pBackBuffer_ : pScanBuffer_;
  const uint32_t received = gScanPage.scanReceived.load();
  if (gKrCommon == nullptr || buffer == nullptr) return false;
  gKrCommon->saveRawData(PageName("%04d.jpg", scanPage_), buffer, received);
  // The rows are written over the stream they come from: decode from a copy.
  const std::vector<uint8_t> jpeg(buffer, buffer + received);
  const uint32_t size = useBackBuffer_ ? backBufferSize_ : allocScanSize_;
  size_t needed = 0;
  if (gKrCommon->jpg2raw(jpeg, {buffer, size}, false, &needed)) return true;
  // Rows larger than the buffer: grow it and decode again, never write past it.
  if (needed <= size || !growScanBuffer(needed)) return false;
  const uint32_t grownSize = useBackBuffer_ ? backBufferSize_ : allocScanSize_;
  return gKrCommon->jpg2raw(jpeg, {buffer, grownSize}, false);
}

bool TezFRLScan::takeJpegSegment(int segment, bool /*preview*/) {
  ScanPageState& page = gScanPage;
  const uint32_t received = page.scanReceived.load();
  const uint32_t segmentSize = std::min(page.getImageSize.load(), received);
  uint8_t* buffer;
  {
    std::lock_guard lock(page.bufferLock);
    buffer = page.gPageBuffer;
  }
  scanLog("Image EOF", kLogThreadIn, segment);
  scanLog("getImageSize", kLogBlank, 1, segmentSize);
  scanLog("scanLines", kLogBlank, 1, page.scanLines.load());
  scanLog("scanReceived", kLogBlank, 1, received);
  const uint8_t* data = buffer + (received - segmentSize);
  if (gKrCommon)
    gKrCommon->saveRawData(PageName("%04d(%d).jpg", scanPage_, segment), data, segmentSize);
  if (segment == 1 && scanPage_ == 1) {
    steps_->jpegCropReset();
    scanLog("JpegCrop reset", kLogBlank, 1);
  }
  siData_.InImage.Line = page.scanLines.load();
  scanLog("JpegCrop Input", kLogBlank, 1, segmentSize);
  if (!steps_->jpegCropInput({data, segmentSize}, &siData_)) {
    steps_->jpegCropReset();
    freeMemory();
    scannerError_ = kErrorNoMemory;
    return false;
  }
  if (!page.onePageDone) return true;
  siData_.InImage.Line = scanImageInfo_.dwLength;
  bool more = true;
  bool first = true;
  uint64_t written = 0;
  std::vector<uint8_t> strip;
  while (more) {
    strip.clear();
    if (!steps_->jpegCropOutput(&siData_, &strip, &more)) break;
    if (first) {
      first = false;
      page.scanLines = siData_.OutImage.ImageHeight;
      scanImageInfo_.dwWidth = siData_.OutImage.ImageWidth;
      scanImageInfo_.dwBytesPerLine = scanImageInfo_.bBitsPerPixel / 8 * scanImageInfo_.dwWidth;
      scanImageInfo_.dwLength = siData_.OutImage.ImageHeight;
      if (!growScanBuffer(uint64_t(scanImageInfo_.dwLength) * scanImageInfo_.dwBytesPerLine)) break;
    }
    uint8_t* target = useBackBuffer_ ? pBackBuffer_ : pScanBuffer_;
    const uint32_t size = useBackBuffer_ ? backBufferSize_ : allocScanSize_;
    if (written + strip.size() > size) break;  // never past the page's rows
    std::memcpy(target + written, strip.data(), strip.size());
    written += strip.size();
  }
  steps_->jpegCropReset();
  return true;
}

bool TezFRLScan::readScanImage(bool preview) {
  ScanPageState& page = gScanPage;
  const std::string_view in = preview ? kLogIn : kLogThreadIn;
  const std::string_view out = preview ? kLogOut : kLogThreadOut;
  const std::string_view blank = preview ? kLogBlank : std::string_view("[Thread]   ");
  if (preview) page.gApCacelScan = false;
  scanLog("readScanImage", in, 1);
  const ScanTiming timing = scanTiming();

  for (int segment = 1;; ++segment) {
    while (page.scanReceived.load() < page.scanTotal.load()) {
      if (page.waitForStatus(timing.pagePoll)) break;
      if (!page.exeCallback && page.gApCacelScan) {
        scanLog("******* LLD or FW error *******", blank, 0);
        page.waitForStatus(timing.driverSilence);
        page.setStatus(kPageCancel);
        break;
      }
    }
    {
      // A buffer the callback replaced is taken as the buffer it replaced.
      std::lock_guard lock(page.bufferLock);
      if (page.gPageBuffer != nullptr && page.gPageBufSize < page.gScanSize) {
        if (useBackBuffer_) {
          pBackBuffer_ = page.gPageBuffer;
          backBufferSize_ = page.gScanSize;
        } else {
          pScanBuffer_ = page.gPageBuffer;
          allocScanSize_ = page.gScanSize;
        }
        page.gPageBufSize = page.gScanSize;
        scanLog("Reallocated scan size", blank, int(page.gScanSize));
      }
    }
    int64_t status = page.lGetImageStatus.load();
    if (status == kPageEnd) {
      status = kPageRunning;
      page.setStatus(kPageRunning);
    }
    scannerError_ = status;
    if (status != 0) {
      scanLog("readScanImage", out, 0, status);
      return false;
    }
    if (HWProcessing && page.onePageDone && kr_.KRRequestImageInfo != nullptr) {
      void* record = nullptr;
      if (kr_.KRRequestImageInfo(kControllerId, &gDeviceID, &record) == 0 && record != nullptr) {
        ImageInformation info;
        std::memcpy(&info, record, sizeof info);
        scanImageInfo_.dwWidth = info.Width;
        scanImageInfo_.dwLength = info.Height;
        scanImageInfo_.dwBytesPerLine = info.BytesPerLine;
        page.scanLines = info.Height;
      }
      if (record != nullptr && kr_.KRMemFree != nullptr) kr_.KRMemFree(kControllerId, record);
    }
    if (!page.isImageEOF) break;
    if (!takeJpegSegment(segment, preview)) return false;
    if (page.onePageDone) {
      scanLog("readScanImage", out, 1);
      return true;
    }
    // The next segment of the page.
    if (kr_.KRStopScan != nullptr) kr_.KRStopScan(kControllerId, &gDeviceID, 0);
    page.scanLines = 0;
    page.getImageSize = 0;
    page.exeCallback = false;
    page.isImageEOF = false;
    scannerError_ = kr_.KRStartScan != nullptr
                        ? kr_.KRStartScan(kControllerId, &gDeviceID, GetScanImage, 0)
                        : kErrorNoMemory;
    if (scannerError_ != 0) return false;
  }

  XferImageInfo& info = scanImageInfo_;
  scanLog("scanImageInfo.bBitsPerPixel", blank, 1, info.bBitsPerPixel);
  scanLog("scanImageInfo.dwWidth", blank, 1, info.dwWidth);
  const bool jpeg = deviceScanParam_.Compression == kCompressionJpeg;
  if (!HWProcessing) {
    info.dwLength =
        jpeg ? page.scanLines.load()
             : (info.dwBytesPerLine ? page.scanReceived.load() / info.dwBytesPerLine : 0);
  }
  scanLog("scanImageInfo.dwLength", blank, 1, info.dwLength);
  scanLog("scanImageInfo.dwBytesPerLine", blank, 1, info.dwBytesPerLine);
  scanLog("scanReceived", blank, 1, page.scanReceived.load());
  bool ok = growScanBuffer(uint64_t(info.dwLength) * info.dwBytesPerLine);
  if (ok && jpeg && !page.isBlankPage) ok = decodeJpegPage();
  if (!ok) {
    freeMemory();
    scannerError_ = kErrorNoMemory;
  }
  scanLog("readScanImage", out, ok);
  return ok;
}

void TezFRLScan::waitForBarcodeHandOver() {
  const auto poll = scanTiming().barcodePoll;
  // The transfer side takes one result at a time; a cancelled batch has no one to take it.
  while (gPatchBarcodeReading && !gScanPage.gApCacelScan && !steps_->scanCancelled())
    gScanPage.waitForStatus(poll);
}

bool TezFRLScan::doScan() {
  using Clock = std::chrono::steady_clock;
  ScanPageState& page = gScanPage;
  xferGoEvent_ = false;
  scanLog("------------- Scanning page ------------- ", kLogBlank, 1, scanPage_);
  scanLog("doScan", kLogThreadIn, 1);
  const auto start = Clock::now();
  bool result = false;
  bool soundDue = false;
  bool stopNeeded = false;
  const bool automatic = AutomaticSize(uiParam_.bPaperSize);

  for (;;) {
    page.multifeedOccur = false;
    lastPage_ = true;
    if (scanPage_ > 1) scanImageInfo_ = firstImageInfo_;
    const uint64_t pageBytes = uint64_t(scanImageInfo_.dwBytesPerLine) * deviceScanParam_.LineNum;
    if (scanPage_ == 1) {
      multifeedPaper_ = false;
      firstImageInfo_ = scanImageInfo_;
      const uint64_t size = automatic ? kPageBufferStep : pageBytes;
      freeMemory();
      bool allocated = size != 0 && size <= UINT32_MAX && pageBytes <= UINT32_MAX;
      if (allocated) {
        pScanBuffer_ = static_cast<uint8_t*>(std::calloc(1, size_t(size)));
        pReadBuffer_ = static_cast<uint8_t*>(std::malloc(kReadBufferSize));
        if (mergeSides_) pBackBuffer_ = static_cast<uint8_t*>(std::calloc(1, size_t(pageBytes)));
        allocated = pScanBuffer_ && pReadBuffer_ && (!mergeSides_ || pBackBuffer_);
      }
      if (!allocated) {
        freeMemory();
        scannerError_ = kErrorNoMemory;
        break;
      }
      allocScanSize_ = uint32_t(size);
      backBufferSize_ = mergeSides_ ? uint32_t(pageBytes) : 0;
      char text[64];
      std::snprintf(text, sizeof text, "%u Address : %p", allocScanSize_,
                    static_cast<void*>(pScanBuffer_));
      scanLog("Allocated scan size", kLogBlank, 1, text);
      initSIData();
    }
    // A new sheet has not been counted as multi-fed yet.
    if (scanSource_ != kScanSourceFeederDuplex || scanPage_ % 2 == 1) multifeedPaper_ = false;
    frontPage_ = scanSource_ == kScanSourceFeederDuplex ? scanPage_ % 2 == 1
                                                        : scanSource_ != kScanSourceFeederRear;
    useBackBuffer_ = false;
    siData_.InImage.CurPages = uint16_t(scanPage_);

    {
      std::lock_guard lock(page.bufferLock);
      if (mergeSides_ && scanPage_ % 2 == 0) {
        page.gPageBuffer = pBackBuffer_;
        page.gScanSize = backBufferSize_;
        useBackBuffer_ = true;
      } else {
        page.gPageBuffer = pScanBuffer_;
        page.gScanSize = allocScanSize_;
      }
      page.gPageBufSize = page.gScanSize;
    }
    page.clearPageCounters();
    page.gScanPages = scanPage_;
    page.setStatus(kPageRunning);
    scanLog("KRStartScan", kLogThreadIn, 1);
    scannerError_ = kr_.KRStartScan != nullptr
                        ? kr_.KRStartScan(kControllerId, &gDeviceID, GetScanImage, 0)
                        : kErrorNoMemory;
    scanLog("KRStartScan", kLogThreadOut, scannerError_ == 0, scannerError_.load());
    if (scannerError_ != 0) {
      stopNeeded = true;
      break;
    }

    bool good = readScanImage(false);
    if (steps_->scanCancelled()) {
      // A page the user cancelled fails as cancelled, not with the status of a good read.
      good = false;
      if (scannerError_ == 0) scannerError_ = kPageCancel;
    }
    while (!good && !steps_->scanCancelled()) {
      getScannerError(nullptr);
      const int64_t status = scannerError_;
      const int64_t code = std::abs(status);
      if (code != kMultifeedCodeOld && code != kMultifeedCode && !page.multifeedOccur) break;
      soundDue = true;
      if (!multifeedOperation()) break;
      // The sheet is kept: the rest of its page is read.
      page.clearStatusIf(status);
      good = readScanImage(false);
    }
    if (!good) {
      stopNeeded = true;
      break;
    }
    scanLog("KRStopScan", kLogThreadIn, 1);
    scannerError_ =
        kr_.KRStopScan != nullptr ? kr_.KRStopScan(kControllerId, &gDeviceID, 0) : kErrorNoMemory;
    scanLog("KRStopScan", kLogThreadOut, scannerError_ == 0, scannerError_.load());
    good = scannerError_ == 0 && !page.multifeedOccur;
    if (!good) {
      getScannerError(nullptr);
      if (std::abs(scannerError_.load()) == kMultifeedCode) page.multifeedOccur = true;
      // A multi-feed the stop did not report itself still fails the page with its code.
      if (page.multifeedOccur && scannerError_ == 0) scannerError_ = kStatusMultifeed;
      if (page.multifeedOccur) {
        soundDue = true;
        good = multifeedOperation();
      }
      if (!good) break;
    }

    const XferImageInfo& info = scanImageInfo_;
    scanLog("End of scan length", kLogBlank, 1, info.dwLength);
    scanLog("Scanned size", kLogBlank, 1, page.scanReceived.load());
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    scanLog("Scan time", kLogBlank, 1, std::to_string(elapsed));
    uint8_t* pageData = useBackBuffer_ ? pBackBuffer_ : pScanBuffer_;
    if (gKrCommon) gKrCommon->saveDebugImage(pageData, info, PageName("%04d", scanPage_), true);

    if (scanSource_ != kScanSourceFlatbed) {
      const int64_t before = scannerError_;
      uint8_t paper = 0;
      if (getADFStatus(&paper, true) && paper != 0) lastPage_ = false;
      if (before == 0) scannerError_ = 0;
    }
    if (lastPage_) scanLog("No more pages to scan", kLogBlank, 1);

    bool autoOrientation = !page.isImageEOF && uiParam_.bRotation == kRotationAuto;
    gCarrierSheet = uiParam_.bCarrierSheet != 0;
    steps_->scanPage(scanPageDone_ + 1);

    PageBuffer buffer{pScanBuffer_, allocScanSize_};
    // The page buffer after steps that may have moved it into a larger block: the callback's
    // record of the old block follows, so that no freed address is kept or freed again.
    auto takePageBuffer = [&](const PageBuffer& moved) {
      std::lock_guard lock(page.bufferLock);
      if (page.gPageBuffer == pScanBuffer_ && moved.data != pScanBuffer_) {
        page.gPageBuffer = moved.data;
        page.gScanSize = page.gPageBufSize = moved.size;
      }
      pScanBuffer_ = moved.data, allocScanSize_ = moved.size;
    };
    if (mergeSides_) {
      if (scanPage_ % 2 == 1) {
        ++scanPage_;
        continue;  // the rear side of the sheet
      }
      if (!gMergeAll) lastPage_ = true;
      steps_->doMerge2Sides(&scanImageInfo_, &buffer, pBackBuffer_, uiParam_.bMergeOption,
                            autoOrientation);
    }
    auto blankDropped = [&](uint8_t threshold) {
      if (!steps_->isBlankPage(scanImageInfo_, buffer.data, threshold)) return false;
      return true;
    };
    if (uiParam_.bBlankPageRemoval && !mergeSides_ && !gTezOlmex &&
        blankDropped(uiParam_.bBlankPageThreshold)) {
      if (!lastPage_) {
        ++scanPage_;
        continue;
      }
      scannerError_ = kErrorBlankLastPage;
      break;
    }
    if (automatic && !HWAutoCrop && !mergeSides_ && !page.isImageEOF) {
      const auto cropStart = Clock::now();
      const bool multiCrop =
          scanSource_ == kScanSourceFlatbed && uiParam_.bPaperSize == kPageMultiCrop;
      const bool cropped =
          steps_->doCropDeskew(&scanImageInfo_, &buffer, autoOrientation, multiCrop);
      takePageBuffer(buffer);
      const auto cropTime =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - cropStart).count();
      scanLog("Cropping time", kLogBlank, 1, std::to_string(cropTime));
      if (!cropped) {
        scannerError_ = kErrorNoMemory;
        lastPage_ = true;
        break;
      }
      autoOrientation = false;
      if (gKrCommon)
        gKrCommon->saveDebugImage(buffer.data, scanImageInfo_, PageName("%04d_cropped", scanPage_),
                                  true);
    }
    if (uiParam_.bPunchHole == 1 && (automatic || gTezOlmex))
      steps_->doPunchHoleRemoval(scanImageInfo_, buffer.data);
    if (uiParam_.bBlankPageRemoval && !mergeSides_ && gTezOlmex &&
        blankDropped(uint8_t(101 - uiParam_.bBlankPageThreshold))) {
      if (!lastPage_) {
        ++scanPage_;
        continue;
      }
      scannerError_ = kErrorBlankLastPage;
      break;
    }
    bool patch = false;
    if (uiParam_.bPatchCode) patch = steps_->doPatchCode(scanImageInfo_, buffer.data);
    if (autoOrientation) steps_->doAutoOrientation(&scanImageInfo_, &buffer);
    takePageBuffer(buffer);
    BarcodeInfo barcodes{};
    if (uiParam_.bBarcodeDetection)
      steps_->doBarcodeDetection(scanImageInfo_, buffer.data, uiParam_.dwSelectBarcode, &barcodes);
    if (uiParam_.bBarcodeDetection || uiParam_.bPatchCode) {
      waitForBarcodeHandOver();
      if (!gPatchBarcodeReading) {
        gPatchcodeImage = patch;
        gBarcodeInfo = barcodes;
        gPatchBarcodeReading = true;
      }
    }
    if (scanSource_ == kScanSourceFeederDuplex && scanPage_ % 2 == 0) multifeedPaper_ = false;
    ++scanPage_;
    ++scanPageDone_;
    result = true;
    break;
  }

  if (stopNeeded) {
    scanLog("KRStopScan", kLogThreadIn, 1);
    const long stopped = kr_.KRStopScan != nullptr
                             ? kr_.KRStopScan(kControllerId, &gDeviceID, page.gApCacelScan ? 1 : 0)
                             : 0;
    if (scannerError_ == 0) scannerError_ = stopped;
    scanLog("KRStopScan", kLogThreadOut, stopped == 0, stopped);
  }
  if (soundDue) steps_->playSound(uiParam_.strAlarm.str());
  xferGoEvent_ = true;
  scanLog("doScan", kLogThreadOut, result, scannerError_.load());
  return result;
}

}  // namespace ferrolite
