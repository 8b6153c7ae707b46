// A duplex colour A4 job at 300 dpi from the simulated scanner, each page written to a TIFF file
// by our image layer: through the Image Capture module (the host's requests on an in-process
// framework, the module's producer and consumer, its gamma and its documents), and at the
// driver level (a client's page loop on a device it opened beforehand). Both reach the scanner
// through the same driver library, so the difference is what the module adds. DriverJob and
// ModuleJob run each side on its own; PairedJobs runs the two one right after the other, and the
// end line gives the median of what the module adds in each pair against the mark (at most 15%
// more time a page). The scanner sends raw pages; with `--profile=jpeg` it sends its own device
// JPEG, which the driver decodes. The number of runs comes from the command line:
// --benchmark_filter=PairedJobs --benchmark_repetitions=9.
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

// The driver level: the library, its driver and the device started when the session is made,
// as a client that scans job after job has them, and ended with it.
class DriverSession {
 public:
  DriverSession() {
    kr_ = vtclient::KrLibrary::Load(VANTREL_LIBRARY, &error_);
    if (!kr_) return;
    if (kr_->KRInitializeDriver(kDriverCtrl) != 0) {
      error_ = "the driver does not start";
      kr_.reset();
      return;
    }
    if (kr_->KRInitializeDevice(kDriverCtrl, nullptr, &handle_) != 0) {
      error_ = "the device does not open";
      kr_->KRTerminateDriver(kDriverCtrl);
      kr_.reset();
    }
  }
  ~DriverSession() {
    if (!kr_) return;
    kr_->KRTerminateDevice(kDriverCtrl, &handle_);
    kr_->KRTerminateDriver(kDriverCtrl);
  }
  const std::string& error() const { return error_; }

