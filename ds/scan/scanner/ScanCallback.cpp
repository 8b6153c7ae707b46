#include "ds/scan/scanner/ScanCallback.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "ds/scan/common/TezFRLCommon.h"

namespace ferrolite {

ScanPageState gScanPage;

void ScanPageState::setStatus(int64_t status) {
  {
    std::lock_guard lock(statusLock);
    lGetImageStatus.store(status);
  }
  statusChanged.notify_all();
}

void ScanPageState::clearStatusIf(int64_t seen) {
  std::lock_guard lock(statusLock);
  lGetImageStatus.compare_exchange_strong(seen, kPageRunning);
}

bool ScanPageState::waitForStatus(std::chrono::milliseconds timeout) {
  std::unique_lock lock(statusLock);
  return statusChanged.wait_for(lock, timeout, [this] { return lGetImageStatus.load() != 0; });
}

void ScanPageState::clearPageCounters() {
  isBlankPage = false;
  isImageEOF = false;
  onePageDone = false;
  scanReceived = 0;
  scanLines = 0;
  getImageSize = 0;
  exeCallback = false;
}

namespace {

// The driver marks "no count" with -1 (an error block carries no data).
constexpr uint32_t kNoByteCount = 0xFFFFFFFFu;

void CallbackLog(std::string_view name, std::string_view status, int ok,
                 const TezFRLCommon::LogData& data) {
  if (gKrCommon) gKrCommon->outputCallbackLog(name, status, ok, data);
}

// The buffer holds `needed` bytes afterwards, grown in whole steps; false when it cannot be.
bool GrowPageBuffer(ScanPageState& page, uint64_t needed) {
  uint64_t size = uint64_t(page.gScanSize) + kPageBufferStep;
  while (size < needed) size += kPageBufferStep;
  if (size > UINT32_MAX) return false;
  auto* grown = static_cast<uint8_t*>(std::realloc(page.gPageBuffer, size_t(size)));
  if (grown == nullptr) return false;
  page.gPageBuffer = grown;
  page.gScanSize = uint32_t(size);
  return true;
}

}  // namespace

long GetScanImage(uint32_t /*ctrlId*/, uint32_t* /*phDevice*/, uint8_t* pData,
                  uint32_t dwReceivedSize, long lReceivedLines, long /*lReceivedPixels*/,
                  STATUSLIST* pStatusList) {
  ScanPageState& page = gScanPage;
  const bool hasCount = dwReceivedSize != kNoByteCount;
  const uint32_t bytes = hasCount ? dwReceivedSize : 0;
  page.exeCallback = true;
  page.onePageDone = false;
  page.getImageSize += bytes;
  if (lReceivedLines > 0) page.scanLines += uint32_t(lReceivedLines);

  const int pageNumber = page.gScanPages.load();
  if (pageNumber != page.iScanPages.load()) {
    CallbackLog("------------- Scanning page ------------- ", kLogBlank, 1, pageNumber);
    page.iScanPages = pageNumber;
  }
  const int64_t firstCode = pStatusList != nullptr ? pStatusList->Status[0] : 0;
  CallbackLog("GetScanImage", kLogIn, 1, firstCode);
  CallbackLog("Info", kLogBlank, 1,
              "size = " + std::to_string(bytes) +
                  ", received = " + std::to_string(page.scanReceived.load()) +
                  ", lines = " + std::to_string(lReceivedLines));

  // The status list: flags first; the page end and errors are acted on after the data is in.
  bool pageEnd = false;
  bool blank = false;
  bool multifeed = false;
  const char* lastName = "S_SUCCESS";
  if (firstCode != 0) {
    for (int i = 0; i < STATUSLIST_CODES && pStatusList->Status[i] != 0; ++i) {
      switch (pStatusList->Status[i]) {
        case kStatusMultifeed:
          multifeed = true;
          page.multifeedOccur = true;
          lastName = "S_MULTIFEED";
          break;
        case kStatusBlankPaper:
          blank = true;
          pageEnd = true;
          lastName = "S_BLANKPAPER";
          break;
        case kStatusEndOfFile:
          page.isImageEOF = true;
          pageEnd = true;
          lastName = "S_EOF";
          break;
        case kStatusEndOfPage:
          page.onePageDone = true;
          pageEnd = true;
          lastName = "S_EOP";
          break;
        default:
          break;
      }
    }
  }
  CallbackLog(lastName, kLogBlank, 1, kLogNoData);

  auto out = [&](long result) {
    CallbackLog("GetScanImage", kLogOut, 1,
                "scanTotal = " + std::to_string(page.scanTotal.load()) +
                    ", scanReceived = " + std::to_string(page.scanReceived.load()) +
                    ", scanLines = " + std::to_string(page.scanLines.load()) +
                    ", lRet = " + std::to_string(result) +
                    ", lGetImageStatus = " + std::to_string(page.lGetImageStatus.load()));
    return result;
  };

  if (page.gApCacelScan) {
    page.setStatus(kPageCancel);
    CallbackLog("S_APCANCEL", kLogBlank, 1, kLogNoData);
    return out(kCallbackCancel);
  }

  // The block's data goes in before its status ends or fails the page: a block that carries a
  // lone message (a multi-feed) still carries its lines.
  if (pData != nullptr && bytes > 0) {
    std::lock_guard lock(page.bufferLock);
    const uint64_t received = page.scanReceived.load();
    if (received + bytes > page.gScanSize && !GrowPageBuffer(page, received + bytes)) {
      page.setStatus(kPageCancel);
      return out(kCallbackCancel);
    }
    std::memcpy(page.gPageBuffer + received, pData, bytes);
    page.scanReceived = uint32_t(received + bytes);
  }

  if (firstCode != 0 && !pageEnd) {
    page.setStatus(firstCode);
    // A positive code ends the page's delivery like an error: returned as it is, 2 would
    // cancel the whole job.
    return out(firstCode < 0 && multifeed ? kCallbackGoOn : kCallbackPageDone);
  }
  if (pageEnd || page.scanReceived.load() >= page.scanTotal.load()) {
    if (blank) page.isBlankPage = true;
    page.setStatus(kPageEnd);
    return out(kCallbackPageDone);
  }
  return out(kCallbackGoOn);
}

}  // namespace ferrolite
