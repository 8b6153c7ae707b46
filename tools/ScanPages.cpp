#include "tools/ScanPages.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <numeric>

#include "vantrel/scan_parameters.h"
#include "vantrel/scan_records.h"
#include "vantrel/status_codes.h"

namespace vtclient {
namespace {

constexpr uint32_t kBaseResolution = 300;  // the unit of the area: 1/300 inch
constexpr double kMillimetresPerInch = 25.4;
constexpr uint32_t kPixelBoundary = 8;  // whole bytes of lineart, when the scanner names none
constexpr uint32_t kCtrlPageMode = 0x1;
constexpr uint32_t kCtrlFixedLength = 0x2;
constexpr uint32_t kUnknownLength = 0xFFFFFFFF;
constexpr long kCallbackGoOn = 0;
// A page that does not end in this time is a scanner that stopped answering.
constexpr auto kPageTimeout = std::chrono::seconds(120);

uint32_t Units(double millimetres) {
  return static_cast<uint32_t>(millimetres / kMillimetresPerInch * kBaseResolution + 0.5);
}

// The pixel step the scanner asks of a line in the settings' mode, from its ability record,
// never below whole bytes.
uint32_t PixelBoundary(KrLibrary& kr, uint32_t ctrl, uint32_t* handle, const ScanSettings& s) {
  DeviceAbility* ability = nullptr;
  uint32_t bound = 0;
  if (kr.KRGetDeviceAbility(ctrl, handle, &ability) == 0 && ability != nullptr) {
    bound = s.colour == ScanColour::Lineart ? ability->LineartPixelBound
            : s.colour == ScanColour::Grey  ? ability->GrayPixelBound
                                            : ability->ColorPixelBound;
  }
  FreeAbility(kr, ctrl, ability);
  if (bound == 0) return kPixelBoundary;
  // A step that is a whole number of bytes in every mode.
  return bound % kPixelBoundary == 0 ? bound
                                     : bound * kPixelBoundary / std::gcd(bound, kPixelBoundary);
}

SCANPARAMETER_UNION Parameters(const ScanSettings& s, uint32_t pixelBoundary) {
  SCANPARAMETER_UNION p;
  std::memset(&p, 0, sizeof p);
  p.Version = 200;
  p.Size = 116;
  p.BaseRes = kBaseResolution;
  p.Left = Units(s.left);
  p.Top = Units(s.top);
  p.Width = Units(s.width);
  // A page as long as its sheet: the length is as open as the line count.
  p.Length = s.toEndOfPage ? kUnknownLength : Units(s.length);
  p.XRes = p.YRes = static_cast<uint16_t>(s.resolution);
  const uint32_t channels = s.colour == ScanColour::Colour ? 3 : 1;
  p.BitsPerPixel = static_cast<uint8_t>(s.colour == ScanColour::Lineart ? 1 : s.depth * channels);
  p.ScanMode = s.colour == ScanColour::Lineart ? 0 : s.colour == ScanColour::Grey ? 2 : 4;
  p.ScanMethod = s.source == ScanSource::Front ? 1 : s.source == ScanSource::Back ? 5 : 4;
  p.PixelNum = p.Width * s.resolution / kBaseResolution / pixelBoundary * pixelBoundary;
  p.LineNum = s.toEndOfPage ? kUnknownLength : p.Length * s.resolution / kBaseResolution;
  p.BytesPerLine = p.PixelNum * p.BitsPerPixel / 8;
  p.CtrlMode = (s.pageMode ? kCtrlPageMode : 0) | (s.toEndOfPage ? 0 : kCtrlFixedLength);
  p.JobPages = s.pages;
  p.Highlight = 255;
  p.Threshold = 128;
  return p;
}

// The page being delivered: the callback hands its bytes to the consumer, the client's thread
// waits for its end. Nothing reaches the consumer once the page has ended.
class PageSink {
 public:
  static long Callback(uint32_t, uint32_t* handle, uint8_t* data, uint32_t size, long, long,
                       STATUSLIST* list) {
    return Current(handle)->Take(data, size, list);
  }
  explicit PageSink(uint32_t* handle) { Register(handle, this); }
  ~PageSink() { Register(nullptr, nullptr); }