  // One job of the feeder's sheets, each page to its TIFF file; the pages, 0 when it failed.
  uint64_t job(Spent& spent) {
    if (!kr_) return 0;
    vtclient::ScanSettings s;
    s.colour = vtclient::ScanColour::Colour;
    s.resolution = 300;
    s.width = 210;
    s.length = 297;
    s.source = vtclient::ScanSource::Duplex;
    s.pageMode = false;
    const fs::path folder = freshFolder("driver");
    sim::LoadedScanner()->LoadSheets(kSheets);
    const Lap lap;
    bool written = true;
    const vtclient::ScanOutcome out =
        vtclient::RunScanJob(*kr_, kDriverCtrl, &handle_, s, [&](const vtclient::ScannedPage& p) {
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
    return out.status == 0 && written ? out.pages : 0;
  }

 private:
  std::unique_ptr<vtclient::KrLibrary> kr_;
  uint32_t handle_ = 0;
  std::string error_;
};

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

// The module as a host has it: its callbacks on an in-process framework, the device open with a
// session on its feeder and the job's settings; a scan starts the driver and the device itself.
class ModuleSession {
 public:
  ModuleSession() {
    icamodule::InstallScannerCallbacks();
    icamodule::CreateScannersDictionary();
    framework_ = std::make_unique<ica::InProcessFramework>();
    Dictionary open;
    open.set(ica::kMsgCall, ica::kCallOpenUSBDevice);
    open.set(ica::kArgLocationID, kLocation);
    object_ = uint32_t(framework_->call(open).integer(ica::kArgObject).valueOr(0));
    call(*framework_, ica::kCallOpenSession, object_);
    Dictionary unit;
    unit.set("selectedFunctionalUnitType", 3);
    setArea(*framework_, object_, unit);
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
    setArea(*framework_, object_, area);
  }
  ~ModuleSession() {
    call(*framework_, ica::kCallCloseSession, object_);
    call(*framework_, ica::kCallCleanup, object_);
    call(*framework_, ica::kCallCloseDevice, object_);
    framework_.reset();
    icamodule::ReleaseScannersDictionary();
  }

  // One scan of the feeder's sheets to TIFF documents; the pages, 0 when it failed.
  uint64_t job(Spent& spent) {
    freshFolder("module");
    framework_->clearNotifications();
    sim::LoadedScanner()->LoadSheets(kSheets);
    const Lap lap;
    const Dictionary done = call(*framework_, ica::kCallStart, object_);
    lap.addTo(spent);
    if (done.integer(ica::kMsgResult).valueOr(-1) != 0) return 0;
    uint64_t pages = 0;
    for (const Dictionary& n : framework_->notifications())
      if (n.string(kICANotificationTypeKey).valueOr("") == kICANotificationTypeScannerPageDone)
        ++pages;
    return pages;
  }

 private:
  std::unique_ptr<ica::InProcessFramework> framework_;
  uint32_t object_ = 0;
};

// Each side on its own: a job an iteration.
template <typename Session>
void Jobs(benchmark::State& state, Rates& rates) {
  Session session;
  uint64_t pages = 0;
  Spent spent;
  for (auto _ : state) {
    Spent job;
    const uint64_t n = session.job(job);
    state.SetIterationTime(job.wall);
    if (n == 0) {
      state.SkipWithError("a job failed");
      return;
    }
    pages += n;
    spent.wall += job.wall;
    spent.processor += job.processor;
  }
  state.counters["pages/s"] = benchmark::Counter(double(pages), benchmark::Counter::kIsRate);
  rates.add(pages, spent);
}
void DriverJob(benchmark::State& state) { Jobs<DriverSession>(state, gDriverRates); }
void ModuleJob(benchmark::State& state) { Jobs<ModuleSession>(state, gModuleRates); }

// What the module adds to each pair of jobs run one right after the other (by turns the driver
// level first and the module first), so that both meet the same load of the machine.
std::vector<double> gPairWall, gPairProcessor;

void PairedJobs(benchmark::State& state) {
  bool driverFirst = true;
  for (auto _ : state) {
    Spent driver, module;
    uint64_t driverPages = 0, modulePages = 0;
    auto runDriver = [&] {
      DriverSession session;
      driverPages = session.job(driver);
    };
    auto runModule = [&] {
      ModuleSession session;
      modulePages = session.job(module);
    };
    if (driverFirst) {
      runDriver();
      runModule();
    } else {
      runModule();
      runDriver();
    }
    driverFirst = !driverFirst;
    state.SetIterationTime(driver.wall + module.wall);
    if (driverPages == 0 || modulePages == 0 || driverPages != modulePages) {
      state.SkipWithError("a job failed");
      return;
    }
    gPairWall.push_back(module.wall / driver.wall - 1);
    gPairProcessor.push_back(module.processor / driver.processor - 1);
  }
}

BENCHMARK(DriverJob)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(ModuleJob)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(PairedJobs)->Unit(benchmark::kMillisecond)->UseManualTime();

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
  const char* pages = gDeviceJpeg ? "device-JPEG" : "raw";
  const double driver = median(gDriverRates.wall), module = median(gModuleRates.wall);
  if (driver > 0 && module > 0) {
    std::printf(
        "Duplex colour A4 at 300 dpi, %s pages to TIFF, medians of %zu and %zu runs: driver "
        "level %.2f pages/s (%.2f a processor second), through the module %.2f pages/s (%.2f)\n",
        pages, gDriverRates.wall.size(), gModuleRates.wall.size(), driver,
        median(gDriverRates.processor), module, median(gModuleRates.processor));
  }
  if (!gPairWall.empty()) {
    const double added = median(gPairWall), addedProcessor = median(gPairProcessor);
    std::printf(
        "Duplex colour A4 at 300 dpi, %s pages to TIFF, median of %zu pairs of jobs: the module "
        "adds %.0f%% a page (%.0f%% processor time) to the driver level (mark: at most %.0f%%): "
        "%s\n",
        pages, gPairWall.size(), added * 100, addedProcessor * 100, (kMark - 1) * 100,
        added <= kMark - 1 ? "met" : "missed");
  }
  std::error_code ec;
  fs::remove_all(gFolder, ec);
  return 0;
}
