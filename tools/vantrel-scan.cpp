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
#include <string>
#include <vector>

#include "tools/DeviceReport.h"
#include "tools/KrLibrary.h"
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
};

// Ability capability word 1, bit 8: the scanner lets the whole NVRAM record be read.
constexpr uint32_t kCapReadWholeNvm = 1u << 8;

void Usage(FILE* out) {
  std::fprintf(
      out,
      "Usage: %s [OPTION]...\n"
      "\n"
      "Lists the scanners that the Vantrel driver finds and describes one of them.\n"
      "\n"
      "  -L, --list-devices       list the scanners with their target ids and exit\n"
      "  -d, --device TARGET      use the scanner with this target id (default: the first)\n"
      "  -A, --all-options, --info\n"
      "                           print the scanner's ability record, NVRAM counters and status\n"
      "  -c, --controller ID      controller id given to the driver: a number, `data-source'\n"
      "                           (0x0134B6EA) or `device-module' (0x2200, the default)\n"
      "      --library PATH       the driver library (default: $VANTREL_LIBRARY, else\n"
      "                           ../lib/libVantrel.so from this program's folder)\n"
      "  -h, --help               print this help and exit\n"
      "  -V, --version            print the version and exit\n"
      "\n"
      "Exit status: 0 done; 1 the driver or the scanner reported an error, or the output\n"
      "could not be written; 2 usage error; 3 the driver library cannot be loaded; 4 no\n"
      "scanner found. The scanner's condition in the status line of --info is a report,\n"
      "not an error.\n"
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
void FreeAbility(Session& s, DeviceAbility* a) {
  if (a == nullptr) return;
  for (char* p : {a->pVendorName, a->pModelName, a->pFWVersion, a->pPortType, a->pPortAddress})
    s.Free(p);
  s.Free(a);
}

int Info(Session& s, const std::string& requested) {
  std::vector<Scanner> scanners;
  long status = ListScanners(s, &scanners);
  if (status != 0) return Fail(kExitError, "listing the scanners failed: " + StatusString(status));
  if (scanners.empty())
    return Fail(kExitNoScanner, "no scanners were identified (" + NoScannerHint() + ")");
  const Scanner* chosen = &scanners.front();
  if (!requested.empty()) {
    chosen = nullptr;
    for (const Scanner& sc : scanners) {
      if (strcasecmp(sc.target.c_str(), requested.c_str()) == 0) chosen = &sc;
    }
  }
  const std::string target = chosen != nullptr ? chosen->target : requested;

  status = s.Open(target);
  if (status == krstatus::kNotFound) {
    return Fail(kExitNoScanner,
                "no scanner `" + Show(target) + "' (`" + kProgram + " -L' lists them)");
  }
  if (status != 0)
    return Fail(kExitError, "cannot open `" + Show(target) + "': " + StatusString(status));

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

}  // namespace

int main(int argc, char** argv) {
  enum { kOptLibrary = 256 };
  static const option kOptions[] = {
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
  int c;
  while ((c = getopt_long(argc, argv, "Ld:Ac:hV", kOptions, nullptr)) != -1) {
    switch (c) {
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
  if (!list && !info)
    return UsageError("nothing to do: scanning is not available yet; use -L or -A");

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
      result = list ? List(session) : Info(session, device);
    }
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    return Fail(kExitError, std::string("cannot write the output: ") + std::strerror(errno));
  }
  return result;
}