  void Begin(PageConsumer* consumer) {
    std::lock_guard lock(m_);
    consumer_ = consumer;
    refused_ = false;
    ended_ = false;
    status_ = 0;
  }
  // False when the page did not end in time.
  bool WaitForEnd() {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, kPageTimeout, [&] { return ended_; });
  }
  // The consumer gets nothing more of this page.
  void Detach() {
    std::lock_guard lock(m_);
    consumer_ = nullptr;
  }
  long status() {
    std::lock_guard lock(m_);
    return status_;
  }
  // The consumer refused the page's bytes.
  bool refused() {
    std::lock_guard lock(m_);
    return refused_;
  }

 private:
  // One job at a time in this program: the sink is found by the handle pointer it was given.
  static void Register(uint32_t* handle, PageSink* sink) {
    std::lock_guard lock(RegistryLock());
    Registered() = {handle, sink};
  }
  static PageSink* Current(uint32_t*) {
    std::lock_guard lock(RegistryLock());
    return Registered().second;
  }
  static std::mutex& RegistryLock() {
    static std::mutex m;
    return m;
  }
  static std::pair<uint32_t*, PageSink*>& Registered() {
    static std::pair<uint32_t*, PageSink*> r{nullptr, nullptr};
    return r;
  }

  long Take(const uint8_t* data, uint32_t size, const STATUSLIST* list) {
    std::lock_guard lock(m_);
    if (data != nullptr && size != 0xFFFFFFFF && size != 0 && !ended_ && !refused_ &&
        consumer_ != nullptr) {
      refused_ = !consumer_->Bytes(data, size);
    }
    for (int i = 0; i < STATUSLIST_CODES && list->Status[i] != 0; ++i) {
      const long code = static_cast<long>(list->Status[i]);
      if (code == krstatus::kEndOfPage || code == krstatus::kEndOfFile) {
        ended_ = true;
      } else if (status_ == 0 && code != krstatus::kMultiFeed && code != krstatus::kSkew &&
                 code != krstatus::kBlankPage) {
        // An error ends the page; the warnings (multi-feed, skew, blank page) do not.
        status_ = code;
        ended_ = true;
      }
    }
    if (ended_) cv_.notify_all();
    return kCallbackGoOn;
  }

  std::mutex m_;
  std::condition_variable cv_;
  PageConsumer* consumer_ = nullptr;
  bool refused_ = false;
  bool ended_ = false;
  long status_ = 0;
};

// Gathers each page whole for a client that takes pages complete.
class WholePages final : public PageConsumer {
 public:
  explicit WholePages(const std::function<bool(const ScannedPage&)>& page) : page_(page) {}
  bool Begin(const ScannedPage&) override {
    data_.clear();
    return true;
  }
  bool Bytes(const uint8_t* data, size_t size) override {
    data_.insert(data_.end(), data, data + size);
    return true;
  }
  bool End(const ScannedPage& page) override {
    ScannedPage whole = page;
    whole.image.data = std::move(data_);
    data_.clear();
    return page_(whole);
  }
  void Drop() override { data_.clear(); }

 private:
  const std::function<bool(const ScannedPage&)>& page_;
  std::vector<uint8_t> data_;
};

}  // namespace

