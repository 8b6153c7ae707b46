// The feeder scan's producer: the driver job page by page on a thread of its own, the driver's
// data callback that gathers each page, and the page images it queues for the consumer.
#include <cstring>
#include <string>

#include "ica/KR_ICA_Mark2_200.h"
#include "platform/foundation/SystemLog.h"

namespace icamodule {

using foundation::LogLevel;
using foundation::systemLogf;

std::atomic<bool> gCancelFromDevice{false};

namespace {

constexpr int kSetParameterRetries = 5;
constexpr uint32_t kErrorCount = 0xFFFFFFFF;  // the byte count of a callback that carries an error
constexpr uint32_t kGammaBits = 8;
constexpr uint32_t kFilters[] = {1, 2, 3};
constexpr uint32_t kBothHeads = 0;
constexpr long kWholePage = 0;
constexpr long kStopNormal = 0, kStopCancel = 1;
constexpr long kCallbackGoOn = 0, kCallbackPageEnded = 1;
constexpr uint32_t kImageTypeJpeg = 0x10000;
constexpr uint32_t kPixelTypeColour = 2;
constexpr int kSidesOfASheet = 2;

// The hand-over between the data callback and the producer (one scan at a time in the module).
// The callback appends the current pass's data and, at the delivery's end, names the final code
// and wakes the producer; the producer reads the passes only after that.
struct ScanCondition {
  std::mutex mutex;
  std::condition_variable signal;
  long name = 0;  // the final code of the delivery that ended
  bool bandIsDone = false;
  std::vector<std::vector<uint8_t>> passes;  // one per KRStartScan of the page
};
ScanCondition gScanCondition;

}  // namespace

long KR_ICA_Mark2_200::GetScanImage(uint32_t, uint32_t*, uint8_t* data, uint32_t size, long, long,
                                    STATUSLIST* status) {
  const long status0 = status ? long(status->Status[0]) : 0;
  const long status1 = status ? long(status->Status[1]) : 0;
  if (status0 != 0)
    systemLogf(LogLevel::notice, "%s,status->Status[0] = %ld\n", "GetScanImage", status0);
  // A page that ends with a message (a multi-feed, then the end of the page) keeps its data.
  const long final = status1 != 0 ? status1 : status0;
  std::lock_guard lock(gScanCondition.mutex);
  if (data && size != 0 && size != kErrorCount && isGoodStatus(final)) {
    if (gScanCondition.passes.empty()) gScanCondition.passes.emplace_back();
    gScanCondition.passes.back().insert(gScanCondition.passes.back().end(), data, data + size);
  }
  if (final == 0) return kCallbackGoOn;
  gScanCondition.name = final;
  gScanCondition.bandIsDone = true;
  gScanCondition.signal.notify_all();
  if (final == kStatusEndOfPage) return kCallbackPageEnded;
  if (final == kStatusReadAbort) gCancelFromDevice = true;
  return final;
}

long KR_ICA_Mark2_200::setParameterWithRetries(SCANPARAMETER_UNION* param) {
  long r = entries_._KRSetParameter(kModuleControllerId, &_hDevice, param);
  for (int retry = 0; r == kStatusLampNotReady && retry < kSetParameterRetries; ++retry) {
    std::this_thread::sleep_for(scanTiming_.retryPause);
    r = entries_._KRSetParameter(kModuleControllerId, &_hDevice, param);
  }
  return r;
}

void KR_ICA_Mark2_200::reportStatus(long status) {
  switch (status) {
    case kStatusMisfeed:
      missfeedMsg();
      break;
    case kStatusCoverOpen:
      adfErrMsg();
      break;
    case kStatusPaperJam:
      feederJamMsg();
      break;
    case kStatusReadAbort:
    case kStatusCallbackCancel:
      icaError_ = kICANoErr;  // a cancel is no error
      break;
    default:
      scannerErrMsg();
  }
}

void KR_ICA_Mark2_200::endJob(long r, long p) {
  if (!isGoodStatus(r) || !isGoodStatus(p)) {
    icaError_ = kICAScanFailedErr;
    if (!isGoodStatus(r)) reportStatus(r);
    if (!isGoodStatus(p)) reportStatus(p);
  }
  entries_._KRStopJob(kModuleControllerId, &_hDevice);
}

void KR_ICA_Mark2_200::scanThread(PageArray* pages) {
  // Whatever way the job ends, the consumer hears of it: the array closes and the done flag is
  // set, in this order.
  struct Done {
    KR_ICA_Mark2_200* self;
    PageArray* pages;
    ~Done() {
      pages->close();
      std::lock_guard lock(self->scanThreadMutex_);
      self->scanThreadDone_ = true;
      self->scanThreadCondition_.notify_all();
    }
  } done{this, pages};

  SCANPARAMETER_UNION param;
  if (!ICAParamToKRParam(&param)) {
    // A device record or a host setting that would divide by zero: no job at all.
    icaError_ = kICAScanFailedErr;
    scannerErrMsg();
    pages->append({kStatusParameterError, nullptr});
    return;
  }
  {
    std::lock_guard lock(gScanCondition.mutex);
    gScanCondition.name = 0;
    gScanCondition.bandIsDone = false;
    gScanCondition.passes.clear();
  }
  const bool jpeg = (ability_.ImageType & kImageTypeJpeg) != 0;
  const bool colour = pixelType() == kPixelTypeColour;
  const bool duplex = duplexEnabled() != 0 || duplexScanFromTessalineButton();
  int side = 0;
  uint8_t identity[256];
  for (int i = 0; i < 256; ++i) identity[i] = uint8_t(i);

  entries_._KRStartJob(kModuleControllerId, &_hDevice);
  long r = setParameterWithRetries(&param);
  long p = 0;
  if (r != 0) {
    entries_._KRStopScan(kModuleControllerId, &_hDevice, kStopCancel);
    pages->append({r, nullptr});
    endJob(r, p);
    return;
  }
  // The user's gamma is applied to the pages by the consumer, not by the device.
  for (uint32_t filter : kFilters)
    entries_._KRSetGamma(kModuleControllerId, &_hDevice, identity, sizeof identity, kGammaBits,
                         filter, kBothHeads);

  for (;;) {
    {
      std::lock_guard lock(gScanCondition.mutex);
      gScanCondition.passes.emplace_back();
    }
    r = entries_._KRStartScan(kModuleControllerId, &_hDevice, &GetScanImage, kWholePage);
    if (r == kStatusStartAgain) {
      std::lock_guard lock(gScanCondition.mutex);
      gScanCondition.passes.pop_back();
      if (cancelFromGUI_) break;
      std::this_thread::sleep_for(scanTiming_.retryPause);
      continue;
    }
    if (!isGoodStatus(r)) {
      pages->append({r, nullptr});
      break;
    }
    bool ended;
    {
      std::unique_lock lock(gScanCondition.mutex);
      ended = gScanCondition.signal.wait_for(lock, scanTiming_.pageTimeout,
                                             [] { return gScanCondition.bandIsDone; });
      gScanCondition.bandIsDone = false;
      p = gScanCondition.name;
    }
    if (!ended) {
      // The driver ended the delivery without its final call, or stopped delivering.
      systemLogf(LogLevel::error, "The page did not end in %lld ms\n",
                 static_cast<long long>(scanTiming_.pageTimeout.count()));
      entries_._KRStopScan(kModuleControllerId, &_hDevice, kStopCancel);
      p = kStatusPageTimeout;
      pages->append({p, nullptr});
      break;
    }
    if (p == kStatusCallbackCancel || p == kStatusReadAbort) {
      entries_._KRStopScan(kModuleControllerId, &_hDevice, kStopCancel);
      pages->append({r, nullptr});
      break;
    }
    if (!isGoodStatus(p)) {
      pages->append({r, nullptr});
      break;
    }
    r = entries_._KRStopScan(kModuleControllerId, &_hDevice, kStopNormal);
    if (!isGoodStatus(r)) {
      pages->append({r, nullptr});
      break;
    }
    if (p != kStatusEndOfPage) continue;  // the next pass goes on with the page

    std::vector<std::vector<uint8_t>> passes;
    {
      std::lock_guard lock(gScanCondition.mutex);
      passes.swap(gScanCondition.passes);
    }
    std::shared_ptr<PageImage> image =
        jpeg ? jpegPageImage(passes)
             : rawPageImage(std::move(passes), param.PixelNum, param.LineNum, param.BytesPerLine,
                            colour);
    if (!image) {
      // Data that does not make a page fails the scan rather than losing the page silently.
      p = kStatusParameterError;
      pages->append({p, nullptr});
      break;
    }
    pages->append({kStatusEndOfPage, std::move(image)});

    if (duplex && ++side != kSidesOfASheet) continue;  // the rear side first
    side = 0;
    if (cancelFromGUI_ || errorFromConsumer_) break;
    long sensor = 0;
    uint8_t paper = 1;
    if (entries_._KRSensorStatus(kModuleControllerId, &_hDevice, &sensor, &paper, 0) == 0 &&
        paper == 0) {
      pages->append({kStatusNoPaper, nullptr});
      break;
    }
  }
  endJob(r, p);
}

}  // namespace icamodule
