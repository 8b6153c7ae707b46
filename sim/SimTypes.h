#pragma once
// What the simulated scanner's headers share: the export mark and a colour.
#include <cstdint>

// The test-control API leaves libvantrel-sim.so so that a test linking the library reaches the
// very scanner that the driver loaded through VANTREL_SIMULATOR.
#define SIM_API __attribute__((visibility("default")))

namespace sim {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};

}  // namespace sim
