// The simulator library's C entry point: the host layer asks it for the bus described by the
// file that VANTREL_SIMULATOR names.
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/usb/SimEntry.h"
#include "sim/SimScanner.h"

namespace {
std::mutex gMutex;
sim::SimBus* gBus = nullptr;  // lives for the rest of the process once made
std::string gDescription;
}  // namespace

extern "C" SIM_API usbhost::UsbBus* VantrelSimulatorBus(uint32_t version, const char* path,
                                                       char* error, uint32_t errorSize) {
  auto fail = [&](const std::string& why) -> usbhost::UsbBus* {
    if (error && errorSize) std::snprintf(error, errorSize, "%s", why.c_str());
    return nullptr;
  };
  if (version != kVantrelSimEntryVersion)
    return fail("host layer speaks entry version " + std::to_string(version) +
                ", the simulator " + std::to_string(kVantrelSimEntryVersion));
  if (!path || !*path) return fail("no description file");
  sim::Config config;
  std::string why;
  if (!sim::LoadDescription(path, &config, &why)) return fail(why);
  std::lock_guard lock(gMutex);
  if (gBus) {
    if (gDescription != path) return fail("simulator already runs with " + gDescription);
    return gBus;
  }
  gBus = new sim::SimBus;
  gBus->AddScanner(config);
  gDescription = path;
  return gBus;
}

namespace sim {

SimScanner* LoadedScanner() {
  std::lock_guard lock(gMutex);
  return gBus && gBus->ScannerCount() ? &gBus->Scanner(0) : nullptr;
}

}  // namespace sim
