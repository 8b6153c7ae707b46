// vantrel-scan: the command-line client of the Vantrel driver. It uses the library exactly as a
// client does: loaded at run time, its KR exports looked up by name, every block it hands out
// returned with KRMemFree, the device and the driver terminated on every way out.
#include <getopt.h>
#include <signal.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tools/DeviceReport.h"
#include "tools/KrLibrary.h"
#include "tools/PageFiles.h"
#include "tools/ScanPages.h"
#include "vantrel/status_codes.h"

namespace {

using vtclient::KrLibrary;
using vtclient::Printable;
using vtclient::StatusString;

constexpr const char* kProgram = "vantrel-scan";
constexpr const char* kVersion = "0.1";

// Controller ids the front ends give the driver.
constexpr uint32_t kDataSourceId = 0x0134B6EA;
constexpr uint32_t kDeviceModuleId = 0x2200;

enum ExitCode {
  kExitOk = 0,
  kExitError = 1,  // the driver or the scanner reported a failure, or output failed
  kExitUsage = 2,
  kExitNoLibrary = 3,  // the library or one of its exports is missing
  kExitNoScanner = 4,  // no scanner found, or none with the given target id
  kExitNoPaper = 5,    // the feeder was empty: no page scanned
};

// Ability capability word 1, bit 8: the scanner lets the whole NVRAM record be read.
constexpr uint32_t kCapReadWholeNvm = 1u << 8;

void Usage(FILE* out) {
  std::fprintf(
      out,
      "Usage: %s [OPTION]...\n"
      "\n"
      "Scans pages from a scanner of the Vantrel driver into image files; lists the\n"
      "scanners and describes one of them.\n"
      "\n"
      "  -L, --list-devices       list the scanners with their target ids and exit\n"
      "  -d, --device TARGET      use the scanner with this target id (default: the first)\n"
      "  -A, --all-options, --info\n"
      "                           print the scanner's ability record, NVRAM counters and status\n"
      "\n"
      "Scanning (with --batch or --output-file):\n"
      "  -b, --batch[=FORMAT]     scan every page into a file of its own, named by FORMAT with\n"
      "                           %%d for the page number (default out%%d.pgm: .pbm for\n"
      "                           lineart, .ppm for colour, .tif or .png with --format)\n"
      "      --batch-start N      the first page number (default 1)\n"
      "      --batch-count N      scan at most N pages (default: until the feeder is empty)\n"
      "  -o, --output-file PATH   scan one page into PATH (`-': standard output, PNM only)\n"
      "      --format FORMAT      pnm (PBM, PGM, PPM; the default), tiff or png\n"
      "      --mode MODE          Lineart, Gray (the default) or Color\n"
      "      --depth BITS         bits per sample: 8 (the default) or 16; lineart has 1\n"
      "      --resolution DPI     dots per inch (default 300)\n"
      "      --source SOURCE      Front (the default), Back or Duplex (ADF Front, ...)\n"
      "  -l, -t MM                the area's left and top edge in millimetres (default 0)\n"
      "  -x, -y MM                the area's width and length in millimetres (default Letter)\n"
      "      --to-end-of-page     each page as long as its sheet, not the area's length\n"
      "      --batch-mode         the scanner feeds sheets ahead instead of page by page\n"
      "      --block-size BYTES   bytes the driver hands over per call (default: whole pages)\n"
      "  -c, --controller ID      controller id given to the driver: a number, `data-source'\n"
      "                           (0x0134B6EA) or `device-module' (0x2200, the default)\n"
      "      --library PATH       the driver library (default: $VANTREL_LIBRARY, else\n"
      "                           ../lib/libVantrel.so from this program's folder)\n"
      "  -h, --help               print this help and exit\n"
      "  -V, --version            print the version and exit\n"
      "\n"
      "Exit status: 0 done; 1 the driver or the scanner reported an error, or the output\n"
      "could not be written; 2 usage error; 3 the driver library cannot be loaded; 4 no\n"
      "scanner found; 5 the feeder was empty (no page scanned). The scanner's condition in\n"
      "the status line of --info is a report, not an error.\n"
      "\n"
      "Environment: VANTREL_LIBRARY (the driver library), VANTREL_SIMULATOR (description file\n"
      "of a simulated scanner, used instead of the USB bus), VANTREL_LOG_ROOT (folder of the\n"
      "driver's Debug.conf and log, default /tmp/DrvLog/).\n",
      kProgram);
}

int UsageError(const std::string& message) {
  if (!message.empty()) std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
  std::fprintf(stderr, "Try `%s --help' for more information.\n", kProgram);
  return kExitUsage;
}

int Fail(int code, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
  return code;
}

bool ParseController(const char* text, uint32_t* out) {
  if (strcasecmp(text, "data-source") == 0) {
    *out = kDataSourceId;
    return true;
  }
  if (strcasecmp(text, "device-module") == 0) {
    *out = kDeviceModuleId;
    return true;
  }
  if (*text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long value = std::strtoull(text, &end, 0);
  if (*end != 0 || errno != 0 || value > UINT32_MAX) return false;
  *out = static_cast<uint32_t>(value);
  return true;
}

// The driver from KRInitializeDriver to KRTerminateDriver, and the device handle it gave out.
class Session {
 public:
  Session(KrLibrary& kr, uint32_t ctrl) : kr_(kr), ctrl_(ctrl) {}
  ~Session() {
    if (handle_ != 0) kr_.KRTerminateDevice(ctrl_, &handle_);
    kr_.KRTerminateDriver(ctrl_);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  long Start() { return kr_.KRInitializeDriver(ctrl_); }
  // A failed opening may have written a handle as well; the destructor terminates it either way.
  long Open(const std::string& target) {
    std::vector<char> id(target.begin(), target.end());
    id.push_back(0);
    return kr_.KRInitializeDevice(ctrl_, id.data(), &handle_);
  }
  void Free(void* block) {
    if (block != nullptr) kr_.KRMemFree(ctrl_, block);
  }

  KrLibrary& kr() { return kr_; }
  uint32_t ctrl() const { return ctrl_; }
  uint32_t* handle() { return &handle_; }

 private:
  KrLibrary& kr_;
  uint32_t ctrl_;
  uint32_t handle_ = 0;
};

// One scanner of the device list, copied out of the driver's blocks.
struct Scanner {
  std::string target, vendor, model, serial, interface;
  uint32_t vid = 0, pid = 0;
};

std::string Show(const std::string& text) { return Printable(text.c_str(), text.size()); }

// KRGetDeviceList into copies; every block of the driver's list goes back with KRMemFree.
long ListScanners(Session& s, std::vector<Scanner>* out) {
  DEVLIST* list = nullptr;
  uint32_t count = 0;
  long status = s.kr().KRGetDeviceList(s.ctrl(), &list, &count);
  if (status != 0 || list == nullptr) return status;
  std::vector<void*> strings, nodes;
  DeviceInformation* node = list->pDevice;
  for (uint32_t i = 0; i < count && node != nullptr; ++i, node = node->next) {
    Scanner sc;
    // Copies as the driver wrote them, never past their buffers; printed through Printable.
    auto text = [](const char* p, size_t max) {
      return p ? std::string(p, strnlen(p, max)) : std::string();
    };
    sc.target = text(node->DeviceName, kDevListDeviceNameSize);
    sc.vendor = text(node->VendorName, kDevListVendorNameSize);
    sc.model = text(node->ModelName, kDevListModelNameSize);
    sc.serial = text(node->SerialNumber, kDevListSerialNumberSize);
    sc.interface = text(node->Interface, kDevListInterfaceSize);
    sc.vid = node->VID;
    sc.pid = node->PID;
    out->push_back(sc);
    for (void* p : {static_cast<void*>(node->DeviceName), static_cast<void*>(node->VendorName),
                    static_cast<void*>(node->ModelName), static_cast<void*>(node->SerialNumber),
                    static_cast<void*>(node->Interface), static_cast<void*>(node->Address)}) {
      strings.push_back(p);
    }
    nodes.push_back(node);
  }
  // Strings first, then the nodes (one array in this driver; later nodes are simply not found),
  // then the header: nothing is read from a block after it went back.
  for (void* p : strings) s.Free(p);
  for (void* p : nodes) s.Free(p);
  s.Free(list);
  return 0;
}

// The hint for an empty bus: with the simulator chosen, a description it refuses leaves no scanner.
std::string NoScannerHint() {
  const char* sim = std::getenv("VANTREL_SIMULATOR");
  if (sim == nullptr || *sim == 0) return "check that the scanner is plugged in and switched on";
  std::string hint = std::string("VANTREL_SIMULATOR=") + sim + " chooses the simulated scanner";
  if (access(sim, R_OK) != 0) hint += ", but that file cannot be read";
  return hint;
}

int List(Session& s) {
  std::vector<Scanner> scanners;
  long status = ListScanners(s, &scanners);
  if (status != 0) return Fail(kExitError, "listing the scanners failed: " + StatusString(status));
  if (scanners.empty())
    return Fail(kExitNoScanner, "no scanners were identified (" + NoScannerHint() + ")");
  for (const Scanner& sc : scanners) {
    std::printf("device `%s' is a %s %s scanner (serial %s)\n", Show(sc.target).c_str(),
                Show(sc.vendor).c_str(), Show(sc.model).c_str(), Show(sc.serial).c_str());
  }
  return kExitOk;
}

// The ability record with its five strings, each a block of its own.
void FreeAbility(Session& s, DeviceAbility* a) { vtclient::FreeAbility(s.kr(), s.ctrl(), a); }

// The scanner a run uses: the requested one, else the first of the list.
struct Chosen {
  std::vector<Scanner> scanners;
  const Scanner* listed = nullptr;  // its entry of the list, when it has one
  std::string target;
};

// Lists the scanners and opens the chosen one; kExitOk, or the exit code after its message.
int OpenChosen(Session& s, const std::string& requested, Chosen* c) {
  long status = ListScanners(s, &c->scanners);
  if (status != 0) return Fail(kExitError, "listing the scanners failed: " + StatusString(status));
  if (c->scanners.empty())
    return Fail(kExitNoScanner, "no scanners were identified (" + NoScannerHint() + ")");
  c->listed = &c->scanners.front();
  if (!requested.empty()) {
    c->listed = nullptr;
    for (const Scanner& sc : c->scanners) {
      if (strcasecmp(sc.target.c_str(), requested.c_str()) == 0) c->listed = &sc;
    }
  }
  c->target = c->listed != nullptr ? c->listed->target : requested;
  status = s.Open(c->target);
  if (status == krstatus::kNotFound) {
    return Fail(kExitNoScanner,
                "no scanner `" + Show(c->target) + "' (`" + kProgram + " -L' lists them)");
  }
  if (status != 0)
    return Fail(kExitError, "cannot open `" + Show(c->target) + "': " + StatusString(status));
  return kExitOk;
}

int Info(Session& s, const std::string& requested) {
  Chosen c;
  if (int r = OpenChosen(s, requested, &c); r != kExitOk) return r;
  const Scanner* chosen = c.listed;
  const std::string& target = c.target;
  long status = 0;

  vtclient::Report report;
  report.Title("Device `" + Show(target) + "'");
  if (chosen != nullptr) {
    report.Line("vendor, model", Show(chosen->vendor) + " " + Show(chosen->model));
    report.Line("serial", Show(chosen->serial));
    char ids[48];
    std::snprintf(ids, sizeof ids, "%s 0x%04X:0x%04X", Show(chosen->interface).c_str(), chosen->vid,
                  chosen->pid);
    report.Line("interface", ids);
  }
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "%u (controller id 0x%08X)", *s.handle(), s.ctrl());
  report.Line("handle", numbers);

  int result = kExitOk;
  DeviceAbility* ability = nullptr;
  status = s.kr().KRGetDeviceAbility(s.ctrl(), s.handle(), &ability);
  if (status != 0 || ability == nullptr) {
    FreeAbility(s, ability);
    std::fputs(report.Text().c_str(), stdout);
    return Fail(kExitError, "reading the ability record failed: " + StatusString(status));
  }
  if (!vtclient::DescribeAbility(*ability, &report)) result = kExitError;
  const bool hasNvm =
      ability->Version == 200 && (ability->ScannerCapability1 & kCapReadWholeNvm) != 0;
  FreeAbility(s, ability);

  if (hasNvm) {
    // The driver's block: it holds at least a whole layout-2 record and reaches as far as the
    // record's own Size field, whichever layout the device keeps. (A block of our own would have
    // to state its room in that layout's Size field, which we do not know before reading.)
    void* data = nullptr;
    status = s.kr().KRReadNVMData(s.ctrl(), s.handle(), &data, 0, 0);
    if (status != 0) {
      report.Title("NVRAM");
      report.Line("record", "not read: " + StatusString(status));
      std::fprintf(stderr, "%s: reading the NVRAM record failed: %s\n", kProgram,
                   StatusString(status).c_str());
      result = kExitError;
    } else {
      if (!vtclient::DescribeNvm(static_cast<const uint8_t*>(data), sizeof(NewNvmData), &report))
        result = kExitError;
      s.kr().KRMemFree(s.ctrl(), data);
    }
  } else {
    report.Title("NVRAM");
    report.Line("record", "the scanner keeps none that can be read");
  }

  report.Title("Status");
  report.Line("condition", StatusString(s.kr().KRDeviceStatus(s.ctrl(), s.handle())));
  std::fputs(report.Text().c_str(), stdout);
  return result;
}

// What the user asked of a scan.
struct ScanRequest {
  vtclient::ScanSettings settings;
  vtclient::PageFormat format = vtclient::PageFormat::Pnm;
  bool formatGiven = false;
  bool batch = false;
  std::string batchFormat;  // empty: out%d.<extension>
  uint32_t batchStart = 1;
  std::string output;  // one page into this file
};

// A batch name with its one %d (flags and width allowed, %% for a percent sign) filled in;
// false for a name with another conversion or none.
bool BatchName(const std::string& format, uint32_t number, std::string* out) {
  std::string name;
  bool done = false;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      name += format[i];
      continue;
    }
    size_t j = i + 1;
    if (j < format.size() && format[j] == '%') {
      name += '%';
      i = j;
      continue;
    }
    std::string spec = "%";
    while (j < format.size() && std::strchr("0-+ ", format[j]) != nullptr) spec += format[j++];
    while (j < format.size() && format[j] >= '0' && format[j] <= '9') spec += format[j++];
    if (j >= format.size() || format[j] != 'd' || done || spec.size() > 4) return false;
    spec += 'd';
    char number_text[32];
    std::snprintf(number_text, sizeof number_text, spec.c_str(), static_cast<int>(number));
    name += number_text;
    done = true;
    i = j;
  }
  if (!done) return false;
  *out = name;
  return true;
}

