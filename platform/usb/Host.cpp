// The process's choice of bus: an installed one (tests), the simulator named by
// VANTREL_SIMULATOR, or libusb for real scanners.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/usb/LibusbBackend.h"
#include "platform/usb/SimEntry.h"
#include "platform/usb/UsbHost.h"

namespace usbhost {
namespace {

// Stands in when the requested bus could not be set up: finds nothing, so the transport
// reports "no scanner" instead of talking to hardware the user did not ask for.
class EmptyBus final : public UsbBus {
 public:
  UsbStatus FindDevices(uint16_t, uint16_t, std::vector<std::unique_ptr<UsbDevice>>* out) override {
    if (out) out->clear();
    return kUsbNotFound;
  }
};

std::mutex gMutex;
UsbBus* gInstalled = nullptr;
UsbBus* gDefault = nullptr;
std::string gError;

std::string Directory(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// The folder of the library or program that holds this code. A library loaded through a link
// (the Image Capture module loads the driver from its resource folder) counts from the folder of
// the file linked to, where the simulator library is built and installed beside it.
std::string OwnDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnDirectory), &info) && info.dli_fname &&
      std::string(info.dli_fname).find('/') != std::string::npos) {
    char real[PATH_MAX];
    if (realpath(info.dli_fname, real)) return Directory(real);
    return Directory(info.dli_fname);
  }
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return {};
  exe[n] = 0;
  return Directory(exe);
}

UsbBus* LoadSimulator(const char* description, std::string* error) {
  std::vector<std::string> candidates;
  const char* forced = getenv("VANTREL_SIM_LIBRARY");
  if (forced && *forced) {
    candidates.push_back(forced);
  } else {
    std::string own = OwnDirectory();
    if (!own.empty()) {
      candidates.push_back(own + "/" VANTREL_SIM_LIBRARY_NAME);
      candidates.push_back(own + "/../lib/" VANTREL_SIM_LIBRARY_NAME);
    }
    candidates.push_back(VANTREL_SIM_LIBRARY_NAME);
  }
  void* handle = nullptr;
  std::string tried;
  for (const auto& c : candidates) {
    handle = dlopen(c.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle) break;
    const char* why = dlerror();
    tried += "\n  " + c + ": " + (why ? why : "not loadable");
  }
  if (!handle) {
    *error = "simulator library not found:" + tried;
    return nullptr;
  }
  auto entry = reinterpret_cast<VantrelSimulatorBusFn>(dlsym(handle, VANTREL_SIM_ENTRY_NAME));
  if (!entry) {
    *error = "simulator library has no entry " VANTREL_SIM_ENTRY_NAME;
    dlclose(handle);
    return nullptr;
  }
  char why[512] = {};
  UsbBus* bus = entry(kVantrelSimEntryVersion, description, why, sizeof why);
  if (!bus) {
    *error = std::string("simulator refused ") + description + ": " + why;
    dlclose(handle);
    return nullptr;
  }
  // The library stays loaded for the rest of the process: the bus lives in it.
  return bus;
}

UsbBus* ChooseDefault() {
  const char* description = getenv("VANTREL_SIMULATOR");
  if (!description || !*description) return &libusb::Bus();
  std::string error;
  if (UsbBus* bus = LoadSimulator(description, &error)) return bus;
  gError = "VANTREL_SIMULATOR: " + error;
  static EmptyBus empty;
  return &empty;
}

}  // namespace

UsbBus& Host() {
  std::lock_guard lock(gMutex);
  if (gInstalled) return *gInstalled;
  if (!gDefault) gDefault = ChooseDefault();
  return *gDefault;
}

void InstallHost(UsbBus* bus) {
  std::lock_guard lock(gMutex);
  gInstalled = bus;
}

void ReleaseHost() {
  std::lock_guard lock(gMutex);
  if (gDefault) gDefault->Release();
}

const char* HostError() {
  std::lock_guard lock(gMutex);
  return gError.c_str();
}

const char* SpeedText(Speed speed) {
  switch (speed) {
    case Speed::Low:
    case Speed::Full:
      return "USB 1.1";
    case Speed::High:
      return "USB 2.0";
    default:
      return "USB";
  }
}

}  // namespace usbhost
