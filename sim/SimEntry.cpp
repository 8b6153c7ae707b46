// The simulator library's C entry point: the host layer asks it for the bus described by the
// file that VANTREL_SIMULATOR names.
#include "platform/usb/SimEntry.h"

#include <cstdio>
#include <mutex>
#include <string>

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
    return fail("host layer speaks entry version " + std::to_string(version) + ", the simulator " +
                std::to_string(kVantrelSimEntryVersion));
  if (!path || !*path) return fail("no description file");
  std::vector<sim::Config> configs;
  std::string why;
  if (!sim::LoadDescriptions(path, &configs, &why)) return fail(why);
  std::lock_guard lock(gMutex);
  if (gBus) {
    if (gDescription != path) return fail("simulator already runs with " + gDescription);
    return gBus;
  }
  gBus = new sim::SimBus;
  for (const sim::Config& config : configs) gBus->AddScanner(config);
  gDescription = path;
  return gBus;
}

namespace sim {

SimScanner* LoadedScanner() {
  std::lock_guard lock(gMutex);
  return gBus && gBus->ScannerCount() ? &gBus->Scanner(0) : nullptr;
}

size_t LoadedScannerCount() {
  std::lock_guard lock(gMutex);
  return gBus ? gBus->ScannerCount() : 0;
}

SimScanner* LoadedScanner(size_t index) {
  std::lock_guard lock(gMutex);
  return gBus && index < gBus->ScannerCount() ? &gBus->Scanner(index) : nullptr;
}

}  // namespace sim