// The message and exit code of a device condition that ended a scan.
int ScanFailure(const vtclient::ScanOutcome& o) {
  struct Hint {
    long code;
    const char* text;
  };
  static const Hint kHints[] = {
      {krstatus::kNoPaper, "the feeder is empty: load the pages and scan again"},
      {krstatus::kCoverOpen, "the feeder's cover is open: close it and scan again"},
      {krstatus::kPaperJam, "a page jammed: clear the paper path and scan again"},
      {krstatus::kMultiFeed, "more than one sheet was fed at once: load the pages again"},
      {krstatus::kLampOff, "the lamp is off: it was switched on, scan again in a moment"},
      {krstatus::kWarmUp, "the scanner is warming up: scan again in a moment"},
      {krstatus::kScannerBusy, "the scanner is busy with another job"},
      {krstatus::kParameterError,
       "the scanner does not take these settings (mode, depth, resolution or area)"},
      {krstatus::kReadAbort, "the scan was cancelled on the scanner"},
      {krstatus::kMisfeed, "a sheet was not fed properly: load the pages again"},
      {krstatus::kSkew, "a sheet went in askew: straighten the pages and scan again"},
      {krstatus::kLocked, "another computer has the scanner reserved: scan again when it is done"},
  };
  std::string message = std::string(o.call) + " failed: " + StatusString(o.status);
  for (const Hint& h : kHints) {
    if (h.code == o.status) message += "; " + std::string(h.text);
  }
  const bool empty = o.status == krstatus::kNoPaper && o.pages == 0;
  return Fail(empty ? kExitNoPaper : kExitError, message);
}

