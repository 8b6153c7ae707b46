#pragma once
// The page that the driver's reader thread hands to the scan thread: the buffer the callback
// appends to, its counters and the page status, and the callback itself.
//
// Hand-over: the callback copies a block into the buffer and counts it, and then sets the page
// status; the scan thread waits for the status and reads the buffer only after it has seen the
// page end (or given up). Counters and flags are atomic; the buffer, its size and its size at
// page start change together under `bufferLock`, so that neither thread sees a buffer the other
// has just replaced.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "vantrel/scan_records.h"

namespace ferrolite {

// The page buffer grows in steps of this size.
inline constexpr uint32_t kPageBufferStep = 32u * 1024u * 1024u;

// Page status values besides a driver code: page running, page end, cancel or no memory.
inline constexpr int64_t kPageRunning = 0;
inline constexpr int64_t kPageEnd = 1;
inline constexpr int64_t kPageCancel = 2;

// Codes of the driver's status list that the callback acts on.
inline constexpr int64_t kStatusMultifeed = -3101;
inline constexpr int64_t kStatusBlankPaper = -2039;
inline constexpr int64_t kStatusEndOfFile = -2038;
inline constexpr int64_t kStatusEndOfPage = -2022;

// The callback's results.
inline constexpr long kCallbackGoOn = 0;
inline constexpr long kCallbackPageDone = 1;
inline constexpr long kCallbackCancel = 2;

struct ScanPageState {
  // Guarded by bufferLock. The buffer is malloc'd; the callback may realloc it.
  std::mutex bufferLock;
  uint8_t* gPageBuffer = nullptr;
  uint32_t gScanSize = 0;     // the buffer's size
  uint32_t gPageBufSize = 0;  // its size when the page started

  std::atomic<uint32_t> scanTotal{0};
  std::atomic<uint32_t> scanReceived{0};
  std::atomic<uint32_t> scanLines{0};
  std::atomic<uint32_t> getImageSize{0};
  std::atomic<int64_t> lGetImageStatus{0};
  std::atomic<bool> exeCallback{false};
  std::atomic<bool> onePageDone{false};
  std::atomic<bool> isImageEOF{false};
  std::atomic<bool> isBlankPage{false};
  std::atomic<bool> multifeedOccur{false};
  std::atomic<bool> gApCacelScan{false};
  std::atomic<int> gScanPages{1};
  std::atomic<int> iScanPages{0};

  // Wakes the scan thread's wait early when the status changes.
  std::mutex statusLock;
  std::condition_variable statusChanged;

  void setStatus(int64_t status);
  // Back to a running page, unless the callback has set another status since `seen`.
  void clearStatusIf(int64_t seen);
  // Waits up to `timeout` for a non-zero status; true when there is one.
  bool waitForStatus(std::chrono::milliseconds timeout);
  // Counters and flags of a new page (or segment) cleared; the buffer stays.
  void clearPageCounters();
};

extern ScanPageState gScanPage;

// The AP_CALLBACK given to KRStartScan.
long GetScanImage(uint32_t ctrlId, uint32_t* phDevice, uint8_t* pData, uint32_t dwReceivedSize,
                  long lReceivedLines, long lReceivedPixels, STATUSLIST* pStatusList);

}  // namespace ferrolite
