#pragma once
// A driver with one simulated scanner opened through the exports, for the scan engine's tests:
// the engine's exports by record, and the model object swapped for one with other features.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "DeviceFixture.h"
#include "SupportedModel.h"
#include "drv/device/CScanner.h"
#include "drv/device/ScannerModels.h"
#include "drv/platform/KrThread.h"
#include "tests/support/Patience.h"
#include "tests/support/ThreadCount.h"

namespace enginefix {

using devicefix::kCtrl;
using devicefix::Patch;
using Bytes = std::vector<uint8_t>;

class EngineTest : public devicefix::DeviceTest {
 protected:
  void TearDown() override {
    if (m_original) {
      delete Item()->pScanner;
      Item()->pScanner = m_original.release();
    }
    DeviceTest::TearDown();
  }

  // A driver on a bus of its own with one scanner of this description, opened; a test may
  // call it again for the next case (the earlier driver and bus go first).
  sim::SimScanner& OpenAlone(sim::Config config = {}) {
    TearDown();
    m_bus.reset();
    m_bus = std::make_unique<simhelp::InstalledBus>();
    sim::SimScanner& s = OpenOn(*m_bus, config);
    s.ClearPrepared();
    return s;
  }
  // The same with raw pages and this many sheets in the feeder.
  sim::SimScanner& OpenRaw(uint32_t sheets, sim::Config config = {}) {
    config.profile = sim::ImageProfile::Raw;
    config.sheets = sheets;
    return OpenAlone(config);
  }
  sim::SimScanner& OpenWith(std::vector<sim::InquiryPatch> patches) {
    sim::Config config;
    config.inquiryPatches = std::move(patches);
    return OpenAlone(config);
  }

  // The opened device's model object becomes the base model with the supported family's traits,
  // these features and the same inquiry data, so a test reaches what the supported model's
  // features leave out.
  CScanner* UseFeatures(std::vector<Device_Features> features) {
    return UseModel<CScanner>(std::move(features));
  }
  // The same with a model class of the test's (built from the traits, the features and `args`).
  template <class Model, class... Args>
  CScanner* UseModel(std::vector<Device_Features> features, Args... args) {
    features.resize(kFeatureListLength, kFeatureNone);
    m_features = features;
    return Replace(new Model(CQM310::kTraits, m_features.data(), args...));
  }
  // The same with a model class of the device table, its own traits and features.
  template <class Model>
  CScanner* UseModelClass() {
    return Replace(Model::Create());
  }
  CScanner* Replace(CScanner* replacement) {
    CScanner* current = Item()->pScanner;
    replacement->SetInquiryData(current->InquiryData(), kInquiryCopySize);
    SCANPARAMETER_UNION ap;
    current->GetAPScanParameter(&ap);
    replacement->SetAPScanParameter(&ap);
    if (!m_original) {
      m_original.reset(current);
    } else {
      delete current;
    }
    Item()->pScanner = replacement;
    return replacement;
  }

  long SetParameter(SCANPARAMETER_UNION p) { return KRSetParameter(kCtrl, &handle, &p); }
  long SetHW(HWIMAGEPROCPARAMETER_UNION p, int side) {
    return KRSetHWProcess(kCtrl, &handle, &p, side);
  }
  long SetGamma(Bytes table, uint32_t filter, uint32_t head) {
    return KRSetGamma(kCtrl, &handle, table.data(), static_cast<uint32_t>(table.size()), 8, filter,
                      head);
  }

  // A client's job: pages until the feeder is empty (or `pages` were asked for); with
  // `whileJobRuns`, until the driver ended the job (the client asks the feeder nothing).
  struct Job;
  Job RunJob(const SCANPARAMETER_UNION& p, long blockSize, size_t pages = 16,
             bool whileJobRuns = false);

