#pragma once
// Runs scenarios through the driver's client exports against a simulated scanner of the
// scenario's description, and judges each against the simulator's record of what it fed: every
// page reported good holds exactly the sheet's side (raw) or libjpeg-turbo's decode of the
// scanner's stream (device JPEG); every condition the scanner raised reaches the client; every
// export returns within a bound (the watchdog ends the process naming the scenario); no job
// thread is left after the job; memory stays within the pipes' limits; the next job in the same
// process scans a clean page.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/drv/explore/Scenario.h"

namespace explore {

struct Outcome {
  std::vector<std::string> failures;  // empty: clean
  bool refused = false;               // the driver refused the settings before scanning
  uint32_t goodPages = 0;
  bool ok() const { return failures.empty(); }
};

struct Options {
  // An export (or the wait for a page's end) that takes longer hangs.
  std::chrono::seconds bound{90};
  bool verbose = false;
};

// Runs one scenario in this process (one at a time: the driver is the process's).
Outcome Run(const Scenario& scenario, const Options& options = {});

}  // namespace explore
