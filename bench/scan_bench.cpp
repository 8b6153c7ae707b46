// Raw pages through the scan engine (IO thread, pipe, reader thread, client callback) beside
// memcpy of the same page in the same run; and a duplex colour A4 job whose pages the device
// sends as JPEG, decoded by the engine's decode thread, beside the codec's own decode of the
// same pages in the same run (the engine's overhead over the decode alone, target 25%). The driver
// opens a simulated scanner as usual; then a bench-only device object stands in for it whose image
// reads copy from a page in memory, so the run measures the engine and not the simulator. Every
// byte is copied three times on the way (device read into the read buffer, into the pipe, out into
// the client's buffer).
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "drv/device/CScannerManager.h"
#include "drv/device/IoObject.h"
#include "drv/jpeg/Interface.h"
#include "drv/jpeg/KRJFIFWriter.h"
#include "platform/usb/UsbHost.h"
#include "sim/SimScanner.h"
#include "vantrel/kr_api.h"

namespace {

constexpr uint32_t kCtrl = 0x2200;
// A Letter page of 8-bit grey at 300 dpi, as the supported model scans it without conversion.
constexpr uint32_t kPixels = 2544;
constexpr uint32_t kLines = 3300;
constexpr size_t kPageBytes = size_t{kPixels} * kLines;
constexpr size_t kRingPages = 4;

std::vector<uint8_t> PageBytes() {
  std::vector<uint8_t> v(kPageBytes);
  uint32_t x = 11;
  for (auto& b : v) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return v;
}

// The opened device's commands go to the real object; image reads copy from the page.
class MemoryPageIo : public IoObject {
 public:
  MemoryPageIo(IoObject* real, const std::vector<uint8_t>* page) : m_real(real), m_page(page) {}
  IoObject* real() const { return m_real; }

  bool ReadImage(void*, uint8_t* front, uint8_t* rear, uint32_t length, uint16_t,
                 uint32_t* out) override {
    for (uint8_t* side : {front, rear}) {
      if (side == nullptr) continue;
      if (m_at + length > m_page->size()) m_at = 0;
      std::memcpy(side, m_page->data() + m_at, length);
      m_at += length;
      if (m_at == m_page->size()) m_at = 0;
    }
    *out = length;
    return true;
  }
  bool DoIo(uint8_t* block, void* data, uint32_t readLength, uint32_t writeLength) override {
    return m_real->DoIo(block, data, readLength, writeLength);
  }
  bool GetButtonStatus(uint8_t* buffer) override { return m_real->GetButtonStatus(buffer); }
  // The page cycle's commands are answered at once: the run measures the data path, not the
  // simulator's exchanges (the job's first page still sends them all to the simulator).
  bool RequestSense(uint8_t a) override { return Pass(m_real->RequestSense(a)); }
  bool MediaCheck(uint8_t* b, uint32_t n, uint8_t d) override {
    if (!m_quick) return Pass(m_real->MediaCheck(b, n, d));
    std::memset(b, 0, n);
    if (n > 4) b[4] = 0x01;  // paper in the feeder
    return true;
  }
  bool ReserveUnit(uint8_t a) override { return m_quick || Pass(m_real->ReserveUnit(a)); }
  bool ReleaseUnit(uint8_t a) override { return m_quick || Pass(m_real->ReleaseUnit(a)); }
  bool SetWindow(const uint8_t* w, uint32_t n) override {
    return m_quick || Pass(m_real->SetWindow(w, n));
  }
  bool Read(uint8_t* b, uint32_t n, uint16_t t) override { return Pass(m_real->Read(b, n, t)); }
  bool Send(const uint8_t* b, uint32_t n, uint16_t t) override {
    return m_quick || Pass(m_real->Send(b, n, t));
  }
  void AnswerQuickly() { m_quick = true; }
  bool PrepareReadImage() override { return Pass(m_real->PrepareReadImage()); }
  bool FinishReadImage() override { return Pass(m_real->FinishReadImage()); }
  bool IoLockStart() override { return Pass(m_real->IoLockStart()); }
  bool IoLockEnd() override { return Pass(m_real->IoLockEnd()); }

