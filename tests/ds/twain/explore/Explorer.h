#pragma once
// The TWAIN scenario explorer: a stand-in manager and application (the host core of
// tools/twain) that drive the built data source bundle through its DS_Entry only, against the
// simulated scanner, one scenario (Scenario.h) a run. The oracle:
// - the TWAIN 2.x state table: a triplet out of its states fails with TWCC_SEQERROR, one in its
//   states answers a return code and a condition the protocol has for it;
// - capability negotiation: what a host reads back is what it set, or the source said it changed
//   it (TWRC_CHECKSTATUS); a value outside what the source advertises is refused or moved inside;
//   the frame and the image layout agree;
// - images: the description (DAT_IMAGEINFO) is what was negotiated (pixel type, depth,
//   resolution, the frame's size) and what every mechanism and strip size delivers (rows, strip
//   records); the batch holds as many images as the feeder's sheets give; no image is one value
//   or a repeat of the one before (the simulated sides differ row by row and sheet by sheet);
// - no message reaches the application while one of its calls is inside DS_Entry;
// - every call returns within a bound (else the process ends naming the scenario), no thread is
//   left after a disable, no block of the manager's allocator is leaked, and the next session in
//   the process opens and scans.
// Findings of a class that hits a fault still open are kept apart (KnownOpen) so the explorer
// stays green while those faults are mended; the class list shrinks as they are.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/ds/twain/explore/Scenario.h"

namespace explore {

struct Finding {
  std::string kind;  // the class: a short name a known-open entry can match
  std::string what;
};

struct Outcome {
  Plan plan;
  std::vector<Finding> findings;  // faults
  std::vector<Finding> known;     // findings of a known-open class
  uint32_t images = 0;            // images transferred whole
  uint32_t calls = 0;             // triplets sent
  // Not run: the scenario would hit a known-open fault that hangs (the class's name).
  std::string heldBack;
  bool clean() const { return findings.empty(); }
  std::string Describe() const;
};

// A class of findings that hits a fault not yet mended on main, with the fault it waits for.
// A class whose fault hangs the source holds its scenarios back instead.
struct KnownOpen {
  const char* kind;
  const char* fault;
};
const std::vector<KnownOpen>& KnownOpenClasses();
bool IsKnownOpen(const std::string& kind);

// The command line that replays one scenario.
std::string ReproduceLine(uint64_t seed);

class Explorer {
 public:
  // Copies the bundle into `folder` and points the process at the simulated scanner (a raw,
  // one-scanner description); the process's first Explorer decides the scanner.
  Explorer(const std::filesystem::path& bundle, const std::filesystem::path& folder);
  ~Explorer();
  Explorer(const Explorer&) = delete;
  Explorer& operator=(const Explorer&) = delete;

  // `holdBack` false runs a scenario of a held-back class too (to see whether its fault is gone).
  Outcome Run(uint64_t seed, bool holdBack = true);

 private:
  std::filesystem::path bundle_;
};

}  // namespace explore
