#pragma once
// The one C entry point of the simulator library (libvantrel-sim.so). The host layer looks it up
// with dlsym when VANTREL_SIMULATOR names a description file; the simulator defines it.
#include <cstdint>

namespace usbhost {
class UsbBus;
}

// Raised whenever the UsbHost.h classes change in a way that breaks a loaded simulator.
constexpr uint32_t kVantrelSimEntryVersion = 1;
#define VANTREL_SIM_ENTRY_NAME "VantrelSimulatorBus"
#define VANTREL_SIM_LIBRARY_NAME "libvantrel-sim.so"

// Returns the simulator's bus built from the description file (the same bus on every call of
// a process; the library owns it), or null with a reason in `error` (zero-terminated, cut to
// errorSize) when the version differs or the file is unusable.
extern "C" {
typedef usbhost::UsbBus* (*VantrelSimulatorBusFn)(uint32_t version, const char* descriptionPath,
                                                  char* error, uint32_t errorSize);
}