 protected:
  bool Pass(bool ok) {
    m_status = static_cast<int32_t>(m_real->GetStatusLong());
    return ok;
  }
  IoObject* m_real;
  const std::vector<uint8_t>* m_page;
  size_t m_at = 0;
  std::atomic<bool> m_quick{false};
};

// Counts what the callback receives and says when a page ended.
struct PageCounter {
  std::mutex m;
  std::condition_variable cv;
  size_t bytes = 0;
  bool ended = false;
};
PageCounter* gCounter = nullptr;

long Callback(uint32_t, uint32_t*, uint8_t* data, uint32_t size, long, long, STATUSLIST* list) {
  std::lock_guard lock(gCounter->m);
  if (data != nullptr && size != 0xFFFFFFFF) gCounter->bytes += size;
  for (int i = 0; i < STATUSLIST_CODES; ++i) {
    if (list->Status[i] != 0) gCounter->ended = true;
  }
  if (gCounter->ended) gCounter->cv.notify_all();
  return 0;
}

// The page copied once per iteration into the next of four page buffers: as much memory as the
// job's IO pipe holds in batch mode (four pages), so neither side runs from the cache alone.
void BM_MemcpyPage(benchmark::State& state) {
  const std::vector<uint8_t> page = PageBytes();
  std::vector<std::vector<uint8_t>> ring(kRingPages, std::vector<uint8_t>(page.size()));
  size_t next = 0;
  for (auto _ : state) {
    std::vector<uint8_t>& to = ring[next];
    next = (next + 1) % kRingPages;
    std::memcpy(to.data(), page.data(), page.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
}

// A driver with the simulated scanner opened, its device object replaced by `make`'s.
struct OpenedScanner {
  template <class Make>
  OpenedScanner(benchmark::State& state, sim::ImageProfile profile, Make make) {
    const auto folder = std::filesystem::temp_directory_path() / "vantrel-scan-bench";
    std::filesystem::create_directories(folder);
    setenv("VANTREL_LOG_ROOT", (folder.string() + "/").c_str(), 1);  // no Debug.conf: no log
    sim::Config config;
    config.profile = profile;
    config.sheets = 1000;
    bus.AddScanner(config);
    usbhost::InstallHost(&bus);
    if (KRInitializeDriver(kCtrl) != 0 || KRInitializeDevice(kCtrl, nullptr, &handle) != 0) {
      state.SkipWithError("the simulated scanner did not open");
      return;
    }
    item = pManager->GetTargetScannerItem(handle);
    io = make(item->pIoObject);
    item->pIoObject = io;
  }
  ~OpenedScanner() {
    if (item != nullptr) {
      item->pIoObject = io->real();
      delete io;
    }
    KRTerminateDriver(kCtrl);
    usbhost::InstallHost(nullptr);
  }
  // One page: KRStartScan and the wait for its end; false when the page did not start.
  bool Page(PageCounter* counter, long block) {
    {
      std::lock_guard lock(counter->m);
      counter->ended = false;
    }
    if (KRStartScan(kCtrl, &handle, Callback, block) != 0) return false;
    {
      std::unique_lock lock(counter->m);
      counter->cv.wait(lock, [&] { return counter->ended; });
    }
    KRStopScan(kCtrl, &handle, 0);
    io->AnswerQuickly();  // the first page sent the job's commands to the simulator
    return true;
  }
  sim::SimBus bus;
  uint32_t handle = 0;
  CScannerManagerScannerItem* item = nullptr;
  MemoryPageIo* io = nullptr;
};

SCANPARAMETER_UNION Settings(uint32_t pixels, uint32_t lines, uint32_t mode, uint8_t bits,
                             uint32_t method) {
  SCANPARAMETER_UNION p;
  std::memset(&p, 0, sizeof p);
  p.Version = 200;
  p.Size = 116;
  p.BaseRes = 300;
  p.Width = pixels;
  p.Length = lines;
  p.XRes = p.YRes = 300;
  p.PixelNum = pixels;
  p.LineNum = lines;
  p.BytesPerLine = pixels * bits / 8;
  p.ScanMode = mode;
  p.BitsPerPixel = bits;
  p.ScanMethod = method;
  p.Highlight = 255;
  p.Threshold = 128;
  p.CtrlMode = 2;  // batch, fixed length
  return p;
}

// Pages of one job in batch mode; the block size is the benchmark's argument (0: whole pages).
void BM_RawPassThrough(benchmark::State& state) {
  const std::vector<uint8_t> page = PageBytes();
  OpenedScanner s(state, sim::ImageProfile::Raw,
                  [&](IoObject* real) { return new MemoryPageIo(real, &page); });
  if (s.item == nullptr) return;
  SCANPARAMETER_UNION p = Settings(kPixels, kLines, 2, 8, 1);
  PageCounter counter;
  gCounter = &counter;
  KRStartJob(kCtrl, &s.handle);
  if (KRSetParameter(kCtrl, &s.handle, &p) != 0) state.SkipWithError("settings refused");
  for (auto _ : state) {
    if (!s.Page(&counter, static_cast<long>(state.range(0)))) {
      state.SkipWithError("KRStartScan failed");
      break;
    }
  }
  KRStopJob(kCtrl, &s.handle);
  state.SetBytesProcessed(int64_t(counter.bytes));
  gCounter = nullptr;
}

// ---- device JPEG ----

// A4 at 300 dpi, 24-bit colour, as the device compresses it (luma sampled 2 x 1) with the
// tables the job start computes for it.
constexpr uint32_t kA4Pixels = 2480;
constexpr uint32_t kA4Lines = 3508;

struct JpegPages {
  std::vector<uint8_t> stream[2];  // front and rear, the entropy-coded data the device sends
  std::vector<uint8_t> file[2];    // the same as whole JFIF files, for the codec alone
  JpegPages() {
    uint8_t luma[64], chroma[64];
    KRJFIFGetQuantTb(3, 3, 1, int(kA4Pixels), int(kA4Lines), luma, chroma);
    for (uint32_t side = 0; side < 2; ++side) {
      const std::vector<uint8_t> raw = sim::SheetSide(1, side, kA4Lines, kA4Pixels * 3);
      file[side] = sim::DeviceJpegFile(raw, kA4Pixels, kA4Lines, 3, 2, luma, chroma);
      stream[side] = sim::DeviceJpegScanData(file[side]);
    }
  }
};
const JpegPages& Pages() {
  static const JpegPages pages;
  return pages;
}

// Image reads of duplex style 7: blocks alternate front and rear, each side's stream ends with
// an end of page and the image fields.
class MemoryJpegIo final : public MemoryPageIo {
 public:
  explicit MemoryJpegIo(IoObject* real) : MemoryPageIo(real, nullptr) {}
  bool ReadImage(void*, uint8_t* front, uint8_t*, uint32_t length, uint16_t,
                 uint32_t* out) override {
    const JpegPages& pages = Pages();
    if (m_ended[0] && m_ended[1]) m_ended[0] = m_ended[1] = false, m_at[0] = m_at[1] = 0;
    if (m_ended[m_side]) m_side = 1 - m_side;
    const std::vector<uint8_t>& stream = pages.stream[m_side];
    const size_t n = std::min<size_t>(length, stream.size() - m_at[m_side]);
    std::memcpy(front, stream.data() + m_at[m_side], n);
    m_at[m_side] += n;
    *out = static_cast<uint32_t>(n);
    const uint32_t side = m_side;
    m_side = 1 - m_side;
    if (n == length) return true;
    m_ended[side] = true;
    m_imageWidth = kA4Pixels;
    m_imageHeight = kA4Lines;
    m_imageSize = static_cast<uint32_t>(stream.size());
    m_bytesPerLine = kA4Pixels * 3;
    m_scanMode = 0x80;
    m_status = krstatus::kEndOfPage;
    return false;
  }

 private:
  uint32_t m_side = 0;
  size_t m_at[2] = {0, 0};
  bool m_ended[2] = {false, false};
};

// The codec alone: each page's file decoded whole into raw lines, as fast as it goes.
void BM_CodecDecodeA4(benchmark::State& state) {
  const JpegPages& pages = Pages();
  size_t side = 0;
  for (auto _ : state) {
    NIDATA ni;
    std::memset(&ni, 0, sizeof ni);
    void* out = nullptr;
    long status = 0;
    uint64_t size = pages.file[side].size();
    JpegDecoder(const_cast<uint8_t*>(pages.file[side].data()), &out, &ni, &size, &status);
    benchmark::DoNotOptimize(out);
    FreeMemory(out);
    side = 1 - side;
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
  state.counters["pages/s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// The whole duplex job: the device's JPEG through the IO thread, the decode thread and the
// reader to the client, page by page (one iteration is a sheet, its two sides).
void BM_DeviceJpegDuplexA4(benchmark::State& state) {
  OpenedScanner s(state, sim::ImageProfile::DeviceJpeg,
                  [](IoObject* real) { return new MemoryJpegIo(real); });
  if (s.item == nullptr) return;
  SCANPARAMETER_UNION p = Settings(kA4Pixels, kA4Lines, 4, 24, 4);
  PageCounter counter;
  gCounter = &counter;
  KRStartJob(kCtrl, &s.handle);
  if (KRSetParameter(kCtrl, &s.handle, &p) != 0) state.SkipWithError("settings refused");
  for (auto _ : state) {
    if (!s.Page(&counter, 0) || !s.Page(&counter, 0)) {
      state.SkipWithError("KRStartScan failed");
      break;
    }
  }
  KRStopJob(kCtrl, &s.handle);
  state.SetBytesProcessed(int64_t(counter.bytes));
  state.counters["pages/s"] =
      benchmark::Counter(2.0 * double(state.iterations()), benchmark::Counter::kIsRate);
  gCounter = nullptr;
}

}  // namespace

BENCHMARK(BM_MemcpyPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawPassThrough)->Arg(0)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CodecDecodeA4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DeviceJpegDuplexA4)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