  std::unique_ptr<simhelp::InstalledBus> m_bus;
  std::unique_ptr<CScanner> m_original;
  std::vector<Device_Features> m_features;
};

// The supported model's feature list without one feature.
inline std::vector<Device_Features> SupportedFeaturesWithout(Device_Features left) {
  std::vector<Device_Features> features;
  for (uint32_t i = 0; i < kFeatureListLength && CQM310::kTraits.features[i] != kFeatureNone; ++i)
    if (CQM310::kTraits.features[i] != left) features.push_back(CQM310::kTraits.features[i]);
  return features;
}

// The inquiry byte that says the device takes a JPEG window (bit 0x08), set: with the supported
// model's features without its extended modes, a model that re-encodes for a JPEG client.
inline sim::InquiryPatch JpegWindowPatch() {
  constexpr uint32_t kJpegSettings = 93;
  return Patch(kJpegSettings, uint8_t(SupportedInquiryBytes()[kJpegSettings] | 0x08));
}

// A record of the version and size a client gives, the rest zero.
inline HWIMAGEPROCPARAMETER_UNION HWRecord() {
  HWIMAGEPROCPARAMETER_UNION p;
  std::memset(&p, 0, sizeof p);
  p.Version = 200;
  p.Size = 132;
  return p;
}

// A small page the supported model takes as it is: 8-bit grey at 300 dpi, one-sided feeder,
// an inch square.
inline SCANPARAMETER_UNION GreyPage() {
  SCANPARAMETER_UNION p = ColourLetter();
  p.ScanMode = 2;
  p.BitsPerPixel = 8;
  p.ScanMethod = 1;
  p.Width = 304;
  p.Length = 300;
  p.PixelNum = 304;
  p.LineNum = 300;
  p.BytesPerLine = 304;
  return p;
}

// A ramp table of 256 one-byte entries, value = (i + shift) & 0xFF.
inline Bytes Ramp(uint8_t shift = 0) {
  Bytes t(256);
  for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<uint8_t>(i + shift);
  return t;
}

// A small page the supported model scans as it is, without conversion: 8-bit grey at 300 dpi,
// one-sided feeder, fixed length, 304 pixels wide and `lines` long.
inline SCANPARAMETER_UNION RawGreyPage(uint32_t lines = 100) {
  SCANPARAMETER_UNION p = GreyPage();
  p.Length = lines;
  p.LineNum = lines;
  return p;
}

// A small grey page the client wants at `res` dpi, `width` pixels and `lines` lines at 300 dpi
// wide and long (a resolution the scanner lacks is converted in software).
inline SCANPARAMETER_UNION GreyPageAt(uint16_t res, uint32_t width, uint32_t lines) {
  SCANPARAMETER_UNION p = RawGreyPage(lines);
  p.XRes = p.YRes = res;
  p.Width = width;
  p.PixelNum = width * res / 300 / 8 * 8;
  p.LineNum = lines * res / 300;
  p.BytesPerLine = p.PixelNum;
  return p;
}

// What the client's callback received, call by call, for the pages of a job. The callback runs
// on the driver's reader thread; the test reads what it kept after KRStopScan joined it, or
// waits for the end of a page under the lock.
class Receiver {
 public:
  struct Call {
    uint32_t size;
    long lines;
    long pixels;
    bool hasData;
    std::array<int64_t, STATUSLIST_CODES> codes;
  };
  struct Page {
    Bytes data;
    std::vector<Call> calls;
    bool ended = false;  // end of page, end of file or an error arrived
  };

  Receiver() { Current() = this; }
  ~Receiver() { Current() = nullptr; }
  static long Callback(uint32_t, uint32_t*, uint8_t* data, uint32_t size, long lines, long pixels,
                       STATUSLIST* list) {
    return Current()->Take(data, size, lines, pixels, list);
  }

  // Begins the next page (before its KRStartScan).
  void NextPage() {
    std::lock_guard lock(m_);
    pages_.emplace_back();
  }
  // Waits until the current page ended; false after a generous bound (a hang fails the test).
  bool WaitForPageEnd() {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, testsupport::kPatience,
                        [&] { return !pages_.empty() && pages_.back().ended; });
  }
  std::vector<Page> Pages() {
    std::lock_guard lock(m_);
    return pages_;
  }
  // What the callback answers: 0 goes on; `answerAfter` calls into a page it answers `answer`.
  void AnswerAfter(size_t calls, long answer) {
    std::lock_guard lock(m_);
    answerAfter_ = calls;
    answer_ = answer;
  }
  // Runs inside the callback (on the reader thread), before the answer.
  std::function<void()> inside;

