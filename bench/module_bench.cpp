// A duplex colour A4 job at 300 dpi from the simulated scanner, twice in the same run, each page
// written to a TIFF file by our image layer: through the Image Capture module (the host's
// requests on an in-process framework, the module's producer and consumer, its gamma and its
// documents), and at the driver level (a client's page loop on a device it opened beforehand).
// Both reach the scanner through the same driver library, so the difference is what the module
// adds; the end line gives it from the median runs against the mark (at most 15% more time a
// page). The scanner sends raw pages; with `--profile=jpeg` it sends its own device JPEG, which
// the driver decodes. Repeat and interleave the two from the command line:
// --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ica/ModuleEntry.h"
#include "platform/ica/Framework.h"
#include "platform/ica/InProcessFramework.h"
#include "platform/imageio/ImageIO.h"
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
constexpr uint32_t kDriverCtrl = 0x2200;              // the module's controller id
constexpr double kMark = 1.15;

fs::path gFolder;
bool gDeviceJpeg = false;  // the scanner's own profile: colour compressed on the device
using Clock = std::chrono::steady_clock;

// The time the jobs took: wall time, and the processor time of all the process's threads (on a
// busy machine the steadier measure of what a page costs).
struct Spent {
  double wall = 0, processor = 0;  // seconds
};

double processorSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

class Lap {
 public:
  Lap() : wall_(Clock::now()), processor_(processorSeconds()) {}
  void addTo(Spent& spent) const {
    spent.wall += std::chrono::duration<double>(Clock::now() - wall_).count();
    spent.processor += processorSeconds() - processor_;
  }

 private:
  Clock::time_point wall_;
  double processor_;
};

// Pages per second of every run (a repetition is a run of its own), by wall and processor time.
struct Rates {
  std::vector<double> wall, processor;
  void add(uint64_t pages, const Spent& spent) {
    if (spent.wall > 0) wall.push_back(double(pages) / spent.wall);
    if (spent.processor > 0) processor.push_back(double(pages) / spent.processor);
  }
};
Rates gDriverRates, gModuleRates;

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t half = values.size() / 2;
  return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

// An empty folder for one side's files, made outside the timed part.
fs::path freshFolder(const char* name) {
  const fs::path folder = gFolder / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

void prepare() {
  gFolder = fs::temp_directory_path() / ("module-bench-" + std::to_string(getpid()));
  fs::create_directories(gFolder);
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
  // The driver and the device are started once, as a client that scans job after job does.
  uint32_t handle = 0;
  if (kr->KRInitializeDriver(kDriverCtrl) != 0 ||
      kr->KRInitializeDevice(kDriverCtrl, nullptr, &handle) != 0) {
    state.SkipWithError("the driver or the device does not start");
    kr->KRTerminateDriver(kDriverCtrl);
    return;
  }
  uint64_t pages = 0;
  Spent spent;
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path folder = freshFolder("driver");
    sim::LoadedScanner()->LoadSheets(kSheets);
    state.ResumeTiming();
    const Lap lap;
    bool written = true;
    vtclient::ScanOutcome out =
        vtclient::RunScanJob(*kr, kDriverCtrl, &handle, s, [&](const vtclient::ScannedPage& p) {
          const imageio::PixelLayout layout{p.image.width, p.image.height, 8, 3,
                                            p.image.bytesPerLine};
          const double dpi = p.image.resolution;
          const fs::path path = folder / ("page " + std::to_string(p.number) + ".tiff");
          written = written && imageio::writeImageFile(
                                   path, imageio::FileKind::Tiff,
                                   imageio::RasterView{layout, {dpi, dpi}, p.image.data.data()},
                                   imageio::ImageProperties{1, "", ""})
                                   .ok();
          return written;
        });
    lap.addTo(spent);
    if (out.status != 0 || !written) state.SkipWithError("the driver-level job failed");
    pages += out.pages;
  }
  kr->KRTerminateDevice(kDriverCtrl, &handle);
  kr->KRTerminateDriver(kDriverCtrl);
  state.counters["pages/s"] = benchmark::Counter(double(pages), benchmark::Counter::kIsRate);
  gDriverRates.add(pages, spent);
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
  Spent spent;
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
    area.set("document folder", (gFolder / "module").string());
    area.set("document name", "page");
    area.set("document format", "public.tiff");
    area.set("width", kA4Width);
    area.set("height", kA4Height);
    setArea(framework, object, area);
    for (auto _ : state) {
      state.PauseTiming();
      freshFolder("module");
      framework.clearNotifications();
      sim::LoadedScanner()->LoadSheets(kSheets);
      state.ResumeTiming();
      const Lap lap;
      Dictionary done = call(framework, ica::kCallStart, object);
      lap.addTo(spent);
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
  gModuleRates.add(pages, spent);
}

BENCHMARK(DriverJob)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ModuleJob)->Unit(benchmark::kMillisecond)->UseRealTime();

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
  const double driver = median(gDriverRates.wall), module = median(gModuleRates.wall);
  const double driverCpu = median(gDriverRates.processor),
               moduleCpu = median(gModuleRates.processor);
  if (driver > 0 && module > 0 && driverCpu > 0 && moduleCpu > 0) {
    const double added = driver / module - 1, addedCpu = driverCpu / moduleCpu - 1;
    std::printf(
        "Duplex colour A4 at 300 dpi, %s pages to TIFF, median of %zu and %zu runs: driver level "
        "%.2f pages/s (%.2f a processor second), through the module %.2f pages/s (%.2f); the "
        "module adds %.0f%% a page (%.0f%% processor time) (mark: at most %.0f%%): %s\n",
        gDeviceJpeg ? "device-JPEG" : "raw", gDriverRates.wall.size(), gModuleRates.wall.size(),
        driver, driverCpu, module, moduleCpu, added * 100, addedCpu * 100, (kMark - 1) * 100,
        added <= kMark - 1 ? "met" : "missed");
  }
  std::error_code ec;
  fs::remove_all(gFolder, ec);
  return 0;
}
