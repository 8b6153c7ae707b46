#include "tests/drv/explore/Explorer.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "DriverExports.h"
#include "SimHelpers.h"
#include "ThreadCount.h"
#include "drv/device/CUsbIO.h"
#include "sim/SimScanner.h"
#include "tests/drv/jpeg/oracle.h"
#include "tests/support/Patience.h"
#include "vantrel/kr_api.h"
#include "vantrel/status_codes.h"

namespace explore {
namespace {

constexpr uint32_t kCtrl = 0x2200;
constexpr uint32_t kBaseResolution = 300;
constexpr uint32_t kPixelBound = 32;  // the strictest of the scanner's pixel bounds (lineart)
constexpr uint32_t kUnknownLength = 0xFFFFFFFF;
constexpr uint16_t kCtrlPage = 0x1, kCtrlFixed = 0x2, kCtrlContinuous = 0x4;
constexpr long kCallbackCancel = 2;
// The decoder and libjpeg-turbo's fast transform differ by rounding only.
constexpr int kJpegTolerance = 6;
// The pipes' own limit each; the job has at most two, and the client's page and a work copy.
constexpr uint64_t kPipeLimit = 128ull << 20;
constexpr uint64_t kMemorySlack = 256ull << 20;
constexpr uint8_t kImageRead = 0xA8;
// The transport's time-out while the scanner stops answering: the scenario stands in for the
// long wait a person would see, and every other transfer of the job still has its own size's
// share on top.
constexpr uint32_t kSilentTimeoutMs = 500;
constexpr auto kMemorySample = std::chrono::milliseconds(20);

// Resident memory of the process in bytes.
uint64_t ResidentBytes() {
  std::ifstream status("/proc/self/statm");
  uint64_t size = 0, resident = 0;
  status >> size >> resident;
  return resident * uint64_t(sysconf(_SC_PAGESIZE));
}

// Ends the process when an armed call does not return in time, naming the scenario and the
// call; between calls it samples the process's memory.
class Watchdog {
 public:
  Watchdog(std::string reproduce, std::chrono::seconds bound)
      : reproduce_(std::move(reproduce)), bound_(bound), thread_([this] { Watch(); }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(m_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  void Arm(const char* call) {
    std::lock_guard lock(m_);
    call_ = call;
    deadline_ = std::chrono::steady_clock::now() + bound_;
    armed_ = true;
  }
  void Disarm() {
    std::lock_guard lock(m_);
    armed_ = false;
  }
  uint64_t PeakMemory() const { return peak_.load(); }

 private:
  void Watch() {
    std::unique_lock lock(m_);
    while (!done_) {
      cv_.wait_for(lock, kMemorySample);
      const uint64_t now = ResidentBytes();
      if (now > peak_.load()) peak_.store(now);
      if (armed_ && std::chrono::steady_clock::now() > deadline_) {
        std::fprintf(stderr, "explore: HANG: %s did not return within %lld s\n  reproduce: %s\n",
                     call_, static_cast<long long>(bound_.count()), reproduce_.c_str());
        std::fflush(stderr);
        std::_Exit(86);
      }
    }
  }

  const std::string reproduce_;
  const std::chrono::seconds bound_;
  std::mutex m_;
  std::condition_variable cv_;
  bool done_ = false;
  bool armed_ = false;
  const char* call_ = "";
  std::chrono::steady_clock::time_point deadline_;
  std::atomic<uint64_t> peak_{0};
  std::thread thread_;  // last: starts once the rest is set
};

// A call under the watchdog.
template <class F>
long Guarded(Watchdog& w, const char* call, F&& f) {
  w.Arm(call);
  const long r = f();
  w.Disarm();
  return r;
}

bool IsWarning(int64_t code) {
  return code == krstatus::kMultiFeed || code == krstatus::kSkew || code == krstatus::kBlankPage ||
         code == krstatus::kEopMultiFeed || code == krstatus::kEopBlankPage;
}
// What KRStopScan(0) answers for a page whose data is whole: a multi-feed or a blank page is
// reported, the page is the scanner's (a skew stops the page where it is reported).
bool IsGoodStop(long code) {
  return code == 0 || code == krstatus::kMultiFeed || code == krstatus::kEopMultiFeed ||
         code == krstatus::kBlankPage || code == krstatus::kEopBlankPage;
}
bool IsPageEnd(int64_t code) {
  return code == krstatus::kEndOfPage || code == krstatus::kEndOfFile;
}

// One client page as the callback received it.
struct Page {
  std::vector<uint8_t> data;
  std::vector<int64_t> codes;  // every status code of every call, in order
  bool ended = false;          // an end of page or an error came
  bool failed = false;         // an error code came
  long stop = 0;               // KRStopScan(0)
  bool stopped = false;        // KRStopScan(0) was called
  uint32_t infoHeight = 0;
};

// The client's side of a job: the callback on the driver's reader thread, the client's thread
// waiting for a page's end or for the point of its action.
class Client {
 public:
  explicit Client(const Scenario& s) : s_(s) {}

  static long Callback(uint32_t, uint32_t*, uint8_t* data, uint32_t size, long, long,
                       STATUSLIST* list) {
    Client* client = current_.load();
    if (client == nullptr) {
      // A call after the job's end: a thread of the job outlived it.
      ++stray_;
      return kCallbackCancel;
    }
    return client->Take(data, size, list);
  }
  static size_t Stray() { return stray_.exchange(0); }
  void Install() { current_.store(this); }
  void Uninstall() { current_.store(nullptr); }

  void BeginPage(uint32_t index) {
    std::lock_guard lock(m_);
    pages_.emplace_back();
    index_ = index;
  }
  // Waits for the page's end or, on the page of a mid-page action, its point.
  void WaitForPageOrPoint() {
    std::unique_lock lock(m_);
    cv_.wait(lock, [&] { return pages_.back().ended || point_; });
  }
  bool PointReached() {
    std::lock_guard lock(m_);
    return point_;
  }
  bool CancelAnswered() {
    std::lock_guard lock(m_);
    return cancelAnswered_;
  }
  void SetUnplugAt(uint32_t page, sim::SimScanner* scanner) {
    unplugPage_ = page;
    scanner_ = scanner;
  }
  Page& Last() { return pages_.back(); }  // the client's thread, between calls
  std::vector<Page> Pages() {
    std::lock_guard lock(m_);
    return pages_;
  }
  size_t Calls() {
    std::lock_guard lock(m_);
    return calls_;
  }

 private:
  long Take(uint8_t* data, uint32_t size, STATUSLIST* list) {
    std::lock_guard lock(m_);
    ++calls_;
    if (pages_.empty()) pages_.emplace_back();
    Page& page = pages_.back();
    const bool hasData = data != nullptr && size != 0xFFFFFFFF && size != 0;
    if (hasData) page.data.insert(page.data.end(), data, data + size);
    for (int i = 0; i < STATUSLIST_CODES && list->Status[i] != 0; ++i) {
      const int64_t code = list->Status[i];
      page.codes.push_back(code);
      if (IsPageEnd(code)) page.ended = true;
      if (!IsPageEnd(code) && !IsWarning(code)) page.ended = page.failed = true;
    }
    long answer = 0;
    if (hasData && index_ == unplugPage_ && scanner_ != nullptr) {
      scanner_->Unplug();
      scanner_ = nullptr;
    }
    const bool actionPage = s_.action != Action::None && index_ == s_.actionPage && !point_;
    const bool atPoint = s_.when == When::BeforeFirstByte || (s_.when == When::MidPage && hasData);
    if (actionPage && atPoint && s_.when != When::BetweenPages) {
      point_ = true;
      if (s_.action == Action::CallbackCancel) {
        cancelAnswered_ = true;
        answer = kCallbackCancel;
      }
    }
    cv_.notify_all();
    return answer;
  }

  static inline std::atomic<Client*> current_{nullptr};
  static inline std::atomic<size_t> stray_{0};
  const Scenario& s_;
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<Page> pages_;
  uint32_t index_ = 0;
  size_t calls_ = 0;
  bool point_ = false;
  bool cancelAnswered_ = false;
  uint32_t unplugPage_ = 0xFFFFFFFF;
  sim::SimScanner* scanner_ = nullptr;
};

SCANPARAMETER_UNION Parameters(const Scenario& s) {
  SCANPARAMETER_UNION p;
  std::memset(&p, 0, sizeof p);
  p.Version = 200;
  p.Size = 116;
  p.BaseRes = kBaseResolution;
  p.Width = s.area == Area::Tiny ? 128 : s.area == Area::Ordinary ? 608 : 2544;
  p.Length = s.area == Area::Tiny ? 48 : s.area == Area::Ordinary ? 600 : 3300;
  p.XRes = p.YRes = s.resolution;
  static const uint8_t kBits[] = {1, 8, 16, 24, 48};
  p.BitsPerPixel = kBits[size_t(s.colour)];
  p.ScanMode = s.colour == Colour::Lineart                                 ? 0
               : (s.colour == Colour::Grey8 || s.colour == Colour::Grey16) ? 2
                                                                           : 4;
  p.ScanMethod = s.source == Source::Front ? 1 : s.source == Source::Rear ? 5 : 4;
  p.PixelNum = p.Width * s.resolution / kBaseResolution / kPixelBound * kPixelBound;
  p.LineNum = s.toEndOfPage ? kUnknownLength : p.Length * s.resolution / kBaseResolution;
  p.BytesPerLine = p.PixelNum * p.BitsPerPixel / 8;
  p.CtrlMode =
      uint16_t((s.delivery == Delivery::Page ? kCtrlPage : 0) | (s.toEndOfPage ? 0 : kCtrlFixed) |
               (s.delivery == Delivery::Continuous ? kCtrlContinuous : 0));
  p.JobPages = s.jobPages;
  p.Highlight = 255;
  p.Threshold = 128;
  return p;
}

sim::SheetEventKind EventKind(Condition c) {
  switch (c) {
    case Condition::Jam:
      return sim::SheetEventKind::Jam;
    case Condition::MultiFeed:
      return sim::SheetEventKind::MultiFeed;
    case Condition::Skew:
      return sim::SheetEventKind::Skew;
    case Condition::CoverOpen:
      return sim::SheetEventKind::CoverOpen;
    case Condition::Misfeed:
      return sim::SheetEventKind::Misfeed;
    case Condition::HardwareCancel:
      return sim::SheetEventKind::HardwareCancel;
    case Condition::MultiFeedAtEnd:
      return sim::SheetEventKind::MultiFeedAtEnd;
    default:
      return sim::SheetEventKind::BlankPage;
  }
}

bool IsSheetEvent(Condition c) {
  return c != Condition::None && c != Condition::Unplug && c != Condition::Silent &&
         c != Condition::Slow;
}

sim::Config Description(const Scenario& s) {
  sim::Config c;
  c.serial = "SIMEXPLORE";
  c.profile = s.profile == Profile::Raw ? sim::ImageProfile::Raw : sim::ImageProfile::DeviceJpeg;
  c.sheets = uint32_t(s.sheetLengths.size());
  c.sheetLengths = s.sheetLengths;
  c.duplexStyle = s.duplexStyle;
  if (IsSheetEvent(s.condition)) {
    sim::SheetEvent e;
    e.kind = EventKind(s.condition);
    e.sheet = s.conditionSheet;
    e.side = s.conditionSide;
    e.offset = s.conditionOffset;
    c.sheetEvents.push_back(e);
  }
  if (s.condition == Condition::Slow) {
    sim::Fault f = simhelp::OnCommand(sim::FaultKind::Slow, kImageRead, 0);
    f.count = 0;
    f.delayMs = 2;
    c.faults.push_back(f);
  }
  if (s.condition == Condition::Silent) {
    sim::Fault f = simhelp::OnCommand(sim::FaultKind::Silent, kImageRead, 0);
    f.skip = s.conditionOffset % 4;
    c.faults.push_back(f);
  }
  return c;
}

// The codes by which a condition the scanner raised reaches the client.
std::set<int64_t> CodesOf(sim::SheetEventKind k) {
  switch (k) {
    case sim::SheetEventKind::Jam:
      return {krstatus::kPaperJam};
    case sim::SheetEventKind::CoverOpen:
      return {krstatus::kCoverOpen};
    case sim::SheetEventKind::Misfeed:
      return {krstatus::kMisfeed};
    case sim::SheetEventKind::HardwareCancel:
      return {krstatus::kReadAbort};
    case sim::SheetEventKind::MultiFeed:
    case sim::SheetEventKind::MultiFeedOnRelease:
    case sim::SheetEventKind::MultiFeedOnMediaCheck:
      return {krstatus::kMultiFeed};
    case sim::SheetEventKind::MultiFeedAtEnd:
      return {krstatus::kMultiFeed, krstatus::kEopMultiFeed};
    case sim::SheetEventKind::Skew:
      return {krstatus::kSkew};
    case sim::SheetEventKind::BlankPage:
      return {krstatus::kBlankPage, krstatus::kEopBlankPage};
    default:
      return {};
  }
}

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, size_t n) {
  int worst = 0;
  for (size_t i = 0; i < n; ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
  return worst;
}

// The size a page reported good must have; "" when it has it.
std::string CheckSize(const Page& page, const SCANPARAMETER_UNION& p, bool toEndOfPage) {
  const size_t line = p.BytesPerLine;
  std::ostringstream o;
  if (!toEndOfPage && page.data.size() != size_t(p.LineNum) * line)
    o << page.data.size() << " bytes where the fixed length is " << size_t(p.LineNum) * line;
  if (toEndOfPage && (page.data.empty() || page.data.size() % line != 0))
    o << page.data.size() << " bytes, not whole lines of " << line;
  return o.str();
}

bool SaidBlank(const Page& page) {
  const auto blank = [](int64_t c) {
    return c == krstatus::kBlankPage || c == krstatus::kEopBlankPage;
  };
  return blank(page.stop) || std::any_of(page.codes.begin(), page.codes.end(), blank);
}

// What a page reported good must hold, against the side the scanner fed (and the other side of
// its sheet, null when none); "" when it does. A page reported blank claims no image: its side
// came blank, or it is the other side of a sheet whose blank side ended a read of both.
std::string CheckPage(const Page& page, const SCANPARAMETER_UNION& p, const sim::SideFed* fed,
                      const sim::SideFed* other, bool toEndOfPage) {
  if (SaidBlank(page)) {
    if (fed != nullptr && fed->blank) return "";
    if (other != nullptr && other->blank && (fed == nullptr || !fed->ended)) return "";
    return "reported blank, but its side came with an image";
  }
  if (fed == nullptr) return "no sheet side was fed for it";
  if (!fed->ended) return "the scanner never sent that side whole";
  if (fed->blank) return "its side came blank, and the page was not reported blank";
  const size_t line = p.BytesPerLine;
  const bool asScanned = fed->xRes == p.XRes && fed->yRes == p.YRes && fed->pixels == p.PixelNum &&
                         fed->bytesPerLine == p.BytesPerLine;
  if (std::string size = CheckSize(page, p, toEndOfPage); !size.empty()) return size;
  if (!asScanned) return "";
  std::ostringstream o;
  const size_t sideBytes = size_t(fed->lines) * line;
  if (toEndOfPage && page.data.size() != sideBytes) {
    o << page.data.size() << " bytes where the sheet gave " << sideBytes;
    return o.str();
  }
  if (page.data.size() < sideBytes) {
    o << page.data.size() << " bytes, less than the sheet's " << sideBytes;
    return o.str();
  }
  if (fed->jpegFile.empty()) {
    if (sim::ImageChecksum(page.data.data(), sideBytes) != fed->rawChecksum)
      return "its bytes differ from the sheet's";
    return "";
  }
  const oracle::Decoded d = oracle::decompress(fed->jpegFile);
  if (!d.ok) return "libjpeg-turbo cannot decode the scanner's stream: " + d.error;
  if (d.pic.pixels.size() != sideBytes) {
    o << "the scanner's stream decodes to " << d.pic.pixels.size() << " bytes, the side has "
      << sideBytes;
    return o.str();
  }
  const int worst = MaxDifference(page.data, d.pic.pixels, sideBytes);
  if (worst > kJpegTolerance) {
    o << "it differs from libjpeg-turbo's decode of the scanner's stream by " << worst;
    return o.str();
  }
  return "";
}

const sim::SideFed* FedSide(const sim::ScanRecord& r, uint32_t sheet, uint32_t side) {
  for (const sim::SideFed& f : r.sides)
    if (f.sheet == sheet && f.side == side) return &f;
  return nullptr;
}

class ScenarioRun {
 public:
  ScenarioRun(const Scenario& s, const Options& o)
      : s_(s), dog_(ReproduceLine(s), o.bound), d_(testsupport::LinkedExports()) {}

  Outcome Go() {
    bus_ = std::make_unique<simhelp::InstalledBus>();
    scanner_ = &bus_->Add("SIMEXPLORE", Description(s_));
    if (Guarded(dog_, "KRInitializeDriver", [&] { return d_.KRInitializeDriver(kCtrl); }) != 0)
      Fail("KRInitializeDriver failed");
    const size_t threadsBeforeDevice = testsupport::threadCount();
    if (!Open()) return Finish();
    const size_t threadsBeforeJob = testsupport::threadCount();
    const uint64_t memoryBefore = ResidentBytes();
    {
      struct SilentTimeout {
        explicit SilentTimeout(bool on) : on_(on) {
          if (on_) CUsbIO::SetBaseTimeout(kSilentTimeoutMs);
        }
        ~SilentTimeout() {
          if (on_) CUsbIO::SetBaseTimeout(0);
        }
        bool on_;
      } timeout(s_.condition == Condition::Silent);
      Job();
    }
    const bool deviceOpen = !terminated_;
    const size_t expected = deviceOpen ? threadsBeforeJob : threadsBeforeDevice;
    // A joined thread is listed until the system has reaped it, which a loaded machine delays.
    const size_t after = testsupport::threadCountSettledAt(expected, testsupport::kPatience);
    if (after != expected)
      Fail("threads left after the job's end: " + std::to_string(after) + " where " +
           std::to_string(expected) + " were (" + testsupport::threadNames() + ")");
    const SCANPARAMETER_UNION p = Parameters(s_);
    const uint64_t page = p.LineNum == kUnknownLength
                              ? uint64_t(p.BytesPerLine) * 3300 * p.YRes / kBaseResolution
                              : uint64_t(p.BytesPerLine) * p.LineNum;
    const uint64_t bound = memoryBefore + 2 * kPipeLimit + 4 * page + kMemorySlack;
    if (dog_.PeakMemory() > bound)
      Fail("memory rose to " + std::to_string(dog_.PeakMemory() >> 20) + " MiB, past " +
           std::to_string(bound >> 20) + " MiB");
    Judge();
    NextJob();
    if (const size_t stray = Client::Stray(); stray != 0)
      Fail("the driver called the client " + std::to_string(stray) + " times after its job");
    return Finish();
  }

 private:
  void Fail(const std::string& what) { out_.failures.push_back(what); }

  bool Open() {
    handle_ = 0;
    if (Guarded(dog_, "KRInitializeDevice",
                [&] { return d_.KRInitializeDevice(kCtrl, nullptr, &handle_); }) != 0) {
      Fail("KRInitializeDevice failed");
      return false;
    }
    terminated_ = false;
    return true;
  }

  Outcome Finish() {
    Guarded(dog_, "KRTerminateDriver", [&] { return d_.KRTerminateDriver(kCtrl); });
    scanner_->ReleaseHeld();
    bus_.reset();
    return out_;
  }

  long Act() {
    switch (s_.action) {
      case Action::StopScanCancel:
        return Guarded(dog_, "KRStopScan(1)", [&] { return d_.KRStopScan(kCtrl, &handle_, 1); });
      case Action::StopJob:
        jobStopped_ = true;
        return Guarded(dog_, "KRStopJob", [&] { return d_.KRStopJob(kCtrl, &handle_); });
      case Action::TerminateDevice:
        terminated_ = jobStopped_ = true;
        return Guarded(dog_, "KRTerminateDevice",
                       [&] { return d_.KRTerminateDevice(kCtrl, &handle_); });
      case Action::CallbackCancel:
        // The callback answered; the client ends the page as after any page.
        return Guarded(dog_, "KRStopScan(0) after the callback's cancel",
                       [&] { return d_.KRStopScan(kCtrl, &handle_, 0); });
      case Action::None:
        break;
    }
    return 0;
  }

  void Note(long code) {
    if (code != 0) seen_.insert(code);
  }

  void Job() {
    client_ = std::make_unique<Client>(s_);
    client_->Install();
    const uint32_t sides = SidesPerSheet(s_);
    uint32_t unplugPage = 0;
    const bool unplugOnAPage = s_.condition == Condition::Unplug &&
                               PageOfSheet(s_, s_.conditionSheet, s_.conditionSide, &unplugPage);
    if (unplugOnAPage) client_->SetUnplugAt(unplugPage, scanner_);
    SCANPARAMETER_UNION p = Parameters(s_);
    long r = Guarded(dog_, "KRStartJob", [&] { return d_.KRStartJob(kCtrl, &handle_); });
    Note(r);
    if (r != 0) {
      out_.refused = true;
      client_->Uninstall();
      return;
    }
    r = Guarded(dog_, "KRSetParameter", [&] { return d_.KRSetParameter(kCtrl, &handle_, &p); });
    Note(r);
    if (r != 0) {
      out_.refused = true;
      Guarded(dog_, "KRStopJob", [&] { return d_.KRStopJob(kCtrl, &handle_); });
      client_->Uninstall();
      return;
    }
    const uint32_t most = uint32_t(s_.sheetLengths.size()) * sides + 2;
    for (uint32_t i = 0; i < most && !jobStopped_; ++i) {
      client_->BeginPage(i);
      r = Guarded(dog_, "KRStartScan",
                  [&] { return d_.KRStartScan(kCtrl, &handle_, Client::Callback, s_.blockSize); });
      Note(r);
      if (r != 0) {
        // The page start checks the settings against the scanner's job as well.
        if (i == 0 && r == krstatus::kParameterError) out_.refused = true;
        client_->Last().ended = true;
        break;
      }
      const bool mine = s_.action != Action::None && i == s_.actionPage;
      if (mine && s_.when == When::BeforeFirstByte && s_.action != Action::CallbackCancel) {
        Note(Act());
        break;
      }
      if (unplugOnAPage && s_.conditionOffset == 0 && i == unplugPage) scanner_->Unplug();
      dog_.Arm("waiting for the page's end (the callback)");
      client_->WaitForPageOrPoint();
      dog_.Disarm();
      if (mine && client_->PointReached() && s_.when != When::BetweenPages) {
        Note(Act());
        break;
      }
      void* info = nullptr;
      Note(Guarded(dog_, "KRRequestImageInfo",
                   [&] { return d_.KRRequestImageInfo(kCtrl, &handle_, &info); }));
      if (info != nullptr) {
        client_->Last().infoHeight = static_cast<ImageInformation*>(info)->Height;
        d_.KRMemFree(kCtrl, info);
      }
      const long stop =
          Guarded(dog_, "KRStopScan(0)", [&] { return d_.KRStopScan(kCtrl, &handle_, 0); });
      Note(stop);
      client_->Last().stop = stop;
      client_->Last().stopped = true;
      if (mine && s_.when == When::BetweenPages) {
        Note(Act());
        break;
      }
      // The scenarios leave a skew an error (not a message): it stopped the sheet and the job.
      if (client_->Last().failed || (stop != 0 && !IsWarning(stop)) || stop == krstatus::kSkew)
        break;
      if (LastPageOfSheet(s_, i) && s_.delivery != Delivery::Continuous) {
        long sensor = 0;
        uint8_t paper = 0;
        Note(Guarded(dog_, "KRSensorStatus",
                     [&] { return d_.KRSensorStatus(kCtrl, &handle_, &sensor, &paper, 0); }));
        if (paper == 0) break;
      }
    }
    if (!jobStopped_)
      Note(Guarded(dog_, "KRStopJob", [&] { return d_.KRStopJob(kCtrl, &handle_); }));
    client_->Uninstall();
  }

  // The pages reported good against the record; the conditions against what reached the client.
  void Judge() {
    const sim::ScanRecord record = scanner_->Scanned();
    const SCANPARAMETER_UNION p = Parameters(s_);
    const std::vector<Page> pages = client_->Pages();
    for (uint32_t i = 0; i < pages.size(); ++i) {
      const Page& page = pages[i];
      for (int64_t c : page.codes) seen_.insert(c);
      const bool endedWell = std::any_of(page.codes.begin(), page.codes.end(), IsPageEnd);
      const bool good = page.stopped && endedWell && !page.failed && IsGoodStop(page.stop);
      if (!good) continue;
      ++out_.goodPages;
      const auto [sheet, side] = SheetOfPage(s_, i);
      // A continuous job cuts one stream of sheets into pages: their sizes only (a page reported
      // blank claims none).
      const std::string wrong =
          s_.delivery == Delivery::Continuous
              ? (SaidBlank(page) ? "" : CheckSize(page, p, s_.toEndOfPage))
              : CheckPage(page, p, FedSide(record, sheet, side),
                          s_.source == Source::Duplex ? FedSide(record, sheet, 1 - side) : nullptr,
                          s_.toEndOfPage);
      if (!wrong.empty())
        Fail("page " + std::to_string(i + 1) + " (sheet " + std::to_string(sheet) +
             (side ? " rear" : " front") + ") reported good: " + wrong);
    }
    // With nothing in the way every sheet comes through good.
    const bool plain = s_.condition == Condition::None || s_.condition == Condition::Slow;
    if (plain && s_.action == Action::None && s_.delivery != Delivery::Continuous &&
        !out_.refused && out_.goodPages != PagesOfSheets(s_)) {
      std::ostringstream o;
      o << out_.goodPages << " of the sheets' " << PagesOfSheets(s_)
        << " pages came good with no condition and no cancel";
      for (uint32_t i = 0; i < pages.size(); ++i) {
        if (pages[i].stopped && pages[i].stop == 0 && !pages[i].failed) continue;
        o << "; page " << i + 1 << " had";
        for (int64_t c : pages[i].codes) o << " " << c;
        o << ", KRStopScan " << pages[i].stop;
        break;
      }
      Fail(o.str());
    }
    // A condition the scanner raised before the client acted reaches the client.
    if (s_.action != Action::None) return;
    for (const sim::SheetEvent& e : record.eventsMet) {
      // A side no client page takes (the rear a job of an odd JobPages leaves out) tells nobody.
      uint32_t page = 0;
      if (!PageOfSheet(s_, e.sheet, e.side, &page)) continue;
      const std::set<int64_t> codes = CodesOf(e.kind);
      const bool reached =
          std::any_of(codes.begin(), codes.end(), [&](int64_t c) { return seen_.count(c) != 0; });
      if (!reached)
        Fail(std::string("the scanner's ") + sim::SheetEventName(e.kind) + " on sheet " +
             std::to_string(e.sheet) + " never reached the client");
    }
    if (s_.condition == Condition::Unplug && !record.sides.empty() && seen_.empty() &&
        !scanner_->Attached() && out_.goodPages == pages.size() && pages.size() > 0 &&
        !std::all_of(record.sides.begin(), record.sides.end(),
                     [](const sim::SideFed& f) { return f.ended; }))
      Fail("the scanner left the bus mid-job and the client was told nothing");
  }

  // The same process, the same scanner: a clean page after whatever the scenario did.
  void NextJob() {
    if (!scanner_->Attached()) scanner_->Replug();
    scanner_->ReleaseHeld();
    scanner_->ClearFaults();
    scanner_->ClearSheetEvents();
    if (!terminated_ && s_.condition == Condition::Unplug) {
      Guarded(dog_, "KRTerminateDevice", [&] { return d_.KRTerminateDevice(kCtrl, &handle_); });
      terminated_ = true;
    }
    // What the scenario left in the transport is taken out, as a person would.
    scanner_->TakeOutSheet();
    if (terminated_ && !Open()) return;
    scanner_->ClearScanned();
    scanner_->LoadSheets(1);
    Scenario clean;
    clean.profile = s_.profile;
    clean.sheetLengths = {400};
    const SCANPARAMETER_UNION p = Parameters(clean);
    Client client(clean);
    client.Install();
    client.BeginPage(0);
    std::string wrong;
    const char* call = "KRStartJob";
    long r = Guarded(dog_, "KRStartJob (next job)", [&] { return d_.KRStartJob(kCtrl, &handle_); });
    SCANPARAMETER_UNION q = p;
    if (r == 0 && (call = "KRSetParameter"))
      r = Guarded(dog_, "KRSetParameter (next job)",
                  [&] { return d_.KRSetParameter(kCtrl, &handle_, &q); });
    if (r == 0 && (call = "KRStartScan"))
      r = Guarded(dog_, "KRStartScan (next job)",
                  [&] { return d_.KRStartScan(kCtrl, &handle_, Client::Callback, 0); });
    if (r == 0) {
      dog_.Arm("waiting for the next job's page");
      client.WaitForPageOrPoint();
      dog_.Disarm();
      client.Last().stop = Guarded(dog_, "KRStopScan(0) (next job)",
                                   [&] { return d_.KRStopScan(kCtrl, &handle_, 0); });
      client.Last().stopped = true;
    }
    Guarded(dog_, "KRStopJob (next job)", [&] { return d_.KRStopJob(kCtrl, &handle_); });
    client.Uninstall();
    if (r != 0) {
      Fail(std::string("the next job's ") + call + " failed: " + std::to_string(r));
      return;
    }
    const std::vector<Page> pages = client.Pages();
    const Page& page = pages.front();
    const sim::ScanRecord record = scanner_->Scanned();
    if (page.failed || page.stop != 0) {
      std::ostringstream o;
      o << "the next job's page failed:";
      for (int64_t c : page.codes) o << " " << c;
      o << ", KRStopScan " << page.stop;
      Fail(o.str());
      return;
    }
    wrong =
        CheckPage(page, p, record.sides.empty() ? nullptr : &record.sides.back(), nullptr, false);
    if (!wrong.empty()) Fail("the next job's page: " + wrong);
  }

  const Scenario& s_;
  Watchdog dog_;
  testsupport::KrExports d_;
  std::unique_ptr<simhelp::InstalledBus> bus_;
  sim::SimScanner* scanner_ = nullptr;
  std::unique_ptr<Client> client_;
  uint32_t handle_ = 0;
  bool terminated_ = false;
  bool jobStopped_ = false;
  std::set<int64_t> seen_;
  Outcome out_;
};

}  // namespace

Outcome Run(const Scenario& scenario, const Options& options) {
  return ScenarioRun(scenario, options).Go();
}

}  // namespace explore
