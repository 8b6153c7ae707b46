// A batch of 20 two-sided colour A4 sheets at 300 dpi from the simulated scanner, twice in the
// same run: through the data source `Ferrolite` as a TWAIN application takes it (enable without
// the interface, image information, memory transfer in the suggested strips, end of each
// transfer), and through the data source's own scan object (the scan layer's page loop, the
// pages left in its buffer). The scanner feeds ahead in batch mode in both; the pipeline's
// optional steps are off. The end line gives the pages per second of both and what the TWAIN
// side adds a page against its mark (at most 20%).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "ds/scan/common/TezFRLCommon.h"
#include "ds/twain/HeadlessDialog.h"
#include "ds/twain/Options.h"
#include "ds/twain/TezFRLDS.h"
#include "platform/twain/Source.h"
#include "sim/SimScanner.h"
#include "tools/twain/Host.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kSheets = 20;  // forty pages a batch
constexpr double kMark = 1.20;

std::unique_ptr<ferrolite::TezFRLDS> gSource;
std::unique_ptr<twainhost::Host> gHost;
ferrolite::HeadlessFactory gHeadless;
fs::path gFolder;
double gTwainPagesPerSecond = 0, gScanPagesPerSecond = 0;

TW_UINT16 Dispatch(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                   TW_MEMREF data) {
  return gSource ? gSource->dsEntry(origin, dg, dat, msg, data) : TWRC_FAILURE;
}
void Condition(TW_UINT16 code) { ferrolite::gConditionCode = code; }
TW_UINT16 Entry(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  static constexpr twain::SourceHooks kHooks{Dispatch, Condition};
  return twain::EnterSource(kHooks, origin, dg, dat, msg, data);
}

double rate(uint64_t pages, Clock::duration spent) {
  const double seconds = std::chrono::duration<double>(spent).count();
  return seconds > 0 ? double(pages) / seconds : 0;
}

void link(const fs::path& target, const fs::path& name) {
  std::error_code ignored;
  fs::remove(name, ignored);
  fs::create_symlink(target, name);
}

