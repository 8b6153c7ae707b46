// The data source's image process on an A4 page scanned in colour at 300 dpi from the feeder (a
// document turned by 1.5 degrees on the dark background): crop and deskew through the image
// plug-in, then the pipeline to black and white (colour to grey, fixed threshold), alone and
// together. Each reports pages per second on one core.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

#include "ds/scan/image/TezFRLImageProcess.h"
#include "ds/scan/scanner/TezFRLScan.h"
#include "tests/support/PluginTesting.h"

using namespace ferrolite;

namespace {

constexpr int kDpi = 300;

struct Setup {
  plugtest::Page page{2568, 3620, 24};
  XferImageInfo info{};
  ScanSetting setting{};
  TezFRLImageProcess process;
  bool loaded = false;

  Setup() {
    DeviceAbility& a = deviceAbility;
    a.FrontADFBackground_R = a.FrontADFBackground_G = a.FrontADFBackground_B = 30;
    a.ADFMaxWidth = 2568;
    plugtest::drawDocuments(page, 30, {plugtest::Doc{1284, 1800, 2480, 3508, 1.5}});
    info.bMode = kXferModeColor;
    info.bBitsPerPixel = 24;
    info.dwWidth = uint32_t(page.width);
    info.dwLength = uint32_t(page.height);
    info.dwBytesPerLine = uint32_t(page.stride);
    info.wXRes = info.wYRes = kDpi;
    setting.wImageType = kImageBWFront;
    setting.bFBinaryProcess = 1;
    setting.bFBThreshold = 128;
    process.setScanSource(kScanSourceFeederFront);
    loaded = process.initalizeLumetraLib(VT_PLUGIN_DIR, 0, 0x0310F11E);
  }
};

void RunPage(Setup& s, bool crop, bool pipeline);

Setup& Shared() {
  static Setup setup;
  static const bool warm = [] {
    // The plug-in's first page pays for its one-time start-up.
    if (setup.loaded) RunPage(setup, true, false);
    return true;
  }();
  (void)warm;
  return setup;
}

// One page: a fresh copy of the scan, then the chosen steps.
void RunPage(Setup& s, bool crop, bool pipeline) {
  PageBuffer buffer{static_cast<uint8_t*>(std::malloc(s.page.data.size())),
                    uint32_t(s.page.data.size())};
  std::memcpy(buffer.data, s.page.data.data(), buffer.size);
  XferImageInfo info = s.info;
  if (crop) s.process.doCropDeskew(&info, &buffer, false, false);
  if (pipeline) s.process.imageProcessing(&info, &buffer.data, &s.setting, &buffer.size, 1);
  benchmark::DoNotOptimize(buffer.data);
  std::free(buffer.data);
}

void Measure(benchmark::State& state, bool crop, bool pipeline) {
  Setup& s = Shared();
  if (!s.loaded) {
    state.SkipWithError("Lumetra.so not found in the plug-in folder");
    return;
  }
  for (auto _ : state) RunPage(s, crop, pipeline);
  state.counters["pages/s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CopyOnly(benchmark::State& state) { Measure(state, false, false); }
void BM_CropAndDeskew(benchmark::State& state) { Measure(state, true, false); }
void BM_GreyAndThreshold(benchmark::State& state) { Measure(state, false, true); }
void BM_WholePage(benchmark::State& state) { Measure(state, true, true); }

}  // namespace

BENCHMARK(BM_CopyOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CropAndDeskew)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GreyAndThreshold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholePage)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
