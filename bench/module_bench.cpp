// A duplex colour A4 job at 300 dpi from the simulated scanner, twice in the same run: through
// the Image Capture module to TIFF files (the host's requests on an in-process framework, the
// module's producer and consumer, its gamma and the files), and at the driver level (a client's
// page loop that keeps the pages in memory). Both reach the scanner through the same driver
// library, so the difference is what the module adds; the end line gives it against the mark
// (at most 30% more time a page). The scanner sends raw pages; with `--profile=jpeg` it sends
// its own device JPEG, which the driver decodes.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "ica/ModuleEntry.h"
#include "platform/ica/Framework.h"
#include "platform/ica/InProcessFramework.h"
#include "platform/usb/UsbHost.h"
#include "sim/SimScanner.h"
#include "tools/KrLibrary.h"
#include "tools/ScanPages.h"

namespace {

namespace fs = std::filesystem;
using foundation::Dictionary;

constexpr uint32_t kLocation = 0x01100000;
constexpr uint32_t kSheets = 4;                       // a job: eight pages
constexpr int64_t kA4Width = 2480, kA4Height = 3508;  // pixels at 300 dpi
constexpr double kMark = 1.30;

fs::path gFolder;
bool gDeviceJpeg = false;  // the scanner's own profile: colour compressed on the device
double gDriverPagesPerSecond = 0, gModulePagesPerSecond = 0;
using Clock = std::chrono::steady_clock;

double rate(uint64_t pages, Clock::duration spent) {
  const double seconds = std::chrono::duration<double>(spent).count();
  return seconds > 0 ? double(pages) / seconds : 0;
}

void prepare() {
  gFolder = fs::temp_directory_path() / ("module-bench-" + std::to_string(getpid()));
  fs::create_directories(gFolder / "pages");
  std::ofstream(gFolder / "scanner.txt")
      << "serial BENCH0001\ninquiry-byte 55 0x64\nprofile " << (gDeviceJpeg ? "jpeg" : "raw")
      << "\npaper-length 3508\nsheets 0\n";
  setenv("VANTREL_SIMULATOR", (gFolder / "scanner.txt").c_str(), 1);
  setenv("VANTREL_SIM_LIBRARY", VANTREL_SIM_PATH, 1);
  setenv("FERROLITE_SCANNER_RESOURCES", MODULE_RESOURCES, 1);
  setenv("XDG_CONFIG_HOME", (gFolder / "config").c_str(), 1);
  usbhost::Host();
}

void DriverJob(benchmark::State& state) {
  std::string error;
  auto kr = vtclient::KrLibrary::Load(VANTREL_LIBRARY, &error);
  if (!kr) {
    state.SkipWithError(error.c_str());
    return;
  }
  vtclient::ScanSettings s;
  s.colour = vtclient::ScanColour::Colour;
  s.resolution = 300;
  s.width = 210;
  s.length = 297;
  s.source = vtclient::ScanSource::Duplex;
  s.pageMode = false;
  uint64_t pages = 0;
  Clock::duration spent{};
  for (auto _ : state) {
    sim::LoadedScanner()->LoadSheets(kSheets);
    const auto start = Clock::now();
    uint32_t handle = 0;
    kr->KRInitializeDriver(0x2200);
    kr->KRInitializeDevice(0x2200, nullptr, &handle);
    vtclient::ScanOutcome out =
        vtclient::RunScanJob(*kr, 0x2200, &handle, s, [&](const vtclient::ScannedPage& p) {
          benchmark::DoNotOptimize(p.image.data.data());
          return true;
        });
    kr->KRTerminateDevice(0x2200, &handle);
    kr->KRTerminateDriver(0x2200);
    spent += Clock::now() - start;
    if (out.status != 0) state.SkipWithError("the driver-level job failed");
    pages += out.pages;
  }
  state.counters["pages/s"] = benchmark::Counter(double(pages), benchmark::Counter::kIsRate);
  gDriverPagesPerSecond = rate(pages, spent);
}

Dictionary call(ica::InProcessFramework& framework, const char* name, uint32_t object,
                Dictionary request = {}) {
  request.set(ica::kMsgCall, name);
  request.set(ica::kArgObject, object);
  return framework.call(request);
}

void setArea(ica::InProcessFramework& framework, uint32_t object, const Dictionary& area) {
  Dictionary dict, request;
  dict.set("userScanArea", area);
  request.set(ica::kArgDict, dict);
  call(framework, ica::kCallSetParameters, object, request);
}

void ModuleJob(benchmark::State& state) {
  icamodule::InstallScannerCallbacks();
  icamodule::CreateScannersDictionary();
  uint64_t pages = 0;
  Clock::duration spent{};
  {
    ica::InProcessFramework framework;
    Dictionary open;
    open.set(ica::kMsgCall, ica::kCallOpenUSBDevice);
    open.set(ica::kArgLocationID, kLocation);
    const uint32_t object = uint32_t(framework.call(open).integer(ica::kArgObject).valueOr(0));
    call(framework, ica::kCallOpenSession, object);
    Dictionary unit;
    unit.set("selectedFunctionalUnitType", 3);
    setArea(framework, object, unit);
    Dictionary area;
    auto value = [&](const char* key, int64_t v) { area.ensureDictionary(key).set("value", v); };
    value("ICAP_PIXELTYPE", 2);
    value("ICAP_XRESOLUTION", 300);
    value("ICAP_YRESOLUTION", 300);
    value("ICAP_UNITS", 5);
    value("CAP_DUPLEXENABLED", 1);
    Dictionary crop;
    crop.set("feature", "KR_Crop");
    crop.set("value", 0);
    area.set("vendor features", foundation::Array{foundation::Value(crop)});
    area.set("progressNotificationNoData", true);
    area.set("document folder", (gFolder / "pages").string());
    area.set("document name", "page");
    area.set("document format", "public.tiff");
    area.set("width", kA4Width);
    area.set("height", kA4Height);
    setArea(framework, object, area);
    for (auto _ : state) {
      state.PauseTiming();
      fs::remove_all(gFolder / "pages");
      fs::create_directories(gFolder / "pages");
      framework.clearNotifications();
      sim::LoadedScanner()->LoadSheets(kSheets);
      state.ResumeTiming();
      const auto start = Clock::now();
      Dictionary done = call(framework, ica::kCallStart, object);
      spent += Clock::now() - start;
      if (done.integer(ica::kMsgResult).valueOr(-1) != 0)
        state.SkipWithError("the module's scan failed");
      for (const Dictionary& n : framework.notifications())
        if (n.string(kICANotificationTypeKey).valueOr("") == kICANotificationTypeScannerPageDone)
          ++pages;
    }
    call(framework, ica::kCallCloseSession, object);
    call(framework, ica::kCallCleanup, object);
    call(framework, ica::kCallCloseDevice, object);
  }
  icamodule::ReleaseScannersDictionary();
  state.counters["pages/s"] = benchmark::Counter(double(pages), benchmark::Counter::kIsRate);
  gModulePagesPerSecond = rate(pages, spent);
}

BENCHMARK(DriverJob)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(ModuleJob)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  constexpr const char* kProfileFlag = "--profile=";
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], kProfileFlag, std::strlen(kProfileFlag)) != 0) {
      argv[kept++] = argv[i];
      continue;
    }
    const std::string profile = argv[i] + std::strlen(kProfileFlag);
    if (profile != "raw" && profile != "jpeg") {
      std::fprintf(stderr, "--profile takes raw or jpeg\n");
      return 1;
    }
    gDeviceJpeg = profile == "jpeg";
  }
  argc = kept;
  prepare();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (gDriverPagesPerSecond > 0 && gModulePagesPerSecond > 0) {
    const double added = gDriverPagesPerSecond / gModulePagesPerSecond - 1;
    std::printf(
        "Duplex colour A4 at 300 dpi, %s pages: driver level %.2f pages/s, through the module to "
        "TIFF %.2f pages/s; the module adds %.0f%% a page (mark: at most %.0f%%): %s\n",
        gDeviceJpeg ? "device-JPEG" : "raw", gDriverPagesPerSecond, gModulePagesPerSecond,
        added * 100, (kMark - 1) * 100, added <= kMark - 1 ? "met" : "missed");
  }
  std::error_code ec;
  fs::remove_all(gFolder, ec);
  return 0;
}