// Each page into its file as its bytes arrive.
class PageFiles final : public vtclient::PageConsumer {
 public:
  PageFiles(const ScanRequest& request, std::string batchFormat)
      : request_(request), batchFormat_(std::move(batchFormat)) {}

  bool Begin(const vtclient::ScannedPage& page) override {
    path_ = request_.output;
    if (request_.batch) BatchName(batchFormat_, request_.batchStart + page.number - 1, &path_);
    number_ = page.number;
    writer_ = std::make_unique<vtclient::PageWriter>(request_.format, path_);
    std::string error;
    return writer_->Start(page.image.layout(), &error) || Refuse(error);
  }
  bool Bytes(const uint8_t* data, size_t size) override {
    std::string error;
    return writer_->Write(data, size, &error) || Refuse(error);
  }
  bool End(const vtclient::ScannedPage& page) override {
    std::string error;
    if (!writer_->Finish(page.image.layout(), &error)) return Refuse(error);
    const char* sideNames[] = {"front", "back"};
    std::fprintf(stderr, "Scanned page %u (sheet %u, %s): %ux%u pixels, %llu bytes -> %s\n",
                 page.number, page.sheet, sideNames[page.back ? 1 : 0], page.image.width,
                 page.image.height, static_cast<unsigned long long>(writer_->bytesReceived()),
                 path_.c_str());
    writer_.reset();
    return true;
  }
  void Drop() override { writer_.reset(); }

