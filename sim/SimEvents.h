#pragma once
// Conditions the scanner meets on its sheets (jam, cover open, misfeed, the cancel button,
// multi-feed, skew, blank page, long pages cut into end-of-file images) and the answer of a
// job-start reserve: what SimScan's handlers ask before they answer normally.
#include <cstdint>
#include <vector>

#include "sim/SimScanner.h"

namespace sim::detail {

struct DeviceState;
struct Command;
struct Reply;

struct EventState {
  std::vector<SheetEvent> pending;   // not met yet
  bool mediaCheckMultiFeed = false;  // the next MEDIA CHECK reports a multi-feed
  uint32_t reserveRefusalsLeft = 0;  // 0 with a refusing answer: every one
  ReserveAnswer reserve = ReserveAnswer::Free;
};

EventState InitialEvents(const Config& config);

// What the side's end sense reports on the window's terms.
struct SideFacts {
  uint32_t pixels = 0;
  uint32_t bytesPerLine = 0;
  uint32_t modeBits = 0;
};

// A READ of image data from `side` of the sheet in the transport: true when a condition of the
// sheet shaped the reply (data, position and sense); false to answer normally.
bool SheetEventOnRead(DeviceState& s, uint32_t side, const SideFacts& facts, const Command& c,
                      Reply& r);
// The sense code of a side's end of page: 0x8004, or 0x8016 with a multi-feed at the end.
uint16_t EndOfPageCode(DeviceState& s, uint32_t side);
// RELEASE UNIT of the sheet in the transport (before it leaves, when `leaves`), and MEDIA CHECK.
void ReleaseEvents(DeviceState& s, bool leaves, Reply& r);
void MediaCheckEvents(DeviceState& s, Reply& r);
// A job-start RESERVE UNIT the scanner refuses; true when it answered the refusal.
bool ReserveRefused(DeviceState& s, const Command& c, Reply& r);

}  // namespace sim::detail
