#pragma once
// The scan thread of a batch and the flags it shares with the host's thread. The host asks for a
// page (request), the thread takes the request and scans it; a request made while a page is
// being scanned is kept for the next round, never lost. stop() wakes the thread and joins it;
// the destructor does the same, so no thread outlives its owner.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "ds/scan/records/XferImageInfo.h"

namespace ferrolite {

class ScanThread {
 public:
  ScanThread() = default;
  ~ScanThread() { stop(); }
  ScanThread(const ScanThread&) = delete;
  ScanThread& operator=(const ScanThread&) = delete;

  // Starts `body` on a new thread with the first page already asked for. The caller has
  // stopped the previous thread.
  void start(std::function<void()> body) {
    stopping_ = false;
    left_ = false;
    goEvent_ = true;
    stillRunning_ = true;  // the first page counts as running before the thread is up
    thread_ = std::thread([this, body = std::move(body)] {
      body();
      stillRunning_ = false;
      left_ = true;
    });
  }
  // Sets the stop flag, wakes the thread and joins it; nothing when none runs.
  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  bool exists() const { return thread_.joinable(); }

  // ---- host's side ----
  void request() {
    {
      std::lock_guard lock(mutex_);
      goEvent_ = true;
    }
    wake_.notify_all();
  }
  bool requested() const { return goEvent_.load(); }
  bool stillRunning() const { return stillRunning_.load(); }
  // The thread has left its loop for good (or never started).
  bool left() const { return left_.load() || !thread_.joinable(); }

  // ---- thread's side ----
  // Waits for the next request, then takes it and marks the page running; false when the thread
  // is to stop (stop(), or `leave` true at a wake-up).
  bool takeRequest(const std::function<bool()>& leave) {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] { return goEvent_.load() || stopping_ || leave(); });
    if (stopping_ || leave()) return false;
    goEvent_ = false;
    stillRunning_ = true;
    return true;
  }
  // The first page's request, taken without waiting.
  void takeFirst() { goEvent_ = false; }
  void pageEnded() { stillRunning_ = false; }
  bool stopping() const {
    std::lock_guard lock(mutex_);
    return stopping_;
  }
  // Wakes the thread so that it looks at its leave condition again.
  void poke() {
    { std::lock_guard lock(mutex_); }
    wake_.notify_all();
  }

 private:
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::atomic<bool> goEvent_{false};       // scanGoEvent: a page is asked for
  std::atomic<bool> stillRunning_{false};  // scannerStillRunning: a page is being scanned
  std::atomic<bool> left_{true};
};

// What a batch keeps between DAT_IMAGEINFO, the transfers and the end of each transfer. The image
// buffers are malloc'd (the pipeline may replace pXferBuffer) and the data source's own; they
// change hands only on the host's thread.
struct ScanThreadState {
  uint32_t bytesTransfered = 0;         // of the current image, by memory transfer
  std::atomic<bool> scanDone{false};    // the page being delivered was the last
  std::atomic<bool> onePageDone{true};  // the next image needs a new page
  int32_t currentImageNumber = 1;       // from 1
  uint8_t* pXferBuffer = nullptr;
  uint8_t* pMultistreamBuffer = nullptr;
  uint32_t allocSize = 0, multiferSize = 0;
  XferImageInfo xferImageInfo{};  // the current image
  XferImageInfo pageImageInfo{};  // the page it comes from
  int frontCount = 1, rearCount = 0;
  bool multistreamMode = false;
  bool frontSide = true;
  bool fanfold = false;
  int flatbedRemnantImage = 0;
  std::chrono::steady_clock::time_point xferStart{};
};

}  // namespace ferrolite
