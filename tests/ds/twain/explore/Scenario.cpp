#include "tests/ds/twain/explore/Scenario.h"

#include <cstdio>

#include "platform/twain/Twain.h"

namespace explore {

uint64_t Rng::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

namespace {

constexpr uint16_t kPixelTypes[] = {TWPT_BW, TWPT_GRAY, TWPT_RGB};
constexpr uint16_t kResolutions[] = {100, 150, 200, 300};
constexpr double kSides[] = {2, 2.5, 3, 4};
// Strips of odd sizes: a prime below a row, a few rows, one and a half of a common page's.
constexpr uint32_t kBuffers[] = {0, 0, 97, 1001, 4097, 65537, 262139};
constexpr uint32_t kMaxSheets = 4;

}  // namespace

Plan Draw(uint64_t seed) {
  Rng r(seed);
  Plan p;
  p.seed = seed;
  p.showUi = r.Chance(20);
  p.pixelType = r.Pick(kPixelTypes);
  p.resolution = r.Pick(kResolutions);
  p.duplex = r.Chance(40);
  p.width = r.Pick(kSides);
  p.height = r.Pick(kSides);
  p.crop = r.Chance(15);
  p.sheets = 1 + r.Below(kMaxSheets);
  p.mechanism = Mechanism(r.Below(3));
  if (p.mechanism == Mechanism::kMemory) {
    p.buffer = r.Pick(kBuffers);
    p.asHandle = r.Chance(30);
  }
  p.fileFormat = r.Chance(50) ? TWFF_TIFF : TWFF_BMP;
  const uint32_t images = p.sheets * (p.duplex ? 2 : 1);
  if (r.Chance(15)) p.skipImage = int32_t(r.Below(images));
  if (r.Chance(25)) {
    p.cancel = Cancel(1 + r.Below(4));
    if (p.cancel == Cancel::kEndAfterStrip && p.mechanism != Mechanism::kMemory) {
      p.cancel = Cancel::kResetAtReady;
    }
    p.cancelImage = r.Below(images);
  }
  if (r.Chance(25)) {
    p.condition = Condition(1 + r.Below(5));
    p.conditionSheet = 1 + r.Below(p.sheets);
  }
  if (r.Chance(10)) p.xferCount = int32_t(1 + r.Below(images));
  p.negotiations = r.Chance(60) ? r.Below(16) : 0;
  p.probes = r.Chance(40);
  p.secondBatch = r.Chance(15);
  p.reopen = r.Chance(10);
  return p;
}

const char* Name(Mechanism m) {
  switch (m) {
    case Mechanism::kNative:
      return "native";
    case Mechanism::kMemory:
      return "memory";
    case Mechanism::kFile:
      return "file";
  }
  return "?";
}

const char* Name(Cancel c) {
  switch (c) {
    case Cancel::kNone:
      return "none";
    case Cancel::kResetAtReady:
      return "reset-at-ready";
    case Cancel::kDisableAtReady:
      return "disable-at-ready";
    case Cancel::kEndAfterStrip:
      return "end-after-strip";
    case Cancel::kResetInTransfer:
      return "reset-in-transfer";
  }
  return "?";
}

const char* Name(Condition c) {
  switch (c) {
    case Condition::kNone:
      return "none";
    case Condition::kJam:
      return "jam";
    case Condition::kDoubleFeed:
      return "double-feed";
    case Condition::kCoverOpen:
      return "cover-open";
    case Condition::kBlankPage:
      return "blank-page";
    case Condition::kEmptyFeeder:
      return "empty-feeder";
  }
  return "?";
}

std::string Plan::Describe() const {
  static constexpr const char* kPixelNames[] = {"bw", "gray", "rgb"};
  char line[512];
  std::snprintf(
      line, sizeof line,
      "seed %llu: %s %s %udpi %s %.1fx%.1fin%s, %u sheet(s), %s%s%s%s, skip %d, "
      "cancel %s@%u, %s@%u, xfercount %d, %u negotiation(s)%s%s%s",
      static_cast<unsigned long long>(seed), showUi ? "ui" : "no-ui",
      pixelType < 3 ? kPixelNames[pixelType] : "?", unsigned(resolution),
      duplex ? "duplex" : "simplex", width, height, crop ? " crop" : "", sheets, Name(mechanism),
      mechanism == Mechanism::kMemory ? (" buffer " + std::to_string(buffer)).c_str() : "",
      mechanism == Mechanism::kMemory && asHandle ? " handle" : "",
      mechanism == Mechanism::kFile ? (fileFormat == TWFF_TIFF ? " tiff" : " bmp") : "", skipImage,
      Name(cancel), cancelImage, Name(condition), conditionSheet, xferCount, negotiations,
      probes ? ", probes" : "", secondBatch ? ", second batch" : "", reopen ? ", reopen" : "");
  return line;
}

}  // namespace explore