ScanOutcome RunScanJob(KrLibrary& kr, uint32_t ctrl, uint32_t* handle, const ScanSettings& s,
                       PageConsumer& consumer) {
  ScanOutcome out;
  auto fail = [&](long status, const char* call) {
    out.status = status;
    out.call = call;
    return status;
  };
  if (long r = kr.KRStartJob(ctrl, handle); r != 0) {
    fail(r, "KRStartJob");
    return out;
  }
  SCANPARAMETER_UNION p = Parameters(s, PixelBoundary(kr, ctrl, handle, s));
  if (long r = kr.KRSetParameter(ctrl, handle, &p); r != 0) {
    fail(r, "KRSetParameter");
    kr.KRStopJob(ctrl, handle);
    return out;
  }
  PageSink sink(handle);
  const bool duplex = s.source == ScanSource::Duplex;
  bool stopped = false;
  while (!stopped && (s.pages == 0 || out.pages < s.pages)) {
    ScannedPage scanned;
    scanned.number = out.pages + 1;
    scanned.sheet = duplex ? out.pages / 2 + 1 : out.pages + 1;
    scanned.back = s.source == ScanSource::Back || (duplex && out.pages % 2 == 1);
    // The page as the settings make it; one as long as its sheet learns its height at its end.
    scanned.image.width = p.PixelNum;
    scanned.image.height = s.toEndOfPage ? 0 : p.LineNum;
    scanned.image.bytesPerLine = p.BytesPerLine;
    scanned.image.bitsPerPixel = p.BitsPerPixel;
    scanned.image.resolution = s.resolution;
    if (!consumer.Begin(scanned)) {
      out.call = "output";
      break;
    }
    sink.Begin(&consumer);
    if (long r = kr.KRStartScan(ctrl, handle, PageSink::Callback, s.blockSize); r != 0) {
      sink.Detach();
      consumer.Drop();
      // An empty feeder after the first page is the job's normal end.
      if (!(r == krstatus::kNoPaper && out.pages > 0)) fail(r, "KRStartScan");
      break;
    }
    if (!sink.WaitForEnd()) {
      sink.Detach();
      kr.KRStopScan(ctrl, handle, 1);
      consumer.Drop();
      fail(krstatus::kHandshakeTimeout, "the page (it did not end in time)");
      break;
    }
    sink.Detach();
    void* info = nullptr;
    const long infoStatus = kr.KRRequestImageInfo(ctrl, handle, &info);
    if (infoStatus == 0 && info != nullptr) {
      const auto* i = static_cast<const ImageInformation*>(info);
      scanned.image.width = i->Width;
      scanned.image.height = i->Height;
      scanned.image.bytesPerLine = i->BytesPerLine;
    }
    if (info != nullptr) kr.KRMemFree(ctrl, info);
    const long pageStatus = sink.status();
    const long stop = kr.KRStopScan(ctrl, handle, 0);
    // Only a page the driver's end of page called good is kept.
    const long bad = pageStatus != 0 ? pageStatus : infoStatus != 0 ? infoStatus : stop;
    if (bad != 0) {
      consumer.Drop();
      fail(bad, pageStatus != 0   ? "the page"
                : infoStatus != 0 ? "KRRequestImageInfo"
                                  : "KRStopScan");
      break;
    }
    ++out.pages;
    const bool refused = sink.refused();
    if (refused) consumer.Drop();
    if (refused || !consumer.End(scanned)) {
      out.call = "output";
      kr.KRStopScan(ctrl, handle, 1);
      break;
    }
    long sensor = 0;
    uint8_t paper = 0;
    // Between the sides of a sheet the feeder's state is that of the sheet's front.
    const bool sheetDone = !duplex || out.pages % 2 == 0;
    if (sheetDone && kr.KRSensorStatus(ctrl, handle, &sensor, &paper, 0) == 0 && paper == 0)
      stopped = true;
  }
  const long end = kr.KRStopJob(ctrl, handle);
  if (out.status == 0 && end != 0 && out.call[0] == 0) fail(end, "KRStopJob");
  return out;
}

ScanOutcome RunScanJob(KrLibrary& kr, uint32_t ctrl, uint32_t* handle, const ScanSettings& s,
                       const std::function<bool(const ScannedPage&)>& page) {
  WholePages whole(page);
  return RunScanJob(kr, ctrl, handle, s, whole);
}

}  // namespace vtclient
