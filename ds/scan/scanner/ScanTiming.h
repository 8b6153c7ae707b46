#pragma once
// The waits of the scan layer, named once. The scan thread looks at the callback's page state
// every `pagePoll`; a page whose callback never came gets `driverSilence` after a cancel before
// it fails; the barcode hand-over is looked at every `barcodePoll`; the scan thread looks for the
// host's next-page request every `nextPagePoll`. Tests shorten them with setScanTiming.
#include <chrono>

namespace ferrolite {

struct ScanTiming {
  std::chrono::milliseconds pagePoll{100};
  std::chrono::milliseconds driverSilence{2000};
  std::chrono::milliseconds barcodePoll{200};
  std::chrono::milliseconds nextPagePoll{10};
  std::chrono::milliseconds pageWaitLimit{60000};
};

// The waits in force; set before a job starts.
ScanTiming scanTiming();
void setScanTiming(const ScanTiming& timing);

}  // namespace ferrolite
