// Raw pages through the scan engine (IO thread, pipe, reader thread, client callback) beside
// memcpy of the same page in the same run. The driver opens a simulated scanner as usual; then
// a bench-only device object stands in for it whose image reads copy from a page in memory, so
// the run measures the engine and not the simulator. Every byte is copied three times on the
// way (device read into the read buffer, into the pipe, out into the client's buffer).
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
class MemoryPageIo final : public IoObject {
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

 private:
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

// Pages of one job in batch mode; the block size is the benchmark's argument (0: whole pages).
void BM_RawPassThrough(benchmark::State& state) {
  const auto folder = std::filesystem::temp_directory_path() / "vantrel-scan-bench";
  std::filesystem::create_directories(folder);
  setenv("VANTREL_LOG_ROOT", (folder.string() + "/").c_str(), 1);  // no Debug.conf: no log
  sim::SimBus bus;
  sim::Config config;
  config.profile = sim::ImageProfile::Raw;
  config.sheets = 1000;
  bus.AddScanner(config);
  usbhost::InstallHost(&bus);
  uint32_t handle = 0;
  if (KRInitializeDriver(kCtrl) != 0 || KRInitializeDevice(kCtrl, nullptr, &handle) != 0) {
    state.SkipWithError("the simulated scanner did not open");
    usbhost::InstallHost(nullptr);
    return;
  }
  const std::vector<uint8_t> page = PageBytes();
  CScannerManagerScannerItem* item = pManager->GetTargetScannerItem(handle);
  auto* io = new MemoryPageIo(item->pIoObject, &page);
  item->pIoObject = io;

  SCANPARAMETER_UNION p;
  std::memset(&p, 0, sizeof p);
  p.Version = 200;
  p.Size = 116;
  p.BaseRes = 300;
  p.Width = kPixels;
  p.Length = kLines;
  p.XRes = p.YRes = 300;
  p.PixelNum = kPixels;
  p.LineNum = kLines;
  p.BytesPerLine = kPixels;
  p.ScanMode = 2;
  p.BitsPerPixel = 8;
  p.ScanMethod = 1;
  p.Highlight = 255;
  p.Threshold = 128;
  p.CtrlMode = 2;  // batch, fixed length
  PageCounter counter;
  gCounter = &counter;
  KRStartJob(kCtrl, &handle);
  if (KRSetParameter(kCtrl, &handle, &p) != 0) state.SkipWithError("settings refused");
  const long block = static_cast<long>(state.range(0));
  bool first = true;
  for (auto _ : state) {
    {
      std::lock_guard lock(counter.m);
      counter.ended = false;
    }
    if (KRStartScan(kCtrl, &handle, Callback, block) != 0) {
      state.SkipWithError("KRStartScan failed");
      break;
    }
    {
      std::unique_lock lock(counter.m);
      counter.cv.wait(lock, [&] { return counter.ended; });
    }
    KRStopScan(kCtrl, &handle, 0);
    if (first) io->AnswerQuickly();
    first = false;
  }
  KRStopJob(kCtrl, &handle);
  state.SetBytesProcessed(int64_t(counter.bytes));
  item->pIoObject = io->real();
  delete io;
  gCounter = nullptr;
  KRTerminateDriver(kCtrl);
  usbhost::InstallHost(nullptr);
}

}  // namespace

BENCHMARK(BM_MemcpyPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawPassThrough)->Arg(0)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