  // A page could not be written: the scan's result is an error.
  bool failed() const { return failed_; }

 private:
  bool Refuse(const std::string& error) {
    Fail(kExitError,
         "cannot write page " + std::to_string(number_) + " to `" + path_ + "': " + error);
    failed_ = true;
    return false;
  }

  const ScanRequest& request_;
  const std::string batchFormat_;
  std::string path_;
  uint32_t number_ = 0;
  std::unique_ptr<vtclient::PageWriter> writer_;
  bool failed_ = false;
};

int ScanPages(Session& s, const std::string& requested, const ScanRequest& request) {
  Chosen c;
  if (int r = OpenChosen(s, requested, &c); r != kExitOk) return r;
  const uint32_t bits = request.settings.colour == vtclient::ScanColour::Lineart ? 1
                        : request.settings.colour == vtclient::ScanColour::Colour
                            ? 3 * request.settings.depth
                            : request.settings.depth;
  std::string batchFormat = request.batchFormat;
  if (batchFormat.empty()) batchFormat = "out%d." + vtclient::PageExtension(request.format, bits);
  PageFiles files(request, batchFormat);
  vtclient::ScanSettings settings = request.settings;
  if (!request.batch) settings.pages = 1;
  const vtclient::ScanOutcome o =
      vtclient::RunScanJob(s.kr(), s.ctrl(), s.handle(), settings, files);
  if (files.failed()) return kExitError;
  if (o.status != 0) return ScanFailure(o);
  std::fprintf(stderr, "%u page%s scanned from `%s'\n", o.pages, o.pages == 1 ? "" : "s",
               Show(c.target).c_str());
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  enum {
    kOptLibrary = 256,
    kOptBatchStart,
    kOptBatchCount,
    kOptFormat,
    kOptMode,
    kOptDepth,
    kOptResolution,
    kOptSource,
    kOptToEnd,
    kOptBatchMode,
    kOptBlockSize,
  };
  static const option kOptions[] = {
      {"batch", optional_argument, nullptr, 'b'},
      {"batch-start", required_argument, nullptr, kOptBatchStart},
      {"batch-count", required_argument, nullptr, kOptBatchCount},
      {"output-file", required_argument, nullptr, 'o'},
      {"format", required_argument, nullptr, kOptFormat},
      {"mode", required_argument, nullptr, kOptMode},
      {"depth", required_argument, nullptr, kOptDepth},
      {"resolution", required_argument, nullptr, kOptResolution},
      {"source", required_argument, nullptr, kOptSource},
      {"to-end-of-page", no_argument, nullptr, kOptToEnd},
      {"batch-mode", no_argument, nullptr, kOptBatchMode},
      {"block-size", required_argument, nullptr, kOptBlockSize},
      {"list-devices", no_argument, nullptr, 'L'},
      {"device", required_argument, nullptr, 'd'},
      {"all-options", no_argument, nullptr, 'A'},
      {"info", no_argument, nullptr, 'A'},
      {"controller", required_argument, nullptr, 'c'},
      {"library", required_argument, nullptr, kOptLibrary},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},
      {nullptr, 0, nullptr, 0},
  };
  bool list = false, info = false, help = false, version = false;
  std::string device;
  const char* library = nullptr;
  uint32_t ctrl = kDeviceModuleId;
  ScanRequest scan;
  vtclient::ScanSettings& set = scan.settings;
  auto number = [](const char* text, uint64_t max, uint64_t* out) {
    if (*text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (*end != 0 || errno != 0 || v > max) return false;
    *out = v;
    return true;
  };
  auto millimetres = [](const char* text, double* out) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (end == text || *end != 0 || errno != 0 || !(v >= 0) || v > 10000) return false;
    *out = v;
    return true;
  };
  uint64_t n = 0;
  int c;
  while ((c = getopt_long(argc, argv, "Ld:Ac:hVb::o:l:t:x:y:", kOptions, nullptr)) != -1) {
    switch (c) {
      case 'b':
        scan.batch = true;
        if (optarg != nullptr) {
          std::string probe;
          if (!BatchName(optarg, 1, &probe))
            return UsageError(std::string("--batch needs one %d in `") + optarg + "'");
          scan.batchFormat = optarg;
        }
        break;
      case kOptBatchStart:
        if (!number(optarg, 1000000, &n)) return UsageError("bad --batch-start");
        scan.batchStart = static_cast<uint32_t>(n);
        break;
      case kOptBatchCount:
        if (!number(optarg, 100000, &n) || n == 0) return UsageError("bad --batch-count");
        set.pages = static_cast<uint32_t>(n);
        break;
      case 'o':
        scan.output = optarg;
        if (scan.output.empty()) return UsageError("--output-file needs a path");
        break;
      case kOptFormat:
        if (!vtclient::ParsePageFormat(optarg, &scan.format))
          return UsageError(std::string("unknown format `") + optarg + "' (pnm, tiff or png)");
        scan.formatGiven = true;
        break;
      case kOptMode:
        if (strcasecmp(optarg, "lineart") == 0) {
          set.colour = vtclient::ScanColour::Lineart;
        } else if (strcasecmp(optarg, "gray") == 0 || strcasecmp(optarg, "grey") == 0) {
          set.colour = vtclient::ScanColour::Grey;
        } else if (strcasecmp(optarg, "color") == 0 || strcasecmp(optarg, "colour") == 0) {
          set.colour = vtclient::ScanColour::Colour;
        } else {
          return UsageError(std::string("unknown mode `") + optarg + "' (Lineart, Gray, Color)");
        }
        break;
      case kOptDepth:
        if (!number(optarg, 16, &n) || (n != 1 && n != 8 && n != 16))
          return UsageError(std::string("bad depth `") + optarg + "' (1, 8 or 16)");
        set.depth = static_cast<uint32_t>(n);
        break;
      case kOptResolution:
        if (!number(optarg, 1200, &n) || n < 50)
          return UsageError(std::string("bad resolution `") + optarg + "' (50 to 1200)");
        set.resolution = static_cast<uint32_t>(n);
        break;
      case kOptSource: {
        std::string source = optarg;
        if (strncasecmp(source.c_str(), "ADF ", 4) == 0) source = source.substr(4);
        if (strcasecmp(source.c_str(), "front") == 0) {
          set.source = vtclient::ScanSource::Front;
        } else if (strcasecmp(source.c_str(), "back") == 0) {
          set.source = vtclient::ScanSource::Back;
        } else if (strcasecmp(source.c_str(), "duplex") == 0) {
          set.source = vtclient::ScanSource::Duplex;
        } else {
          return UsageError(std::string("unknown source `") + optarg + "' (Front, Back, Duplex)");
        }
        break;
      }
      case 'l':
      case 't':
      case 'x':
      case 'y': {
        double* field = c == 'l'   ? &set.left
                        : c == 't' ? &set.top
                        : c == 'x' ? &set.width
                                   : &set.length;
        if (!millimetres(optarg, field))
          return UsageError(std::string("bad length `") + optarg + "' (millimetres)");
        break;
      }
      case kOptToEnd:
        set.toEndOfPage = true;
        break;
      case kOptBatchMode:
        set.pageMode = false;
        break;
      case kOptBlockSize:
        if (!number(optarg, 0x7FFFFFFF, &n)) return UsageError("bad --block-size");
        set.blockSize = static_cast<uint32_t>(n);
        break;
      case 'L':
        list = true;
        break;
      case 'd':
        device = optarg;
        if (device.empty()) return UsageError("--device needs a target id");
        break;
      case 'A':
        info = true;
        break;
      case 'c':
        if (!ParseController(optarg, &ctrl))
          return UsageError(std::string("bad controller id `") + optarg + "'");
        break;
      case kOptLibrary:
        library = optarg;
        break;
      case 'h':
        help = true;
        break;
      case 'V':
        version = true;
        break;
      default:
        return UsageError("");  // getopt named the option
    }
  }
  if (optind < argc) return UsageError(std::string("unexpected argument `") + argv[optind] + "'");
  if (help) {
    Usage(stdout);
    return kExitOk;
  }
  if (version) {
    std::printf("%s %s\n", kProgram, kVersion);
    return kExitOk;
  }
  const bool scanning = scan.batch || !scan.output.empty();
  if (!list && !info && !scanning)
    return UsageError("nothing to do: use -L, -A, --batch or --output-file");
  if (scan.batch && !scan.output.empty())
    return UsageError("--batch and --output-file exclude each other");
  if (set.colour == vtclient::ScanColour::Lineart) {
    set.depth = 1;
  } else if (set.depth == 1) {
    return UsageError("a depth of 1 is lineart (--mode Lineart)");
  }
  if (set.width <= 0 || set.length <= 0) return UsageError("the area is empty");
  if (!scan.formatGiven && (!scan.output.empty() || !scan.batchFormat.empty())) {
    // The format from the file name's extension, as far as it names one.
    const std::string& o = scan.output.empty() ? scan.batchFormat : scan.output;
    const size_t dot = o.rfind('.');
    if (dot != std::string::npos) vtclient::ParsePageFormat(o.substr(dot + 1), &scan.format);
  }

  // A reader that goes away (vantrel-scan -A | head) must not kill the run before the driver ends.
  signal(SIGPIPE, SIG_IGN);

  std::string error;
  std::unique_ptr<KrLibrary> kr = KrLibrary::Load(vtclient::ChooseLibraryPath(library), &error);
  if (!kr) return Fail(kExitNoLibrary, error);

  int result;
  {
    Session session(*kr, ctrl);
    long status = session.Start();
    if (status != 0) {
      result = Fail(kExitError, "the driver did not start: " + StatusString(status));
    } else {
      // Like scanimage, -L lists and ends the run.
      result = list   ? List(session)
               : info ? Info(session, device)
                      : ScanPages(session, device, scan);
    }
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    return Fail(kExitError, std::string("cannot write the output: ") + std::strerror(errno));
  }
  return result;
}