 private:
  static Receiver*& Current() {
    static Receiver* current = nullptr;
    return current;
  }
  long Take(uint8_t* data, uint32_t size, long lines, long pixels, STATUSLIST* list) {
    if (inside) inside();
    std::lock_guard lock(m_);
    if (pages_.empty()) pages_.emplace_back();
    Page& page = pages_.back();
    Call call{size, lines, pixels, data != nullptr, {}};
    for (size_t i = 0; i < STATUSLIST_CODES; ++i) call.codes[i] = list->Status[i];
    page.calls.push_back(call);
    if (data != nullptr && size != 0xFFFFFFFF) page.data.insert(page.data.end(), data, data + size);
    for (int64_t code : call.codes)
      if (code != 0 && code != -3101 && code != -2033 && code != -2039) page.ended = true;
    if (page.ended) cv_.notify_all();
    if (answerAfter_ != 0 && page.calls.size() >= answerAfter_) {
      page.ended = true;
      cv_.notify_all();
      return answer_;
    }
    return 0;
  }

  std::mutex m_;
  std::condition_variable cv_;
  std::vector<Page> pages_;
  size_t answerAfter_ = 0;
  long answer_ = 0;
};

// CtrlMode bits of the jobs: page mode and fixed length.
constexpr uint32_t kCtrlPage = 0x1;
constexpr uint32_t kCtrlFixed = 0x2;

// The codes of one call's status list, up to its first 0.
inline std::vector<int64_t> CodesOf(const Receiver::Call& call) {
  std::vector<int64_t> codes;
  for (int64_t c : call.codes) {
    if (c == 0) break;
    codes.push_back(c);
  }
  return codes;
}

// The scanner holds the READ of image data after `skip` others until the test releases it.
inline sim::Fault HoldRead(uint32_t skip) {
  sim::Fault f;
  f.kind = sim::FaultKind::Hold;
  f.opcode = 0xA8;
  f.dataType = 0;
  f.skip = skip;
  return f;
}

// The image READ after `skip` others: the scanner takes it and stops answering.
inline sim::Fault SilentRead(uint32_t skip) {
  sim::Fault f = HoldRead(skip);
  f.kind = sim::FaultKind::Silent;
  return f;
}

// Threads of this process now (a joined thread that the system still lists is left out).
inline size_t ThreadCount() { return testsupport::threadCount(); }

// While it lives, thread creation succeeds `allowed` more times, then fails as the system's
// would.
class ThreadCreationLimit {
 public:
  explicit ThreadCreationLimit(int allowed) {
    Allowed() = allowed;
    SetKrThreadCreateHook(Ask);
  }
  ~ThreadCreationLimit() { SetKrThreadCreateHook(nullptr); }
  ThreadCreationLimit(const ThreadCreationLimit&) = delete;
  ThreadCreationLimit& operator=(const ThreadCreationLimit&) = delete;

 private:
  static std::atomic<int>& Allowed() {
    static std::atomic<int> allowed{0};
    return allowed;
  }
  static bool Ask() { return Allowed().fetch_sub(1) > 0; }
};

// What a job gave the client.
struct EngineTest::Job {
  long start = 0;
  std::vector<long> startScan;
  std::vector<long> stopScan;
  std::vector<ImageInformation> info;
  long stopJob = 0;
  std::vector<Receiver::Page> pages;
};

inline EngineTest::Job EngineTest::RunJob(const SCANPARAMETER_UNION& p, long blockSize,
                                          size_t pages, bool whileJobRuns) {
  Job job;
  Receiver receiver;
  job.start = KRStartJob(kCtrl, &handle);
  EXPECT_EQ(SetParameter(p), 0);
  for (size_t page = 0; page < pages; ++page) {
    receiver.NextPage();
    const long r = KRStartScan(kCtrl, &handle, Receiver::Callback, blockSize);
    job.startScan.push_back(r);
    if (r != 0) break;
    EXPECT_TRUE(receiver.WaitForPageEnd()) << "page " << page + 1;
    void* info = nullptr;
    EXPECT_EQ(KRRequestImageInfo(kCtrl, &handle, &info), 0);
    if (info != nullptr) {
      job.info.push_back(*static_cast<ImageInformation*>(info));
      KRMemFree(kCtrl, info);
    }
    job.stopScan.push_back(KRStopScan(kCtrl, &handle, 0));
    if (whileJobRuns) {
      if (!Item()->bJobRunning) break;
      continue;
    }
    long sensor = 0;
    uint8_t paper = 0;
    EXPECT_EQ(KRSensorStatus(kCtrl, &handle, &sensor, &paper, 0), 0);
    if (paper == 0) break;
  }
  job.stopJob = KRStopJob(kCtrl, &handle);
  job.pages = receiver.Pages();
  return job;
}

}  // namespace enginefix
