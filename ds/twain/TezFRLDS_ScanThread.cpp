// The start of a batch, the scan thread that scans one page per request, its end, and the
// preparation of each image for transfer (DAT_IMAGEINFO).
//
// The host's thread and the scan thread meet through the flags of ScanThread and the scan
// object's page count: a page is there for the host once the scan object has finished as many
// pages as the host has consumed (the count is atomic, so the page's buffer and description,
// written before it, are visible after it), or the scan thread reports an error and is idle, or
// the thread has left its loop. Every wait of the host's thread is bounded.
#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include "ds/scan/image/TezFRLImageProcess.h"
#include "ds/scan/scanner/ScanCallback.h"
#include "ds/scan/scanner/ScanTiming.h"
#include "ds/twain/DSHelpers.h"
#include "ds/twain/Options.h"
#include "ds/twain/TezFRLDS.h"
#include "ds/twain/TezFRLDialogBox.h"
#include "ds/twain/XferSupport.h"
#include "platform/twain/Source.h"

namespace ferrolite {

namespace {

int imageCount(uint16_t imageType, uint16_t sideBits, uint16_t autoBit) {
  int count = std::popcount(
      static_cast<unsigned>(imageType & sideBits & ~(kImageAutoColorFront | kImageAutoColorRear)));
  if (imageType & autoBit) count = 1;
  return count;
}

}  // namespace

// ---- xferReady ----

TW_UINT16 TezFRLDS::xferReady() {
  // 1.
  batch.bytesTransfered = 0;
  batch.scanDone = false;
  scanInterrupt = false;
  batch.onePageDone = true;
  currentImageNumber = 1;
  imageInfoGo = false;
  xferPageNumber = 0;
  gPatchcodeImage = false;
  gPatchBarcodeReading = false;
  apCancelScan = false;
  gScanPage.gApCacelScan = false;
  disableMainButton = false;
  processingError = 0;
  batch.flatbedRemnantImage = 0;
  pageCodes = PageCodes{};
  // Both buffers: a batch never starts on the last batch's images.
  freeXferBuffers();
  dsLog("xferReady", kLogIn, 1, mCurrentState.load());
  // 2.
  if (mCurrentState != TWAIN_STATE_ENABLED || !scanObject) return fail(TWCC_SEQERROR);
  // Without a manager the host would never hear MSG_XFERREADY: refuse before the scanner moves.
  if (twain::ManagerEntry() == nullptr) {
    dsLog("xferReady", kLogBlank, 0, "no data source manager to tell");
    return fail(TWCC_BUMMER);
  }
  // 3.
  if (debugLevel > 0) writeSetting(std::nullopt, true);
  jobSetting = settingCopy();
  // The host's CAP_XFERCOUNT ends the batch as the settings' image count does, whichever is
  // fewer; the sheets after it stay in the feeder.
  if (mXferCount > 0 && (jobSetting.iImageCount < 1 || mXferCount < jobSetting.iImageCount)) {
    jobSetting.iImageCount = mXferCount;
  }
  tickCount = currentTick();
  if (dialogBox) dialogBox->initialize();
  if (jobSetting.bShowProgress) showIndicatorWindow();
  // 4.
  if (ScanRes > 0) {
    const int optical = newKrapi ? deviceAbility.OpticalRes : scannerAbilityEx.OpticalRes;
    const int res = optical > 0 ? std::min<int>(ScanRes, optical) : ScanRes;
    scanObject->customScanRes(res);
  }
  // 5.
  if (!enableChromalis) jobSetting.bColorMatch = 0;
  if (jobSetting.bScanSource == kSourceMergeTwoSides) jobSetting.bSplitMode = 0;
  if (jobSetting.wImageType == 0) jobSetting.wImageType = kImageBWFront;
  // 6. The check showed its alert; the host learns of the refusal.
  if (checkScanParams() != 0) {
    dsLog("xferReady", kLogOut, 0, "scan settings refused");
    return fail(TWCC_BADVALUE);
  }
  // 7.
  if (!scanObject->startScanJob(jobSetting)) {
    const int64_t error = scanObject->scannerError();
    showAlert(std::nullopt);
    scanObject->endScanJob();
    if (newKrapi && error < 0) scanObject->setScannerError(error);
    lastScannerError = error;
    gConditionCode = TWCC_SEQERROR;
    if (error != 0) setConditionCode(error);
    dsLog("xferReady", kLogOut, 0, error);
    return TWRC_FAILURE;
  }
  // 8.
  isBarcode = jobSetting.bBarcodeDetection != 0;
  isPatchCode = jobSetting.bPatchCode != 0;
  keepImageType = jobSetting.wImageType;
  jobSetting.wImageType = scanObject->imageTypeChanged();
  startIndicatorTimer();
  batch.xferImageInfo = scanObject->scanImageInfo();
  // 9.
  mCurrentState = TWAIN_STATE_XFERREADY;
  dsLog("xferReady", kLogBlank, 1, mCurrentState.load());
  // The scan thread runs before the message goes: a host that answers MSG_XFERREADY at once
  // finds its first page on the way.
  beginScanThread();
  if (postToManager(MSG_XFERREADY) != TWRC_SUCCESS) {
    finishScanThread();
    mCurrentState = TWAIN_STATE_ENABLED;
    dsLog("xferReady", kLogOut, 0, "the manager refused MSG_XFERREADY");
    return fail(TWCC_BUMMER);
  }
  // 10.
  if (!noneUI && !uiOnly && mainDialog) {
    disableMainButton = true;
    mainDialog->setMainButtonsStatus(false);
  }
  dsLog("xferReady", kLogOut, 1, mCurrentState.load());
  return TWRC_SUCCESS;
}

// ---- the scan thread ----

void TezFRLDS::beginScanThread() {
  scanThread.stop();
  scanThread.start([this] { scanGo(); });
}

void TezFRLDS::scanGo() {
  dsLog("scanGo", kLogThreadIn, 1, kLogNoData);
  // The first page was asked for by the start of the batch.
  scanThread.takeFirst();
  scanGoEvent = true;
  bool result = scanObject->doScan();
  scanThread.pageEnded();
  scanGoEvent = false;
  const auto leave = [this] {
    return scanInterrupt.load() || mCurrentState.load() < TWAIN_STATE_XFERREADY;
  };
  while (scanThread.takeRequest(leave)) {
    scanGoEvent = true;
    result = scanObject->doScan();
    scanThread.pageEnded();
    scanGoEvent = false;
  }
  dsLog("scanGo", kLogThreadOut, result, scanObject->scannerError());
}

void TezFRLDS::finishScanThread() {
  // 1.
  dsLog("finishScanThread", kLogIn, 1, kLogNoData);
  gPatchBarcodeReading = false;
  // 2-3. The page in progress ends on its own; the thread is joined before its buffers go.
  if (scanThread.exists()) {
    if (scanThread.stillRunning()) dsLog("Scanner is still running", kLogBlank, 1, 1);
    scanThread.stop();
    if (scanObject) scanObject->freeMemory();
  }
  // 4.
  if (scanObject) scanObject->endScanJob();
  freeXferBuffers();
  // 5.
  if (disableMainButton) {
    processEvent();
    if (mainDialog) mainDialog->setMainButtonsStatus(true);
    disableMainButton = false;
  }
  dsLog("finishScanThread", kLogOut, 1, kLogNoData);
}

void TezFRLDS::freeXferBuffers() {
  std::free(batch.pXferBuffer);
  std::free(batch.pMultistreamBuffer);
  batch.pXferBuffer = batch.pMultistreamBuffer = nullptr;
  batch.allocSize = batch.multiferSize = 0;
}

// ---- waiting for a page ----

bool TezFRLDS::waitForPages(int pages) {
  const ScanTiming timing = scanTiming();
  // A page may take long (long paper, a slow scanner): while the scan thread is in a page it
  // waits with the driver, whose own conditions end a scan that stops. The wait gives up only
  // when the thread has been out of a page and nothing has moved (finished pages, data from the
  // driver) for the time-out.
  const auto silence = timing.second * std::max(timing.aliveSeconds, 1);
  auto deadline = std::chrono::steady_clock::now() + silence;
  auto progress = [this] {
    return std::tuple(scanObject->scanPageDone(), gScanPage.scanReceived.load(),
                      gScanPage.scanLines.load(), gScanPage.gScanPages.load());
  };
  auto seen = progress();
  int pass = 0;
  for (;;) {
    const bool idle = !scanThread.stillRunning() && !scanThread.requested();
    const int64_t error = scanObject->scannerError();
    if (scanObject->scanPageDone() >= pages || scanThread.left() || (idle && error != 0)) {
      return true;
    }
    // An idle thread with no error and a page missing was never asked: ask it now.
    if (idle) {
      if (pass == 0) {
        dsLog("doScan not launch", kLogBlank, 1,
              "xferPageNumber " + std::to_string(pages) + " scanPageDone " +
                  std::to_string(scanObject->scanPageDone()));
      }
      scanThread.request();
    }
    mainQueue.drainFor(timing.nextPagePoll);
    if (!apCancelScan && (dialogBox && dialogBox->scanCancelled())) {
      dsLog("******* AP Cancel Scan *******", kLogBlank, 1, kLogNoData);
      apCancelScan = true;
      gScanPage.gApCacelScan = true;
    }
    if (++pass % 100 == 1) dsLog("Waiting for scanning done", kLogBlank, 1, pass);
    const auto now = std::chrono::steady_clock::now();
    if (const auto moved = progress(); moved != seen || scanThread.stillRunning()) {
      seen = moved;
      deadline = now + silence;
    } else if (now > deadline) {
      dsLog("Waiting for scanning done", kLogBlank, 0, "the scanner stopped delivering");
      return false;
    }
  }
}

// ---- getImageInfo ----

TW_UINT16 TezFRLDS::getImageInfo() {
  // 1.
  if (imageInfoGo) return TWRC_SUCCESS;
  // 2.
  dsLog("GetImageInfo", kLogIn, 1, kLogNoData);
  pageStalled = false;
  const bool batchMode = scanObject->enableBatchScan();
  TezFRLImageProcess* process = imageProcess ? imageProcess->process() : nullptr;
  const bool newPage = batch.onePageDone;
  const ScanSetting& s = jobSetting;
  bool pageError = false;
  // 3.
  if (newPage) {
    // a.
    gPatchBarcodeReading = false;
    ++xferPageNumber;
    pageError = scanObject->scannerError() != 0;
    if (!pageError) {
      // b.
      if (currentImageNumber == 1) {
        if (dialogBox) dialogBox->enableCancelButton(true);
      } else if (!batchMode) {
        scanThread.request();
      }
      // c-d.
      // A scanner that stopped delivering leaves the page missing: the transfer then ends
      // with the scanner's condition.
      pageStalled = !waitForPages(xferPageNumber);
      pageError = scanObject->scanPageDone() < xferPageNumber;
    }
    if (!pageError) {
      // e.
      pageCodes = PageCodes{};
      if (isBarcode) {
        if (gBarcodeInfo.count == 0) {
          std::error_code ignored;
          std::filesystem::remove(currentPath / kBarcodeFileName, ignored);
        } else {
          std::vector<BarcodeResult> results;
          const int count = std::min<int>(gBarcodeInfo.count, kBarcodeMax);
          for (int i = 0; i < count; ++i) {
            const BarcodeRect& r = gBarcodeInfo.rect[i];
            const char* text = gBarcodeInfo.text[i];
            const std::string value(text, strnlen(text, kBarcodeTextSize));
            results.push_back({gBarcodeInfo.type[i], value, r.X, r.Y, r.Width, r.Height});
            pageCodes.barcodes.push_back({gBarcodeInfo.type[i], value, r.X, r.Y});
          }
          barcodeResult(results);
        }
      }
      if (isPatchCode && gPatchcodeImage) {
        pageCodes.patchCode = true;
        patchcodeResult();
      }
      // f.
      batch.scanDone = scanObject->lastPage();
      batch.frontSide = s.bScanSource == kSourceMergeTwoSides || scanObject->frontPage();
      if (process) process->isFrontPage(batch.frontSide);
    }
  }
  if (!pageError && scanObject->scannerError() == 0 && processingError == 0) {
    // 4.
    dsLog("------------- Current page -------------", kLogBlank, 1, currentImageNumber.load());
    dsLog("LastPage", kLogBlank, 1, batch.scanDone.load());
    // 5.
    if (currentImageNumber == 1) {
      batch.frontCount = imageCount(s.wImageType, kImageFrontBits, kImageAutoColorFront);
      batch.rearCount = imageCount(s.wImageType, kImageRearBits, kImageAutoColorRear);
      if (s.bSplitMode) batch.frontCount *= 2, batch.rearCount *= 2;
      // Every page that yields several images (split halves too) is kept in a copy of its
      // own: the scan layer's buffer takes the next page while the host transfers.
      batch.multistreamMode = batch.frontCount > 1 || batch.rearCount > 1;
      if (process) process->frontRearCount(batch.frontCount, batch.rearCount);
    }
    // 6.
    const bool multiCrop =
        scanObject->scanSource() == kScanSourceFlatbed && s.bPaperSize == kPageMultiCrop;
    if (newPage) {
      batch.flatbedRemnantImage = 0;
      batch.xferImageInfo = scanObject->scanImageInfo();
      batch.pageImageInfo = batch.xferImageInfo;
      if (multiCrop && process) {
        batch.flatbedRemnantImage = process->flatbedRemnantImage();
        if (batch.flatbedRemnantImage > 0) {
          process->frontRearCount((batch.flatbedRemnantImage + 1) * batch.frontCount,
                                  batch.rearCount);
        }
      }
    } else {
      batch.xferImageInfo = batch.pageImageInfo;
    }
    // 7.
    const XferImageInfo& info = batch.xferImageInfo;
    uint64_t size = uint64_t(info.dwBytesPerLine) * info.dwLength;
    if (multiCrop && batch.flatbedRemnantImage > 0 && batch.pXferBuffer == nullptr) {
      size = std::max<uint64_t>(size, uint64_t(info.bBitsPerPixel / 8) * s.wWidth * s.wLength);
    }
    const uint64_t pageBytes = uint64_t(info.dwBytesPerLine) * info.dwLength;
    const bool sizeOk =
        size != 0 && size <= UINT32_MAX &&
        (newPage ? pageBytes <= scanObject->scanBufferSize() : pageBytes <= batch.multiferSize);
    if (!sizeOk) {
      dsLog("Allocated buffer size", kLogBlank, 0, std::to_string(size));
    } else if (batch.pXferBuffer == nullptr) {
      batch.pXferBuffer = static_cast<uint8_t*>(std::calloc(1, size_t(size)));
      if (batch.multistreamMode)
        batch.pMultistreamBuffer = static_cast<uint8_t*>(std::calloc(1, size_t(size)));
      if (batch.pXferBuffer == nullptr || (batch.multistreamMode && !batch.pMultistreamBuffer)) {
        freeXferBuffers();
      } else {
        batch.allocSize = batch.multiferSize = uint32_t(size);
        dsLog("Allocated buffer size", kLogBlank, 1, std::to_string(size));
      }
    } else if (size > batch.allocSize || (batch.multistreamMode && size > batch.multiferSize)) {
      auto grow = [&](uint8_t*& buffer) {
        auto* grown = static_cast<uint8_t*>(std::realloc(buffer, size_t(size)));
        if (grown != nullptr) buffer = grown;
        return grown != nullptr;
      };
      const bool grown = grow(batch.pXferBuffer) &&
                         (!batch.multistreamMode || batch.pMultistreamBuffer == nullptr ||
                          grow(batch.pMultistreamBuffer));
      if (!grown) {
        freeXferBuffers();
      } else {
        batch.allocSize = std::max(batch.allocSize, uint32_t(size));
        batch.multiferSize = std::max(batch.multiferSize, uint32_t(size));
        dsLog("Reallocated buffer size", kLogBlank, 1, std::to_string(size));
      }
    }
    // 8.
    if (sizeOk && batch.pXferBuffer != nullptr) {
      // a.
      // The scan layer's buffer is read only for a new page, before the next one is asked for.
      const uint8_t* source = newPage ? scanObject->scanBuffer() : nullptr;
      if (batch.multistreamMode && batch.pMultistreamBuffer != nullptr) {
        if (newPage) std::memcpy(batch.pMultistreamBuffer, source, size_t(pageBytes));
        source = batch.pMultistreamBuffer;
      }
      // b.
      if (multiCrop && batch.flatbedRemnantImage > 0 && !newPage && process &&
          (currentImageNumber % batch.frontCount == 1 || batch.frontCount == 1)) {
        XferImageInfo next = batch.xferImageInfo;
        if (process->doGetMultipleImage(&next, batch.pXferBuffer, xferPageNumber)) {
          --batch.flatbedRemnantImage;
          batch.pageImageInfo = batch.xferImageInfo = next;
        } else {
          batch.flatbedRemnantImage = 0;
        }
      } else if (source != nullptr) {
        // c.
        std::memcpy(batch.pXferBuffer, source, size_t(pageBytes));
      }
      // d. The page is copied: the scanner may go on while the host transfers.
      if (batchMode && newPage && !batch.scanDone) scanThread.request();
      // e.
      if (s.bSplitMode && process) {
        batch.fanfold = scanObject->scanSource() == kScanSourceFeederDuplex && !batch.frontSide &&
                        s.bFlipSide == 1;
        if (!(process->isSplitImage() && currentImageNumber != 1)) {
          process->rotateImage(&batch.xferImageInfo, &batch.pXferBuffer, s.bRotation,
                               batch.fanfold);
        }
        process->splitImage(&batch.xferImageInfo, batch.pXferBuffer, s.bSplitMode,
                            currentImageNumber);
      }
      // f.
      if (process) {
        if (!process->imageProcessing(&batch.xferImageInfo, &batch.pXferBuffer, &jobSetting,
                                      &batch.allocSize, currentImageNumber)) {
          processingError = kErrorNoMemory;
        }
        batch.onePageDone = process->onePageDone();
      } else {
        batch.onePageDone = true;
      }
      // g.
      if ((dialogBox && dialogBox->scanCancelled())) processingError = kProgressCancelled;
    } else {
      processingError = kErrorNoMemory;
    }
  }
  // 9.
  const XferImageInfo& info = batch.xferImageInfo;
  mImageInfo = TW_IMAGEINFO{};
  mImageInfo.XResolution.Whole = static_cast<TW_INT16>(info.wXRes);
  mImageInfo.YResolution.Whole = static_cast<TW_INT16>(info.wYRes);
  mImageInfo.ImageWidth = static_cast<TW_INT32>(info.dwWidth);
  mImageInfo.ImageLength = static_cast<TW_INT32>(info.dwLength);
  mImageInfo.BitsPerPixel = info.bBitsPerPixel;
  mImageInfo.Planar = 0;
  mImageInfo.Compression = TWCP_NONE;
  switch (info.bMode) {
    case kXferModeBW:
      mImageInfo.PixelType = TWPT_BW;
      mImageInfo.SamplesPerPixel = 1;
      mImageInfo.BitsPerSample[0] = 1;
      break;
    case kXferModeGray:
      mImageInfo.PixelType = TWPT_GRAY;
      mImageInfo.SamplesPerPixel = 1;
      mImageInfo.BitsPerSample[0] = 8;
      break;
    default:
      mImageInfo.PixelType = TWPT_RGB;
      mImageInfo.SamplesPerPixel = 3;
      mImageInfo.BitsPerSample[0] = mImageInfo.BitsPerSample[1] = mImageInfo.BitsPerSample[2] = 8;
      break;
  }
  dsLog("PixelType", kLogBlank, 1, mImageInfo.PixelType);
  dsLog("BitsPerPixel", kLogBlank, 1, mImageInfo.BitsPerPixel);
  dsLog("Resolution", kLogBlank, 1, info.wXRes);
  dsLog("Width", kLogBlank, 1, info.dwWidth);
  dsLog("Length", kLogBlank, 1, info.dwLength);
  dsLog("Compression", kLogBlank, 1, 0);
  dsLog("XferBuffer size", kLogBlank, 1, batch.allocSize);
  dsLog("GetImageInfo", kLogOut, 1, kLogNoData);
  // 10.
  const int64_t error = scanObject->scannerError();
  if (!pageError && error == 0 && processingError == 0) {
    imageInfoGo = true;
  } else {
    dsLog("Error", kLogBlank, 0,
          "Scanner error " + std::to_string(error) + " Processing error " +
              std::to_string(processingError));
    lastScannerError = error;
    const int done = scanObject->scanPageDone();
    // A page finished before the error is still delivered; the error shows after it.
    if (!pageError && processingError == 0 && done != 0 && done >= xferPageNumber &&
        batch.pXferBuffer != nullptr) {
      imageInfoGo = true;
    } else {
      scanInterrupt = true;
      scanThread.poke();
    }
  }
  return TWRC_SUCCESS;
}

// ---- DAT_IMAGEINFO ----

TW_UINT16 TezFRLDS::imageInfo(TW_IDENTITY*, TW_UINT16 msg, TW_IMAGEINFO* info) {
  if (msg != MSG_GET) return fail(TWCC_BADPROTOCOL);
  if (mCurrentState == TWAIN_STATE_XFERREADY) {
    if (batchGone()) return fail(TWCC_SEQERROR);
    getImageInfo();
    // No page to describe: the scanner's condition, not a description of another image.
    if (pageStalled && !imageInfoGo) {
      gConditionCode = TWCC_OPERATIONERROR;
      setConditionCode(lastScannerError);
      return TWRC_FAILURE;
    }
  } else if (mCurrentState != TWAIN_STATE_TRANSFERRING) {
    return fail(TWCC_SEQERROR);
  }
  *info = mImageInfo;
  return TWRC_SUCCESS;
}

}  // namespace ferrolite