// The bundle laid out as the build lays it out, the simulated scanner, the source open with the
// batch negotiated.
bool prepare() {
  gFolder = fs::temp_directory_path() / ("twain-bench-" + std::to_string(getpid()));
  const fs::path bundle = gFolder / "Ferrolite", resources = bundle / "Resources";
  fs::create_directories(resources);
  fs::create_directories(gFolder / "DrvLog");
  fs::copy_file(VT_DS_DEBUG_NAMES, resources / "DSDebug.plist");
  fs::copy_file(FERROLITE_INFO_PLIST, bundle / "Info.plist");
  link(VANTREL_LIBRARY_PATH, resources / "Vantrel.so");
  link(LUMETRA_LIBRARY_PATH, resources / "Lumetra.so");
  link(KRCOCOA_LIBRARY_PATH, resources / "KRCocoa.so");
  link(CHROMALIS_LIBRARY_PATH, resources / "Chromalis.so");
  link(STRIPECODE_LIBRARY_PATH, resources / "Stripecode.so");
  fs::copy(FERROLITE_RESOURCES, resources,
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  std::ofstream(gFolder / "scanner.txt") << "serial SIM0000001\npaper-length 3508\nsheets 0\n";
  setenv("VANTREL_SIMULATOR", (gFolder / "scanner.txt").c_str(), 1);
  setenv("VANTREL_SIM_LIBRARY", VANTREL_SIM_PATH, 1);
  setenv("VANTREL_LOG_ROOT", (gFolder / "DrvLog").c_str(), 1);
  ferrolite::replaceDSFactory(&gHeadless);
  gSource = std::make_unique<ferrolite::TezFRLDS>(bundle);
  gHost = std::make_unique<twainhost::Host>();
  std::string error;
  if (!gHost->OpenManagerInProcess(Entry, &error) || !gHost->OpenSource().ok()) {
    std::fprintf(stderr, "the source does not open: %s\n", error.c_str());
    return false;
  }
  using twainhost::Container;
  return gHost->SetCapability(ICAP_PIXELTYPE, Container::OneValue(TWTY_UINT16, TWPT_RGB)).ok() &&
         gHost->SetCapability(ICAP_XRESOLUTION, Container::OneFix32(300)).ok() &&
         gHost->SetCapability(ICAP_YRESOLUTION, Container::OneFix32(300)).ok() &&
         gHost->SetCapability(CAP_DUPLEXENABLED, Container::OneValue(TWTY_BOOL, 1)).ok() &&
         gHost->SetCapability(ICAP_FRAMES, Container::OneFrame(0, 0, 8.27, 11.69)).ok();
}

void finish() {
  if (gHost) gHost->CloseSource();
  gHost.reset();
  gSource.reset();
  ferrolite::replaceDSFactory(nullptr);
  ferrolite::gKrCommon.reset();
  std::error_code ignored;
  fs::remove_all(gFolder, ignored);
}

void DataSourceBatch(benchmark::State& state) {
  uint64_t pages = 0;
  Clock::duration spent{};
  for (auto _ : state) {
    sim::LoadedScanner(0)->LoadSheets(kSheets);
    const auto start = Clock::now();
    if (!gHost->EnableDs(false).ok()) {
      state.SkipWithError("the batch does not start");
      return;
    }
    const uint32_t buffer = gHost->GetSetupMemXfer().value.preferred;
    while (gSource->mCurrentState == TWAIN_STATE_XFERREADY) {
      if (!gHost->GetImageInfo().ok()) break;
      auto strip = gHost->MemXfer(buffer);
      while (strip.rc == TWRC_SUCCESS) strip = gHost->MemXfer(buffer);
      if (strip.rc != TWRC_XFERDONE) break;
      ++pages;
      gHost->PendingXfers(MSG_ENDXFER);
    }
    if (gSource->mCurrentState > TWAIN_STATE_ENABLED) gHost->PendingXfers(MSG_RESET);
    gHost->TakeMessages();
    spent += Clock::now() - start;
    gHost->DisableDs();
  }
  gTwainPagesPerSecond = rate(pages, spent);
  state.counters["pages/s"] = gTwainPagesPerSecond;
}

void ScanLayerLoop(benchmark::State& state) {
  ferrolite::TezFRLScan& scan = *gSource->scanObject;
  uint64_t pages = 0;
  Clock::duration spent{};
  for (auto _ : state) {
    sim::LoadedScanner(0)->LoadSheets(kSheets);
    const auto start = Clock::now();
    if (!scan.startScanJob(gSource->scanSetting)) {
      state.SkipWithError("the job does not start");
      return;
    }
    while (scan.doScan()) {
      ++pages;
      if (scan.lastPage()) break;
    }
    scan.endScanJob();
    spent += Clock::now() - start;
  }
  gScanPagesPerSecond = rate(pages, spent);
  state.counters["pages/s"] = gScanPagesPerSecond;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!prepare()) {
    finish();
    return 1;
  }
  benchmark::RegisterBenchmark("twain/memory_transfer_a4_duplex_colour", DataSourceBatch)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(2);
  benchmark::RegisterBenchmark("twain/scan_layer_a4_duplex_colour", ScanLayerLoop)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(2);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  finish();
  if (gTwainPagesPerSecond > 0 && gScanPagesPerSecond > 0) {
    const double added = gScanPagesPerSecond / gTwainPagesPerSecond;
    std::printf(
        "data source %.2f pages/s, scan layer %.2f pages/s: the TWAIN side adds %.0f%% a "
        "page (mark %.0f%%) %s\n",
        gTwainPagesPerSecond, gScanPagesPerSecond, (added - 1) * 100, (kMark - 1) * 100,
        added <= kMark ? "within" : "ABOVE");
  }
  return 0;
}
